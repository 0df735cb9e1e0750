// The four receive scans over the simulator: simulated FTDI devices for "USB" and "USB485", a
// real pseudo-terminal for "RS232" and "RS485". What is shown, stored and logged into datacol.
#include "links/command_frames.h"
#include "links/reply_parser.h"
#include "platform/db/adodb.h"
#include "platform/spreadsheet/spreadsheet.h"
#include "platform/spreadsheet/spreadsheet_recorder.h"
#include "tests/support/screen_links.h"
#include "tests/support/test_main.h"

#include <QtTest>

using testsupport::addr_byte;

class TestReceiveScans : public QObject {
    Q_OBJECT

    testsupport::ScreenLinks fx;

    QByteArray reply_11(int addr, const char* reading) {
        // address byte + 7-character reading + "D" + CR LF: exactly one record slot long.
        return addr_byte(addr) + QByteArray(reading).leftJustified(7, ' ', true) + "D\r\n";
    }
    QByteArray rec(int addr, const char* reading) {
        return addr_byte(addr) + "  " + QByteArray(reading).leftJustified(6, ' ', true) + "\r\n";
    }

private slots:
    void cleanup() { fx.stop(); }

    // ---- USB485 ----

    void usb485_replies_data() {
        QTest::addColumn<QList<int>>("addrs");
        QTest::addColumn<int>("cur");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("autosave");
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<int>("slot");           // -1: dropped
        QTest::addColumn<QByteArray>("reading"); // of that slot
        QTest::addColumn<QString>("group");      // txt_groupnum afterwards
        QTest::addColumn<QStringList>("rows");

        const QList<int> three{128, 129, 130};
        QTest::newRow("group, blank, 1234.5, D, CR in slot 2")
            << three << 2 << true << false << addr_byte(130) + "#2 1234.5D\r" << 2 << QByteArray(" 1234.5")
            << QString(" Group 2   1234.5D\r") << QStringList{"130| 1234.5", "130|1234.5"};
        QTest::newRow("group without Enabled logs nothing")
            << three << 2 << false << false << addr_byte(130) + "#2 7.5\r" << 2 << QByteArray(" 7.5")
            << QString(" Group 2   7.5\r") << QStringList{};
        QTest::newRow("address 127 dropped although a slot has it")
            << QList<int>{127} << 0 << true << true << addr_byte(127) + " 1.0D\r" << -1 << QByteArray()
            << QString() << QStringList{};
        QTest::newRow("address 128 accepted") << three << 0 << false << false << addr_byte(128) + " 1.0\r"
                                              << 0 << QByteArray(" 1.0") << QString() << QStringList{};
        QTest::newRow("address 255 accepted")
            << QList<int>{255} << 0 << false << false << addr_byte(255) + " 9.0\r\n"
            << 0 << QByteArray(" 9.0") << QString() << QStringList{};
        QTest::newRow("address of no slot") << three << 0 << true << true << addr_byte(140) + " 1.0\r" << -1
                                            << QByteArray() << QString() << QStringList{};
        QTest::newRow("two slots with one address: the first gets it")
            << QList<int>{131, 131} << 1 << false << false << addr_byte(131) + " 3.0\r" << 0
            << QByteArray(" 3.0") << QString() << QStringList{};
        QTest::newRow("late half of another scale's reply dropped")
            << three << 2 << false << false << addr_byte(129) + " 1.0" + addr_byte(130) + " 2.0\r" << 2
            << QByteArray(" 2.0") << QString() << QStringList{};
        QTest::newRow("late half, then a reply from an address in no slot")
            << three << 1 << true << true << addr_byte(129) + " 1.0" + addr_byte(150) + " 9.0\r" << -1
            << QByteArray() << QString() << QStringList{};
        QTest::newRow("garbage dropped") << three << 0 << true << true << QByteArray("\x01\x7fzz#D\r", 7)
                                         << -1 << QByteArray() << QString() << QStringList{};
        QTest::newRow("printed '+' logs the last 6 characters")
            << three << 1 << false << false << addr_byte(129) + "+  42.00 kg\r" << 1
            << QByteArray("+  42.00 kg") << QString() << QStringList{"129|.00 kg"};
        QTest::newRow("Auto Save with a block of three records")
            << three << 2 << false << true
            << reply_11(130, " 1234.5") + rec(131, "100.0") + rec(132, "200.0") + rec(133, "300.0") << 2
            << QByteArray(" 1234.5") << QString()
            << QStringList{"130|1234.5", "131|100.0 ", "132|200.0 ", "133|300.0 "};
        QTest::newRow("record block skips a 128 slot")
            << three << 2 << false << true
            << reply_11(130, "  5.500") + rec(131, "1") + rec(128, "2") + rec(133, "3") << 2
            << QByteArray("  5.500") << QString() << QStringList{"130| 5.500", "131|1     ", "133|3     "};
        QTest::newRow("Auto Save with a block behind a tail")
            << three << 2 << false << true
            << "004 kg\r" + reply_11(130, " 1234.5") + rec(131, "100.0") + rec(132, "200.0") << 2
            << QByteArray(" 1234.5") << QString() << QStringList{"130|1234.5", "131|100.0 ", "132|200.0 "};
        QTest::newRow("complete reply behind a tail")
            << three << 2 << false << false << "004 kg\r" + addr_byte(130) + " 5.0\r" << 2
            << QByteArray(" 5.0") << QString() << QStringList{};
        QTest::newRow("reply of a scale not polled, then the polled one")
            << three << 2 << true << false << addr_byte(129) + "#1 1.0\r" + addr_byte(130) + " 2.0\r" << 2
            << QByteArray(" 2.0") << QString() << QStringList{};
        QTest::newRow("foreign address byte inside a reply")
            << three << 2 << true << true << addr_byte(130) + " 13" + addr_byte(129) + "0001 kg\r" << -1
            << QByteArray() << QString() << QStringList{};
        QTest::newRow("200-byte noise line")
            << three << 2 << true << true << addr_byte(130) + QByteArray(200, 'x') + " 5.0\r" << -1
            << QByteArray() << QString() << QStringList{};
    }
    void usb485_replies() {
        QVERIFY(fx.start("USB485"));
        QFETCH(QList<int>, addrs);
        QFETCH(int, cur);
        QFETCH(QByteArray, raw);
        QFETCH(int, slot);
        fx.fill(addrs);
        links.cur_scale = static_cast<int16_t>(cur);
        links.poll_index = static_cast<int16_t>(cur); // single-scale operation polls the selected scale
        form1& f = fx.f();
        QFETCH(bool, enabled);
        QFETCH(bool, autosave);
        f.Check1->setChecked(enabled);
        f.chk_SaveOnPrint->setChecked(autosave);
        f.Screen->setText("old");
        for (int i = 0; i < addrs.size(); ++i)
            links.scale_reading[i] = "prev";

        fx.net->send_raw(raw);
        f.USB485_inputscan();

        // The polled scale's reply is waited for until the reply wait ends.
        QCOMPARE(links.usb485_timeouts, slot < 0 ? 1.0 : 0.0);
        QVERIFY(links.rx_buf[0].isEmpty());
        for (int i = 0; i < addrs.size(); ++i) {
            if (i == slot) {
                QTEST(links.scale_reading[i], "reading");
                QCOMPARE(fx.netlist_reading(i), QString::fromLatin1(links.scale_reading[i]));
                QCOMPARE(f.NetList->item(i, 0)->text(), links.scale_name[i]);
            } else {
                QCOMPARE(links.scale_reading[i], QByteArray("prev"));
                QCOMPARE(fx.netlist_reading(i), QString());
            }
        }
        QCOMPARE(f.Screen->text(),
                 slot == cur ? QString::fromLatin1(links.scale_reading[slot]) : QString("old"));
        QTEST(f.txt_groupnum->text(), "group");
        QTEST(fx.datacol(), "rows");
    }

    // A reply that comes in pieces is joined first; the "+" test looks at the joined text.
    void usb485_split_over_reads() {
        QVERIFY(fx.start("USB485"));
        fx.fill({130});
        sim::Scale& s = fx.net->add(130);
        s.printed = true;
        s.reading = " 77.7";
        fx.net->split = 8; // one byte a read
        fx.net->split_gap = 0.01;
        frames::send_ftdi(links.usb_handle,
                          frames::poll(LinkType::USB485, 130, false, frames::PollSource::cycle));
        fx.f().USB485_inputscan();
        QCOMPARE(links.scale_reading[0], QByteArray("+ 77.7"));
        QCOMPARE(fx.datacol(), QStringList{"130|+ 77.7"});
        QCOMPARE(links.usb485_timeouts, 0.0);
    }

    // No CR within 0.25 s: counted once, both buffers purged, the old reading kept, and the next
    // scan starts afresh.
    void usb485_time_out() {
        QVERIFY(fx.start("USB485"));
        fx.fill({130});
        links.scale_reading[0] = "prev";
        links.rx_buf[0] = "left over";
        fx.net->send_raw(addr_byte(130) + " 12.3"); // no CR
        const double t0 = wclock::Timer();
        fx.f().USB485_inputscan();
        QCOMPARE(links.usb485_timeouts, 1.0);
        QCOMPARE(fx.usb->device(0).purges, QList<uint32_t>{3});
        QCOMPARE(links.scale_reading[0], QByteArray("prev"));
        QVERIFY(wclock::Timer() - t0 >= 0.25);
        QVERIFY(wclock::Timer() - t0 < 0.3);

        fx.net->send_raw(addr_byte(130) + " 4.0\r");
        fx.f().USB485_inputscan();
        QCOMPARE(links.usb485_timeouts, 1.0);
        QCOMPARE(links.scale_reading[0], QByteArray(" 4.0"));
    }

    // More than one read buffer queued: taken in reads of at most 256, the record block read
    // from the buffer as the last read left it (its bytes first, older bytes behind).
    void usb485_longer_than_the_buffer() {
        QVERIFY(fx.start("USB485"));
        fx.fill({130});
        fx.f().chk_SaveOnPrint->setChecked(true);
        QByteArray raw = addr_byte(130) + QByteArray(18, '7') + '\r' + QByteArray(280, '7'); // 300 bytes
        raw[55] = static_cast<char>(200); // slot 5 of the first read
        fx.net->send_raw(raw);
        fx.f().USB485_inputscan();
        QCOMPARE(links.scale_reading[0], QByteArray(18, '7'));
        const QStringList rows = fx.datacol();
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0], "130|777777");
        QVERIFY(rows[1].startsWith("200|"));
    }

    // The adapter is unplugged while a scan waits: its next queue query fails, it is closed and
    // the user told once; later scans cost nothing and tell nothing.
    void usb485_unplugged_mid_scan() {
        QVERIFY(fx.start("USB485"));
        fx.fill({130});
        links.scale_reading[0] = "prev";
        fx.net->send_raw(addr_byte(130) + " 1"); // the rest never comes
        const double t0 = wclock::Timer();
        wclock::set_slice_hook([&] {
            if (wclock::Timer() > t0 + 0.05) fx.usb->device(0).attached = false;
        });
        fx.f().USB485_inputscan();
        QCOMPARE(links.scale_reading[0], QByteArray("prev"));
        QCOMPARE(links.usb485_timeouts, 0.0);
        QCOMPARE(links.usb_handle, 0u);
        QCOMPARE(fx.usb->device(0).open_count, 0);
        QCOMPARE(fx.rec.boxes.size(), 1);
        QVERIFY(fx.datacol().isEmpty());
        fx.f().USB485_inputscan();
        QCOMPARE(fx.rec.boxes.size(), 1);
    }

    void usb485_scan_stop() {
        QVERIFY(fx.start("USB485"));
        fx.fill({130});
        links.scan_stop = true;
        fx.net->send_raw(addr_byte(130) + " 1.0\r");
        fx.f().USB485_inputscan();
        QVERIFY(links.scale_reading[0].isEmpty());
        QCOMPARE(links.usb485_timeouts, 0.0);
    }

    void usb485_slave_window_and_excel() {
        QVERIFY(fx.start("USB485"));
        spreadsheet::SpreadsheetRecorder sheet;
        spreadsheet::set_backend(&sheet);
        fx.fill({130, 131});
        form1& f = fx.f();
        f.Combo1->addItems({"Scale 0", "Scale 1"});
        f.Combo1->setCurrentIndex(0);
        f.chk_SaveOnPrint->setChecked(true);
        f.chk_Excel->setChecked(true);
        links.poll_index = 1;
        fx.net->send_raw(addr_byte(131) + " 8.25\r");
        f.USB485_inputscan();
        spreadsheet::set_backend(nullptr);
        // One row, for the scale selected on the screen, whichever scale answered.
        const QStringList rows = fx.datacol();
        QCOMPARE(rows, QStringList{"131| 8.25"});
        QCOMPARE(sheet.cell(1, 1).toString(), QString("ScaleID"));
        bool found = false;
        for (int r = 2; r < 10; ++r)
            found = found || sheet.cell(r, 1).toString() == "Scale 0";
        QVERIFY(found);
    }

    // ---- RS485 ----

    void rs485_reply() {
        QVERIFY(fx.start("RS485"));
        fx.fill({130, 131});
        links.cur_scale = 1;
        links.poll_index = 1;
        fx.f().Check1->setChecked(true);
        QVERIFY(fx.deliver_serial(addr_byte(131) + "#2 55.0D\r\n"));
        fx.f().rs485_inputscan();
        // No group field and no print flag on this link.
        QCOMPARE(links.scale_reading[1], QByteArray("#2 55.0D"));
        QCOMPARE(fx.f().Screen->text(), QString("#2 55.0D"));
        QCOMPARE(fx.netlist_reading(1), QString("#2 55.0D"));
        QCOMPARE(fx.f().txt_groupnum->text(), QString());
        QCOMPARE(fx.datacol(), QStringList{"131|#2 55.0D"});
        QVERIFY(links.rx_buf[0].isEmpty());
    }

    // A reply is taken only from its own address byte to its own CR: one cut off by the time-out
    // is dropped, never joined to what comes next, and an address byte begins a new reply.
    void rs485_cut_off_data() {
        QTest::addColumn<int>("polled");
        QTest::addColumn<QByteArray>("next");
        QTest::addColumn<QByteArray>("slot0");
        QTest::addColumn<QByteArray>("slot1");
        QTest::newRow("late remainder dropped") << 1 << QByteArray("5\r") << QByteArray() << QByteArray();
        QTest::newRow("line noise dropped") << 1 << QByteArray("zz 9.0\r") << QByteArray() << QByteArray();
        QTest::newRow("another scale's reply")
            << 0 << addr_byte(130) + " 2.0\r" << QByteArray(" 2.0") << QByteArray();
        QTest::newRow("the same scale's new reply")
            << 1 << addr_byte(131) + " 3.0\r" << QByteArray() << QByteArray(" 3.0");
        QTest::newRow("late half in front of another scale's reply")
            << 0 << addr_byte(131) + " 1.3" + addr_byte(130) + " 130.0002 kg\r" << QByteArray(" 130.0002 kg")
            << QByteArray();
        QTest::newRow("reply from an address in no slot")
            << 0 << addr_byte(150) + " 9.0\r" << QByteArray() << QByteArray();
        QTest::newRow("complete reply behind a tail")
            << 0 << "004 kg\r" + addr_byte(130) + " 2.0\r" << QByteArray(" 2.0") << QByteArray();
        QTest::newRow("late reply of the scale polled before")
            << 0 << addr_byte(131) + " 1.0\r" + addr_byte(130) + " 2.0\r" << QByteArray(" 2.0")
            << QByteArray();
        QTest::newRow("foreign address byte inside a reply")
            << 0 << addr_byte(130) + " 13" + addr_byte(131) + "0001 kg\r" << QByteArray() << QByteArray();
        QTest::newRow("200-byte noise line before a reply")
            << 0 << QByteArray(200, 'x') + "\r" + addr_byte(130) + " 2.0\r" << QByteArray(" 2.0")
            << QByteArray();
    }
    void rs485_cut_off() {
        QVERIFY(fx.start("RS485"));
        fx.fill({130, 131});
        links.poll_index = 1;
        QVERIFY(fx.deliver_serial(addr_byte(131) + " 1.0"));
        fx.f().rs485_inputscan();
        QVERIFY(links.rx_buf[0].isEmpty());
        QVERIFY(links.scale_reading[1].isEmpty());
        QFETCH(QByteArray, next);
        QFETCH(int, polled);
        links.poll_index = static_cast<int16_t>(polled);
        QVERIFY(fx.deliver_serial(next));
        fx.f().rs485_inputscan();
        QTEST(links.scale_reading[0], "slot0");
        QTEST(links.scale_reading[1], "slot1");
        QVERIFY(links.rx_buf[0].isEmpty());
    }

    void rs485_dropped_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::newRow("address 127") << addr_byte(127) + " 1.0\r";
        QTest::newRow("garbage") << QByteArray("zz 1.0\r");
        QTest::newRow("only a CR") << QByteArray("\r");
        QTest::newRow("unknown address") << addr_byte(200) + " 1.0\r";
    }
    void rs485_dropped() {
        QVERIFY(fx.start("RS485"));
        fx.fill({127, 130});
        fx.f().Check1->setChecked(true);
        QFETCH(QByteArray, raw);
        QVERIFY(fx.deliver_serial(raw));
        fx.f().rs485_inputscan();
        QVERIFY(links.scale_reading[0].isEmpty());
        QVERIFY(links.scale_reading[1].isEmpty());
        QVERIFY(fx.datacol().isEmpty());
        QVERIFY(links.rx_buf[0].isEmpty());
    }

    // ---- RS232 ----

    void rs232_lines_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("reading");
        QTest::addColumn<QString>("group");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("group line logged without Enabled")
            << QByteArray("#1 12.3\r") << QByteArray("#1 12.3") << QString(" Group 1   12.3\r")
            << QStringList{"Scale 0|#1 12.3"};
        QTest::newRow("plain line shown, not logged")
            << QByteArray("  12.3 lb\r\n") << QByteArray("12.3 lb") << QString() << QStringList{};
        QTest::newRow("two lines in one read: the last one shown")
            << QByteArray("1.0\r2.0\r") << QByteArray("2.0") << QString() << QStringList{};
        QTest::newRow("a plain line before a group line")
            << QByteArray("xx7 kg\r#1 1.1\r") << QByteArray("#1 1.1") << QString(" Group 1   1.1\r")
            << QStringList{"Scale 0|#1 1.1"};
        QTest::newRow("group lines, each logged with its own text")
            << QByteArray("#1 1.0\r\n19.5 kg\r\n#2 20.5\r\n") << QByteArray("#2 20.5")
            << QString(" Group 2   20.5\r\n") << QStringList{"Scale 0|#1 1.0", "Scale 0|#2 20.5"};
        QTest::newRow("200-byte noise line dropped")
            << QByteArray(200, 'x') + "\r#1 5.0\r" << QByteArray("#1 5.0") << QString(" Group 1   5.0\r")
            << QStringList{"Scale 0|#1 5.0"};
    }
    void rs232_lines() {
        QVERIFY(fx.start("RS232"));
        fx.fill({0});
        links.cur_scale = 3; // shown whichever scale is selected
        QFETCH(QByteArray, raw);
        QVERIFY(fx.deliver_serial(raw));
        fx.f().rs232_inputscan();
        QTEST(links.scale_reading[0], "reading");
        QCOMPARE(fx.f().Screen->text(), QString::fromLatin1(links.scale_reading[0]));
        QTEST(fx.f().txt_groupnum->text(), "group");
        QTEST(fx.datacol(), "rows");
        QVERIFY(links.rx_buf[0].isEmpty());
    }

    // A line without its CR waits for the next call; a burst of noise without one is dropped.
    void rs232_partial_line() {
        QVERIFY(fx.start("RS232"));
        fx.fill({0});
        QVERIFY(fx.deliver_serial(" 45."));
        fx.f().rs232_inputscan();
        QCOMPARE(links.rx_buf[0], QByteArray(" 45."));
        QVERIFY(links.scale_reading[0].isEmpty());
        QVERIFY(fx.deliver_serial("6\r"));
        fx.f().rs232_inputscan();
        QCOMPARE(links.scale_reading[0], QByteArray("45.6"));

        for (int k = 0; k < 6; ++k) {
            QVERIFY(fx.deliver_serial(QByteArray(1000, 'x')));
            fx.f().rs232_inputscan();
        }
        QVERIFY(links.rx_buf[0].size() <= replies::kLongestReadingLine);
        // The line the noise ran into is dropped with it; the next line is stored clean.
        QVERIFY(fx.deliver_serial("#1 12.5\r"));
        fx.f().rs232_inputscan();
        QCOMPARE(links.scale_reading[0], QByteArray("45.6"));
        QVERIFY(links.rx_buf[0].isEmpty());
        QVERIFY(fx.deliver_serial("#1 12.6\r"));
        fx.f().rs232_inputscan();
        QCOMPARE(links.scale_reading[0], QByteArray("#1 12.6"));
        QCOMPARE(fx.datacol(), QStringList{"Scale 0|#1 12.6"});
    }

    // datacol is locked by another program while group lines arrive: each is shown, the user
    // is told once (with the database's reason), and storing resumes when the lock goes.
    void rs232_locked_datacol() {
        QVERIFY(fx.start("RS232"));
        adodb::set_busy_timeout_ms(20); // the fixture's stop() puts it back
        QVERIFY(fx.bind_datacol());
        fx.fill({0});
        {
            QSqlDatabase other =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("locker"));
            other.setDatabaseName(fx.db->path());
            QVERIFY(other.open());
            QSqlQuery lock(other);
            QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
            for (const char* line : {"#1 10.0\r", "#1 11.0\r", "#1 12.0\r"}) {
                QVERIFY(fx.deliver_serial(line));
                fx.f().rs232_inputscan();
                QCOMPARE(fx.f().Screen->text(), QString(line).trimmed());
            }
            QCOMPARE(fx.rec.boxes.size(), 1);
            QVERIFY(fx.rec.boxes[0].text.contains("locked"));
            // The user learns that what arrives meanwhile is lost, and that nothing is to be done.
            QVERIFY(fx.rec.boxes[0].text.contains("not stored while this lasts, nor later"));
            QVERIFY(fx.rec.boxes[0].text.contains("resumes by itself"));
            QVERIFY(lock.exec("COMMIT"));
            lock.finish();
            other.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("locker"));
        QVERIFY(fx.deliver_serial("#1 13.0\r"));
        fx.f().rs232_inputscan();
        QCOMPARE(fx.datacol(), QStringList{"Scale 0|#1 13.0"});
        // A new run of failures is told again.
        QVERIFY(fx.db->exec("DROP TABLE datacol").isEmpty());
        QVERIFY(fx.deliver_serial("#1 14.0\r"));
        fx.f().rs232_inputscan();
        QCOMPARE(fx.rec.boxes.size(), 2);
    }

    // ---- USB ----

    void usb_reads_data() {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QByteArray>("reading");
        QTest::newRow("CR LF") << QByteArray("  12.5 kg\r\n") << QByteArray("12.5 kg");
        QTest::newRow("without CR") << QByteArray(" 9.9 kg") << QByteArray("9.9 kg");
        QTest::newRow("group and flag taken whole") << QByteArray("#3 1.0D\r") << QByteArray("#3 1.0D");
        QTest::newRow("longer than any reading: dropped") << QByteArray(300, '5') << QByteArray();
    }
    void usb_reads() {
        QVERIFY(fx.start("USB"));
        auto scale = std::make_shared<sim::Responder>(sim::Responder::Link::single);
        fx.usb->add("S1", "Scale one", scale);
        fx.usb->add("S2", "Scale two", scale);
        ftdi::FT_HANDLE h1 = 0, h2 = 0;
        QCOMPARE(ftdi::FT_Open(0, &h1), ftdi::FT_OK);
        QCOMPARE(ftdi::FT_Open(1, &h2), ftdi::FT_OK);
        fx.fill({static_cast<int>(h1), static_cast<int>(h2)});
        links.scale_name[1] = "USB two";
        links.poll_index = 1;
        links.cur_scale = 1;
        fx.f().Check1->setChecked(true);
        QFETCH(QByteArray, raw);
        scale->send_raw(raw);
        fx.f().USB_inputscan();
        QTEST(links.scale_reading[1], "reading");
        QVERIFY(links.scale_reading[0].isEmpty());
        QCOMPARE(fx.f().Screen->text(), QString::fromLatin1(links.scale_reading[1]));
        QCOMPARE(fx.netlist_reading(1), QString::fromLatin1(links.scale_reading[1]));
        QCOMPARE(fx.datacol(), links.scale_reading[1].isEmpty()
                                   ? QStringList{}
                                   : QStringList{"USB two|" + QString::fromLatin1(links.scale_reading[1])});
        QVERIFY(links.rx_buf[0].isEmpty());
        ftdi::FT_Close(h1);
        ftdi::FT_Close(h2);
    }

    void usb_nothing_to_read() {
        QVERIFY(fx.start("USB"));
        auto scale = std::make_shared<sim::Responder>(sim::Responder::Link::single);
        fx.usb->add("S1", "Scale one", scale);
        ftdi::FT_HANDLE h = 0;
        QCOMPARE(ftdi::FT_Open(0, &h), ftdi::FT_OK);
        fx.fill({static_cast<int>(h)});
        links.scale_reading[0] = "prev";
        fx.f().USB_inputscan(); // nothing queued
        QCOMPARE(links.scale_reading[0], QByteArray("prev"));
        scale->send_raw("1.0\r");
        links.poll_index = 5; // no such slot
        fx.f().USB_inputscan();
        links.poll_index = -1;
        fx.f().USB_inputscan();
        QCOMPARE(links.scale_reading[0], QByteArray("prev"));
        fx.usb->device(0).gone = true; // fails its reads and queue queries
        links.poll_index = 0;
        fx.f().USB_inputscan();
        QCOMPARE(links.scale_reading[0], QByteArray("prev"));
        // Closed and told once, naming the scale; the slot polls nothing any more.
        QCOMPARE(fx.usb->device(0).open_count, 0);
        QCOMPARE(links.scale_addr[0], 0);
        QTRY_COMPARE(fx.rec.boxes.size(), 1);
        QVERIFY(fx.rec.boxes[0].text.contains("Scale 0"));
        fx.f().USB_inputscan();
        QCOMPARE(fx.rec.boxes.size(), 1);
    }
};

WEYVANE_TEST_MAIN(TestReceiveScans)
#include "test_receive_scans.moc"
