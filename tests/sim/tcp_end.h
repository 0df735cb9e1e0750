#pragma once
// A scale network behind a TCP server on the loopback interface (port 0 picks a free port):
// every byte a client sends goes to the responder, every reply goes back to that client.
#include "tests/sim/scale_responder.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <memory>

class QTcpServer;
class QTcpSocket;
class QTimer;

namespace sim {

class TcpEnd : public QObject {
    Q_OBJECT
public:
    explicit TcpEnd(std::shared_ptr<Responder> responder, quint16 port = 0,
                    const QHostAddress& address = QHostAddress::LocalHost, QObject* parent = nullptr);
    ~TcpEnd() override;

    bool listening() const;
    quint16 port() const;
    int clients() const;
    Responder& responder() { return *responder_; }
    // Sends raw bytes to every client (data the program did not ask for).
    void push(const QByteArray& bytes);
    void drop_clients();
    void pump();

private:
    std::shared_ptr<Responder> responder_;
    QTcpServer* server_;
    QList<QPointer<QTcpSocket>> clients_;
    QTimer* timer_;
};

} // namespace sim
