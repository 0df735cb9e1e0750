// The FTDI adapter (opening once per run, its messages, writes, closing) and the RF modem's
// channel switch, against simulated devices on the fake clock.
#include "app/module_state.h"
#include "core/core_state.h"
#include "links/ftdi_adapter.h"
#include "links/links_state.h"
#include "links/rf_modem.h"
#include "platform/clock/clock.h"
#include "platform/ftdi/ftdi.h"
#include "platform/ui/message_box.h"
#include "tests/sim/sim_ftdi.h"
#include "tests/support/test_main.h"

#include <QtTest>

namespace {
const QString kRetry =
    "FT_SetResetPipeRetryCount Failed. The value for USB reset indicated in the Setup Screen "
    "may be invalid. The system will work but will not be optimized for USB errors.";
const QString kDrivers = "The USB drivers are out of date. Please install the latest drivers.";
} // namespace

class TestFtdiAdapter : public QObject {
    Q_OBJECT
    ui::UiRecorder rec;

private slots:
    void init() {
        reset_module_state();
        rec = ui::UiRecorder();
        ui::set_backend(&rec);
        wclock::use_fake(36000.0, 0.001);
    }
    void cleanup() { reset_module_state(); }

    void open_messages_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("open");
        QTest::newRow("good") << "" << QStringList{} << true;
        QTest::newRow("no device") << "none" << QStringList{"No device can be found on the USB."} << false;
        QTest::newRow("open fails") << "open" << QStringList{"Open Failed"} << false;
        QTest::newRow("baud") << "baud" << QStringList{"SetBaudRate Failed"} << true;
        QTest::newRow("data") << "data" << QStringList{"SetDataCharacteristics Failed"} << true;
        QTest::newRow("flow") << "flow" << QStringList{"SetFlowControl Failed"} << true;
        QTest::newRow("timeouts") << "timeouts" << QStringList{"SetTimeouts Failed"} << true;
        QTest::newRow("all settings") << "baud data flow timeouts retry"
                                      << QStringList{"SetBaudRate Failed", "SetDataCharacteristics Failed",
                                                     "SetFlowControl Failed", "SetTimeouts Failed", kRetry}
                                      << true;
        QTest::newRow("retry refused") << "retry" << QStringList{kRetry} << true;
        QTest::newRow("old library") << "nofunc" << QStringList{kDrivers} << true;
    }
    void open_messages() {
        QFETCH(QString, fault);
        QFETCH(QStringList, messages);
        QFETCH(bool, open);
        sim::SimFtdi usb;
        if (fault != "none") {
            auto& d = usb.add("A", "Adapter", nullptr);
            d.fail_open = fault.contains("open");
            d.fail_baud = fault.contains("baud");
            d.fail_data = fault.contains("data");
            d.fail_flow = fault.contains("flow");
            d.fail_timeouts = fault.contains("timeouts");
            d.fail_retry = fault.contains("retry");
            usb.add("B", "Second", nullptr);
        }
        usb.no_retry_function = fault == "nofunc";
        usb.install();
        core.usb_reset_count = 50;
        usb_open();
        QCOMPARE(rec.texts(), messages);
        QCOMPARE(links.usb_handle != 0, open);
        QCOMPARE(links.usb_fail, int16_t(open ? 0 : 1));
        if (!open) return;
        const sim::SimFtdiDevice& d = usb.device(0);
        QCOMPARE(d.opens, 1);
        QVERIFY(links.usb_event != 0);
        if (fault.isEmpty()) {
            QCOMPARE(d.baud, 9600u);
            QCOMPARE(d.data_characteristics, (QList<uint8_t>{8, 0, 0}));
            QCOMPARE(d.read_timeout, 1000u);
            QCOMPARE(d.retry_count, 50);
        }
        // Once per run: a second call neither opens again nor says anything.
        rec.boxes.clear();
        usb_open();
        QCOMPARE(usb.device(0).opens, 1);
        QVERIFY(rec.texts().isEmpty());
    }

    void writes_and_close() {
        sim::SimFtdi usb;
        auto& adapter = usb.add("A", "Adapter", nullptr);
        auto& scale = usb.add("B", "Scale", nullptr);
        usb.install();
        core.comm_type = "USB485";
        usb_open();
        QVERIFY(links.usb_handle != 0);
        usb_write(QByteArray::fromHex("821131"));
        usb_write(QByteArray(300, 'x'));
        QCOMPARE(adapter.writes.size(), 3);
        QCOMPARE(adapter.writes[0], QByteArray::fromHex("821131"));
        QCOMPARE(adapter.writes[1].size(), 256);
        QCOMPARE(adapter.writes[2].size(), 44);

        // On "USB" the selected scale's handle is written; a handle of 0 takes nothing.
        core.comm_type = "USB";
        ftdi::FT_HANDLE h = 0;
        QCOMPARE(ftdi::FT_Open(1, &h), ftdi::FT_OK);
        links.scale_count = 2;
        links.scale_addr[0] = static_cast<int32_t>(h);
        links.scale_addr[1] = 130; // not a handle
        links.cur_scale_addr = static_cast<int32_t>(h);
        usb_write("*1");
        QCOMPARE(scale.writes, QList<QByteArray>{"*1"});
        links.cur_scale_addr = 0;
        usb_write("*1");
        QCOMPARE(scale.writes.size(), 1);

        usb_close_all();
        QCOMPARE(links.usb_handle, 0u);
        QCOMPARE(ftdi::open_handle_count(), 0);
        usb_close_all(); // nothing open: harmless
        // After closing, the adapter can be opened again.
        usb_open();
        QCOMPARE(adapter.opens, 2);
    }

    void modem_status() {
        sim::SimFtdi usb;
        usb.add("A", "Adapter", nullptr);
        usb.install();
        QVERIFY(!usb_show_modem_status().ok);
        QCOMPARE(ftdi::FT_Open(0, &links.usb_dev_handle), ftdi::FT_OK);
        const ModemStatus m = usb_show_modem_status();
        QVERIFY(m.ok && m.cts && m.dsr && !m.ri && !m.dcd);
    }

    void channel_commands_data() {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("0") << "0" << QByteArray("ATHP 00,CN\r");
        QTest::newRow("3") << "3" << QByteArray("ATHP 03,CN\r");
        QTest::newRow("6") << "6" << QByteArray("ATHP 06,CN\r");
        QTest::newRow("7") << "7" << QByteArray("ATHP ,CN\r");
        QTest::newRow("empty") << "" << QByteArray("ATHP ,CN\r");
        QTest::newRow("10") << "10" << QByteArray("ATHP ,CN\r");
    }
    void channel_commands() {
        QFETCH(QString, id);
        QFETCH(QByteArray, command);
        QCOMPARE(rf_channel_command(id), command);
    }

    // The modem answers "+++" within 2 s: the channel command follows as one write.
    void rf_modem_answers() {
        auto net = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        net->rf_modem = true;
        net->late = 1.5;
        sim::SimFtdi usb;
        auto& adapter = usb.add("A", "Adapter", net);
        usb.install();
        usb_open();
        core.rf_net_id = "3";
        rf_set_channel();
        QVERIFY(rec.texts().isEmpty());
        QCOMPARE(adapter.writes, (QList<QByteArray>{"+++", "ATHP 03,CN\r"}));
        QCOMPARE(net->rf_channel, QByteArray("03"));
        QCOMPARE(net->available(), 0); // the answer was read away
    }

    void rf_modem_silent_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("silent modem") << "silent";
        QTest::newRow("answer too late") << "late";
        QTest::newRow("no adapter open") << "closed";
        QTest::newRow("across midnight") << "midnight";
    }
    void rf_modem_silent() {
        QFETCH(QString, how);
        auto net = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        net->rf_modem = true;
        net->rf_silent = how == "silent" || how == "midnight";
        net->late = how == "late" ? 2.5 : 0;
        sim::SimFtdi usb;
        auto& adapter = usb.add("A", "Adapter", net);
        usb.install();
        if (how != "closed") usb_open();
        if (how == "midnight") wclock::set(86399.0);
        const float start = wclock::Timer();
        rf_set_channel();
        QCOMPARE(rec.texts(), QStringList{"RF Module Not Responding"});
        QCOMPARE(rec.beeps, 1);
        QCOMPARE(adapter.writes, how == "closed" ? QList<QByteArray>{} : QList<QByteArray>{"+++"});
        if (how != "midnight")
            QVERIFY(wclock::Timer() - start >= 2.0f && wclock::Timer() - start < 2.1f);
        else
            QVERIFY(wclock::Timer() > 0.9f && wclock::Timer() < 1.1f);
    }
};

WEYVANE_TEST_MAIN(TestFtdiAdapter)
#include "test_ftdi_adapter.moc"
