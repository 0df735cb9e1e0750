#include "links/ftdi_adapter.h"

#include "core/core_state.h"
#include "links/link_type.h"
#include "links/links_state.h"
#include "platform/ui/message_box.h"

#include <algorithm>

using namespace ftdi;

void usb_configure(FT_HANDLE handle, uint32_t baud, uint32_t read_timeout_ms) {
    if (FT_SetBaudRate(handle, baud) != FT_OK) ui::MsgBox(QStringLiteral("SetBaudRate Failed"));
    if (FT_SetDataCharacteristics(handle, 8, 0, 0) != FT_OK)
        ui::MsgBox(QStringLiteral("SetDataCharacteristics Failed"));
    if (FT_SetFlowControl(handle, 0, 0, 0) != FT_OK) ui::MsgBox(QStringLiteral("SetFlowControl Failed"));
    if (FT_SetTimeouts(handle, read_timeout_ms, 0) != FT_OK) ui::MsgBox(QStringLiteral("SetTimeouts Failed"));
}

void usb_open() {
    if (links.usb_handle != 0) return;
    uint32_t count = 0;
    if (FT_ListDevices(&count, FT_LIST_NUMBER_ONLY) != FT_OK) count = 0;
    if (count == 0) {
        ui::MsgBox(QStringLiteral("No device can be found on the USB."));
        links.usb_fail = 1;
        return;
    }
    links.usb_fail = 0;
    links.usb_event = CreateEventA(nullptr, false, false, "");

    FT_HANDLE handle = 0;
    if (FT_Open(0, &handle) != FT_OK || handle == 0) {
        links.usb_fail = 1;
        ui::MsgBox(QStringLiteral("Open Failed"));
        return;
    }
    links.usb_fail = 0;
    links.usb_handle = handle;

    FT_SetEventNotification(handle, FT_EVENT_RXCHAR, links.usb_event);
    usb_configure(handle);

    const FT_STATUS st = FT_SetResetPipeRetryCount(handle, static_cast<uint32_t>(core.usb_reset_count));
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
        FT_Write(target, bytes.mid(at, 256), &done);
    }
}

void usb_close_all() {
    if (link_type() != LinkType::USB485) {
        const int n = std::clamp<int>(links.scale_count, 0, kScaleSlots);
        for (int i = 0; i < n; ++i)
            if (links.scale_addr[i] != 0) FT_Close(static_cast<FT_HANDLE>(links.scale_addr[i]));
    }
    // The adapter is closed on every link: on "USB" the start-up opens it as well.
    if (links.usb_handle != 0) FT_Close(links.usb_handle);
    links.usb_handle = 0;
}

ModemStatus usb_show_modem_status() {
    ModemStatus m;
    uint32_t status = 0;
    if (FT_GetModemStatus(links.usb_dev_handle, &status) != FT_OK) return m;
    m.ok = true;
    m.cts = status & kModemCts;
    m.dsr = status & kModemDsr;
    m.ri = status & kModemRi;
    m.dcd = status & kModemDcd;
    return m;
}
