// What the scale screen does when a link fails under it: a serial port or FTDI device that went
// away, an Ethernet connection refused or lost. The device is closed by then (or here), so
// nothing polls it again and nothing keeps the processor busy; the user is told once. Whatever
// starts polling again first sets the link up again, as the screen's start-up does.
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/ftdi/ftdi.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"

#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>

namespace {

// How long the message of a lost device waits for the poll cycle that found it to end.
constexpr int kLossGatherMs = 20;

void tell(const QString& message) {
    ui::Beep();
    ui::MsgBox(message, ui::vbOKOnly | ui::vbExclamation);
}

// What to do once polling has stopped; `subject_is`: what must be connected, with its verb
// ("the scale is", "the devices are").
QString polling_stopped(const QString& subject_is) {
    return QStringLiteral(
               "Polling has stopped. Once %1 connected again, choose \"Activate Remote Screen\" to "
               "set the link up again and go on polling.")
        .arg(subject_is);
}

} // namespace

void form1::show_connection_lost() {
    for (ui::FormTimer* t : Timer1)
        t->setEnabled(false);
    Timer2->setEnabled(false);
    Timer4->setEnabled(false);
    setCaption(core.comm_type + QStringLiteral(" - Connection Lost"));
    // The readings shown are no longer live.
    Screen->clear();
    txt_groupnum->clear();
    for (int i = 0; i < filled_slots(); ++i)
        netlist_set_row(i, links.scale_name[static_cast<size_t>(i)], QString());
    // "Poll" no longer polls; ticking it again sets the link up again.
    if (chk_pollenb->isChecked()) {
        const QSignalBlocker block(chk_pollenb);
        chk_pollenb->setChecked(false);
    }
    opt_network->setEnabled(true);
    // "Poll" is in reach as in the operation chosen, also one refused while the link is down:
    // not with "Network" ("Single" or "Activate Remote Screen" go on), else to connect again.
    const bool single = !opt_network->isChecked();
    chk_pollenb->setEnabled(single);
    Label2->setEnabled(single);
    txt_polltime->setEnabled(single);
}

void form1::link_went_down() {
    // The mode the screen had, for "Activate Remote Screen" to go on with (a link lost again
    // while it was being set up again keeps the mode of the first loss).
    if (!link_down) {
        lost_single_ = opt_single->isChecked();
        lost_network_ = opt_network->isChecked();
        lost_poll_ = chk_pollenb->isChecked();
    }
    link_down = true;
    show_connection_lost();
}

void form1::link_lost(const QString& reason) {
    // A link that fails during the screen's start-up was never polled.
    const bool polled = !setting_up_;
    link_went_down();
    tell(reason + QLatin1Char('\n') +
         (polled ? polling_stopped(QStringLiteral("the scale is"))
                 : QStringLiteral("Nothing is polled. Once the scale is connected, choose \"Activate Remote "
                                  "Screen\" to set the link up and start polling.")));
}

bool form1::link_ready() {
    if (!link_down) return true;
    // The mode asked for is the one to go on with once the link is up again.
    lost_single_ = opt_single->isChecked();
    lost_network_ = opt_network->isChecked();
    lost_poll_ = chk_pollenb->isChecked();
    return set_up_after_loss();
}

bool form1::set_up_after_loss() {
    // A set-up already running (its event pump let this action in) decides.
    if (setting_link_up_) return false;
    // The start-up found the link down and has told so; "Activate Remote Screen" tries again.
    if (setting_up_) {
        show_connection_lost();
        return false;
    }
    setting_link_up_ = true;
    const bool up = set_link_up_again();
    setting_link_up_ = false;
    if (!up) {
        // The set-up has told why; the screen stays as the loss left it.
        show_connection_lost();
        return false;
    }
    link_down = false;
    return true;
}

void form1::resume_after_loss() {
    if (!Loaded() || !link_down || setting_up_ || just_set_up_ || !set_up_after_loss()) return;
    // Polling goes on in the mode the screen had when the link was lost.
    if (lost_single_) {
        select_option(opt_single);
        if (lost_poll_) chk_pollenb->setChecked(true);
    } else if (lost_network_) {
        select_option(opt_network);
    }
}

void form1::ftdi_device_lost(int slot) {
    if (slot < 0) {
        if (links.usb_handle == 0) return;
        ftdi::FT_Close(links.usb_handle);
        links.usb_handle = 0;
        link_lost(
            QStringLiteral("The USB-RS485 adapter can no longer be reached: it was unplugged or failed."));
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

    if (any_scale_device_open()) {
        netlist_set_row(slot, links.scale_name[s], QString());
        if (slot == links.cur_scale) {
            Screen->clear();
            txt_groupnum->clear();
        }
    } else {
        link_went_down();
    }

    QStringList device;
    const QString serial = links.scale_serial[s].trimmed();
    if (!serial.isEmpty()) device << QStringLiteral("serial number %1").arg(serial);
    if (!path.isEmpty()) device << path;
    lost_devices_.append(QStringLiteral("\"%1\"%2")
                             .arg(links.scale_name[s].trimmed(),
                                  device.isEmpty()
                                      ? QString()
                                      : QStringLiteral(" (%1)").arg(device.join(QStringLiteral(", ")))));
    // Told from the event loop, so that the poll cycle that found the loss goes on with the
    // other scales, and they are polled while the message is open; devices lost together are
    // told together.
    if (lost_devices_.size() == 1) QTimer::singleShot(0, this, [this] { tell_devices_lost(); });
}

bool form1::any_scale_device_open() const {
    for (int i = 0; i < filled_slots(); ++i)
        if (links.scale_addr[static_cast<size_t>(i)] != 0) return true;
    return false;
}

void form1::tell_devices_lost() {
    // A poll cycle still running may find more devices gone (all unplugged at once): wait for it.
    if (links.scan_busy && Loaded()) {
        QTimer::singleShot(kLossGatherMs, this, [this] { tell_devices_lost(); });
        return;
    }
    const QStringList lost = lost_devices_;
    lost_devices_.clear();
    if (lost.isEmpty()) return;
    const bool one = lost.size() == 1;
    const bool others = any_scale_device_open();
    QString named = lost.first();
    for (qsizetype k = 1; k < lost.size(); ++k)
        named += (k + 1 == lost.size() ? QStringLiteral(" and ") : QStringLiteral(", ")) + lost[k];
    const auto pick = [one](const char* singular, const char* plural) {
        return QString::fromLatin1(one ? singular : plural);
    };
    QString message = QStringLiteral("The USB %1 %2 can no longer be reached: %3 unplugged or failed.\n")
                          .arg(pick("scale", "scales"), named, pick("it was", "they were"));
    if (others)
        message +=
            QStringLiteral("The other scales are still polled. To poll %1 again once %2 connected, "
                           "leave the scale screen with \"Exit\" and choose \"Activate Remote Screen\".")
                .arg(pick("this one", "these"), pick("it is", "they are"));
    else
        message += polling_stopped(pick("the device is", "the devices are"));
    tell(message);
}
