#include "tests/sim/tcp_end.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace sim {

TcpEnd::TcpEnd(std::shared_ptr<Responder> responder, quint16 port, const QHostAddress& address,
               QObject* parent)
    : QObject(parent), responder_(std::move(responder)), server_(new QTcpServer(this)),
      timer_(new QTimer(this)) {
    timer_->setInterval(2);
    connect(timer_, &QTimer::timeout, this, &TcpEnd::pump);
    responder_->on_reply = [this] { timer_->start(); };
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = server_->nextPendingConnection()) {
            clients_.append(s);
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                responder_->receive(s->readAll());
                pump();
            });
            connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    server_->listen(address, port);
}

TcpEnd::~TcpEnd() {
    if (responder_) responder_->on_reply = nullptr;
}

bool TcpEnd::listening() const {
    return server_->isListening();
}
quint16 TcpEnd::port() const {
    return server_->serverPort();
}

int TcpEnd::clients() const {
    int n = 0;
    for (const auto& c : clients_)
        n += c && c->state() == QAbstractSocket::ConnectedState ? 1 : 0;
    return n;
}

void TcpEnd::push(const QByteArray& bytes) {
    for (const auto& c : clients_)
        if (c) c->write(bytes);
}

void TcpEnd::drop_clients() {
    for (const auto& c : clients_)
        if (c) c->abort();
    clients_.clear();
}

void TcpEnd::pump() {
    const QByteArray out = responder_->take();
    if (!out.isEmpty()) push(out);
    if (!responder_->pending()) timer_->stop();
}

} // namespace sim
