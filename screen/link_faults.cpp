// What the scale screen does when a link fails under it: a serial port or FTDI device that went
// away, an Ethernet connection refused or lost. The device is closed by then (or here), so
// nothing polls it again and nothing keeps the processor busy; the user is told once.
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/ftdi/ftdi.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"

#include <QTimer>
#include <algorithm>

namespace {

// Stops every poll timer and blanks the readings shown, which are no longer live.
void stop_polling(form1& f) {
    for (ui::FormTimer* t : f.Timer1)
        t->setEnabled(false);
    f.Timer2->setEnabled(false);
    f.Timer4->setEnabled(false);
    f.setCaption(core.comm_type + QStringLiteral(" - Connection Lost"));
    f.Screen->clear();
    for (int i = 0; i < filled_slots(); ++i)
        f.netlist_set_row(i, links.scale_name[static_cast<size_t>(i)], QString());
}

void tell(const QString& message) {
    ui::Beep();
    ui::MsgBox(message, ui::vbOKOnly | ui::vbExclamation);
}

} // namespace

void form1::link_lost(const QString& message) {
    stop_polling(*this);
    tell(message);
}

void form1::ftdi_device_lost(int slot) {
    const QString advice =
        QStringLiteral("Polling has stopped. Open the scale screen again once the device is connected.");
    if (slot < 0) {
        if (links.usb_handle == 0) return;
        ftdi::FT_Close(links.usb_handle);
        links.usb_handle = 0;
        link_lost(QStringLiteral("The USB-RS485 adapter can no longer be reached: it was unplugged or "
                                 "failed.\n") +
                  advice);
        return;
    }
    if (slot >= filled_slots()) return;
    const auto s = static_cast<size_t>(slot);
    const auto handle = static_cast<ftdi::FT_HANDLE>(links.scale_addr[s]);
    if (handle == 0) return;
    // On "USB" each scale has a device of its own: only this slot stops. Its handle is closed
    // and cleared, so neither the poll cycle nor the scans nor the keypad reach it again.
    const QString path = ftdi::device_location(handle);
    // The adapter handle is the slot's too when the scale is device 0; it closes only once.
    ftdi::FT_Close(handle);
    if (handle == links.usb_handle) links.usb_handle = 0;
    links.scale_addr[s] = 0;
    if (links.cur_scale_addr == static_cast<int32_t>(handle)) links.cur_scale_addr = 0;

    bool others = false;
    for (int i = 0; i < filled_slots(); ++i)
        others = others || links.scale_addr[static_cast<size_t>(i)] != 0;
    if (others) {
        netlist_set_row(slot, links.scale_name[s], QString());
        if (slot == links.cur_scale) Screen->clear();
    } else {
        stop_polling(*this);
    }

    QStringList device;
    const QString serial = links.scale_serial[s].trimmed();
    if (!serial.isEmpty()) device << QStringLiteral("serial number %1").arg(serial);
    if (!path.isEmpty()) device << path;
    const QString message =
        QStringLiteral("The USB scale \"%1\"%2 can no longer be reached: it was unplugged or failed.\n%3")
            .arg(links.scale_name[s].trimmed(),
                 device.isEmpty() ? QString()
                                  : QStringLiteral(" (%1)").arg(device.join(QStringLiteral(", "))),
                 others ? QStringLiteral("The other scales are still polled. Open the scale screen again "
                                         "once the device is connected.")
                        : advice);
    // Told from the event loop, so that the poll cycle that found the loss goes on with the
    // other scales, and they are polled while the message is open.
    QTimer::singleShot(0, this, [message] { tell(message); });
}
