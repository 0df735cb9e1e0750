#pragma once
// A serial-port control in the manner the program's links expect: a port number (1 or 2) that
// the per-user settings store maps to a device (section "Ports", keys "COM1", "COM2"), a
// settings string such as "9600,N,8,1", an input length (0 = take everything waiting), an open
// flag, output, the count of bytes waiting and input. Bytes are bytes: nothing is re-encoded.
//
// Opening a missing or busy port fails and says why in error(). A port that goes away while
// open (adapter unplugged, the far end of a virtual port closed) closes itself and says so once
// with Lost(): later input is empty, output does nothing, and nothing is left watching the
// device. The port device itself comes from the installed backend (serial_port.h).
#include "platform/serial/serial_port.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace serial {

class MSComm : public QObject {
    Q_OBJECT
public:
    explicit MSComm(QObject* parent = nullptr);
    ~MSComm() override;

    // The device that port number n stands for: settings "Ports" / "COM<n>", by default
    // /dev/ttyS<n-1>.
    static QString device_path(int port);

    int CommPort() const { return comm_port_; }
    // Changing the port while it is open is refused (false).
    bool setCommPort(int port);

    QString Settings() const { return settings_; }
    // Takes "baud,parity,data bits,stop bits", parity one of N, E, O, M, S. False (and nothing
    // changed) for a text that is not of that form.
    bool setSettings(const QString& text);

    int InputLen() const { return input_len_; }
    void setInputLen(int n) { input_len_ = n < 0 ? 0 : n; }

    bool PortOpen() const;
    // Opens or closes the port. Opening fails (false, error() tells why) when the port number
    // maps to no device, the device is missing, busy, held by another program or no serial
    // port, or the settings cannot be applied.
    bool setPortOpen(bool open);
    QString error() const { return error_; }

    // Sends the bytes as they are; does nothing while the port is closed.
    void Output(const QByteArray& bytes);
    // Bytes received and not yet taken.
    int InBufferCount();
    // Takes up to InputLen bytes (all with InputLen 0).
    QByteArray Input();

signals:
    // New bytes have arrived.
    void OnComm();
    // The open device went away and the port is closed; error() then says why in words a user
    // understands: "the line was closed at the other end" (hung up, or the far end of a
    // pseudo-terminal closed), "the device was removed" (unplugged), that reading from it or
    // writing to it failed, with the system's text, or else the system's text.
    void Lost();

private:
    void fetch();
    void lost(int qt_error);

    int comm_port_ = 1;
    QString settings_ = QStringLiteral("9600,N,8,1");
    int input_len_ = 0;
    QString error_;
    QString open_path_;
    Port* port_ = nullptr;
};

} // namespace serial
