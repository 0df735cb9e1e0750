#pragma once
// The FTDI adapter of the "USB485" link and the FTDI handles of the "USB" link: opening and
// configuring the adapter once per run, writes, closing everything at the end.
#include "platform/ftdi/ftdi.h"

#include <QByteArray>

// Opens device 0 as the adapter and configures it (9600 baud, 8-N-1, no flow control, read
// time-out 1000 ms, the reset-pipe retry count of the settings). Does nothing while the
// adapter is open. Sets usb_handle, usb_event and usb_fail; tells the user what failed.
void usb_open();

// Sets 9600 baud (or the given rate), 8-N-1, no flow control and the time-outs on a handle,
// showing "SetBaudRate Failed", "SetDataCharacteristics Failed", "SetFlowControl Failed" or
// "SetTimeouts Failed" for a refused step and going on with the next.
void usb_configure(ftdi::FT_HANDLE handle, uint32_t baud = 9600, uint32_t read_timeout_ms = 1000);

// Writes the bytes: to the adapter on "USB485", otherwise to the selected scale's handle
// cur_scale_addr. One FT_Write for up to 256 bytes; a longer text goes out in pieces of 256.
// The result is not checked; a handle that is not open takes nothing.
void usb_write(const QByteArray& bytes);

// Closes the adapter and, on the links other than "USB485", the handles in scale_addr of the
// filled slots (on "USB" the open scale devices; elsewhere they name no device). Safe to call at
// any time, also when nothing is open.
void usb_close_all();

// The modem lines of usb_dev_handle.
struct ModemStatus {
    bool ok = false;
    bool cts = false;
    bool dsr = false;
    bool ri = false;
    bool dcd = false;
};
ModemStatus usb_show_modem_status();
