// The serial control over a real pseudo-terminal with the scale simulator on the other end.
#include "platform/serial/mscomm.h"
#include "platform/settings/settings.h"
#include "tests/sim/pty_end.h"
#include "tests/support/test_main.h"

#include <QtTest>

class TestSerial : public QObject {
    Q_OBJECT
private slots:
    void device_paths_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("expected");
        QTest::newRow("COM1 default") << 1 << QString() << "/dev/ttyS0";
        QTest::newRow("COM2 default") << 2 << QString() << "/dev/ttyS1";
        QTest::newRow("COM1 configured") << 1 << "/dev/ttyUSB3"
                                         << "/dev/ttyUSB3";
        QTest::newRow("no port 0") << 0 << QString() << QString();
    }
    void device_paths() {
        QFETCH(int, port);
        QFETCH(QString, configured);
        QFETCH(QString, expected);
        settings::SaveSetting("Ports", "COM1", configured.isNull() ? QString() : configured);
        if (configured.isNull()) {
            QSettings s(QSettings::IniFormat, QSettings::UserScope, "Weyvane", "Weyvane");
            s.remove("Ports");
        }
        QCOMPARE(serial::MSComm::device_path(port), expected);
    }

    void settings_text_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::newRow("9600,N,8,1") << "9600,N,8,1" << true;
        QTest::newRow("19200,e,7,2") << "19200,e,7,2" << true;
        QTest::newRow("no parity letter") << "9600,8,1" << false;
        QTest::newRow("bad parity") << "9600,X,8,1" << false;
        QTest::newRow("empty") << "" << false;
    }
    void settings_text() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        serial::MSComm port;
        QCOMPARE(port.setSettings(text), ok);
        QCOMPARE(port.Settings(), ok ? text : QString("9600,N,8,1"));
    }

    void missing_device_is_an_error() {
        settings::SaveSetting("Ports", "COM2", "/dev/weyvane-no-such-port");
        serial::MSComm port;
        port.setCommPort(2);
        QVERIFY(!port.setPortOpen(true));
        QVERIFY(!port.PortOpen());
        QVERIFY(port.error().contains("/dev/weyvane-no-such-port"));
        port.Output("*P"); // nothing happens
        QCOMPARE(port.InBufferCount(), 0);
        QCOMPARE(port.Input(), QByteArray());
    }

    // Bytes of every value go out and come in unchanged; InputLen limits a read.
    void round_trip_over_pty() {
        auto responder = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        responder->add(130).reading = QByteArray("\xb0 12.5", 6); // a byte above 127 in the text
        sim::PtyEnd pty(responder);
        QVERIFY(pty.ok());
        settings::SaveSetting("Ports", "COM1", pty.path());
        serial::MSComm port;
        port.setCommPort(1);
        QVERIFY2(port.setPortOpen(true), qPrintable(port.error()));
        QVERIFY(!port.setCommPort(2)); // not while open
        port.Output(QByteArray::fromHex("82"));
        port.Output(QByteArray::fromHex("11"));
        port.Output("1");
        const QByteArray reply = QByteArray::fromHex("82") + QByteArray("\xb0 12.5\r", 7);
        QTRY_COMPARE(port.InBufferCount(), static_cast<int>(reply.size()));
        port.setInputLen(3);
        QCOMPARE(port.Input(), reply.left(3));
        port.setInputLen(0);
        QCOMPARE(port.Input(), reply.mid(3));
        QCOMPARE(responder->received, QByteArray::fromHex("821131"));
        QVERIFY(port.setPortOpen(false));
        QVERIFY(!port.PortOpen());
        QVERIFY(port.setPortOpen(true)); // reopens after a close
    }

    void busy_port_is_an_error() {
        sim::PtyEnd pty(std::make_shared<sim::Responder>());
        settings::SaveSetting("Ports", "COM1", pty.path());
        serial::MSComm a, b;
        QVERIFY(a.setPortOpen(true));
        QVERIFY(!b.setPortOpen(true));
        QVERIFY(b.error().contains("in use"));
        a.setPortOpen(false);
        QVERIFY(b.setPortOpen(true));
    }

    // The device goes away under an open port: nothing crashes, input is empty, output is
    // dropped.
    void device_disappears() {
        auto responder = std::make_shared<sim::Responder>();
        auto* pty = new sim::PtyEnd(responder);
        settings::SaveSetting("Ports", "COM1", pty->path());
        serial::MSComm port;
        QVERIFY(port.setPortOpen(true));
        pty->hang_up();
        delete pty;
        for (int i = 0; i < 5; ++i) {
            port.Output("*P");
            QCOMPARE(port.Input(), QByteArray());
            QCoreApplication::processEvents();
        }
        QCOMPARE(port.InBufferCount(), 0);
    }
};

WEYVANE_TEST_MAIN(TestSerial)
#include "test_serial.moc"
