#include "platform/serial/mscomm.h"

#include "platform/settings/settings.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPort>
#include <QSet>
#include <QTimer>
#include <cerrno>
#include <poll.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

namespace serial {

namespace {

// Devices held open by this process. The driver's exclusive flag does not bind a privileged
// process, so a second open of the same device is refused here as well. Never destroyed: a port
// object that outlives it (a static one, closed at exit) still takes its device off the list.
QSet<QString>& open_devices() {
    static auto* set = new QSet<QString>;
    return *set;
}

struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits bits = QSerialPort::Data8;
    QSerialPort::StopBits stop = QSerialPort::OneStop;
};

bool parse_settings(const QString& text, LineSettings* out) {
    static const QRegularExpression re(QStringLiteral("^\\s*(\\d+)\\s*,\\s*([NEOMSneoms])\\s*,\\s*([5-8])"
                                                      "\\s*,\\s*(1|1\\.5|2)\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch()) return false;
    LineSettings s;
    bool ok = false;
    s.baud = m.captured(1).toInt(&ok);
    if (!ok || s.baud <= 0) return false;
    switch (m.captured(2).toUpper().at(0).toLatin1()) {
    case 'E':
        s.parity = QSerialPort::EvenParity;
        break;
    case 'O':
        s.parity = QSerialPort::OddParity;
        break;
    case 'M':
        s.parity = QSerialPort::MarkParity;
        break;
    case 'S':
        s.parity = QSerialPort::SpaceParity;
        break;
    default:
        s.parity = QSerialPort::NoParity;
        break;
    }
    s.bits = static_cast<QSerialPort::DataBits>(m.captured(3).toInt());
    const QString stop = m.captured(4);
    s.stop = stop == "2"     ? QSerialPort::TwoStop
             : stop == "1.5" ? QSerialPort::OneAndHalfStop
                             : QSerialPort::OneStop;
    if (out) *out = s;
    return true;
}

// How long after a loss the device is looked at again before the user is told: an unplugged
// adapter's line is hung up a moment before the system takes its device away.
constexpr int kSettleMs = 100;

// Pseudo-terminal slaves (Unix 98, and the older BSD kind): the far end is a program.
bool is_pseudo_terminal(dev_t device) {
    const unsigned m = major(device);
    return (m >= 136 && m <= 143) || m == 3;
}

// True when the device the port was opened on is no longer there: its path is gone or leads
// elsewhere, or the system no longer lists the character device.
bool device_gone(const QString& path, dev_t device) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || st.st_rdev != device) return true;
    if (is_pseudo_terminal(device)) return false;
    const QString sys = QStringLiteral("/sys/dev/char/%1:%2").arg(major(device)).arg(minor(device));
    return QFileInfo::exists(QStringLiteral("/sys/dev/char")) && !QFileInfo::exists(sys);
}

} // namespace

MSComm::MSComm(QObject* parent) : QObject(parent) {}

MSComm::~MSComm() {
    setPortOpen(false);
}

QString MSComm::device_path(int port) {
    if (port < 1) return QString();
    return settings::GetSetting(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(port),
                                QStringLiteral("/dev/ttyS%1").arg(port - 1));
}

bool MSComm::setCommPort(int port) {
    if (PortOpen()) {
        error_ = QStringLiteral("Port already open");
        return false;
    }
    comm_port_ = port;
    return true;
}

bool MSComm::setSettings(const QString& text) {
    if (!parse_settings(text, nullptr)) {
        error_ = QStringLiteral("Invalid port settings: %1").arg(text);
        return false;
    }
    settings_ = text;
    return true;
}

bool MSComm::PortOpen() const {
    return port_ != nullptr && port_->isOpen();
}

bool MSComm::setPortOpen(bool open) {
    if (!open) {
        if (port_) {
            port_->disconnect(this);
            if (port_->isOpen()) port_->close();
            port_->deleteLater();
            port_ = nullptr;
        }
        open_devices().remove(open_path_);
        open_path_.clear();
        return true;
    }
    if (PortOpen()) {
        error_ = QStringLiteral("Port already open");
        return false;
    }
    const QString path = device_path(comm_port_);
    if (path.isEmpty()) {
        error_ = QStringLiteral("Invalid port number %1").arg(comm_port_);
        return false;
    }
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty()) {
        error_ = QStringLiteral("%1 does not exist").arg(path);
        return false;
    }
    if (open_devices().contains(canonical)) {
        error_ = QStringLiteral("%1 is already in use").arg(path);
        return false;
    }
    LineSettings line;
    if (!parse_settings(settings_, &line)) {
        error_ = QStringLiteral("Invalid port settings: %1").arg(settings_);
        return false;
    }
    auto* port = new QSerialPort(this);
    port->setPortName(canonical);
    if (!port->open(QIODevice::ReadWrite)) {
        error_ = QStringLiteral("%1: %2").arg(path, port->errorString());
        if (port->error() == QSerialPort::PermissionError && QFileInfo(canonical).exists() &&
            !QFileInfo(canonical).isWritable())
            error_ += QStringLiteral(" (serial ports are usually open to the members of the \"dialout\" "
                                     "group: sudo usermod -aG dialout $USER, then log in again)");
        delete port;
        return false;
    }
    // Some devices (pseudo-terminals among them) refuse a few line settings; the port is still
    // usable, so only a refused baud rate counts as a failure.
    if (!port->setBaudRate(line.baud)) {
        error_ = QStringLiteral("%1: %2").arg(path, port->errorString());
        port->close();
        delete port;
        return false;
    }
    port->setParity(line.parity);
    port->setDataBits(line.bits);
    port->setStopBits(line.stop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->clearError();
    struct stat st {};
    device_ = ::fstat(static_cast<int>(port->handle()), &st) == 0 ? st.st_rdev : 0;
    port_ = port;
    open_path_ = canonical;
    open_devices().insert(canonical);
    connect(port_, &QSerialPort::readyRead, this, &MSComm::OnComm);
    // A device that is gone fails its reads (an adapter unplugged) or reads end-of-file (the far
    // end of a virtual port closed); either way the read notifier would fire for ever, so the
    // port is closed at the first failure.
    connect(port_, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        if (e == QSerialPort::ResourceError || e == QSerialPort::DeviceNotFoundError ||
            e == QSerialPort::PermissionError || e == QSerialPort::ReadError || e == QSerialPort::WriteError)
            lost(e);
    });
    error_.clear();
    return true;
}

void MSComm::lost(int qt_error) {
    if (!port_) return;
    // What the line looks like now, before the port is dropped: hung up (reads return
    // end-of-file), or failing with a device error.
    const int fd = static_cast<int>(port_->handle());
    pollfd p{fd, POLLIN, 0};
    const bool hung_up = fd >= 0 && ::poll(&p, 1, 0) > 0 && (p.revents & POLLHUP);
    termios t{};
    const int probe_errno = fd >= 0 && ::tcgetattr(fd, &t) != 0 ? errno : 0;
    const QString system_text = port_->errorString();
    const QString path = open_path_;
    const dev_t device = device_;
    // The device went away: drop it so that nothing reads from or writes to it again.
    setPortOpen(false);
    // Told from the event loop, not from inside the serial port's own notification, and once
    // the system has settled, so that an unplugged adapter is told as removed.
    QTimer::singleShot(kSettleMs, this, [=, this] {
        if (PortOpen()) return; // opened again meanwhile: nothing is lost any more
        const bool removed = device_gone(path, device);
        if (is_pseudo_terminal(device) && (hung_up || removed || probe_errno == EIO))
            error_ = QStringLiteral("the line was closed at the other end");
        else if (removed)
            error_ = QStringLiteral("the device was removed");
        else if (hung_up)
            error_ = QStringLiteral("the line was closed at the other end");
        else if (qt_error == QSerialPort::DeviceNotFoundError || probe_errno == ENODEV || probe_errno == EIO)
            error_ = QStringLiteral("the device was removed");
        else
            error_ = system_text.isEmpty() ? QStringLiteral("the device went away") : system_text;
        emit Lost();
    });
}

void MSComm::fetch() {
    // Takes in what the driver holds without waiting, so that input is seen also between passes
    // of the event loop.
    if (PortOpen()) port_->waitForReadyRead(0);
}

void MSComm::Output(const QByteArray& bytes) {
    if (!PortOpen() || bytes.isEmpty()) return;
    port_->write(bytes);
    if (port_) port_->flush();
}

int MSComm::InBufferCount() {
    fetch();
    return PortOpen() ? static_cast<int>(port_->bytesAvailable()) : 0;
}

QByteArray MSComm::Input() {
    fetch();
    if (!PortOpen()) return QByteArray();
    return input_len_ > 0 ? port_->read(input_len_) : port_->readAll();
}

} // namespace serial
