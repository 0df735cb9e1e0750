#pragma once
// A TCP client control in the manner the Ethernet link expects: a state number (0 closed,
// 6 connecting, 7 connected, 8 closing), connect to a host and port, send, a data-arrival
// signal and a call that takes the waiting data. Data are bytes, not text.
#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

namespace net {

class Winsock : public QObject {
    Q_OBJECT
public:
    enum State { sckClosed = 0, sckConnecting = 6, sckConnected = 7, sckClosing = 8 };

    explicit Winsock(QObject* parent = nullptr);
    ~Winsock() override;

    // The configured host: settings "Ethernet" / "Host", 127.0.0.1 when not set.
    static QString configured_host();

    QString RemoteHost() const { return remote_host_; }
    void setRemoteHost(const QString& host) { remote_host_ = host; }
    int RemotePort() const { return remote_port_; }
    void setRemotePort(int port) { remote_port_ = port; }

    int State() const;
    // Starts connecting; the state is 6 until the connection stands (7) or fails (0).
    void Connect();
    void Connect(const QString& host, int port);
    void Close();
    // Sends the bytes while connected; otherwise does nothing.
    void SendData(const QByteArray& bytes);
    int BytesReceived() const;
    // Takes all waiting bytes.
    QByteArray GetData();

signals:
    void DataArrival(int bytes_total);
    void Connected();
    void Closed();
    // The connection was refused or could not be made (was_connected false), or the peer closed
    // it or it broke (true); reason is the system's. Once per connection attempt; a Close() of
    // our own reports nothing.
    void Failed(bool was_connected, const QString& reason);

private:
    QTcpSocket* socket_;
    QString remote_host_;
    int remote_port_ = 2000;
    bool connected_ = false; // the current attempt reached the connected state
    bool failed_ = false;    // the current attempt has reported its failure
};

} // namespace net
