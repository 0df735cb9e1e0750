#pragma once
// The port device under the serial control: one open port, and the backend that opens ports and
// tells whether a device is still there. The real backend drives the kernel's serial driver
// through QSerialPort; tests install a double whose ports answer as scales and die on request.
#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <memory>

namespace serial {

struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits bits = QSerialPort::Data8;
    QSerialPort::StopBits stop = QSerialPort::OneStop;
};

// How a failed line looks at the moment its failure is seen.
struct LineCheck {
    bool hung_up = false; // reads give end-of-file: the far end closed the line
    int probe_errno = 0;  // error of a terminal query on the line, 0 while it still answers
};

// One open port. It reports a failure with failed(); the serial control then closes it.
class Port : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool isOpen() const = 0;
    virtual void close() = 0;
    virtual QString errorString() const = 0;
    // Sends the bytes and hands them to the driver at once.
    virtual void write(const QByteArray& bytes) = 0;
    // Takes in what the driver holds, without waiting.
    virtual void take_in() = 0;
    virtual qint64 bytesAvailable() const = 0;
    // Up to max bytes, all with max 0.
    virtual QByteArray read(qint64 max) = 0;
    virtual LineCheck check_line() = 0;
    // Whether the device is a pseudo-terminal, whose far end is a program.
    virtual bool pseudo_terminal() const = 0;
    // False once the device the port was opened on has gone from the system; asked also after
    // the port was closed.
    virtual bool present() = 0;

signals:
    void readyRead();
    void failed(QSerialPort::SerialPortError error);
};

class Backend {
public:
    virtual ~Backend() = default;
    // The canonical path of a device, empty when there is none at that path.
    virtual QString locate(const QString& path) = 0;
    // Opens the device with the line settings. nullptr when it cannot, with the reason in *why,
    // naming the device as `shown`.
    virtual std::unique_ptr<Port> open(const QString& canonical, const QString& shown,
                                       const LineSettings& line, QString* why) = 0;
};

// Installs a backend (not owned); nullptr returns to the real one. Ports already open stay as
// they are.
void set_backend(Backend* backend);
Backend& backend();

} // namespace serial
