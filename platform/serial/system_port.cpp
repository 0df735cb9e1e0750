#include "platform/serial/system_port.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace {

// Pseudo-terminal slaves (Unix 98, and the older BSD kind): the far end is a program.
bool is_pseudo_terminal(dev_t device) {
    const unsigned m = major(device);
    return (m >= 136 && m <= 143) || m == 3;
}

bool is_character_device(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISCHR(st.st_mode);
}

// Why the device could not be opened, in words a user understands.
QString open_failure(const QString& canonical, const QString& shown, const QSerialPort& port) {
    // A character device that answers no terminal query (/dev/null, a printer) is no serial port.
    if (port.errorString() == qt_error_string(ENOTTY))
        return QStringLiteral("%1 is not a serial port").arg(shown);
    if (port.error() == QSerialPort::PermissionError) {
        // The device itself may be opened: another program holds it (its lock file, or an
        // exclusive open).
        if (::access(QFile::encodeName(canonical).constData(), R_OK | W_OK) == 0)
            return QStringLiteral("%1 is in use by another program").arg(shown);
        return QStringLiteral(
                   "%1: %2 (serial ports are usually open to the members of the \"dialout\" group: "
                   "sudo usermod -aG dialout $USER, then log in again)")
            .arg(shown, port.errorString());
    }
    return QStringLiteral("%1: %2").arg(shown, port.errorString());
}

class SystemPort : public Port {
public:
    SystemPort(QSerialPort* port, QString path, dev_t number)
        : port_(port), path_(std::move(path)), number_(number) {
        port_->setParent(this);
        connect(port_, &QSerialPort::readyRead, this, &Port::readyRead);
        connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
            if (e != QSerialPort::NoError) emit failed(e);
        });
    }

    bool isOpen() const override { return port_->isOpen(); }
    void close() override {
        port_->disconnect(this);
        if (port_->isOpen()) port_->close();
    }
    QString errorString() const override { return port_->errorString(); }
    void write(const QByteArray& bytes) override {
        port_->write(bytes);
        if (port_->isOpen()) port_->flush();
    }
    void take_in() override {
        if (port_->isOpen()) port_->waitForReadyRead(0);
    }
    qint64 bytesAvailable() const override { return port_->bytesAvailable(); }
    QByteArray read(qint64 max) override { return max > 0 ? port_->read(max) : port_->readAll(); }

    LineCheck check_line() override {
        LineCheck c;
        const int fd = static_cast<int>(port_->handle());
        if (fd < 0) return c;
        pollfd p{fd, POLLIN, 0};
        c.hung_up = ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
        termios t{};
        c.probe_errno = ::tcgetattr(fd, &t) != 0 ? errno : 0;
        return c;
    }
    bool pseudo_terminal() const override { return is_pseudo_terminal(number_); }

    // Gone when its path is gone or leads elsewhere, or the system no longer lists the character
    // device. A pseudo-terminal's device number is listed for as long as any terminal is.
    bool present() override {
        struct stat st {};
        if (::stat(QFile::encodeName(path_).constData(), &st) != 0 || st.st_rdev != number_) return false;
        if (pseudo_terminal()) return true;
        const QString sys = QStringLiteral("/sys/dev/char/%1:%2").arg(major(number_)).arg(minor(number_));
        return !QFileInfo::exists(QStringLiteral("/sys/dev/char")) || QFileInfo::exists(sys);
    }

private:
    QSerialPort* port_;
    QString path_;
    dev_t number_;
};

class SystemBackend : public Backend {
public:
    QString locate(const QString& path) override { return QFileInfo(path).canonicalFilePath(); }

    std::unique_ptr<Port> open(const QString& canonical, const QString& shown, const LineSettings& line,
                               QString* why) override {
        if (!is_character_device(canonical)) {
            *why = QStringLiteral("%1 is not a serial port").arg(shown);
            return nullptr;
        }
        auto port = std::make_unique<QSerialPort>();
        port->setPortName(canonical);
        if (!port->open(QIODevice::ReadWrite)) {
            *why = open_failure(canonical, shown, *port);
            return nullptr;
        }
        // Some devices (pseudo-terminals among them) refuse a few line settings; the port is
        // still usable, so only a refused baud rate counts as a failure.
        if (!port->setBaudRate(line.baud)) {
            *why = QStringLiteral("%1: %2").arg(shown, port->errorString());
            port->close();
            return nullptr;
        }
        port->setParity(line.parity);
        port->setDataBits(line.bits);
        port->setStopBits(line.stop);
        port->setFlowControl(QSerialPort::NoFlowControl);
        port->clearError();
        struct stat st {};
        const dev_t number = ::fstat(static_cast<int>(port->handle()), &st) == 0 ? st.st_rdev : 0;
        return std::make_unique<SystemPort>(port.release(), canonical, number);
    }
};

} // namespace

Backend& system_backend() {
    static SystemBackend b;
    return b;
}

} // namespace serial
