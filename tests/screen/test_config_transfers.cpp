// The configuration transfers of the scale screen and the execute strings that chain them: the
// bytes of the writes, the reads and the restoring of the mode, the groups and ocxfer records.
#include "core/core_state.h"
#include "links/links_state.h"
#include "screen/config_transfers.h"
#include "tests/support/screen_links.h"
#include "tests/support/test_main.h"

#include <QtTest>

using testsupport::addr_byte;

namespace {

using Writes = QList<QByteArray>;

Writes oc_network_writes(int addr) {
    Writes w;
    for (char l = 'A'; l <= 'H'; ++l) {
        for (int i = 0; i < (l == 'H' ? 3 : 7); ++i)
            w << addr_byte(addr) + '\x12' + l;
        w << "\r";
    }
    return w << addr_byte(addr) + "\x11S";
}

Writes group_network_writes(int addr) {
    const QByteArray a = addr_byte(addr) + '\x12', v = "000.0";
    Writes w{a + '1', v, v + '\r', a + '0', v + '\r', a + 'I', v + '\r', a + '9', v, v + '\r', a + '2', "\r"};
    for (char l = '3'; l <= '8'; ++l)
        for (int i = 0; i < 4; ++i)
            w << a + l + '\0';
    return w << addr_byte(addr) + "\x11S";
}

QByteArray joined(const Writes& w) {
    QByteArray all;
    for (const QByteArray& b : w)
        all += b;
    return all;
}

} // namespace

class TestConfigTransfers : public QObject {
    Q_OBJECT

    testsupport::ScreenLinks fx;

    Writes adapter_writes() {
        Writes w = fx.usb->device(0).writes;
        fx.usb->device(0).writes.clear();
        return w;
    }
    // Slots and list entries for these addresses, the entry `selected` chosen.
    void scales(const QStringList& names, const QList<int>& addrs, int selected) {
        fx.fill(addrs);
        form1& f = fx.f();
        const QSignalBlocker quiet(f.Combo1);
        f.Combo1->clear();
        f.Combo1->addItems(names);
        f.Combo1->setCurrentIndex(selected);
        if (selected >= 0) links.cur_scale_addr = addrs.value(selected);
    }
    int groups(const QString& where = "1=1") {
        return fx.db->scalar("SELECT COUNT(*) FROM groups WHERE " + where).toInt();
    }

private slots:
    void cleanup() { fx.stop(); }

    // Both writes, byte for byte and write for write, with their pauses on the seconds clock.
    void writes_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("group");
        QTest::addColumn<int>("addr");
        QTest::addColumn<Writes>("expected");
        QTest::addColumn<double>("seconds");
        QTest::newRow("output configuration, USB485")
            << "USB485" << false << 130 << oc_network_writes(130) << 6.0;
        QTest::newRow("group setup, USB485") << "USB485" << true << 130 << group_network_writes(130) << 7.2;
        QTest::newRow("output configuration, RS232")
            << "RS232" << false << 130 << Writes{"!UA\r!UB\r!UC\r!UD\r!UE\r!UF\r!UG\r\r\r\r\r\r\r!UH\r\r\r*S"}
            << 6.0;
        QTest::newRow("group setup, RS232")
            << "RS232" << true << 130
            << Writes{QByteArray(
                   "!U1000.0000.0\r!U0000.0\r000.0\r!U9000.0000.0\r!U2\r!U3\0!U4\0!U5\0!U6\0!U7\0!U8\0*S",
                   73)}
            << 6.8;
        // An address no frame carries sends nothing at all.
        QTest::newRow("group setup, address 300") << "USB485" << true << 300 << Writes{} << 0.0;
    }
    void writes() {
        QFETCH(QString, link);
        QFETCH(bool, group);
        QFETCH(int, addr);
        QFETCH(Writes, expected);
        QFETCH(double, seconds);
        QVERIFY(fx.start(link));
        form1& f = fx.f();
        const double start = wclock::Timer();
        const int16_t status = group ? f.save_screen_to_scale(addr) : f.upload_oc(addr);
        const double took = wclock::Timer() - start;
        QCOMPARE(status, int16_t(group && addr > 255 ? 1 : 0));
        QVERIFY2(took >= seconds && took < seconds + 0.05, qPrintable(QString::number(took)));
        if (link == "USB485") {
            QCOMPARE(adapter_writes(), expected);
            QCOMPARE(fx.rec.boxes.size(), addr > 255 ? 1 : 0);
        } else {
            QCOMPARE(fx.pty->responder().received, joined(expected));
        }
    }

    // The reads split the reply into the word list; a rejected or missing reply leaves it, and
    // every end puts the mode back.
    void reads_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<char>("letter");
        QTest::addColumn<int>("scale");   // address the simulated scale answers on
        QTest::addColumn<bool>("silent"); // the scale answers nothing
        QTest::addColumn<int>("split");
        QTest::addColumn<QStringList>("words"); // empty: the list is left as it was
        QTest::addColumn<QString>("message");
        // The group setup's reply loses its CR; the output configuration's keeps it.
        const QStringList f{"12", "3.5", "abc"}, j{"12", "3.5", "abc\r"};
        QTest::newRow("group setup") << "USB485" << 'G' << 130 << false << 1 << f << "";
        QTest::newRow("output configuration in pieces") << "USB485" << 'J' << 130 << false << 4 << j << "";
        QTest::newRow("address below 128") << "USB485" << 'G' << 5 << false << 1 << QStringList() << "";
        QTest::newRow("no reply") << "USB485" << 'G' << 130 << true << 1 << QStringList()
                                  << "Scale not responding.";
        QTest::newRow("output configuration, RS232") << "RS232" << 'J' << 130 << false << 1 << j << "";
        QTest::newRow("no reply, RS232")
            << "RS232" << 'G' << 130 << true << 1 << QStringList() << transfers::no_response_text();
    }
    void reads() {
        QFETCH(QString, link);
        QFETCH(char, letter);
        QFETCH(int, scale);
        QFETCH(bool, silent);
        QFETCH(int, split);
        QFETCH(QStringList, words);
        QFETCH(QString, message);
        QVERIFY(fx.start(link));
        form1& f = fx.f();
        sim::Responder& r = link == "RS232" ? fx.pty->responder() : *fx.net;
        sim::Scale& s = link == "RS232" ? r.scale() : r.add(scale);
        s.config[letter] = {"12", "3.5", "abc"};
        r.silent = silent;
        r.split = split;
        core.word_count = 7;
        core.word[0] = "old";
        f.txt_polltime->setText("5");
        f.opt_single->setChecked(true);
        f.chk_pollenb->setChecked(true);
        fx.rec.boxes.clear();

        const int16_t status =
            letter == 'G' ? f.load_screen_from_scale(scale) : (f.move_scale_to_ocscreen(scale), 0);

        QCOMPARE(status, int16_t(link == "RS232" && silent ? 1 : 0));
        QCOMPARE(QString(s.commands), QString(QChar(letter)));
        if (words.isEmpty()) {
            QCOMPARE(core.word_count, int16_t(7));
            QCOMPARE(core.word[0], QString("old"));
        } else {
            QCOMPARE(int(core.word_count), words.size());
            for (int i = 0; i < words.size(); ++i)
                QCOMPARE(core.word[i], words[i]);
        }
        QCOMPARE(fx.rec.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        QCOMPARE(fx.rec.beeps, link == "RS232" && silent ? 1 : 0);
        // Back in the saved mode, with the default pointer.
        QVERIFY(f.opt_single->isChecked());
        QVERIFY(f.chk_pollenb->isChecked());
        QCOMPARE(fx.rec.pointers.last(), int(ui::vbDefault));
        if (link == "USB485" && !silent) QCOMPARE(ftdi::read_timeout(links.usb_handle), 15000u);
    }

    // A transfer's reply, bytes after its CR included, is no reading: once the read has taken
    // it, the receive text is empty and the next scan shows nothing of it.
    void transfer_reply_is_no_reading_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<char>("letter");
        QTest::newRow("output configuration, USB485") << "USB485" << 'J';
        QTest::newRow("output configuration, RS232") << "RS232" << 'J';
        QTest::newRow("group setup, RS232") << "RS232" << 'G';
        QTest::newRow("totals, RS232") << "RS232" << 'T';
    }
    void transfer_reply_is_no_reading() {
        QFETCH(QString, link);
        QFETCH(char, letter);
        QVERIFY(fx.start(link));
        form1& f = fx.f();
        scales({"Scale 130"}, {130}, 0);
        sim::Responder& r = link == "RS232" ? fx.pty->responder() : *fx.net;
        sim::Scale& s = link == "RS232" ? r.scale() : r.add(130);
        s.config['J'] = {"11", "22", "33\r#XY"};
        s.config['G'] = {"11", "22", "33#"};
        s.config['T'] = {"11", "22", "33#"};
        f.Screen->setText("before");
        if (letter == 'J')
            f.move_scale_to_ocscreen(130);
        else if (letter == 'G')
            f.load_screen_from_scale(130);
        else
            f.reset_scale_totals();
        QVERIFY(links.rx_buf[0].isEmpty());
        if (link == "RS232") f.rs232_inputscan();
        QVERIFY(!f.Screen->text().contains("22"));
        QVERIFY(fx.datacol().isEmpty());
    }

    // The groups record: its key from the text, one record per key, the selected entry's name.
    void save_to_db_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("idnum");
        QTest::newRow("name and number") << "USB485"
                                         << "Scale A#130" << 130;
        QTest::newRow("number") << "USB485"
                                << "130" << 130;
        QTest::newRow("blanks around") << "USB485"
                                       << "  131 " << 131;
        QTest::newRow("fraction") << "USB485"
                                  << "Scale#130.4" << 130;
        QTest::newRow("serial link") << "RS232"
                                     << "Scale A#130" << 0;
    }
    void save_to_db() {
        QFETCH(QString, link);
        QFETCH(QString, text);
        QFETCH(int, idnum);
        QVERIFY(fx.start(link));
        QVERIFY(fx.db->exec("DELETE FROM groups; INSERT INTO groups (IDnum, description) VALUES (7, 'x')")
                    .isEmpty());
        form1& f = fx.f();
        scales({"First", "Second"}, {130, 131}, 0);
        QCOMPARE(f.save_screen_to_db(text), int16_t(0));
        scales({"First", "Second"}, {130, 131}, 1);
        QCOMPARE(f.save_screen_to_db(text), int16_t(0));
        QCOMPARE(groups(), 2);
        QCOMPARE(
            fx.db->scalar(QString("SELECT description FROM groups WHERE IDnum=%1").arg(idnum)).toString(),
            QString("Second"));
        QCOMPARE(f.load_screen_from_db(text), int16_t(0));
        QVERIFY(fx.rec.boxes.isEmpty());
    }

    void db_lookups() {
        QVERIFY(fx.start("USB485"));
        form1& f = fx.f();
        QVERIFY(fx.db->exec("DELETE FROM groups; DELETE FROM ocxfer").isEmpty());
        QCOMPARE(f.load_screen_from_db("130"), int16_t(1));
        QCOMPARE(f.save_screen_to_db("130"), int16_t(0));
        QCOMPARE(f.load_screen_from_db("Scale#131"), int16_t(2));
        // A key that is no 16-bit number is told, and nothing is stored.
        QCOMPARE(f.save_screen_to_db("Scale#40000"), int16_t(1));
        QCOMPARE(fx.rec.boxes.size(), 1);
        QCOMPARE(groups(), 1);
        // A key of a megabyte is told by its start only.
        QCOMPARE(f.load_screen_from_db("Scale#" + QString(1 << 20, 'x')), int16_t(3));
        QCOMPARE(fx.rec.boxes.size(), 2);
        QVERIFY(fx.rec.texts().last().startsWith("The scale ID \"xxxxxxxx"));
        QVERIFY(fx.rec.texts().last().size() < 200);
        fx.rec.boxes.removeLast();

        f.move_ocdb_to_ocscreen(); // empty: nothing to load
        f.move_ocscreen_to_ocdb();
        f.move_ocscreen_to_ocdb();
        QCOMPARE(fx.db->scalar("SELECT COUNT(*) FROM ocxfer").toInt(), 1);
        f.move_ocdb_to_ocscreen();
        QCOMPARE(fx.db->scalar("SELECT COUNT(*) FROM ocxfer").toInt(), 1);
        QCOMPARE(fx.rec.boxes.size(), 1);
    }

    // The execute strings: command matched after upper-casing, the argument's number as the
    // address; every string is accepted.
    void execute_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<Writes>("first"); // first adapter writes (as many as given)
        QTest::newRow("lower case") << "ulg,130"
                                    << Writes{addr_byte(130) + "\x12"
                                                               "1",
                                              "000.0"};
        QTest::newRow("leading blank") << " ULG,130" << Writes{};
        QTest::newRow("blank for comma") << "ULG 130" << Writes{};
        QTest::newRow("no comma") << "ULG" << Writes{};
        QTest::newRow("other command") << "XYZ,130" << Writes{};
        QTest::newRow("reset") << "clt,130" << Writes{addr_byte(130) + "\x11R"};
        QTest::newRow("reset, name") << "CLT,Scale#130" << Writes{addr_byte(0) + "\x11R"};
        QTest::newRow("reset, comma in argument") << "CLT,1,5" << Writes{addr_byte(0) + "\x11R"};
        QTest::newRow("reset, half rounds to even") << "CLT,2.5" << Writes{addr_byte(2) + "\x11R"};
        QTest::newRow("reset, address 300") << "CLT,300" << Writes{};
        QTest::newRow("reset, beyond 32 bits") << "CLT,1e12" << Writes{};
        QTest::newRow("download groups") << "DLG,130" << Writes{addr_byte(130) + "\x11G"};
        QTest::newRow("download groups, name") << "DLG,Scale#130" << Writes{addr_byte(0) + "\x11G"};
        QTest::newRow("upload outputs, selected scale") << "ULR,5"
                                                        << Writes{addr_byte(131) + "\x12"
                                                                                   "A"};
        QTest::newRow("download outputs, selected scale") << "dlr,5" << Writes{addr_byte(131) + "\x11J"};
    }
    void execute() {
        QFETCH(QString, command);
        QFETCH(Writes, first);
        QVERIFY(fx.start("USB485"));
        form1& f = fx.f();
        scales({"First", "Second"}, {130, 131}, 1);
        fx.net->add(130).config['G'] = {"1"};
        QVERIFY(fx.db->exec("DELETE FROM groups").isEmpty());
        int16_t cancel = 1;
        const double start = wclock::Timer();
        f.Form_LinkExecute(command, cancel);
        QCOMPARE(cancel, int16_t(0));
        const Writes w = adapter_writes();
        QCOMPARE(w.mid(0, first.size()), first);
        if (first.isEmpty()) QCOMPARE(w, Writes{});
        if (command.startsWith("cl", Qt::CaseInsensitive))
            QVERIFY(wclock::Timer() - start >= 2.4 && w.size() <= 1);
        // Both group downloads store the record of 130.
        if (command.startsWith("DLG")) QCOMPARE(groups("IDnum=130"), 1);
        if (command.startsWith("ULR")) QCOMPARE(w, oc_network_writes(131));
    }

    // On the serial link the download stores the record of 0, and the reset is "*R" whatever
    // the argument.
    void execute_serial() {
        QVERIFY(fx.start("RS232"));
        form1& f = fx.f();
        fx.pty->responder().scale().config['G'] = {"1", "2", "3"};
        int16_t cancel = 1;
        f.Form_LinkExecute("DLG,Scale#130", cancel);
        QCOMPARE(cancel, int16_t(0));
        QCOMPARE(groups("IDnum=0"), 1);
        QCOMPARE(groups(), 1);
        fx.pty->responder().received.clear();
        f.Form_LinkExecute("CLT,130", cancel);
        QCOMPARE(fx.pty->responder().received, QByteArray("*R"));
        QCOMPARE(fx.pty->responder().scale().resets, 1);
    }

    // Without a selected scale "ULR" and "DLR" address nobody.
    void execute_without_selection() {
        QVERIFY(fx.start("USB485"));
        scales({"First"}, {130}, -1);
        int16_t cancel = 1;
        fx.f().Form_LinkExecute("DLR,130", cancel);
        fx.f().Form_LinkExecute("ULR,130", cancel);
        QCOMPARE(cancel, int16_t(0));
        QCOMPARE(adapter_writes(), Writes{});
    }
};

WEYVANE_TEST_MAIN(TestConfigTransfers)
#include "test_config_transfers.moc"
