// Link set-ups against copies of the delivered database files, the simulator on a
// pseudo-terminal, simulated FTDI devices and a loopback server.
#include "app/module_state.h"
#include "core/core_state.h"
#include "links/ftdi_adapter.h"
#include "links/link_devices.h"
#include "links/link_setup.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/ftdi/ftdi.h"
#include "platform/settings/settings.h"
#include "platform/ui/message_box.h"
#include "tests/sim/pty_end.h"
#include "tests/sim/sim_ftdi.h"
#include "tests/sim/tcp_end.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

#include <QtTest>
#include <memory>

namespace {
const QString kNoScales = "There are no RS485 scales defined in setup. Aborting.";
const QString kZeroId =
    " One of the RS485 scales has a Net ID of 0. Please close this screen and correct this in "
    "the setup screen. Aborting.";
const QString kPort = "The com port you selected either doesn't exist or is already in use";
} // namespace

struct Rec {
    int netid;
    const char* type;
    int active;
};
Q_DECLARE_METATYPE(QList<Rec>)

Q_DECLARE_METATYPE(QList<int>)

class TestLinkSetup : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDatabase> db;
    ui::UiRecorder rec;
    sim::SimFtdi* usb = nullptr;
    std::shared_ptr<sim::Responder> net;
    std::unique_ptr<sim::PtyEnd> pty;
    std::unique_ptr<sim::TcpEnd> server;

    void records(const QList<Rec>& list, const QString& file) {
        QString sql = "DELETE FROM ScaleCFG;";
        for (const Rec& r : list)
            sql += QString("INSERT INTO ScaleCFG (sctype, NetID, active) VALUES ('%1', %2, %3);")
                       .arg(r.type)
                       .arg(r.netid)
                       .arg(r.active);
        const QString err = db->exec(sql, file);
        QVERIFY2(err.isEmpty(), qPrintable(err));
    }
    // Runs the set-up of a network link on its own transport.
    void run(const QString& link) {
        core.comm_type = link;
        if (link == "USB485")
            usb485_init();
        else if (link == "Ethernet")
            ethernet_connect();
        else
            rs485_com_init();
    }
    QString file_for(const QString& link) { return link == "RS485" ? "sccfg.mdb" : "zqdata.mdb"; }
    QString prefix_for(const QString& link) {
        return link == "RS485" ? "Merol Scale - RS485 ID#" : "SCALE RS485 ID#";
    }
    QList<int> addrs() {
        QList<int> a;
        for (int i = 0; i < links.scale_count; ++i)
            a.append(links.scale_addr[i]);
        return a;
    }

private slots:
    void init() {
        reset_module_state();
        db = std::make_unique<testsupport::TempDatabase>();
        QVERIFY(db->ok());
        core.conn_str = db->conn_str;
        core.app_path_override = db->folder;
        core.comm_port = 1;
        rec = ui::UiRecorder();
        ui::set_backend(&rec);
        net = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        usb = new sim::SimFtdi;
        usb->add("ADAPTER1", "USB-RS485 Adapter", net);
        usb->install();
        pty = std::make_unique<sim::PtyEnd>(net);
        QVERIFY(pty->ok());
        settings::SaveSetting("Ports", "COM1", pty->path());
        server = std::make_unique<sim::TcpEnd>(net);
        QVERIFY(server->listening());
        set_ethernet_port(server->port());
    }
    void cleanup() {
        reset_module_state(); // closes the link devices before their far ends go
        server.reset();
        pty.reset();
        delete usb;
        usb = nullptr;
    }

    void network_lists_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QList<Rec>>("recs");
        QTest::addColumn<QList<int>>("expected");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("beeps");
        for (const char* link : {"USB485", "Ethernet", "RS485"}) {
            auto row = [&](const char* name) -> QTestData& {
                return QTest::addRow("%s %s", link, name) << QString(link);
            };
            row("ordered, inactive and other types left out") << QList<Rec>{{131, "RS485", 1},
                                                                            {130, "RS485", 1},
                                                                            {140, "rs485", 1},
                                                                            {150, "RS485", 0},
                                                                            {160, "USB485", 1}}
                                                              << QList<int>{130, 131, 140} << QString() << 0;
            row("Net ID 0 anywhere") << QList<Rec>{{131, "RS485", 1}, {0, "RS485", 1}, {140, "RS485", 1}}
                                     << QList<int>{} << kZeroId << 1;
            row("no records") << QList<Rec>{} << QList<int>{} << kNoScales << 1;
            row("only inactive") << QList<Rec>{{130, "RS485", 0}} << QList<int>{} << kNoScales << 1;
            row("Net ID above 255 left out")
                << QList<Rec>{{386, "RS485", 1}, {130, "RS485", 1}} << QList<int>{130}
                << "The RS485 scale with Net ID 386 is left out: a Net ID must lie between 1 and 255. Please "
                   "correct this in the setup screen."
                << 1;
            QList<Rec> many;
            QList<int> first11;
            for (int id = 142; id >= 130; --id)
                many.append({id, "RS485", 1});
            for (int id = 130; id <= 140; ++id)
                first11.append(id);
            row("13 records")
                << many << first11
                << "There are 13 RS485 scales defined in setup; this screen holds 11. The first 11 "
                   "are used and 2 were left out."
                << 0;
        }
    }
    void network_lists() {
        QFETCH(QString, link);
        QFETCH(QList<Rec>, recs);
        QFETCH(QList<int>, expected);
        QFETCH(QString, message);
        QFETCH(int, beeps);
        records(recs, file_for(link));
        links.scale_name[10] = "kept";
        run(link);
        QCOMPARE(addrs(), expected);
        QCOMPARE(rec.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(rec.beeps, beeps);
        for (int i = 0; i < expected.size(); ++i) {
            QCOMPARE(links.scale_name[i], prefix_for(link) + QString::number(expected[i]));
            QCOMPARE(links.scale_serial[i], QString("Unknown"));
            QCOMPARE(links.scale_state[i], int16_t(12345));
            QCOMPARE(links.scale_dev_index[i], 0);
        }
        QCOMPARE(links.scale_state[expected.size() < 10 ? expected.size() : 9] == 12345,
                 expected.size() >= 10);
        if (expected.size() <= 10) QCOMPARE(links.scale_name[10], QString("kept"));
    }

    // A shorter list after a longer one leaves no stale slot; slot 10 is never cleared.
    void second_setup_clears_old_slots() {
        records(
            {{130, "RS485", 1}, {131, "RS485", 1}, {132, "RS485", 1}, {133, "RS485", 1}, {134, "RS485", 1}},
            "zqdata.mdb");
        core.comm_type = "USB485";
        usb485_init();
        QCOMPARE(links.scale_count, int16_t(5));
        links.scale_reading[4] = "old";
        links.scale_recid[3] = 17;
        links.rx_buf[0] = "partial";
        links.cur_scale = 4;
        links.cur_scale_addr = 134;
        links.scale_addr[10] = 99;
        records({{130, "RS485", 1}, {131, "RS485", 1}, {132, "RS485", 1}}, "zqdata.mdb");
        usb485_init();
        QCOMPARE(addrs(), (QList<int>{130, 131, 132}));
        for (int i = 3; i <= 4; ++i) {
            QCOMPARE(links.scale_addr[i], 0);
            QCOMPARE(links.scale_state[i], int16_t(0));
            QVERIFY(links.scale_name[i].isEmpty());
            QVERIFY(links.scale_reading[i].isEmpty());
            QCOMPARE(links.scale_recid[i], 0);
        }
        QCOMPARE(links.cur_scale, int16_t(0));
        QCOMPARE(links.cur_scale_addr, 0);
        QVERIFY(links.rx_buf[0].isEmpty());
        QCOMPARE(links.scale_addr[10], 99);
        QCOMPARE(usb->device(0).opens, 1); // the adapter was opened once
        QVERIFY(rec.texts().isEmpty());
    }

    void rs232() {
        core.comm_type = "RS232";
        rs232_init();
        QVERIFY(rec.texts().isEmpty());
        QCOMPARE(links.scale_count, int16_t(1));
        QCOMPARE(links.scale_name[0], QString("Scale - RS232"));
        QCOMPARE(links.scale_serial[0], QString("Unknown"));
        QCOMPARE(links.scale_state[0], int16_t(12345));
        QVERIFY(MSComm1().PortOpen());
        QCOMPARE(MSComm1().Settings(), QString("9600,N,8,1"));
        QCOMPARE(MSComm1().InputLen(), 0);
        rs232_init(); // a second start-up finds its own port open and opens it again
        QCOMPARE(links.scale_count, int16_t(1));
        QVERIFY(rec.texts().isEmpty());

        close_link_devices();
        settings::SaveSetting("Ports", "COM1", "/dev/weyvane-missing");
        rs232_init();
        QCOMPARE(links.scale_count, int16_t(0));
        // The message and, on a second line, the system's reason.
        QCOMPARE(rec.texts(), QStringList{kPort + "\n/dev/weyvane-missing does not exist"});
        QCOMPARE(rec.beeps, 1);
    }

    void rs485_port_missing() {
        records({{130, "RS485", 1}}, "sccfg.mdb");
        settings::SaveSetting("Ports", "COM2", "/dev/weyvane-missing");
        core.comm_port = 2;
        core.comm_type = "RS485";
        rs485_com_init();
        QCOMPARE(links.scale_count, int16_t(0));
        QCOMPARE(rec.texts(), QStringList{kPort + "\n/dev/weyvane-missing does not exist"});
    }

    void missing_scale_list_file() {
        QFile::remove(db->folder + "/sccfg.mdb");
        core.comm_type = "RS485";
        rs485_com_init();
        QCOMPARE(links.scale_count, int16_t(0));
        QCOMPARE(rec.texts().size(), 1);
        QVERIFY(rec.texts().first().contains("sccfg.mdb"));
        QVERIFY(!MSComm1().PortOpen());
    }

    void usb_enumeration() {
        delete usb;
        usb = new sim::SimFtdi;
        usb->add(QByteArray(" FT1A\0", 6), QByteArray("Scale One\0garbage", 17), nullptr);
        usb->add(QByteArray("\x01\x1f"
                            "AB\x7f"
                            "C{}\n",
                            9),
                 "  Scale Two  ", nullptr);
        usb->install();
        core.comm_type = "USB";
        usb_enumerate();
        QVERIFY(rec.texts().isEmpty());
        QCOMPARE(links.scale_count, int16_t(2));
        QCOMPARE(links.scale_serial[0], QString("FT1A"));
        QCOMPARE(links.scale_serial[1], QString("ABC"));
        QCOMPARE(links.scale_name[0], QString("Scale One"));
        QCOMPARE(links.scale_name[1], QString("Scale Two"));
        QCOMPARE(links.scale_dev_index[1], 1);
        QCOMPARE(links.scale_state[1], int16_t(12345));
        QCOMPARE(links.scale_addr[1], 0); // handles come with the screen's start-up
    }

    void usb_enumeration_failures() {
        delete usb;
        usb = new sim::SimFtdi;
        usb->install();
        core.comm_type = "USB";
        usb_enumerate();
        QCOMPARE(rec.texts(), QStringList{"There are no Merol Scales detected on the USB."});
        QCOMPARE(rec.beeps, 0);
        QCOMPARE(links.scale_count, int16_t(0));

        rec = ui::UiRecorder();
        usb->add("S0", "D0", nullptr);
        usb->add("S1", "D1", nullptr).fail_query = true;
        usb->add("S2", "D2", nullptr);
        usb_enumerate();
        QCOMPARE(rec.texts(), QStringList{"USB not responding. A system reboot is recommended."});
        QCOMPARE(links.scale_count, int16_t(3));
        QCOMPARE(links.scale_serial[0], QString("S0"));
        QVERIFY(links.scale_serial[2].isEmpty());

        rec = ui::UiRecorder();
        usb->device(1).fail_query = false;
        for (int i = 3; i < 13; ++i)
            usb->add("S" + QByteArray::number(i), "D", nullptr);
        usb_enumerate();
        QCOMPARE(links.scale_count, int16_t(11));
        QCOMPARE(links.scale_serial[10], QString("S10"));
        QCOMPARE(rec.texts(),
                 QStringList{"There are 13 scales detected on the USB; this screen holds 11. The "
                             "first 11 are used and 2 were left out."});
    }

    void usb485_without_adapter() {
        delete usb;
        usb = new sim::SimFtdi;
        usb->install();
        records({{130, "RS485", 1}}, "zqdata.mdb");
        links.scale_name[0] = "from before";
        core.comm_type = "USB485";
        usb485_init();
        QCOMPARE(rec.texts(), (QStringList{"No device can be found on the USB.", "i_init_fail"}));
        QCOMPARE(links.usb_fail, int16_t(1));
        QCOMPARE(links.scale_name[0], QString("from before")); // table not cleared
    }

    void ethernet_after_failed_adapter() {
        records({{130, "RS485", 1}}, "zqdata.mdb");
        core.comm_type = "Ethernet";
        links.usb_fail = 1;
        ethernet_connect(); // connecting: the set-up goes on
        QVERIFY(rec.texts().isEmpty());
        QCOMPARE(addrs(), QList<int>{130});
        QTRY_COMPARE(Winsock1().State(), 7);
        ethernet_connect(); // connected, not connecting, with the adapter failed
        QCOMPARE(rec.texts(), QStringList{"WinSock Init Failed"});
        QCOMPARE(addrs(), QList<int>{130});
    }

    // What arrives over the Ethernet link is parsed as the reading of the scale it names.
    void ethernet_receive_parses() {
        records({{130, "RS485", 1}}, "zqdata.mdb");
        core.comm_type = "Ethernet";
        ethernet_connect();
        QTRY_COMPARE(Winsock1().State(), 7);
        QTRY_COMPARE(server->clients(), 1);
        QSignalSpy arrived(&Winsock1(), &net::Winsock::DataArrival);
        server->push(QByteArray::fromHex("82") + " 12.0\r");
        QTRY_VERIFY(!arrived.isEmpty());
        QCOMPARE(Winsock1().BytesReceived(), 0);
        QCOMPARE(links.scale_reading[0], QByteArray(" 12.0"));
        QVERIFY(links.rx_buf[0].isEmpty());
    }

    void parseweight_data() {
        QTest::addColumn<int>("polled");
        QTest::addColumn<QList<QByteArray>>("parts");
        QTest::addColumn<int>("slot");
        QTest::addColumn<QByteArray>("reading");
        QTest::newRow("whole") << 1 << QList<QByteArray>{"\x83 12.5\r\n"} << 1 << QByteArray(" 12.5");
        QTest::newRow("cut at CR") << 0 << QList<QByteArray>{"\x82 7.0\rrest"} << 0 << QByteArray(" 7.0");
        QTest::newRow("address 127 dropped") << 0 << QList<QByteArray>{"\x7f 1\r"} << -1 << QByteArray();
        QTest::newRow("unknown address") << 0 << QList<QByteArray>{"\x90 1\r"} << -1 << QByteArray();
        QTest::newRow("only blanks") << 0 << QList<QByteArray>{"   "} << -1 << QByteArray();
        QTest::newRow("split over two arrivals")
            << 1 << QList<QByteArray>{"\x83 1", "2.5\r"} << 1 << QByteArray(" 12.5");
        // An empty part stands for a pause longer than a scale takes to finish a reply.
        QTest::newRow("cut replies dropped when the next reply begins")
            << 1 << QList<QByteArray>{"\x82 130.0", "\x82 130.0\x82 130.0", "\x83 131.0002 kg\r"} << 1
            << QByteArray(" 131.0002 kg");
        QTest::newRow("late half in front of another scale's reply")
            << 0 << QList<QByteArray>{"\x83 1.3\x82 130.0002 kg\r"} << 0 << QByteArray(" 130.0002 kg");
        QTest::newRow("line noise after a cut reply")
            << 1 << QList<QByteArray>{"\x83 1.0", "", "zz 9.0\r"} << -1 << QByteArray();
        QTest::newRow("reply from an address in no slot after a cut reply")
            << 1 << QList<QByteArray>{"\x83 1.0", "\x96 9.0\r"} << -1 << QByteArray();
        QTest::newRow("reply of a scale not polled")
            << 0 << QList<QByteArray>{"\x83 1.0\r"} << -1 << QByteArray();
        QTest::newRow("foreign address byte inside a reply") << 0
                                                             << QList<QByteArray>{"\x82 13\x83"
                                                                                  "0001 kg\r"}
                                                             << -1 << QByteArray();
        QTest::newRow("200-byte noise line, then a reply")
            << 1 << QList<QByteArray>{"\x83" + QByteArray(200, 'x') + "\r", "\x83 5.0\r"} << 1
            << QByteArray(" 5.0");
    }
    void parseweight() {
        QFETCH(int, polled);
        QFETCH(QList<QByteArray>, parts);
        QFETCH(int, slot);
        QFETCH(QByteArray, reading);
        links.scale_count = 2;
        links.scale_addr[0] = 130;
        links.scale_addr[1] = 131;
        links.datacol_enb[1] = true;
        links.cur_scale = static_cast<int16_t>(polled);
        Ethernet e;
        QList<int> shown, collected;
        e.show_reading = [&](int i) { shown.append(i); };
        e.data_collect = [&](int i) { collected.append(i); };
        wclock::use_fake(36000.0);
        for (const QByteArray& p : parts) {
            if (p.isEmpty())
                wclock::advance(0.3);
            else
                e.parseweight(p);
            wclock::advance(0.1);
        }
        for (int i = 0; i < 2; ++i)
            QCOMPARE(links.scale_reading[i], i == slot ? reading : QByteArray());
        QCOMPARE(shown, slot >= 0 ? QList<int>{slot} : QList<int>{});
        QCOMPARE(collected, slot == 1 ? QList<int>{1} : QList<int>{});
    }
};

WEYVANE_TEST_MAIN(TestLinkSetup)
#include "test_link_setup.moc"
