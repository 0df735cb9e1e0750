// Scale selection through the list and the network grid, the "Poll" switch, the lower panels
// and the filling of the network list.
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/db/data_control.h"
#include "platform/ui/twips.h"
#include "screen/form1.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_main.h"

#include <QHeaderView>
#include <QtTest>

namespace {

// Slots as a link set-up leaves them, without opening a link.
void fill_slots(const QStringList& names, const QList<int>& addrs) {
    links.scale_count = static_cast<int16_t>(names.size());
    for (int i = 0; i < names.size(); ++i) {
        links.scale_name[i] = names[i];
        links.scale_addr[i] = addrs[i];
        links.scale_state[i] = 12345;
    }
}

} // namespace

class TestScreenSelection : public QObject {
    Q_OBJECT

    testsupport::ScreenFixture fx;

private slots:
    void cleanup() { fx.stop(); }

    // The view options show one lower panel or none, at the window heights of the screen.
    void views_data() {
        QTest::addColumn<QStringList>("choices");
        QTest::addColumn<bool>("data_shown");
        QTest::addColumn<bool>("net_shown");
        QTest::addColumn<int>("height");
        QTest::newRow("none after network scan") << QStringList{"netscan", "none"} << false << false << 5905;
        QTest::newRow("network scan") << QStringList{"none", "netscan"} << false << true << 8050;
        QTest::newRow("data collection") << QStringList{"netscan", "datacol"} << true << false << 8050;
        QTest::newRow("network scan after data")
            << QStringList{"datacol", "netscan"} << false << true << 8050;
    }
    void views() {
        QFETCH(QStringList, choices);
        QFETCH(bool, data_shown);
        QFETCH(bool, net_shown);
        QFETCH(int, height);
        QVERIFY(fx.start("RS232"));
        form1& f = fx.show();
        for (const QString& c : choices) {
            QRadioButton* o = c == "none" ? f.opt_none : c == "netscan" ? f.opt_netscan : f.opt_datacol;
            o->click();
        }
        QCOMPARE(f.datawindow->isVisibleTo(&f), data_shown);
        QCOMPARE(f.netwindow->isVisibleTo(&f), net_shown);
        QCOMPARE(f.frame()->height(), ui::px(height));
        // The panels lie below the display and the right-hand panel's controls.
        QCOMPARE(f.netwindow->geometry(), QRect(0, ui::px(4500), ui::px(12645), ui::px(3015)));
        QCOMPARE(f.datawindow->geometry(), QRect(0, ui::px(4500), ui::px(12540), ui::px(3015)));
        for (QWidget* w : f.vsElastic2->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            QVERIFY2(w->geometry().bottom() < ui::px(4500), qPrintable(w->objectName()));
    }

    // "Data Collection" counts the readings once the start-up has bound the grid's control.
    void data_collection_count() {
        QVERIFY(fx.start("RS232"));
        form1& f = Form1();
        f.Load();
        f.opt_datacol->click();
        QCOMPARE(f.Label20->text(), QString("Data Collection"));
        QCOMPARE(f.frame()->height(), ui::px(8050));
        f.Unload();

        QVERIFY(fx.db
                    ->exec("INSERT INTO datacol (ScaleID, Reading) VALUES ('A', '1');"
                           "INSERT INTO datacol (ScaleID, Reading) VALUES ('B', '2');"
                           "INSERT INTO datacol (ScaleID, Reading) VALUES ('C', '3')")
                    .isEmpty());
        fx.show();
        f.opt_datacol->click();
        QCOMPARE(f.Label20->text(), QString("Data Collection - 3 Readings"));
    }

    // A grid row selects its scale through the list; poll_index follows only outside network
    // operation.
    void select_through_list_and_grid_data() {
        QTest::addColumn<int>("op_mode");
        QTest::addColumn<bool>("through_grid");
        QTest::addColumn<int>("poll_index");
        QTest::newRow("single, list") << 0 << false << 1;
        QTest::newRow("polling, grid") << 1 << true << 1;
        QTest::newRow("network, grid") << 2 << true << 7;
        QTest::newRow("network, list") << 2 << false << 7;
    }
    void select_through_list_and_grid() {
        QFETCH(int, op_mode);
        QFETCH(bool, through_grid);
        QFETCH(int, poll_index);
        QVERIFY(fx.start("USB485"));
        QVERIFY(fx.network_records({130, 135, 140}));
        form1& f = fx.show();
        QCOMPARE(f.NetList->rowCount(), 3);
        links.scale_recid[1] = fx.db->scalar("SELECT ID FROM ScaleCFG WHERE NetID = 135").toInt();
        links.op_mode = static_cast<int16_t>(op_mode);
        links.poll_index = 7;

        if (through_grid)
            f.NetList->setCurrentCell(1, 0);
        else
            f.Combo1->setCurrentIndex(1);
        QCOMPARE(f.Combo1->currentIndex(), 1);
        QCOMPARE(links.cur_scale, int16_t(1));
        QCOMPARE(links.cur_scale_addr, 135);
        QCOMPARE(links.poll_index, int16_t(poll_index));
        // The scale's record is the data control's current record.
        QCOMPARE(f.data1->Recordset()->Value("NetID").toInt(), 135);
    }

    // A click on a network-list row selects its scale, also after a choice in "Active Scale:"
    // left the list's highlight on another row; the list's current row follows that choice.
    void grid_click_after_list_choice() {
        QVERIFY(fx.start("USB485"));
        QVERIFY(fx.network_records({130, 131, 132}));
        form1& f = fx.show();
        QVERIFY(f.NetList->isVisible());
        const auto click_row = [&f](int row) {
            const QRect cell = f.NetList->visualRect(f.NetList->model()->index(row, 0));
            QTest::mouseClick(f.NetList->viewport(), Qt::LeftButton, {}, cell.center());
        };
        click_row(0);
        QCOMPARE(links.cur_scale, int16_t(0));
        f.Combo1->setCurrentIndex(2);
        QCOMPARE(links.cur_scale, int16_t(2));
        QCOMPARE(f.NetList->currentRow(), 2);
        click_row(0);
        QCOMPARE(f.Combo1->currentIndex(), 0);
        QCOMPARE(links.cur_scale, int16_t(0));
        QCOMPARE(links.cur_scale_addr, 130);
    }

    // "USB": the selected scale's address is its device handle.
    void usb_selection_takes_handle() {
        QVERIFY(fx.start("USB"));
        fx.add_usb_scale("SER1", "One");
        fx.add_usb_scale("SER2", "Two");
        fx.add_usb_scale("SER3", "Three");
        form1& f = fx.show();
        QCOMPARE(fx.rec.texts(), QStringList());
        f.NetList->setCurrentCell(2, 1);
        QCOMPARE(links.cur_scale, int16_t(2));
        QCOMPARE(links.cur_scale_addr, links.scale_addr[2]);
        QVERIFY(links.cur_scale_addr != 0);
    }

    // Positions that name no scale select nothing; a scale without a record is still selected.
    void selection_without_scale_or_record() {
        QVERIFY(fx.start("RS232"));
        form1& f = Form1();
        f.Load();
        fill_slots({"A", "B"}, {130, 131});
        f.fillgrid();
        f.Combo1->addItems({"A", "B", "C"});
        links.cur_scale = 1;
        links.cur_scale_addr = 131;

        f.Combo1->setCurrentIndex(2); // an entry beyond scale_count
        f.Combo1->setCurrentIndex(-1);
        f.NetList->setCurrentCell(-1, -1);
        QCOMPARE(links.cur_scale, int16_t(1));
        QCOMPARE(links.cur_scale_addr, 131);

        links.scale_recid[0] = 9999; // no such record; data1 not even bound
        f.NetList->setCurrentCell(0, 0);
        QCOMPARE(links.cur_scale, int16_t(0));
        QCOMPARE(links.cur_scale_addr, 130);
        QCOMPARE(fx.rec.texts(), QStringList());
    }

    // Re-selecting the row of the selected scale selects it again.
    void grid_reselects_current_scale() {
        QVERIFY(fx.start("RS232"));
        form1& f = Form1();
        f.Load();
        fill_slots({"A", "B"}, {130, 131});
        f.fillgrid();
        f.Combo1->addItems({"A", "B"});
        f.Combo1->setCurrentIndex(1);
        links.cur_scale = 0;
        links.op_mode = 0;
        links.poll_index = 0;
        // The list's row followed the choice; a click on it selects the scale again.
        QCOMPARE(f.NetList->currentRow(), 1);
        f.show();
        QTest::mouseClick(f.NetList->viewport(), Qt::LeftButton, {},
                          f.NetList->visualRect(f.NetList->model()->index(1, 0)).center());
        QCOMPARE(links.cur_scale, int16_t(1));
        QCOMPARE(links.poll_index, int16_t(1));
    }

    // While "Poll" is ticked neither the poll time nor the network mode can be changed.
    void poll_switch() {
        QVERIFY(fx.start("RS232"));
        form1& f = fx.show();
        f.chk_pollenb->click();
        QVERIFY(f.chk_pollenb->isChecked());
        QVERIFY(!f.opt_network->isEnabled());
        QVERIFY(!f.txt_polltime->isEnabled());
        QVERIFY(!f.Label2->isEnabled());
        f.chk_pollenb->click();
        QVERIFY(f.opt_network->isEnabled());
        QVERIFY(f.txt_polltime->isEnabled());
        QVERIFY(f.Label2->isEnabled());
    }

    // The network list: header and widths, one row per slot, emptied before each filling.
    void network_list() {
        QVERIFY(fx.start("RS232"));
        form1& f = Form1();
        f.Load();
        QCOMPARE(f.NetList->horizontalHeaderItem(0)->text(), QString("Scale ID"));
        QCOMPARE(f.NetList->horizontalHeaderItem(1)->text(), QString("Reading"));
        QCOMPARE(f.NetList->columnWidth(0), ui::px(3375));
        QCOMPARE(f.NetList->columnWidth(1), ui::px(1500));

        fill_slots({"1", "2", "3", "4", "5"}, {1, 2, 3, 4, 5});
        f.fillgrid();
        QCOMPARE(f.NetList->rowCount(), 5);
        fill_slots({"  Scale A  ", "B", "C"}, {130, 131, 132});
        links.scale_reading[1] = QByteArray(" 12.5 kg");
        links.scale_reading[2] = QByteArray("\xB0", 1); // a byte as a character
        links.scale_count = 3;
        f.fillgrid();
        QCOMPARE(f.NetList->rowCount(), 3);
        QCOMPARE(f.NetList->item(0, 0)->text(), QString("Scale A"));
        QCOMPARE(f.NetList->item(1, 1)->text(), QString(" 12.5 kg"));
        QCOMPARE(f.NetList->item(2, 1)->text(), QString(QChar(0xB0)));
        // Filling is no selection.
        QCOMPARE(links.cur_scale, int16_t(0));
    }

    // Captions and tool tips the user reads.
    void captions_and_tool_tips() {
        QVERIFY(fx.start("RS232"));
        form1& f = Form1();
        f.Load();
        QCOMPARE(f.Label1->text(), QString("Active Scale:"));
        QCOMPARE(f.Combo1->toolTip(), QString("Use this to select a scale to display on the main screen."));
        QCOMPARE(f.frame_mode->title(), QString("Operating Mode"));
        QCOMPARE(f.opt_single->toolTip(), QString("Use this to restrict operation to a single scale."));
        QCOMPARE(f.opt_network->toolTip(), QString("Use this to start and monitor the scale network."));
        QCOMPARE(f.chk_pollenb->toolTip(), QString("When using the single scale operating mode, use this to "
                                                   "poll the scale for readings at regular intervals."));
        QCOMPARE(f.txt_polltime->toolTip(),
                 QString("In single mode, sets the interval time for auto updates. In "
                         "network mode, determines how often the complete network is "
                         "scanned."));
        QVERIFY(!f.Label2->isVisibleTo(&f));
        QVERIFY(!f.chk_txon->isVisibleTo(&f) && f.chk_txon->isChecked());
        QCOMPARE(f.Frame2->title(), QString("Show"));
        QCOMPARE(f.Frame5->title(), QString("Slave Windows"));
        QCOMPARE(f.Command1->text(), QString("E&xit"));
        QCOMPARE(f.Command1->toolTip(), QString("Exits this screen and returns to the main menu."));
        QCOMPARE(f.NetFrame->title(), QString("Network Scan"));
        QCOMPARE(f.vsElastic1->geometry(), QRect(0, 0, ui::px(9435), ui::px(5415)));
        QCOMPARE(f.vsElastic2->geometry(), QRect(ui::px(9450), 0, ui::px(2925), ui::px(5415)));
    }
};

WEYVANE_TEST_MAIN(TestScreenSelection)
#include "test_screen_selection.moc"
