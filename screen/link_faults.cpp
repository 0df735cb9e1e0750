// What the scale screen does when a link fails under it: a serial port or FTDI device that went
// away, an Ethernet connection refused or lost. The device is closed by then (or here), so
// nothing polls it again and nothing keeps the processor busy; the user is told once.
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/ftdi/ftdi.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"

#include <algorithm>

void form1::link_lost(const QString& message) {
    for (ui::FormTimer* t : Timer1)
        t->setEnabled(false);
    Timer2->setEnabled(false);
    Timer4->setEnabled(false);
    setCaption(core.comm_type + QStringLiteral(" - Connection Lost"));
    // The last readings are no longer live.
    Screen->clear();
    const int n = std::clamp<int>(links.scale_count, 0, kScaleSlots);
    for (int i = 0; i < n; ++i)
        netlist_set_row(i, links.scale_name[static_cast<size_t>(i)], QString());
    ui::Beep();
    ui::MsgBox(message, ui::vbOKOnly | ui::vbExclamation);
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
    if (slot >= std::clamp<int>(links.scale_count, 0, kScaleSlots)) return;
    const auto s = static_cast<size_t>(slot);
    const auto handle = static_cast<ftdi::FT_HANDLE>(links.scale_addr[s]);
    if (handle == 0) return;
    // The adapter handle is the slot's too when the scale is device 0; it closes only once.
    ftdi::FT_Close(handle);
    if (handle == links.usb_handle) links.usb_handle = 0;
    links.scale_addr[s] = 0;
    if (links.cur_scale_addr == static_cast<int32_t>(handle)) links.cur_scale_addr = 0;
    const QString serial = links.scale_serial[s].trimmed();
    link_lost(QStringLiteral("The USB scale \"%1\"%2 can no longer be reached: it was unplugged or failed.\n")
                  .arg(links.scale_name[s].trimmed(),
                       serial.isEmpty() ? QString() : QStringLiteral(" (serial number %1)").arg(serial)) +
              advice);
}
