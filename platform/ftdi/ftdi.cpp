#include "platform/ftdi/ftdi.h"

#include "platform/clock/clock.h"
#include "platform/ftdi/ftdi_serial_backend.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace ftdi {

namespace {

struct Open {
    std::unique_ptr<Device> device;
    uint32_t read_timeout_ms = 0;
    uint32_t event = 0;
    QString location;
};

Backend* installed = nullptr;
std::map<FT_HANDLE, Open>& handles() {
    static std::map<FT_HANDLE, Open> map;
    return map;
}
// Well above any network address or small integer a caller might pass by mistake.
FT_HANDLE next_handle = 0x10000001u;
uint32_t next_event = 0x20000001u;
int unknown_calls = 0;

Backend& current() {
    if (installed) return *installed;
    static SerialBackend real;
    return real;
}

Open* find(FT_HANDLE h) {
    auto it = handles().find(h);
    if (it != handles().end()) return &it->second;
    ++unknown_calls;
    return nullptr;
}

// Seconds since start, on the monotonic clock: a step of the wall clock does not stretch a read.
double elapsed_since(double start) {
    return wclock::Monotonic() - start;
}

} // namespace

void set_backend(Backend* backend) {
    handles().clear();
    installed = backend;
}

Backend* backend() {
    return &current();
}

FT_STATUS FT_ListDevices(uint32_t* count, uint32_t flags) {
    if (!count || !(flags & FT_LIST_NUMBER_ONLY)) return FT_INVALID_PARAMETER;
    *count = static_cast<uint32_t>(std::max(0, current().device_count()));
    return FT_OK;
}

FT_STATUS FT_ListDevices(uint32_t index, QByteArray& buffer, uint32_t flags) {
    if (!(flags & FT_LIST_BY_INDEX)) return FT_INVALID_PARAMETER;
    if (static_cast<int>(index) >= current().device_count()) return FT_DEVICE_NOT_FOUND;
    QByteArray text;
    bool ok = false;
    if ((flags & 3) == FT_OPEN_BY_SERIAL_NUMBER)
        ok = current().serial_number(static_cast<int>(index), &text);
    else if ((flags & 3) == FT_OPEN_BY_DESCRIPTION)
        ok = current().description(static_cast<int>(index), &text);
    else
        return FT_INVALID_PARAMETER;
    if (!ok) return FT_DEVICE_NOT_FOUND;
    if (buffer.isEmpty()) buffer.fill(' ', 256);
    // The text and its ending zero byte, cut to fit the caller's buffer.
    const qsizetype n = std::min<qsizetype>(text.size(), buffer.size() - 1);
    std::memcpy(buffer.data(), text.constData(), static_cast<size_t>(n));
    buffer[n] = '\0';
    return FT_OK;
}

FT_STATUS FT_Open(int index, FT_HANDLE* handle) {
    if (!handle) return FT_INVALID_PARAMETER;
    *handle = 0;
    if (index < 0 || index >= current().device_count()) return FT_DEVICE_NOT_FOUND;
    FT_STATUS status = FT_OK;
    auto dev = current().open(index, &status);
    if (!dev) return status == FT_OK ? FT_DEVICE_NOT_OPENED : status;
    const FT_HANDLE h = next_handle++;
    Open& o = handles()[h];
    o.location = dev->location();
    o.device = std::move(dev);
    *handle = h;
    return FT_OK;
}

FT_STATUS FT_Close(FT_HANDLE handle) {
    if (!find(handle)) return FT_INVALID_HANDLE;
    handles().erase(handle);
    return FT_OK;
}

FT_STATUS FT_Read(FT_HANDLE handle, char* buffer, uint32_t count, uint32_t* done) {
    if (done) *done = 0;
    Open* o = find(handle);
    if (!o) return FT_INVALID_HANDLE;
    if (!buffer) return FT_INVALID_PARAMETER;
    Device& d = *o->device;
    const double start = wclock::Monotonic();
    // Waits in short slices for the rest, up to the read time-out; a device that went away
    // ends the wait at once.
    while (!d.gone() && d.queued() < count && elapsed_since(start) * 1000.0 < o->read_timeout_ms)
        d.wait_slice();
    if (d.gone()) return FT_IO_ERROR;
    const QByteArray got = d.take(count);
    std::memcpy(buffer, got.constData(), static_cast<size_t>(got.size()));
    if (done) *done = static_cast<uint32_t>(got.size());
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE handle, const char* buffer, uint32_t count, uint32_t* done) {
    if (done) *done = 0;
    Open* o = find(handle);
    if (!o) return FT_INVALID_HANDLE;
    if (!buffer && count) return FT_INVALID_PARAMETER;
    if (o->device->gone() || !o->device->write(QByteArray(buffer, static_cast<qsizetype>(count))))
        return FT_IO_ERROR;
    if (done) *done = count;
    return FT_OK;
}

FT_STATUS FT_Write(FT_HANDLE handle, const QByteArray& bytes, uint32_t* done) {
    return FT_Write(handle, bytes.constData(), static_cast<uint32_t>(bytes.size()), done);
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, uint32_t baud) {
    Open* o = find(handle);
    return o ? o->device->set_baud_rate(baud) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, uint8_t bits, uint8_t stop, uint8_t parity) {
    Open* o = find(handle);
    return o ? o->device->set_data_characteristics(bits, stop, parity) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetFlowControl(FT_HANDLE handle, uint16_t flow, uint8_t xon, uint8_t xoff) {
    Open* o = find(handle);
    return o ? o->device->set_flow_control(flow, xon, xoff) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetTimeouts(FT_HANDLE handle, uint32_t read_ms, uint32_t write_ms) {
    Open* o = find(handle);
    if (!o) return FT_INVALID_HANDLE;
    const FT_STATUS st = o->device->set_timeouts(read_ms, write_ms);
    if (st == FT_OK) o->read_timeout_ms = read_ms;
    return st;
}

FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, uint32_t* count) {
    if (count) *count = 0;
    Open* o = find(handle);
    if (!o) return FT_INVALID_HANDLE;
    if (o->device->gone()) return FT_IO_ERROR;
    if (count) *count = o->device->queued();
    return FT_OK;
}

FT_STATUS FT_Purge(FT_HANDLE handle, uint32_t mask) {
    Open* o = find(handle);
    return o ? o->device->purge(mask) : FT_INVALID_HANDLE;
}

FT_STATUS FT_SetEventNotification(FT_HANDLE handle, uint32_t /*mask*/, uint32_t event) {
    Open* o = find(handle);
    if (!o) return FT_INVALID_HANDLE;
    o->event = event;
    return FT_OK;
}

FT_STATUS FT_SetResetPipeRetryCount(FT_HANDLE handle, uint32_t count) {
    if (!current().has_reset_pipe_retry_count()) return FT_FUNCTION_MISSING;
    Open* o = find(handle);
    return o ? o->device->set_reset_pipe_retry_count(count) : FT_INVALID_HANDLE;
}

FT_STATUS FT_GetModemStatus(FT_HANDLE handle, uint32_t* status) {
    if (status) *status = 0;
    Open* o = find(handle);
    if (!o) return FT_INVALID_HANDLE;
    return o->device->modem_status(status);
}

uint32_t CreateEventA(void*, bool, bool, const char*) {
    return next_event++;
}

int open_handle_count() {
    return static_cast<int>(handles().size());
}

uint32_t read_timeout(FT_HANDLE handle) {
    Open* o = find(handle);
    return o ? o->read_timeout_ms : 0;
}

QString device_location(FT_HANDLE handle) {
    Open* o = find(handle);
    return o ? o->location : QString();
}

int unknown_handle_calls() {
    return unknown_calls;
}

} // namespace ftdi
