// The totals reset and read of the selected scale and the confirm-and-run commands: what is
// sent, what the user is asked and told, and the default-value records.
#include "core/core_state.h"
#include "links/links_state.h"
#include "screen/config_transfers.h"
#include "tests/support/screen_links.h"
#include "tests/support/test_main.h"

#include <QtTest>

using testsupport::addr_byte;

class TestTotals : public QObject {
    Q_OBJECT

    testsupport::ScreenLinks fx;

    void select(const QString& name, int addr) {
        fx.fill({addr});
        const QSignalBlocker quiet(fx.f().Combo1);
        fx.f().Combo1->clear();
        fx.f().Combo1->addItem(name);
        fx.f().Combo1->setCurrentIndex(0);
        links.cur_scale_addr = addr;
    }

private slots:
    void cleanup() { fx.stop(); }

    // The reset goes out, 3.6 s later the totals request; the reply's fields land in the word
    // list, or a rejected reply leaves it. The mode comes back either way.
    void reset_and_read_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<int>("addr");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("USB485") << "USB485" << 130 << QStringList{"0", "0\r"};
        QTest::newRow("USB485, address below 128") << "USB485" << 5 << QStringList{"old"};
        QTest::newRow("RS232") << "RS232" << 130 << QStringList{"0", "0\r"};
    }
    void reset_and_read() {
        QFETCH(QString, link);
        QFETCH(int, addr);
        QFETCH(QStringList, words);
        QVERIFY(fx.start(link));
        form1& f = fx.f();
        select("Scale A", addr);
        sim::Responder& r = link == "RS232" ? fx.pty->responder() : *fx.net;
        sim::Scale& s = link == "RS232" ? r.scale() : r.add(addr);
        s.config['T'] = {"12", "40"};
        core.word_count = 1;
        core.word[0] = "old";
        f.txt_polltime->setText("5");
        f.opt_single->setChecked(true);
        f.chk_pollenb->setChecked(true);
        fx.rec.boxes.clear();
        f.totals_caption.clear();

        const double start = wclock::Timer();
        f.reset_scale_totals();
        QVERIFY(wclock::Timer() - start >= 3.6);

        QCOMPARE(fx.rec.boxes.size(), 1);
        QCOMPARE(
            fx.rec.boxes[0].text,
            QString(
                "This action will reset the totals in scale\r  Scale A\r\r Select YES to reset totals, or NO "
                "to cancel"));
        QCOMPARE(fx.rec.boxes[0].caption, QString("Reset Scale Totals"));
        QCOMPARE(s.resets, 1);
        if (link == "USB485") {
            const QList<QByteArray> w = fx.usb->device(0).writes;
            QVERIFY(w.contains(addr_byte(addr) + "\x11R"));
            QCOMPARE(w.indexOf(addr_byte(addr) + "\x11R") < w.indexOf(addr_byte(addr) + "\x11T"), true);
        } else {
            QCOMPARE(r.received.left(4), QByteArray("*R*T"));
        }
        QCOMPARE(int(core.word_count), words.size());
        for (int i = 0; i < words.size(); ++i)
            QCOMPARE(core.word[i], words[i]);
        QCOMPARE(f.totals_caption, words.size() == 2 ? QString("Group Totals - Scale A") : QString());
        QVERIFY(f.opt_single->isChecked());
        QVERIFY(f.chk_pollenb->isChecked());
        QCOMPARE(fx.rec.pointers.last(), int(ui::vbDefault));
    }

    // No answer on the serial link: a beep and the five-line message, then the mode is back.
    void serial_silence() {
        QVERIFY(fx.start("RS232"));
        select("Scale A", 130);
        fx.pty->responder().silent = true;
        fx.f().reset_scale_totals();
        QCOMPARE(fx.pty->responder().received, QByteArray("*R*T"));
        QCOMPARE(fx.rec.beeps, 1);
        QCOMPARE(fx.rec.texts().mid(1), QStringList{transfers::no_response_text()});
        QCOMPARE(fx.rec.pointers.last(), int(ui::vbDefault));
    }

    // Any answer but Yes sends nothing and changes nothing.
    void no_does_nothing() {
        QVERIFY(fx.start("USB485"));
        select("Scale A", 130);
        QVERIFY(fx.db->exec("DELETE FROM groups; DELETE FROM defaultgroups").isEmpty());
        form1& f = fx.f();
        const QList<void (form1::*)()> ops{&form1::reset_scale_totals,         &form1::save_default_groups,
                                           &form1::save_default_outputs,       &form1::download_oc_from_scale,
                                           &form1::download_groups_from_scale, &form1::save_groups_to_db,
                                           &form1::upload_groups_to_scale,     &form1::upload_groups_to_all,
                                           &form1::upload_oc_to_scale,         &form1::upload_oc_to_all};
        for (auto op : ops) {
            fx.rec.answers = {ui::vbNo};
            (f.*op)();
        }
        QCOMPARE(fx.rec.boxes.size(), ops.size());
        QVERIFY(fx.usb->device(0).writes.isEmpty());
        QCOMPARE(fx.db->scalar("SELECT COUNT(*) FROM groups").toInt(), 0);
        QCOMPARE(fx.db->scalar("SELECT COUNT(*) FROM defaultgroups").toInt(), 0);
    }

    void default_records() {
        QVERIFY(fx.start("USB485"));
        QVERIFY(fx.db->exec("DELETE FROM defaultgroups").isEmpty());
        form1& f = fx.f();
        f.load_default_groups();
        QCOMPARE(fx.rec.texts().last(), QString("No default record exists. One must be saved first"));
        f.save_default_groups();
        f.save_default_groups();
        QCOMPARE(fx.db->scalar("SELECT COUNT(*) FROM defaultgroups").toInt(), 1);
        fx.rec.boxes.clear();
        f.load_default_groups();
        QCOMPARE(fx.rec.texts(),
                 QStringList{"This action will load the default group configuration values that are "
                             "stored in the database and display them on the screen. Proceed?"});
    }

    // The lookup names the scale it did not find.
    void load_groups_messages() {
        QVERIFY(fx.start("USB485"));
        select("Scale A#131", 131);
        QVERIFY(fx.db->exec("DELETE FROM groups").isEmpty());
        form1& f = fx.f();
        f.load_groups_from_db();
        QCOMPARE(fx.rec.texts().last(),
                 QString("There are no group configuration records saved in the database."));
        QVERIFY(fx.db->exec("INSERT INTO groups (IDnum, description) VALUES (130, 'x')").isEmpty());
        f.load_groups_from_db();
        QCOMPARE(fx.rec.texts().last(),
                 QString("Can not find a group configuration record for scale ID# 131 in the database."));
    }

    // The uploads to all scales reach every entry of the list, first to last.
    void upload_to_all() {
        QVERIFY(fx.start("USB485"));
        fx.fill({130, 131});
        fx.f().Combo1->addItems({"A", "B"});
        fx.f().upload_oc_to_all();
        const QList<QByteArray> w = fx.usb->device(0).writes;
        QCOMPARE(w.count(addr_byte(130) + "\x11S"), 1);
        QCOMPARE(w.count(addr_byte(131) + "\x11S"), 1);
        QVERIFY(w.indexOf(addr_byte(130) + "\x11S") < w.indexOf(addr_byte(131) + "\x12"
                                                                                 "A"));
    }
};

WEYVANE_TEST_MAIN(TestTotals)
#include "test_totals.moc"
