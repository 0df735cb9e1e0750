// The serial control over a real pseudo-terminal with the scale simulator on the other end, and
// over simulated ports for the ways a port dies.
#include "platform/serial/mscomm.h"
#include "platform/settings/settings.h"
#include "tests/sim/pty_end.h"
#include "tests/sim/sim_serial.h"
#include "tests/support/test_main.h"

#include <QSerialPort>
#include <QTemporaryFile>
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

    // A device that cannot be a serial port, or one that another program holds, says so.
    void open_failures_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("told");
        QTest::newRow("character device, no terminal") << "/dev/null"
                                                       << "%1 is not a serial port";
        QTest::newRow("regular file") << "file"
                                      << "%1 is not a serial port";
        QTest::newRow("held by another program") << "held"
                                                 << "%1 is in use by another program";
    }
    void open_failures() {
        QFETCH(QString, device);
        QFETCH(QString, told);
        QTemporaryFile file;
        sim::PtyEnd pty(std::make_shared<sim::Responder>());
        QSerialPort other; // another program's port, with its lock on the device
        if (device == "file") {
            QVERIFY(file.open());
            device = file.fileName();
        } else if (device == "held") {
            device = pty.path();
            other.setPortName(device);
            QVERIFY2(other.open(QIODevice::ReadWrite), qPrintable(other.errorString()));
        }
        settings::SaveSetting("Ports", "COM1", device);
        serial::MSComm port;
        QVERIFY(!port.setPortOpen(true));
        QCOMPARE(port.error(), told.arg(device));
    }

    // Each way an open port dies: it is closed at once, Lost() comes once, the reason is told
    // in words, and input and output stop.
    void port_dies_data() {
        QTest::addColumn<int>("how");
        QTest::addColumn<QString>("told");
        using D = sim::SimSerial::Death;
        QTest::newRow("read error") << int(D::read_error) << "reading from it failed (Input/output error)";
        QTest::newRow("write error") << int(D::write_error) << "writing to it failed (Input/output error)";
        QTest::newRow("closed at the other end")
            << int(D::closed_far_end) << "the line was closed at the other end";
        QTest::newRow("device removed") << int(D::removed) << "the device was removed";
    }
    void port_dies() {
        QFETCH(int, how);
        QFETCH(QString, told);
        sim::SimSerial sim;
        sim.install();
        sim::SimSerialDevice& device = sim.add("/dev/ttySIM0", std::make_shared<sim::Responder>());
        settings::SaveSetting("Ports", "COM1", device.path);
        serial::MSComm port;
        QSignalSpy lost(&port, &serial::MSComm::Lost);
        QVERIFY2(port.setPortOpen(true), qPrintable(port.error()));
        port.Output("*P");
        QCOMPARE(device.written, QByteArray("*P"));
        sim.kill(0, sim::SimSerial::Death(how));
        port.Output("*P"); // fails on a port whose writes fail; goes out on the others
        QTRY_COMPARE(lost.size(), 1);
        QVERIFY(!port.PortOpen());
        QVERIFY(!device.open_now);
        QCOMPARE(port.error(), told);
        const QByteArray before = device.written;
        port.Output("*P");
        QCOMPARE(device.written, before);
        QCOMPARE(port.Input(), QByteArray());
        QTest::qWait(150);
        QCOMPARE(lost.size(), 1);
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
