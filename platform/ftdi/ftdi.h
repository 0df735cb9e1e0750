#pragma once
// The FTDI device functions the scale links use, in the manner of the D2XX library: handles,
// status 0 for success, device lists by index. Behind them is one backend: the real one reaches
// FTDI devices through the kernel's serial driver; tests install simulated devices.
//
// Handles are never small numbers, so a network address passed by mistake finds no device.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>

namespace ftdi {

using FT_HANDLE = uint32_t;
using FT_STATUS = uint32_t;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_OTHER_ERROR = 18,
    // Our own: the installed library lacks the function that was called.
    FT_FUNCTION_MISSING = 0x100,
};

// FT_ListDevices flags.
constexpr uint32_t FT_LIST_NUMBER_ONLY = 0x80000000u;
constexpr uint32_t FT_LIST_BY_INDEX = 0x40000000u;
constexpr uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr uint32_t FT_OPEN_BY_DESCRIPTION = 2;

constexpr uint32_t FT_EVENT_RXCHAR = 1;
constexpr uint32_t FT_PURGE_RX = 1;
constexpr uint32_t FT_PURGE_TX = 2;

constexpr uint32_t kModemCts = 0x10;
constexpr uint32_t kModemDsr = 0x20;
constexpr uint32_t kModemRi = 0x40;
constexpr uint32_t kModemDcd = 0x80;

// One open device.
class Device {
public:
    virtual ~Device() = default;
    // Bytes received and waiting.
    virtual uint32_t queued() = 0;
    // Takes up to max waiting bytes.
    virtual QByteArray take(uint32_t max) = 0;
    virtual bool write(const QByteArray& bytes) = 0;
    // One short wait for more input (about a millisecond).
    virtual void wait_slice() = 0;
    virtual bool gone() = 0;
    virtual FT_STATUS set_baud_rate(uint32_t baud) = 0;
    virtual FT_STATUS set_data_characteristics(uint8_t bits, uint8_t stop, uint8_t parity) = 0;
    virtual FT_STATUS set_flow_control(uint16_t flow, uint8_t xon, uint8_t xoff) = 0;
    virtual FT_STATUS set_timeouts(uint32_t /*read_ms*/, uint32_t /*write_ms*/) { return FT_OK; }
    virtual FT_STATUS set_reset_pipe_retry_count(uint32_t count) = 0;
    virtual FT_STATUS purge(uint32_t mask) = 0;
    virtual FT_STATUS modem_status(uint32_t* status) = 0;
    // Where the device sits in the system (its device path), empty when unknown.
    virtual QString location() { return QString(); }
};

class Backend {
public:
    virtual ~Backend() = default;
    // Devices currently attached, in a stable order.
    virtual int device_count() = 0;
    // False when the device cannot be asked (gone, or the query failed).
    virtual bool serial_number(int index, QByteArray* out) = 0;
    virtual bool description(int index, QByteArray* out) = 0;
    virtual std::unique_ptr<Device> open(int index, FT_STATUS* status) = 0;
    // False for an older library without FT_SetResetPipeRetryCount.
    virtual bool has_reset_pipe_retry_count() { return true; }
};

// Installs a backend (not owned); nullptr returns to the real one. Closes every open handle.
void set_backend(Backend* backend);
Backend* backend();

// Count: FT_ListDevices(&n, FT_LIST_NUMBER_ONLY).
FT_STATUS FT_ListDevices(uint32_t* count, uint32_t flags);
// Serial number or description of device index, written at the start of buffer and ended by a
// zero byte, as much as fits: FT_ListDevices(i, buf, FT_LIST_BY_INDEX | FT_OPEN_BY_...).
// The buffer keeps its size; an empty buffer is given 256 bytes.
FT_STATUS FT_ListDevices(uint32_t index, QByteArray& buffer, uint32_t flags);
FT_STATUS FT_Open(int index, FT_HANDLE* handle);
FT_STATUS FT_Close(FT_HANDLE handle);
// Reads up to count bytes into buffer, waiting at most the read time-out for the rest.
FT_STATUS FT_Read(FT_HANDLE handle, char* buffer, uint32_t count, uint32_t* done);
FT_STATUS FT_Write(FT_HANDLE handle, const char* buffer, uint32_t count, uint32_t* done);
FT_STATUS FT_Write(FT_HANDLE handle, const QByteArray& bytes, uint32_t* done = nullptr);
FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud);
FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t bits, uint8_t stop, uint8_t parity);
FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flow, uint8_t xon, uint8_t xoff);
FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t read_ms, uint32_t write_ms);
FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, uint32_t* count);
FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask);
FT_STATUS FT_SetEventNotification(FT_HANDLE handle, uint32_t mask, uint32_t event);
// FT_FUNCTION_MISSING when the library has no such function.
FT_STATUS FT_SetResetPipeRetryCount(FT_HANDLE handle, uint32_t count);
FT_STATUS FT_GetModemStatus(FT_HANDLE handle, uint32_t* status);

// The receive-notification event: a non-zero handle. It is registered, never waited on.
uint32_t CreateEventA(void* security, bool manual_reset, bool initial_state, const char* name);

// Number of handles open (for tests and shutdown checks).
int open_handle_count();
// The read time-out a handle was last given, in ms; 0 (no waiting) until FT_SetTimeouts.
uint32_t read_timeout(FT_HANDLE handle);
// The device path of an open handle (kept from its opening, so it is known also after the
// device went away); empty for a handle that is not open or a device without one.
QString device_location(FT_HANDLE handle);
// Calls so far that named a handle that is not open (closed, or never opened), for tests.
int unknown_handle_calls();

} // namespace ftdi
