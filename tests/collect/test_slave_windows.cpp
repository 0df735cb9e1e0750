// The slave windows: opening one for the selected scale, closing them all, the layout saved
// in the settings row and restored, the click that selects a scale, and the label's fonts, which show every
// reading whole.
#include "app/frmMain.h"
#include "collect/slave_windows.h"
#include "core/core_state.h"
#include "core/forms.h"
#include "links/links_state.h"
#include "platform/ui/twips.h"
#include "screen/form1.h"
#include "tests/support/reading_display.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_main.h"

#include <QMdiSubWindow>
#include <QtTest>

namespace {

QList<int> open_flags() {
    QList<int> out;
    for (int k = 0; k < 10; ++k)
        out.append(slave_open[k]);
    return out;
}

QList<int> loaded_windows() {
    QList<int> out;
    for (int k = 0; k < 10; ++k)
        if (slave_window(k).Loaded()) out.append(k);
    return out;
}

QRect frame_twips(slave& w) {
    const QRect g = w.frame()->geometry();
    return {g.x() * 15, g.y() * 15, g.width() * 15, g.height() * 15};
}

} // namespace

class TestSlaveWindows : public QObject {
    Q_OBJECT

    testsupport::ScreenFixture fx;

    // The screen on "USB485" with ten scales, inside the shell.
    form1& screen() {
        if (!fx.start("USB485")) return Form1();
        fx.network_records({130, 131, 132, 133, 134, 135, 136, 137, 138, 139});
        main_form().Show();
        form1& f = fx.show();
        for (ui::FormTimer* t : f.Timer1)
            t->setEnabled(false);
        return f;
    }

    void open_for(form1& f, int k) {
        links.cur_scale = static_cast<int16_t>(k);
        f.Command11->click();
    }

private slots:
    void cleanup() {
        fx.stop();
        if (main_form().Loaded()) main_form().Unload();
    }

    void open_for_current_scale_data() {
        QTest::addColumn<int>("k");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("top");
        QTest::newRow("slave0") << 0 << 11535 << 15;
        QTest::newRow("slave2") << 2 << 11535 << 4035;
        QTest::newRow("slave4") << 4 << 11535 << 8055;
        QTest::newRow("slave7 where the shell puts it") << 7 << -1 << -1;
        QTest::newRow("no window for slot 10") << 10 << -1 << -1;
    }
    void open_for_current_scale() {
        QFETCH(int, k);
        QFETCH(int, left);
        QFETCH(int, top);
        form1& f = screen();
        QCOMPARE(f.Combo1->count(), 10);
        open_for(f, k);
        if (k > 9) {
            QVERIFY(loaded_windows().isEmpty());
            QCOMPARE(slave_open[10], int16_t(0));
            return;
        }
        slave& w = slave_window(k);
        QVERIFY(w.Loaded());
        QVERIFY(w.frame()->isVisible());
        QCOMPARE(qobject_cast<QMdiSubWindow*>(w.frame())->mdiArea(), main_form().mdiArea);
        QCOMPARE(w.Caption(), links.scale_name[k]);
        const QRect g = frame_twips(w);
        QCOMPARE(g.size(), QSize(3615, 1995));
        if (left >= 0) QCOMPARE(g.topLeft(), QPoint(left, top));
        QList<int> flags(10, 0);
        flags[k] = 1;
        QCOMPARE(open_flags(), flags);
        // Only window 0 has the fixed border without minimize and maximize buttons.
        QCOMPARE(bool(w.frame()->windowFlags() & Qt::WindowMaximizeButtonHint), k != 0);
        QCOMPARE(w.frame()->minimumSize() == w.frame()->maximumSize(), k == 0);
    }

    // Windows 1 and 3 are saved open at their places, the other seven closed with their old
    // places kept; restoring shows 1 and 3 there and leaves a window opened meanwhile open.
    void save_and_restore_layout() {
        form1& f = screen();
        QVERIFY(fx.syscfg("slave1enb=1, slave5top=777, slave5left=888, slave3top=1, slave3left=2"));
        open_for(f, 1);
        open_for(f, 3);
        slave_window(1).setLeftTwips(600);
        slave_window(1).setTopTwips(900);
        f.btn_saveslave->click();
        QVERIFY(fx.rec.boxes.isEmpty());
        const QString row = fx.db
                                ->scalar("SELECT slave0enb||slave1enb||slave2enb||slave3enb||slave4enb||"
                                         "slave5enb||slave6enb||slave7enb||slave8enb||'|'||slave1left||','||"
                                         "slave1top||'|'||slave3left||','||slave3top||'|'||slave5left||','||"
                                         "slave5top FROM syscfg")
                                .toString();
        QCOMPARE(row, QString("010100000|600.0,900.0|11535.0,6045.0|888.0,777.0"));

        f.btn_closeallslaves->click();
        QVERIFY(loaded_windows().isEmpty());
        open_for(f, 0);
        slave_window(3).Load(); // loaded but not shown: restoring shows it
        f.btn_slavesload->click();
        QCOMPARE(loaded_windows(), (QList<int>{0, 1, 3}));
        QCOMPARE(open_flags(), (QList<int>{1, 1, 0, 1, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(frame_twips(slave_window(1)), QRect(600, 900, 3615, 1995));
        QCOMPARE(frame_twips(slave_window(3)), QRect(11535, 6045, 3615, 1995));
        QVERIFY(slave_window(3).frame()->isVisible());
        QCOMPARE(slave_window(3).Caption(), links.scale_name[3]);
    }

    // A minimized window is saved open at the place it had before; restoring shows it in its
    // normal state there.
    void minimized_window_layout() {
        form1& f = screen();
        QVERIFY(fx.syscfg("slave2left=300, slave2top=450"));
        open_for(f, 2);
        slave_window(2).frame()->showMinimized();
        f.btn_saveslave->click();
        QVERIFY(fx.rec.boxes.isEmpty());
        QCOMPARE(fx.db->scalar("SELECT slave2enb||','||slave2left||','||slave2top FROM syscfg").toString(),
                 QString("1,300.0,450.0"));
        f.btn_slavesload->click();
        QVERIFY(slave_window(2).Placeable());
        QCOMPARE(frame_twips(slave_window(2)), QRect(300, 450, 3615, 1995));
    }

    // The screen's start-up restores the saved layout; its unloading closes every window.
    void startup_restores_unload_closes() {
        QVERIFY(fx.start("USB485"));
        QVERIFY(fx.network_records({130, 131, 132}));
        QVERIFY(fx.syscfg("slave2enb=1, slave2left=3000, slave2top=1500"));
        main_form().Show();
        form1& f = fx.show();
        QCOMPARE(loaded_windows(), QList<int>{2});
        QCOMPARE(frame_twips(slave_window(2)), QRect(3000, 1500, 3615, 1995));
        links.cur_scale = 0;
        f.Command11->click();
        f.Command1->click();
        QVERIFY(loaded_windows().isEmpty());
        QCOMPARE(open_flags(), QList<int>(10, 0));
    }

    void close_all_keeps_nine() {
        form1& f = screen();
        for (int k : {0, 5, 9})
            open_for(f, k);
        f.btn_closeallslaves->click();
        QCOMPARE(loaded_windows(), QList<int>{9});
        QCOMPARE(open_flags(), (QList<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 1}));
        // Its own close box closes window 9.
        slave_window(9).frame()->close();
        QVERIFY(loaded_windows().isEmpty());
        QCOMPARE(slave_open[9], int16_t(0));
    }

    // A click on a window's reading selects its scale; a window whose slot has no entry in the
    // list leaves the selection alone.
    void click_selects_scale() {
        QVERIFY(fx.start("USB485"));
        QVERIFY(fx.network_records({130, 131, 132, 133, 134}));
        QVERIFY(fx.syscfg("slave4enb=1, slave7enb=1"));
        main_form().Show();
        form1& f = fx.show();
        QCOMPARE(loaded_windows(), (QList<int>{4, 7}));
        QTest::mouseClick(slave_window(4).Screen, Qt::LeftButton);
        QCOMPARE(f.Combo1->currentIndex(), 4);
        QCOMPARE(links.cur_scale, int16_t(4));
        QCOMPARE(links.cur_scale_addr, 134);
        QTest::mouseClick(slave_window(7).Screen, Qt::LeftButton);
        QCOMPARE(f.Combo1->currentIndex(), 4);
        QCOMPARE(links.cur_scale, int16_t(4));
    }

    void label_fonts_data() {
        QTest::addColumn<int>("small");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("points");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("face");
        QTest::newRow("small fonts") << 1 << "Arial" << 48 << QRect(0, 180, 3495, 1035) << "Liberation Sans";
        QTest::newRow("large fonts") << 0 << "Swiss911 XCm BT" << 72 << QRect(0, 0, 3495, 1575)
                                     << "Liberation Sans Narrow";
    }
    void label_fonts() {
        QFETCH(int, small);
        QFETCH(QString, family);
        QFETCH(int, points);
        QFETCH(QRect, geometry);
        QFETCH(QString, face);
        form1& f = screen();
        core.small_fonts = static_cast<int16_t>(small);
        open_for(f, 6);
        ui::FittingLabel* l = slave_window(6).Screen;
        QCOMPARE(l->font().family(), family);
        QCOMPARE(l->font().pointSize(), points);
        QVERIFY(l->font().bold());
        QCOMPARE(l->alignment() & Qt::AlignRight, Qt::AlignRight);
        const QRect g = l->geometry();
        QCOMPARE(QRect(g.x() * 15, g.y() * 15, g.width() * 15, g.height() * 15), geometry);
        testsupport::verify_readings_fit(l, face);
        // A short reading after a wide one keeps the smaller size; opened again, it starts again.
        l->setText("0.0 kg");
        QVERIFY(l->shownFont().pointSizeF() < points);
        slave_unload(6);
        open_for(f, 6);
        QCOMPARE(l->shownFont().pointSizeF(), qreal(points));
    }

    // Without the settings row the layout is neither saved nor restored, and the user is told.
    void missing_settings_row_data() {
        QTest::addColumn<bool>("save");
        QTest::newRow("save") << true;
        QTest::newRow("restore") << false;
    }
    void missing_settings_row() {
        QFETCH(bool, save);
        form1& f = screen();
        open_for(f, 1);
        QVERIFY(fx.db->exec("DELETE FROM syscfg").isEmpty());
        (save ? f.btn_saveslave : f.btn_slavesload)->click();
        QCOMPARE(fx.rec.boxes.size(), 1);
        QVERIFY(
            fx.rec.boxes[0].text.startsWith(save ? "The slave window layout could not be saved."
                                                 : "The saved slave window layout could not be restored."));
        QCOMPARE(loaded_windows(), QList<int>{1});
    }
};

WEYVANE_TEST_MAIN(TestSlaveWindows)
#include "test_slave_windows.moc"
