#include "platform/socket/winsock.h"

#include "platform/settings/settings.h"

#include <QTcpSocket>

namespace net {

Winsock::Winsock(QObject* parent) : QObject(parent), socket_(new QTcpSocket(this)) {
    remote_host_ = configured_host();
    connect(socket_, &QTcpSocket::readyRead, this,
            [this] { emit DataArrival(static_cast<int>(socket_->bytesAvailable())); });
    connect(socket_, &QTcpSocket::connected, this, [this] {
        connected_ = true;
        emit Connected();
    });
    connect(socket_, &QTcpSocket::disconnected, this, &Winsock::Closed);
    // A failed or broken connection falls back to closed, so that it can be connected again.
    connect(socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        const QString reason = socket_->errorString();
        if (socket_->state() != QAbstractSocket::ConnectedState) socket_->abort();
        if (failed_) return;
        failed_ = true;
        emit Failed(connected_, reason);
    });
}

Winsock::~Winsock() {
    socket_->abort();
}

QString Winsock::configured_host() {
    return settings::GetSetting(QStringLiteral("Ethernet"), QStringLiteral("Host"),
                                QStringLiteral("127.0.0.1"));
}

int Winsock::State() const {
    switch (socket_->state()) {
    case QAbstractSocket::HostLookupState:
    case QAbstractSocket::ConnectingState:
        return sckConnecting;
    case QAbstractSocket::ConnectedState:
        return sckConnected;
    case QAbstractSocket::ClosingState:
        return sckClosing;
    default:
        return sckClosed;
    }
}

void Winsock::Connect() {
    if (socket_->state() != QAbstractSocket::UnconnectedState) return;
    connected_ = false;
    failed_ = false;
    socket_->connectToHost(remote_host_, static_cast<quint16>(remote_port_));
}

void Winsock::Connect(const QString& host, int port) {
    remote_host_ = host;
    remote_port_ = port;
    Connect();
}

void Winsock::Close() {
    // Closed on purpose: nothing to report.
    failed_ = true;
    socket_->abort();
}

void Winsock::SendData(const QByteArray& bytes) {
    if (State() != sckConnected || bytes.isEmpty()) return;
    socket_->write(bytes);
    socket_->flush();
}

int Winsock::BytesReceived() const {
    return static_cast<int>(socket_->bytesAvailable());
}

QByteArray Winsock::GetData() {
    return socket_->readAll();
}

} // namespace net
