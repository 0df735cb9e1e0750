#include "tests/sim/sim_serial.h"

#include <QTimer>
#include <cerrno>

namespace sim {

class SimPort : public serial::Port {
public:
    explicit SimPort(std::shared_ptr<SimSerialDevice> device) : device_(std::move(device)) {
        device_->open_now = true;
        device_->port = this;
    }
    ~SimPort() override { close(); }

    void die(QSerialPort::SerialPortError error, const QString& text, serial::LineCheck line) {
        error_text_ = text;
        line_ = line;
        emit failed(error);
    }

    bool isOpen() const override { return open_; }
    void close() override {
        if (!open_) return;
        open_ = false;
        device_->open_now = false;
        if (device_->port == this) device_->port = nullptr;
    }
    QString errorString() const override { return error_text_; }
    void write(const QByteArray& bytes) override {
        if (!open_) return;
        if (device_->fail_writes) {
            die(QSerialPort::WriteError, QStringLiteral("Input/output error"), {});
            return;
        }
        device_->written += bytes;
        if (device_->responder) device_->responder->receive(bytes);
    }
    void take_in() override {}
    qint64 bytesAvailable() const override {
        return open_ && device_->responder ? device_->responder->available() : 0;
    }
    QByteArray read(qint64 max) override {
        if (!open_ || !device_->responder) return QByteArray();
        return device_->responder->take(max > 0 ? static_cast<int>(max) : -1);
    }
    serial::LineCheck check_line() override { return line_; }
    bool pseudo_terminal() const override { return false; }
    bool present() override { return device_->attached; }

private:
    std::shared_ptr<SimSerialDevice> device_;
    bool open_ = true;
    QString error_text_ = QStringLiteral("No error");
    serial::LineCheck line_;
};

SimSerial::~SimSerial() {
    uninstall();
}

void SimSerial::install() {
    serial::set_backend(this);
    installed_ = true;
}

void SimSerial::uninstall() {
    if (installed_ && &serial::backend() == this) serial::set_backend(nullptr);
    installed_ = false;
}

SimSerialDevice& SimSerial::add(const QString& path, std::shared_ptr<Responder> responder) {
    auto d = std::make_shared<SimSerialDevice>();
    d->path = path;
    d->responder = std::move(responder);
    devices_.append(d);
    return *d;
}

void SimSerial::kill(int index, Death how) {
    SimSerialDevice& d = *devices_[index];
    switch (how) {
    case Death::write_error:
        d.fail_writes = true;
        return;
    case Death::removed:
        d.attached = false;
        break;
    default:
        break;
    }
    const std::shared_ptr<SimSerialDevice> device = devices_[index];
    QTimer::singleShot(0, [device, how] {
        if (!device->port) return;
        if (how == Death::read_error)
            device->port->die(QSerialPort::ReadError, QStringLiteral("Input/output error"), {});
        else if (how == Death::closed_far_end)
            device->port->die(QSerialPort::ResourceError, QStringLiteral("Unknown error"), {true, 0});
        else
            device->port->die(QSerialPort::ResourceError, QStringLiteral("No such device"), {false, ENODEV});
    });
}

QString SimSerial::locate(const QString& path) {
    for (const auto& d : devices_)
        if (d->path == path && d->attached) return path;
    return QString();
}

std::unique_ptr<serial::Port> SimSerial::open(const QString& canonical, const QString& shown,
                                              const serial::LineSettings& /*line*/, QString* why) {
    for (const auto& d : devices_) {
        if (d->path != canonical || !d->attached) continue;
        ++d->opens;
        d->fail_writes = false;
        return std::make_unique<SimPort>(d);
    }
    *why = QStringLiteral("%1 does not exist").arg(shown);
    return nullptr;
}

} // namespace sim
