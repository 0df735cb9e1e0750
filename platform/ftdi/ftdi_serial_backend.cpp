#include "platform/ftdi/ftdi_serial_backend.h"

#include <QSerialPort>
#include <algorithm>

namespace ftdi {

namespace {

class SerialDevice : public Device {
public:
    SerialDevice(std::unique_ptr<QSerialPort> port, const QString& location)
        : port_(std::move(port)), location_(location) {
        // An unplugged device fails its reads or reads end-of-file; its read notifier would fire
        // for ever, so the port is closed at the first failure and the device counts as gone.
        QObject::connect(port_.get(), &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError e) {
            if (e == QSerialPort::ResourceError || e == QSerialPort::DeviceNotFoundError ||
                e == QSerialPort::PermissionError || e == QSerialPort::ReadError ||
                e == QSerialPort::WriteError) {
                gone_ = true;
                if (port_->isOpen()) port_->close();
            }
        });
    }
    ~SerialDevice() override {
        if (port_->isOpen()) port_->close();
    }

    uint32_t queued() override {
        if (gone()) return 0;
        port_->waitForReadyRead(0);
        return static_cast<uint32_t>(port_->bytesAvailable());
    }
    QByteArray take(uint32_t max) override { return gone() ? QByteArray() : port_->read(max); }
    bool write(const QByteArray& bytes) override {
        if (gone()) return false;
        const bool ok = port_->write(bytes) == bytes.size();
        port_->flush();
        return ok;
    }
    void wait_slice() override {
        if (!gone()) port_->waitForReadyRead(1);
    }
    bool gone() override {
        if (!gone_ && !port_->isOpen()) gone_ = true;
        return gone_;
    }
    FT_STATUS set_baud_rate(uint32_t baud) override {
        return port_->setBaudRate(static_cast<qint32>(baud)) ? FT_OK : FT_INVALID_BAUD_RATE;
    }
    FT_STATUS set_data_characteristics(uint8_t bits, uint8_t stop, uint8_t parity) override {
        if (bits < 5 || bits > 8 || stop > 2 || parity > 4) return FT_INVALID_PARAMETER;
        static const QSerialPort::Parity parities[] = {QSerialPort::NoParity, QSerialPort::OddParity,
                                                       QSerialPort::EvenParity, QSerialPort::MarkParity,
                                                       QSerialPort::SpaceParity};
        bool ok = port_->setDataBits(static_cast<QSerialPort::DataBits>(bits));
        ok = port_->setStopBits(stop == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop) && ok;
        ok = port_->setParity(parities[parity]) && ok;
        return ok ? FT_OK : FT_IO_ERROR;
    }
    FT_STATUS set_flow_control(uint16_t flow, uint8_t, uint8_t) override {
        QSerialPort::FlowControl f = QSerialPort::NoFlowControl;
        if (flow == 0x0100)
            f = QSerialPort::HardwareControl;
        else if (flow == 0x0400)
            f = QSerialPort::SoftwareControl;
        return port_->setFlowControl(f) ? FT_OK : FT_IO_ERROR;
    }
    // The kernel driver recovers from USB pipe errors itself; there is nothing to set.
    FT_STATUS set_reset_pipe_retry_count(uint32_t) override { return FT_OK; }
    FT_STATUS purge(uint32_t mask) override {
        QSerialPort::Directions d;
        if (mask & FT_PURGE_RX) d |= QSerialPort::Input;
        if (mask & FT_PURGE_TX) d |= QSerialPort::Output;
        if (!gone()) port_->clear(d);
        return FT_OK;
    }
    FT_STATUS modem_status(uint32_t* status) override {
        if (gone()) return FT_IO_ERROR;
        const auto pins = port_->pinoutSignals();
        uint32_t s = 0;
        if (pins & QSerialPort::ClearToSendSignal) s |= kModemCts;
        if (pins & QSerialPort::DataSetReadySignal) s |= kModemDsr;
        if (pins & QSerialPort::RingIndicatorSignal) s |= kModemRi;
        if (pins & QSerialPort::DataCarrierDetectSignal) s |= kModemDcd;
        if (status) *status = s;
        return FT_OK;
    }

    QString location() override { return location_; }

private:
    std::unique_ptr<QSerialPort> port_;
    QString location_;
    bool gone_ = false;
};

} // namespace

QList<QSerialPortInfo> SerialBackend::scan() {
    QList<QSerialPortInfo> found;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        if (info.hasVendorIdentifier() && info.vendorIdentifier() == kFtdiVendorId) found.append(info);
    std::sort(found.begin(), found.end(), [](const QSerialPortInfo& a, const QSerialPortInfo& b) {
        return a.systemLocation() < b.systemLocation();
    });
    return found;
}

int SerialBackend::device_count() {
    return static_cast<int>(scan().size());
}

bool SerialBackend::serial_number(int index, QByteArray* out) {
    const auto list = scan();
    if (index < 0 || index >= list.size()) return false;
    *out = list[index].serialNumber().toLatin1();
    return true;
}

bool SerialBackend::description(int index, QByteArray* out) {
    const auto list = scan();
    if (index < 0 || index >= list.size()) return false;
    *out = list[index].description().toLatin1();
    return true;
}

std::unique_ptr<Device> SerialBackend::open(int index, FT_STATUS* status) {
    const auto list = scan();
    if (index < 0 || index >= list.size()) {
        *status = FT_DEVICE_NOT_FOUND;
        return nullptr;
    }
    auto port = std::make_unique<QSerialPort>(list[index]);
    if (!port->open(QIODevice::ReadWrite)) {
        *status = FT_DEVICE_NOT_OPENED;
        return nullptr;
    }
    *status = FT_OK;
    return std::make_unique<SerialDevice>(std::move(port), list[index].systemLocation());
}

} // namespace ftdi
