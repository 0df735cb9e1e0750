#include "links/ftdi_adapter.h"

#include "core/core_state.h"
#include "links/link_type.h"
#include "links/links_state.h"
#include "platform/log/log.h"
#include "platform/ui/message_box.h"

#include <algorithm>

using namespace ftdi;

void usb_configure(FT_HANDLE handle, uint32_t baud, uint32_t read_timeout_ms) {
    if (!wlog::ft_ok(FT_SetBaudRate(handle, baud), "FT_SetBaudRate"))
        ui::MsgBox(QStringLiteral("SetBaudRate Failed"));
    if (!wlog::ft_ok(FT_SetDataCharacteristics(handle, 8, 0, 0), "FT_SetDataCharacteristics"))
        ui::MsgBox(QStringLiteral("SetDataCharacteristics Failed"));
    if (!wlog::ft_ok(FT_SetFlowControl(handle, 0, 0, 0), "FT_SetFlowControl"))
        ui::MsgBox(QStringLiteral("SetFlowControl Failed"));
    if (!wlog::ft_ok(FT_SetTimeouts(handle, read_timeout_ms, 0), "FT_SetTimeouts"))
        ui::MsgBox(QStringLiteral("SetTimeouts Failed"));
}

void usb_open() {
    if (links.usb_handle != 0) return;
    uint32_t count = 0;
    if (!wlog::ft_ok(FT_ListDevices(&count, FT_LIST_NUMBER_ONLY), "FT_ListDevices")) count = 0;
    if (count == 0) {
        qCWarning(lcFtdi) << "no FTDI device found";
        ui::MsgBox(QStringLiteral("No device can be found on the USB."));
        links.usb_fail = 1;
        return;
    }
    links.usb_fail = 0;
    links.usb_event = CreateEventA(nullptr, false, false, "");

    FT_HANDLE handle = 0;
    if (!wlog::ft_ok(FT_Open(0, &handle), "FT_Open") || handle == 0) {
        links.usb_fail = 1;
        ui::MsgBox(QStringLiteral("Open Failed"));
        return;
    }
    links.usb_fail = 0;
    links.usb_handle = handle;

    wlog::ft_ok(FT_SetEventNotification(handle, FT_EVENT_RXCHAR, links.usb_event), "FT_SetEventNotification");
    usb_configure(handle);

    const FT_STATUS st = FT_SetResetPipeRetryCount(handle, static_cast<uint32_t>(core.usb_reset_count));
    wlog::ft_ok(st, "FT_SetResetPipeRetryCount");
    if (st == FT_FUNCTION_MISSING)
        ui::MsgBox(QStringLiteral("The USB drivers are out of date. Please install the latest drivers."));
    else if (st != FT_OK)
        ui::MsgBox(
            QStringLiteral("FT_SetResetPipeRetryCount Failed. The value for USB reset indicated in the "
                           "Setup Screen may be invalid. The system will work but will not be "
                           "optimized for USB errors."));
}

void usb_write(const QByteArray& bytes) {
    const FT_HANDLE target =
        link_type() == LinkType::USB485 ? links.usb_handle : static_cast<FT_HANDLE>(links.cur_scale_addr);
    if (target == 0) return;
    for (qsizetype at = 0; at < bytes.size(); at += 256) {
        uint32_t done = 0;
        wlog::ft_ok(FT_Write(target, bytes.mid(at, 256), &done), "FT_Write");
    }
}

void usb_close_all() {
    if (link_type() != LinkType::USB485) {
        const int n = std::clamp<int>(links.scale_count, 0, kScaleSlots);
        for (int i = 0; i < n; ++i)
            if (links.scale_addr[i] != 0)
                wlog::ft_ok(FT_Close(static_cast<FT_HANDLE>(links.scale_addr[i])), "FT_Close");
    }
    // The adapter is closed on every link: on "USB" the start-up opens it as well.
    if (links.usb_handle != 0) wlog::ft_ok(FT_Close(links.usb_handle), "FT_Close");
    links.usb_handle = 0;
}

ModemStatus usb_show_modem_status() {
    ModemStatus m;
    uint32_t status = 0;
    if (!wlog::ft_ok(FT_GetModemStatus(links.usb_dev_handle, &status), "FT_GetModemStatus")) return m;
    m.ok = true;
    m.cts = status & kModemCts;
    m.dsr = status & kModemDsr;
    m.ri = status & kModemRi;
    m.dcd = status & kModemDcd;
    return m;
}
