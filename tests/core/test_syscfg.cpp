// load_syscfg against copies of the delivered database.
#include <optional>

#include "app/module_state.h"
#include "core/core_state.h"
#include "core/syscfg.h"
#include "platform/ui/message_box.h"
#include "tests/support/full_disk.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

using testsupport::TempDatabase;

class TestSyscfg : public QObject {
    Q_OBJECT
    ui::UiRecorder recorder;

private slots:
    void init() {
        reset_module_state();
        recorder = ui::UiRecorder();
        ui::set_backend(&recorder);
    }
    void cleanup() { reset_module_state(); }

    void delivered_row() {
        TempDatabase db;
        core.conn_str = db.conn_str;
        core.comm_settings = "1200,E,7,1";
        QVERIFY(load_syscfg());
        QVERIFY(recorder.boxes.isEmpty());
        QCOMPARE(core.comm_type, QStringLiteral("RS232"));
        QCOMPARE(core.comm_settings, QStringLiteral("9600,N,8,1"));
        QCOMPARE(core.comm_port, int16_t(1));
        QCOMPARE(core.rf_net, int16_t(0));
        QCOMPARE(core.small_fonts, int16_t(0));
        QCOMPARE(core.rf_net_id, QStringLiteral("0"));
        QCOMPARE(core.tag_blz, int16_t(0));
        QCOMPARE(core.net_poll_time, 0.33);
        QCOMPARE(core.net_del_time, 0.01);
        QCOMPARE(core.usb_reset_count, int16_t(0));
    }

    void row_values_data() {
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty netpolltime") << "netpolltime=''"
                                           << "net_poll_time"
                                           << "0.33";
        QTest::newRow("null netpolltime") << "netpolltime=NULL"
                                          << "net_poll_time"
                                          << "0.33";
        QTest::newRow("netpolltime") << "netpolltime='.5'"
                                     << "net_poll_time"
                                     << "0.5";
        QTest::newRow("null netdeltime") << "netdeltime=NULL"
                                         << "net_del_time"
                                         << "0.01";
        QTest::newRow("empty netdeltime") << "netdeltime=''"
                                          << "net_del_time"
                                          << "0.01";
        QTest::newRow("netdeltime") << "netdeltime='0.02'"
                                    << "net_del_time"
                                    << "0.02";
        QTest::newRow("rfnetid 3") << "rfnetid=3"
                                   << "rf_net_id"
                                   << "3";
        QTest::newRow("rfnet yes") << "rfnet=1"
                                   << "rf_net"
                                   << "-1";
        QTest::newRow("smallfonts yes") << "smallfonts=1"
                                        << "small_fonts"
                                        << "-1";
        QTest::newRow("usbreset 5") << "usbreset='5'"
                                    << "usb_reset_count"
                                    << "5";
        QTest::newRow("empty usbreset") << "usbreset=''"
                                        << "usb_reset_count"
                                        << "0";
        QTest::newRow("null usbreset") << "usbreset=NULL"
                                       << "usb_reset_count"
                                       << "0";
        QTest::newRow("commport 2") << "commport='2'"
                                    << "comm_port"
                                    << "2";
        QTest::newRow("commtype") << "commtype='USB485'"
                                  << "comm_type"
                                  << "USB485";
        QTest::newRow("tagblz") << "tagblz=1"
                                << "tag_blz"
                                << "1";
    }
    void row_values() {
        QFETCH(QString, set);
        QFETCH(QString, setting);
        QFETCH(QString, expected);
        TempDatabase db;
        QCOMPARE(db.exec("UPDATE syscfg SET " + set), QString());
        core.conn_str = db.conn_str;
        QVERIFY(load_syscfg());
        QVERIFY(recorder.boxes.isEmpty());
        const QHash<QString, QString> got{{"net_poll_time", QString::number(core.net_poll_time)},
                                          {"net_del_time", QString::number(core.net_del_time)},
                                          {"rf_net_id", core.rf_net_id},
                                          {"rf_net", QString::number(core.rf_net)},
                                          {"small_fonts", QString::number(core.small_fonts)},
                                          {"usb_reset_count", QString::number(core.usb_reset_count)},
                                          {"comm_port", QString::number(core.comm_port)},
                                          {"comm_type", core.comm_type},
                                          {"tag_blz", QString::number(core.tag_blz)}};
        QCOMPARE(got.value(setting), expected);
        QCOMPARE(core.comm_settings, QStringLiteral("9600,N,8,1"));
    }

    // Failures give one message naming the problem and leave the settings as they were.
    void failures_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message_part");
        QTest::newRow("no row") << "DELETE FROM syscfg"
                                << "configuration record is missing";
        QTest::newRow("no table") << "DROP TABLE syscfg"
                                  << "could not be read";
        QTest::newRow("commport word") << "UPDATE syscfg SET commport='COM1'"
                                       << "commport";
        QTest::newRow("commport null") << "UPDATE syscfg SET commport=NULL"
                                       << "commport";
        QTest::newRow("commport empty") << "UPDATE syscfg SET commport=''"
                                        << "commport";
        QTest::newRow("commtype null") << "UPDATE syscfg SET commtype=NULL"
                                       << "commtype";
        QTest::newRow("rfnet null") << "UPDATE syscfg SET rfnet=NULL"
                                    << "rfnet";
        QTest::newRow("rfnetid null") << "UPDATE syscfg SET rfnetid=NULL"
                                      << "rfnetid";
        QTest::newRow("tagblz word") << "UPDATE syscfg SET tagblz='x'"
                                     << "tagblz";
        QTest::newRow("usbreset word") << "UPDATE syscfg SET usbreset='many'"
                                       << "usbreset";
        QTest::newRow("usbreset too big") << "UPDATE syscfg SET usbreset='99999'"
                                          << "usbreset";
        QTest::newRow("netpolltime word") << "UPDATE syscfg SET netpolltime='fast'"
                                          << "netpolltime";
        QTest::newRow("missing file") << ""
                                      << "zqdata.mdb";
        // A whole database on a full disk: told as a full disk, never as a database to replace.
        QTest::newRow("full disk") << "full disk"
                                   << "is full. The database is not damaged: free space";
    }
    void failures() {
        QFETCH(QString, sql);
        QFETCH(QString, message_part);
        TempDatabase db;
        std::optional<testsupport::FullDisk> disk;
        if (sql.isEmpty()) {
            QVERIFY(QFile::remove(db.path()));
        } else if (sql == "full disk") {
            disk.emplace(db);
            if (!disk->ok()) QSKIP(disk->why());
        } else {
            QCOMPARE(db.exec(sql), QString());
        }
        core.conn_str = db.conn_str;
        core.comm_type = "before";
        core.comm_port = 7;
        QVERIFY(!load_syscfg());
        QCOMPARE(recorder.boxes.size(), 1);
        QVERIFY2(recorder.boxes[0].text.contains(message_part, Qt::CaseInsensitive),
                 qPrintable(recorder.boxes[0].text));
        QCOMPARE(core.comm_type, QStringLiteral("before"));
        QCOMPARE(core.comm_port, int16_t(7));
        if (disk) QVERIFY2(!recorder.boxes[0].text.contains("replaced"), qPrintable(recorder.boxes[0].text));
        if (sql.isEmpty()) QVERIFY(!QFile::exists(db.path()));
    }
};

WEYVANE_TEST_MAIN(TestSyscfg)
#include "test_syscfg.moc"
