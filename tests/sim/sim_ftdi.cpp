#include "tests/sim/sim_ftdi.h"

#include "platform/clock/clock.h"

namespace sim {

using namespace ftdi;

namespace {

class Handle : public Device {
public:
    explicit Handle(std::shared_ptr<SimFtdiDevice> d) : d_(std::move(d)) { ++d_->open_count; }
    ~Handle() override { --d_->open_count; }

    uint32_t queued() override {
        return gone() || !d_->responder ? 0 : static_cast<uint32_t>(d_->responder->available());
    }
    QByteArray take(uint32_t max) override {
        return gone() || !d_->responder ? QByteArray() : d_->responder->take(static_cast<int>(max));
    }
    bool write(const QByteArray& bytes) override {
        if (gone()) return false;
        d_->writes.append(bytes);
        if (d_->responder) d_->responder->receive(bytes);
        return true;
    }
    void wait_slice() override { wclock::pause_slice(); }
    bool gone() override { return !d_->attached || d_->gone; }
    FT_STATUS set_baud_rate(uint32_t baud) override {
        if (d_->fail_baud) return FT_INVALID_BAUD_RATE;
        d_->baud = baud;
        return FT_OK;
    }
    FT_STATUS set_data_characteristics(uint8_t bits, uint8_t stop, uint8_t parity) override {
        if (d_->fail_data) return FT_INVALID_PARAMETER;
        d_->data_characteristics = {bits, stop, parity};
        return FT_OK;
    }
    FT_STATUS set_flow_control(uint16_t, uint8_t, uint8_t) override {
        return d_->fail_flow ? FT_IO_ERROR : FT_OK;
    }
    FT_STATUS set_timeouts(uint32_t read_ms, uint32_t) override {
        if (d_->fail_timeouts) return FT_IO_ERROR;
        d_->read_timeout = read_ms;
        return FT_OK;
    }
    FT_STATUS set_reset_pipe_retry_count(uint32_t count) override {
        if (d_->fail_retry) return FT_INVALID_PARAMETER;
        d_->retry_count = static_cast<int>(count);
        return FT_OK;
    }
    FT_STATUS purge(uint32_t mask) override {
        d_->purges.append(mask);
        if ((mask & FT_PURGE_RX) && d_->responder) d_->responder->purge();
        return FT_OK;
    }
    FT_STATUS modem_status(uint32_t* status) override {
        if (gone()) return FT_IO_ERROR;
        if (status) *status = kModemCts | kModemDsr;
        return FT_OK;
    }

    QString location() override { return d_->location; }

private:
    std::shared_ptr<SimFtdiDevice> d_;
};

} // namespace

SimFtdi::SimFtdi() = default;

SimFtdi::~SimFtdi() {
    uninstall();
}

void SimFtdi::install() {
    ftdi::set_backend(this);
    installed_ = true;
}

void SimFtdi::uninstall() {
    if (installed_ && ftdi::backend() == this) ftdi::set_backend(nullptr);
    installed_ = false;
}

SimFtdiDevice& SimFtdi::add(const QByteArray& serial, const QByteArray& description,
                            std::shared_ptr<Responder> responder) {
    auto d = std::make_shared<SimFtdiDevice>();
    d->serial = serial;
    d->description = description;
    d->responder = std::move(responder);
    devices_.append(d);
    return *d;
}

std::shared_ptr<SimFtdiDevice> SimFtdi::attached(int index) {
    int k = 0;
    for (const auto& d : devices_) {
        if (!d->attached) continue;
        if (k++ == index) return d;
    }
    return nullptr;
}

int SimFtdi::device_count() {
    int n = 0;
    for (const auto& d : devices_)
        n += d->attached ? 1 : 0;
    return n;
}

bool SimFtdi::serial_number(int index, QByteArray* out) {
    auto d = attached(index);
    if (!d || d->fail_query) return false;
    *out = d->serial;
    return true;
}

bool SimFtdi::description(int index, QByteArray* out) {
    auto d = attached(index);
    if (!d || d->fail_query) return false;
    *out = d->description;
    return true;
}

std::unique_ptr<Device> SimFtdi::open(int index, FT_STATUS* status) {
    auto d = attached(index);
    if (!d) {
        *status = FT_DEVICE_NOT_FOUND;
        return nullptr;
    }
    // Like the real driver, a device is open through one handle at a time.
    if (d->fail_open || d->open_count > 0) {
        *status = FT_DEVICE_NOT_OPENED;
        return nullptr;
    }
    ++d->opens;
    *status = FT_OK;
    return std::make_unique<Handle>(d);
}

} // namespace sim
