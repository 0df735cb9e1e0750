// The FTDI layer over simulated devices: lists, opening, reads with the read time-out on the
// fake clock, setting calls, and a device unplugged while open.
#include "app/module_state.h"
#include "platform/clock/clock.h"
#include "platform/ftdi/ftdi.h"
#include "tests/sim/sim_ftdi.h"
#include "tests/support/test_main.h"

#include <QtTest>

using namespace ftdi;

class TestFtdi : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { reset_module_state(); }

    void lists_by_index() {
        sim::SimFtdi usb;
        usb.add("FT1234", "Scale A", nullptr);
        usb.add(QByteArray(300, 'x'), "Scale B", nullptr);
        usb.install();
        uint32_t n = 0;
        QCOMPARE(FT_ListDevices(&n, FT_LIST_NUMBER_ONLY), FT_OK);
        QCOMPARE(n, 2u);
        QByteArray buf(256, ' ');
        QCOMPARE(FT_ListDevices(0, buf, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), FT_OK);
        QCOMPARE(buf.size(), 256);
        QCOMPARE(buf.left(7), QByteArray("FT1234\0", 7));
        QCOMPARE(FT_ListDevices(1, buf, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION), FT_OK);
        QCOMPARE(buf.left(8), QByteArray("Scale B\0", 8));
        // A text longer than the buffer is cut, never written past it.
        QCOMPARE(FT_ListDevices(1, buf, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), FT_OK);
        QCOMPARE(buf.size(), 256);
        QCOMPARE(buf.at(255), '\0');
        QCOMPARE(FT_ListDevices(2, buf, FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER), FT_DEVICE_NOT_FOUND);
    }

    void open_and_settings_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("none") << "";
        QTest::newRow("baud") << "baud";
        QTest::newRow("data") << "data";
        QTest::newRow("flow") << "flow";
        QTest::newRow("timeouts") << "timeouts";
        QTest::newRow("retry") << "retry";
        QTest::newRow("no retry function") << "nofunc";
    }
    void open_and_settings() {
        QFETCH(QString, fault);
        sim::SimFtdi usb;
        auto& d = usb.add("S", "D", nullptr);
        d.fail_baud = fault == "baud";
        d.fail_data = fault == "data";
        d.fail_flow = fault == "flow";
        d.fail_timeouts = fault == "timeouts";
        d.fail_retry = fault == "retry";
        usb.no_retry_function = fault == "nofunc";
        usb.install();
        FT_HANDLE h = 0;
        QCOMPARE(FT_Open(0, &h), FT_OK);
        QVERIFY(h > 0xFFFF); // never a small number such as a network address
        QCOMPARE(FT_SetBaudRate(h, 9600) == FT_OK, fault != "baud");
        QCOMPARE(FT_SetDataCharacteristics(h, 8, 0, 0) == FT_OK, fault != "data");
        QCOMPARE(FT_SetFlowControl(h, 0, 0, 0) == FT_OK, fault != "flow");
        QCOMPARE(FT_SetTimeouts(h, 1000, 0) == FT_OK, fault != "timeouts");
        const FT_STATUS retry = FT_SetResetPipeRetryCount(h, 50);
        QCOMPARE(retry == FT_FUNCTION_MISSING, fault == "nofunc");
        QCOMPARE(retry == FT_OK, fault != "nofunc" && fault != "retry");
        QCOMPARE(read_timeout(h), fault == "timeouts" ? 0u : 1000u);
        // One handle per device at a time.
        FT_HANDLE again = 0;
        QVERIFY(FT_Open(0, &again) != FT_OK);
        QCOMPARE(FT_Close(h), FT_OK);
        QCOMPARE(FT_Close(h), FT_INVALID_HANDLE);
        QCOMPARE(FT_Open(0, &again), FT_OK);
    }

    void failing_open() {
        sim::SimFtdi usb;
        usb.add("S", "D", nullptr).fail_open = true;
        usb.install();
        FT_HANDLE h = 123;
        QVERIFY(FT_Open(0, &h) != FT_OK);
        QCOMPARE(h, 0u);
        QVERIFY(FT_Open(5, &h) != FT_OK);
    }

    // A late reply is waited for up to the read time-out; the wait runs on the fake clock.
    void read_waits_for_late_reply() {
        wclock::use_fake(1000.0, 0.001);
        auto responder = std::make_shared<sim::Responder>();
        responder->late = 0.3;
        sim::SimFtdi usb;
        usb.add("S", "D", responder);
        usb.install();
        FT_HANDLE h = 0;
        QCOMPARE(FT_Open(0, &h), FT_OK);
        FT_SetTimeouts(h, 1000, 0);
        QCOMPARE(FT_Write(h, QByteArray("*1")), FT_OK);
        uint32_t q = 99;
        FT_GetQueueStatus(h, &q);
        QCOMPARE(q, 0u);
        char buf[256];
        uint32_t got = 0;
        QCOMPARE(FT_Read(h, buf, 9, &got), FT_OK);
        QCOMPARE(QByteArray(buf, got), QByteArray(" 1234.5\r"));
        QVERIFY(wclock::Timer() - 1000.0 >= 0.99f); // waited the whole time-out for a 9th byte
        // Purging drops what the scale sent.
        FT_Write(h, QByteArray("*1"));
        wclock::advance(1);
        FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX);
        FT_GetQueueStatus(h, &q);
        QCOMPARE(q, 0u);
    }

    void unplugged_while_open() {
        wclock::use_fake(1000.0, 0.001);
        auto responder = std::make_shared<sim::Responder>();
        sim::SimFtdi usb;
        auto& d = usb.add("S", "D", responder);
        usb.install();
        FT_HANDLE h = 0;
        QCOMPARE(FT_Open(0, &h), FT_OK);
        FT_SetTimeouts(h, 15000, 0);
        FT_Write(h, QByteArray("*1"));
        d.attached = false;
        uint32_t q = 7, got = 7;
        char buf[16];
        QVERIFY(FT_GetQueueStatus(h, &q) != FT_OK);
        QCOMPARE(q, 0u);
        const float before = wclock::Timer();
        QVERIFY(FT_Read(h, buf, 8, &got) != FT_OK);
        QCOMPARE(got, 0u);
        QCOMPARE(wclock::Timer(), before); // no wait on a device that is gone
        QVERIFY(FT_Write(h, QByteArray("*1")) != FT_OK);
        QCOMPARE(d.writes.size(), 1);
        uint32_t n = 9;
        FT_ListDevices(&n, FT_LIST_NUMBER_ONLY);
        QCOMPARE(n, 0u);
        QCOMPARE(FT_Close(h), FT_OK);
    }

    void unknown_handles() {
        sim::SimFtdi usb;
        usb.install();
        uint32_t q = 5;
        char buf[4];
        QCOMPARE(FT_GetQueueStatus(130, &q), FT_INVALID_HANDLE);
        QCOMPARE(q, 0u);
        QCOMPARE(FT_Read(0, buf, 4, &q), FT_INVALID_HANDLE);
        QCOMPARE(FT_Write(0, QByteArray("x")), FT_INVALID_HANDLE);
        QCOMPARE(FT_Close(130), FT_INVALID_HANDLE);
        QVERIFY(CreateEventA(nullptr, false, false, "") != 0);
    }
};

WEYVANE_TEST_MAIN(TestFtdi)
#include "test_ftdi.moc"
