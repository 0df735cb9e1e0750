// The TCP client control against a loopback server.
#include "platform/settings/settings.h"
#include "platform/socket/winsock.h"
#include "tests/sim/tcp_end.h"
#include "tests/support/test_main.h"

#include <QTcpServer>
#include <QtTest>

class TestSocket : public QObject {
    Q_OBJECT
private slots:
    void configured_host() {
        QCOMPARE(net::Winsock::configured_host(), QString("127.0.0.1"));
        settings::SaveSetting("Ethernet", "Host", "10.1.2.3");
        QCOMPARE(net::Winsock::configured_host(), QString("10.1.2.3"));
        net::Winsock s;
        QCOMPARE(s.RemoteHost(), QString("10.1.2.3"));
        QCOMPARE(s.RemotePort(), 2000);
        settings::SaveSetting("Ethernet", "Host", "127.0.0.1");
    }

    void connect_send_receive() {
        auto responder = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        responder->add(130).reading = "  55.0";
        sim::TcpEnd server(responder);
        QVERIFY(server.listening());
        net::Winsock s;
        QSignalSpy arrivals(&s, &net::Winsock::DataArrival);
        QCOMPARE(s.State(), 0);
        s.SendData("lost"); // not connected: nothing goes out
        s.Connect("127.0.0.1", server.port());
        QCOMPARE(s.State(), 6);
        QTRY_COMPARE(s.State(), 7);
        s.SendData(QByteArray::fromHex("82114b"));
        QTRY_VERIFY(!arrivals.isEmpty());
        QTRY_COMPARE(s.BytesReceived(), 8);
        QCOMPARE(s.GetData(), QByteArray::fromHex("82") + "  55.0\r");
        QCOMPARE(s.GetData(), QByteArray());
        QCOMPARE(responder->received, QByteArray::fromHex("82114b"));
        s.Close();
        QCOMPARE(s.State(), 0);
    }

    // A refused connection falls back to closed and can be tried again; a server that goes
    // away leaves the control closed, not broken.
    void refused_and_dropped() {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        net::Winsock s;
        s.Connect("127.0.0.1", port);
        QTRY_COMPARE(s.State(), 0);

        sim::TcpEnd server(std::make_shared<sim::Responder>(sim::Responder::Link::network), 0);
        s.Connect("127.0.0.1", server.port());
        QTRY_COMPARE(s.State(), 7);
        QTRY_COMPARE(server.clients(), 1);
        server.drop_clients();
        QTRY_COMPARE(s.State(), 0);
        s.SendData("x");
        QCOMPARE(s.GetData(), QByteArray());
    }
};

WEYVANE_TEST_MAIN(TestSocket)
#include "test_socket.moc"
