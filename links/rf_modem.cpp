#include "links/rf_modem.h"

#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/ftdi/ftdi.h"
#include "platform/log/log.h"
#include "platform/ui/message_box.h"

#include <algorithm>

#include <QByteArray>
#include <QString>

using namespace ftdi;

QByteArray rf_channel_command(const QString& rf_net_id) {
    QByteArray cmd("ATHP ");
    if (rf_net_id.size() == 1 && rf_net_id[0] >= QLatin1Char('0') && rf_net_id[0] <= QLatin1Char('6'))
        cmd += "0" + rf_net_id.toLatin1();
    cmd += ",CN";
    cmd += '\r';
    return cmd;
}

void rf_set_channel() {
    const double start = wclock::Monotonic();
    uint32_t done = 0;
    qCDebug(lcLinks).noquote() << "RF modem: frame" << wlog::bytes("+++");
    wlog::ft_ok(FT_Write(links.usb_handle, QByteArray("+++"), &done), "FT_Write");

    for (;;) {
        uint32_t waiting = 0;
        const FT_STATUS st = FT_GetQueueStatus(links.usb_handle, &waiting);
        // Time waited, on the monotonic clock: midnight and clock steps do not change it.
        if (wclock::Monotonic() - start >= 2.0) {
            qCWarning(lcLinks).noquote()
                << "RF modem: no answer to \"+++\" within 2 s; last FT_GetQueueStatus:"
                << wlog::ft_status(st);
            ui::Beep();
            ui::MsgBox(QStringLiteral("RF Module Not Responding"));
            return;
        }
        if (waiting >= 3) break;
        wclock::pause_slice();
    }

    // The answer is read away and not examined.
    uint32_t waiting = 0;
    wlog::ft_ok(FT_GetQueueStatus(links.usb_handle, &waiting), "FT_GetQueueStatus");
    char buffer[256];
    wlog::ft_ok(FT_Read(links.usb_handle, buffer, std::min<uint32_t>(waiting, sizeof buffer), &done),
                "FT_Read");

    const QByteArray channel = rf_channel_command(core.rf_net_id);
    qCDebug(lcLinks).noquote() << "RF modem: frame" << wlog::bytes(channel);
    wlog::ft_ok(FT_Write(links.usb_handle, channel, &done), "FT_Write");
}
