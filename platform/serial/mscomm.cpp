#include "platform/serial/mscomm.h"

#include "platform/settings/settings.h"

#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <cerrno>

namespace serial {

namespace {

// Devices held open by this process. The driver's exclusive flag does not bind a privileged
// process, so a second open of the same device is refused here as well. Never destroyed: a port
// object that outlives it (a static one, closed at exit) still takes its device off the list.
QSet<QString>& open_devices() {
    static auto* set = new QSet<QString>;
    return *set;
}

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
            port_->close();
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
    Backend& ports = backend();
    const QString canonical = ports.locate(path);
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
    QString why;
    std::unique_ptr<Port> port = ports.open(canonical, path, line, &why);
    if (!port) {
        error_ = why;
        return false;
    }
    port_ = port.release();
    port_->setParent(this);
    open_path_ = canonical;
    open_devices().insert(canonical);
    connect(port_, &Port::readyRead, this, &MSComm::OnComm);
    // The lost-port check. A device that is gone fails its reads (an adapter unplugged) or
    // writes, or reads end-of-file (the far end of a virtual port closed); the read notifier
    // would then fire for ever, so the port is closed at the first such failure. Other errors
    // (a read that found nothing in time) leave the port as it is.
    connect(port_, &Port::failed, this, [this](QSerialPort::SerialPortError e) {
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
    const LineCheck line = port_->check_line();
    const QString system_text = port_->errorString();
    // The device went away: the port is closed so that nothing reads from or writes to it again,
    // and kept (closed) until the device has been looked at once more.
    Port* dead = port_;
    dead->disconnect(this);
    dead->close();
    port_ = nullptr;
    setPortOpen(false);
    // Told from the event loop, not from inside the port's own notification, and once the
    // system has settled, so that an unplugged adapter is told as removed.
    QTimer::singleShot(kSettleMs, dead, [=, this] {
        const bool removed = !dead->present();
        const bool pty = dead->pseudo_terminal();
        dead->deleteLater();
        if (PortOpen()) return; // opened again meanwhile: nothing is lost any more
        if (pty && (line.hung_up || removed || line.probe_errno == EIO))
            error_ = QStringLiteral("the line was closed at the other end");
        else if (removed)
            error_ = QStringLiteral("the device was removed");
        else if (line.hung_up)
            error_ = QStringLiteral("the line was closed at the other end");
        else if (qt_error == QSerialPort::DeviceNotFoundError || line.probe_errno == ENODEV ||
                 line.probe_errno == EIO)
            error_ = QStringLiteral("the device was removed");
        else if (qt_error == QSerialPort::ReadError)
            error_ = QStringLiteral("reading from it failed (%1)").arg(system_text);
        else if (qt_error == QSerialPort::WriteError)
            error_ = QStringLiteral("writing to it failed (%1)").arg(system_text);
        else
            error_ = system_text.isEmpty() ? QStringLiteral("the device went away") : system_text;
        emit Lost();
    });
}

void MSComm::fetch() {
    // Takes in what the driver holds without waiting, so that input is seen also between passes
    // of the event loop.
    if (PortOpen()) port_->take_in();
}

void MSComm::Output(const QByteArray& bytes) {
    if (!PortOpen() || bytes.isEmpty()) return;
    port_->write(bytes);
}

int MSComm::InBufferCount() {
    fetch();
    return PortOpen() ? static_cast<int>(port_->bytesAvailable()) : 0;
}

QByteArray MSComm::Input() {
    fetch();
    if (!PortOpen()) return QByteArray();
    return port_->read(input_len_);
}

} // namespace serial
