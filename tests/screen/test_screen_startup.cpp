// The scale screen's start-up and shutdown on every link, against database copies and the
// scale simulator (pty, simulated FTDI devices, loopback TCP).
#include "app/frmMain.h"
#include "collect/slave_windows.h"
#include "core/core_state.h"
#include "core/forms.h"
#include "links/link_devices.h"
#include "links/links_state.h"
#include "platform/db/data_control.h"
#include "platform/ui/twips.h"
#include "screen/form1.h"
#include "tests/sim/sim_serial.h"
#include "tests/sim/tcp_end.h"
#include "tests/support/reading_display.h"
#include "tests/support/screen_fixture.h"
#include "tests/support/test_main.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTimer>
#include <QtTest>

namespace {

QStringList combo_entries(const form1& f) {
    QStringList out;
    for (int i = 0; i < f.Combo1->count(); ++i)
        out.append(f.Combo1->itemText(i));
    return out;
}

QStringList netlist_names(const form1& f) {
    QStringList out;
    for (int r = 0; r < f.NetList->rowCount(); ++r)
        out.append(f.NetList->item(r, 0) ? f.NetList->item(r, 0)->text() : QString());
    return out;
}

QList<int> recids() {
    QList<int> out;
    for (int i = 0; i < links.scale_count; ++i)
        out.append(links.scale_recid[i]);
    return out;
}

bool any_timer_enabled(const form1& f) {
    for (ui::FormTimer* t : f.Timer1)
        if (t->Enabled()) return true;
    return f.Timer2->Enabled() || f.Timer3->Enabled() || f.Timer4->Enabled();
}

} // namespace

class TestScreenStartup : public QObject {
    Q_OBJECT

    testsupport::ScreenFixture fx;

private slots:
    void cleanup() {
        fx.stop();
        if (main_form().Loaded()) main_form().Unload();
    }

    // The set-up on each link: slots, records matched or added, list, mode and view.
    void startup_per_link_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("mode"); // option button selected: "single", "network", ""
        QTest::addColumn<bool>("netscan"); // "Network Scan" shown
        QTest::addColumn<int>("unknowns"); // default records with serial "Unknown" afterwards
        QTest::addColumn<bool>("slave_buttons");

        QTest::newRow("RS232") << "RS232" << QStringList{"Scale - RS232"} << "single" << false << 1 << false;
        QTest::newRow("RS485") << "RS485"
                               << QStringList{"Merol Scale - RS485 ID#130", "Merol Scale - RS485 ID#131"}
                               << "" << false << 0 << true;
        QTest::newRow("USB485") << "USB485" << QStringList{"SCALE RS485 ID#130", "SCALE RS485 ID#131"}
                                << "network" << true << 1 << true;
        QTest::newRow("Ethernet") << "Ethernet" << QStringList{"SCALE RS485 ID#130", "SCALE RS485 ID#131"}
                                  << "network" << true << 1 << true;
    }
    void startup_per_link() {
        QFETCH(QString, link);
        QFETCH(QStringList, names);
        QFETCH(QString, mode);
        QFETCH(bool, netscan);
        QFETCH(int, unknowns);
        QFETCH(bool, slave_buttons);

        QVERIFY(fx.start(link));
        // Listed out of order: the set-up lists them by NetID. Each has its own settings.
        QVERIFY(fx.network_records({131, 130}));
        QVERIFY(fx.db->exec("UPDATE ScaleCFG SET polltime = NetID - 129, active = 1").isEmpty());
        form1& f = fx.show();

        QCOMPARE(fx.rec.texts(), QStringList());
        QVERIFY(core.scale_screen_active);
        QVERIFY(!links.scan_stop);
        QCOMPARE(combo_entries(f), names);
        QCOMPARE(netlist_names(f), names);
        QCOMPARE(f.Combo1->currentIndex(), 0);
        QCOMPARE(links.cur_scale, int16_t(0));
        QCOMPARE(f.txt_polltime->text(), QString("0.33"));
        QCOMPARE(fx.scalecfg_count("SerialNo = 'Unknown'"), unknowns);
        QCOMPARE(f.opt_single->isChecked(), mode == "single");
        QCOMPARE(f.opt_network->isChecked(), mode == "network");
        QCOMPARE(f.opt_netscan->isChecked(), netscan);
        QCOMPARE(f.opt_none->isChecked(), !netscan);
        QVERIFY(f.opt_ID->isChecked());
        QCOMPARE(f.netwindow->isVisibleTo(&f), netscan);
        QVERIFY(!f.datawindow->isVisibleTo(&f));
        QCOMPARE(f.frame()->height(), ui::px(netscan ? 8050 : 5905));
        QCOMPARE(f.frame()->width(), ui::px(12540));
        QCOMPARE(f.frame()->geometry().topLeft(), QPoint(ui::px(330), ui::px(270)));
        QCOMPARE(f.Frame5->isEnabled(), slave_buttons);
        for (QWidget* b : std::initializer_list<QWidget*>{f.Command11, f.btn_saveslave, f.btn_slavesload,
                                                          f.btn_closeallslaves})
            QCOMPARE(b->isEnabled(), slave_buttons);
        // The network poll cycle runs only once the network mode is chosen.
        for (ui::FormTimer* t : f.Timer1)
            QCOMPARE(t->Enabled(), mode == "network" && t->Index() == 0);

        // Each slot carries its record: by NetID on "RS485"; the one "Unknown" record elsewhere.
        const int unknown_id = fx.db->scalar("SELECT ID FROM ScaleCFG WHERE SerialNo = 'Unknown'").toInt();
        if (link == "RS485") {
            const int id130 = fx.db->scalar("SELECT ID FROM ScaleCFG WHERE NetID = 130").toInt();
            const int id131 = fx.db->scalar("SELECT ID FROM ScaleCFG WHERE NetID = 131").toInt();
            QCOMPARE(recids(), (QList<int>{id130, id131}));
            QCOMPARE(links.scale_poll_time[0], 1.0);
            QCOMPARE(links.scale_poll_time[1], 2.0);
            QVERIFY(links.scale_active[0] && links.scale_active[1]);
        } else if (link == "RS232") {
            QCOMPARE(recids(), QList<int>{unknown_id});
            QVERIFY(links.scale_active[0]);
        } else {
            QCOMPARE(recids(), (QList<int>{unknown_id, unknown_id}));
            QCOMPARE(links.scale_poll_time[0], 0.5);
            QVERIFY(links.scale_active[1]);
        }
        // The data controls are bound.
        QCOMPARE(f.data1->RecordSource(), QString("select * from scalecfg"));
        QVERIFY(f.data2->RecordSource().startsWith("select ID,ScaleID,Reading,Date,Time from datacol"));
        QCOMPARE(f.data2->ConnectionString(), core.conn_str_a);
        QVERIFY(f.data2->Recordset()->IsOpen());
    }

    // The default record holds the slot's name and serial number and the default settings.
    void default_record_fields() {
        QVERIFY(fx.start("RS232"));
        QVERIFY(fx.db->exec("DELETE FROM ScaleCFG").isEmpty());
        fx.show();
        QCOMPARE(fx.scalecfg_count(), 1);
        const QString row =
            fx.db
                ->scalar(
                    "SELECT Description || '|' || SerialNo || '|' || Active || '|' || polltime || '|' || "
                    "baud || '|' || sctype || '|' || ifnull(NetID, 'null') FROM ScaleCFG")
                .toString();
        QCOMPARE(row, QString("Scale - RS232|Unknown|1|0.5|9600|RS232|null"));
    }

    // "USB": one device per slot, matched by serial number, configured with its record's baud.
    void usb_devices_opened_and_configured() {
        QVERIFY(fx.start("USB"));
        sim::SimFtdiDevice& d0 = fx.add_usb_scale("SER1", "  Scale One  ");
        sim::SimFtdiDevice& d1 = fx.add_usb_scale("SER2", "Scale Two");
        QVERIFY(fx.db
                    ->exec("DELETE FROM ScaleCFG; INSERT INTO ScaleCFG (SerialNo, Active, polltime, baud) "
                           "VALUES ('ser2', 0, 1.5, '19200')")
                    .isEmpty());
        form1& f = fx.show();

        QCOMPARE(fx.rec.texts(), QStringList());
        QCOMPARE(combo_entries(f), (QStringList{"Scale One", "Scale Two"}));
        const int id2 = fx.db->scalar("SELECT ID FROM ScaleCFG WHERE baud = '19200'").toInt();
        const int id1 = fx.db->scalar("SELECT ID FROM ScaleCFG WHERE SerialNo = 'SER1'").toInt();
        QVERIFY(id1 > id2);
        QCOMPARE(recids(), (QList<int>{id1, id2}));
        QCOMPARE(fx.db
                     ->scalar("SELECT Description || '|' || sctype FROM ScaleCFG WHERE ID = " +
                              QString::number(id1))
                     .toString(),
                 QString("Scale One|USB"));
        QVERIFY(links.scale_active[0]);
        QVERIFY(!links.scale_active[1]);
        QCOMPARE(links.scale_poll_time[1], 1.5);
        // Each slot holds an open handle of its own device.
        QVERIFY(links.scale_addr[0] != 0 && links.scale_addr[1] != 0);
        QVERIFY(links.scale_addr[0] != links.scale_addr[1]);
        QCOMPARE(links.cur_scale_addr, links.scale_addr[0]);
        QCOMPARE(d0.open_count, 1);
        QCOMPARE(d1.open_count, 1);
        QCOMPARE(d0.baud, 9600u);
        QCOMPARE(d1.baud, 19200u);
        QCOMPARE(d1.data_characteristics, (QList<uint8_t>{8, 0, 0}));
        QCOMPARE(d1.read_timeout, 1000u);
        // No mode is chosen on "USB".
        QVERIFY(!f.opt_single->isChecked() && !f.opt_network->isChecked());

        // The shutdown closes the scale devices; the adapter handle stays open for the run.
        f.Command1->click();
        QVERIFY(!f.Loaded());
        QCOMPARE(d1.open_count, 0);
        QCOMPARE(d0.open_count, 1);
        QVERIFY(links.usb_handle != 0);

        // The next showing opens the scale devices again without refusals.
        fx.show();
        QCOMPARE(fx.rec.texts(), QStringList());
        QCOMPARE(d1.open_count, 1);
        QCOMPARE(d1.opens, 2);
        QCOMPARE(fx.scalecfg_count(), 2);
    }

    // Refused device settings each show their message; the set-up goes on. An empty baud field
    // configures the line rate of the links.
    void usb_settings_refused_data() {
        QTest::addColumn<QString>("which");
        QTest::addColumn<QString>("message");
        QTest::newRow("baud") << "baud"
                              << "SetBaudRate Failed";
        QTest::newRow("data") << "data"
                              << "SetDataCharacteristics Failed";
        QTest::newRow("flow") << "flow"
                              << "SetFlowControl Failed";
        QTest::newRow("timeouts") << "timeouts"
                                  << "SetTimeouts Failed";
    }
    void usb_settings_refused() {
        QFETCH(QString, which);
        QFETCH(QString, message);
        QVERIFY(fx.start("USB"));
        fx.add_usb_scale("SER1", "Scale One");
        sim::SimFtdiDevice& d1 = fx.add_usb_scale("SER2", "Scale Two");
        QVERIFY(
            fx.db->exec("DELETE FROM ScaleCFG; INSERT INTO ScaleCFG (SerialNo, Active) VALUES ('SER2', 1)")
                .isEmpty());
        d1.fail_baud = which == "baud";
        d1.fail_data = which == "data";
        d1.fail_flow = which == "flow";
        d1.fail_timeouts = which == "timeouts";
        form1& f = fx.show();
        QCOMPARE(fx.rec.texts(), QStringList{message});
        QCOMPARE(f.Combo1->count(), 2);
        if (which != "baud") QCOMPARE(d1.baud, 9600u);
    }

    // A second device that does not open ends the set-up after the first was configured.
    void usb_second_device_fails_to_open() {
        QVERIFY(fx.start("USB"));
        sim::SimFtdiDevice& d0 = fx.add_usb_scale("SER1", "Scale One");
        sim::SimFtdiDevice& d1 = fx.add_usb_scale("SER2", "Scale Two");
        d1.fail_open = true;
        QVERIFY(fx.syscfg("rfnet=1, rfnetid=3"));
        form1& f = fx.show();

        QCOMPARE(fx.rec.texts(), QStringList{"Open Failed"});
        QVERIFY(f.Loaded());
        QVERIFY(core.scale_screen_active);
        QCOMPARE(d0.baud, 9600u);
        QVERIFY(links.scale_addr[0] != 0);
        QCOMPARE(links.scale_addr[1], 0);
        QCOMPARE(f.Combo1->count(), 0);
        QCOMPARE(f.NetList->rowCount(), 0);
        // Nothing after the failure ran, the RF step included.
        for (const QByteArray& w : d0.writes)
            QVERIFY(!w.contains("+++"));

        // "E&xit" still leaves it.
        f.Command1->click();
        QVERIFY(!f.Loaded());
        QCOMPARE(d0.open_count, 1); // the adapter handle
    }

    // Without a usable adapter the screen closes itself before anything is set up.
    void usb_adapter_missing_data() {
        QTest::addColumn<QString>("link");
        QTest::newRow("USB") << "USB";
        QTest::newRow("USB485") << "USB485";
    }
    void usb_adapter_missing() {
        QFETCH(QString, link);
        QVERIFY(fx.start(link));
        if (link == "USB485") fx.usb->device(0).attached = false;
        QVERIFY(fx.network_records({130}));
        form1& f = fx.show();
        QCOMPARE(fx.rec.texts(), QStringList{"No device can be found on the USB."});
        QVERIFY(!f.Loaded());
        QVERIFY(!f.frame()->isVisible());
        QVERIFY(!core.scale_screen_active);
        QVERIFY(links.scan_stop);
        QCOMPARE(links.scale_count, int16_t(0));
        QCOMPARE(fx.scalecfg_count(), 1);
    }

    // A link set-up that finds no scale: empty list, no mode, and the RF step still runs.
    void no_scale_found_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("message");
        QTest::newRow("RS232 port missing")
            << "RS232"
            << "The com port you selected either doesn't exist or is already in use";
        QTest::newRow("RS485 no records") << "RS485"
                                          << "There are no RS485 scales defined in setup. Aborting.";
        QTest::newRow("Ethernet no records") << "Ethernet"
                                             << "There are no RS485 scales defined in setup. Aborting.";
        QTest::newRow("unknown link") << "Serial" << QString();
    }
    void no_scale_found() {
        QFETCH(QString, link);
        QFETCH(QString, message);
        QVERIFY(fx.start(link));
        QVERIFY(fx.network_records({}));
        settings::SaveSetting("Ports", "COM1", fx.db->folder + "/no-such-port");
        QVERIFY(fx.syscfg("rfnet=1"));
        // A link type that no link knows opens no link, not the one in force before.
        if (link == "Serial") core.comm_type = "RS232";
        form1& f = fx.show();

        QStringList expected;
        if (link == "RS232") // the system's reason follows on a second line
            expected << message + "\n" + fx.db->folder + "/no-such-port does not exist";
        else if (!message.isEmpty())
            expected << message;
        expected << "RF Module Not Responding";
        QStringList texts = fx.rec.texts();
        if (link == "Serial") {
            QVERIFY(!texts.isEmpty() &&
                    texts.first().contains("\"Serial\". The scale screen opens no link") &&
                    texts.first().contains("Correct commtype in Scale Configurations."));
            texts.removeFirst();
            QCOMPARE(core.comm_type, link);
        }
        QCOMPARE(texts, expected);
        QVERIFY(f.Loaded());
        QVERIFY(core.scale_screen_active);
        QCOMPARE(f.Combo1->count(), 0);
        QCOMPARE(f.NetList->rowCount(), 0);
        QVERIFY(!f.opt_single->isChecked() && !f.opt_network->isChecked());
        QVERIFY(f.opt_none->isChecked());
        QCOMPARE(fx.scalecfg_count(), 0);
        QVERIFY(f.data2->RecordSource().startsWith("select ID,ScaleID,Reading,Date,Time from datacol"));
    }

    // The RF modem behind the adapter is switched to the channel of the settings.
    void rf_channel_set_after_startup() {
        QVERIFY(fx.start("USB485"));
        fx.net->rf_modem = true;
        QVERIFY(fx.network_records({130}));
        QVERIFY(fx.syscfg("rfnet=1, rfnetid=3"));
        fx.show();
        QCOMPARE(fx.rec.texts(), QStringList());
        QCOMPARE(fx.net->rf_escapes, 1);
        QCOMPARE(fx.net->rf_channel, QByteArray("03"));
    }

    // The display's font and place follow the "small fonts" setting; every reading is seen whole.
    void screen_fonts_data() {
        QTest::addColumn<int>("small");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("points");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("face");
        QTest::newRow("small fonts") << 1 << "Arial" << 48 << QRect(1320, 1020, 3495, 1035)
                                     << "Liberation Sans";
        QTest::newRow("large fonts") << 0 << "Swiss911 XCm BT" << 72 << QRect(1320, 840, 3495, 1575)
                                     << "Liberation Sans Narrow";
    }
    void screen_fonts() {
        QFETCH(int, small);
        QFETCH(QString, family);
        QFETCH(int, points);
        QFETCH(QRect, twips);
        QFETCH(QString, face);
        QVERIFY(fx.start("RS485"));
        QVERIFY(fx.network_records({130, 131}));
        QVERIFY(fx.syscfg(QString("smallfonts=%1").arg(small)));
        form1& f = fx.show();
        QCOMPARE(f.Screen->font().family(), family);
        QCOMPARE(f.Screen->font().pointSize(), points);
        QVERIFY(f.Screen->font().bold());
        QCOMPARE(f.Screen->geometry(),
                 QRect(ui::px(twips.x()), ui::px(twips.y()), ui::px(twips.width()), ui::px(twips.height())));
        testsupport::verify_readings_fit(f.Screen, face);
        // A short reading after a wide one keeps the smaller size; another scale starts again.
        f.Screen->setText("0.0 kg");
        QVERIFY(f.Screen->shownFont().pointSizeF() < points);
        f.Combo1->setCurrentIndex(1);
        QCOMPARE(f.Screen->shownFont().pointSizeF(), qreal(points));
    }

    // Ethernet: once connected, each slot's own address gets the first request.
    void ethernet_first_request_per_slot() {
        QVERIFY(fx.start("Ethernet"));
        QVERIFY(fx.network_records({131, 130}));
        Winsock1().Connect("127.0.0.1", fx.server->port());
        QTRY_COMPARE(Winsock1().State(), int(net::Winsock::sckConnected));
        fx.show();
        QCOMPARE(fx.rec.texts(), QStringList());
        QTRY_COMPARE(fx.net->received, QByteArray("\x82\x11K\x83\x11K"));
        QCOMPARE(links.scale_count, int16_t(2));
    }

    // Activating the screen again (switching MDI children) changes nothing.
    void second_activation_changes_nothing() {
        QVERIFY(fx.start("USB485"));
        QVERIFY(fx.network_records({130, 131}));
        form1& f = fx.show();
        const QList<int> ids = recids();
        f.Combo1->setCurrentIndex(1);
        fx.net->received.clear();
        QVERIFY(fx.db->exec("DELETE FROM ScaleCFG").isEmpty());

        fx.show();
        QCOMPARE(fx.rec.texts(), QStringList());
        QCOMPARE(f.Combo1->currentIndex(), 1);
        QCOMPARE(links.cur_scale, int16_t(1));
        QCOMPARE(recids(), ids);
        QCOMPARE(fx.scalecfg_count(), 0);
        QCOMPARE(fx.net->received, QByteArray());
    }

    // "E&xit" shuts the screen down; "Activate Remote Screen" then builds it all again from
    // fresh settings.
    void exit_then_activate_rebuilds() {
        QVERIFY(fx.start("RS485"));
        QVERIFY(fx.network_records({130, 131, 132}));
        frmMain& shell = main_form();
        shell.Show();
        shell.m_ars->trigger();
        form1& f = Form1();
        QVERIFY(f.Loaded());
        QCOMPARE(shell.mdiArea->activeSubWindow() ? shell.mdiArea->activeSubWindow()->widget() : nullptr,
                 static_cast<QWidget*>(&f));
        QCOMPARE(f.Combo1->count(), 3);
        slave_open[3] = 1;
        slave_open[10] = 1;
        f.Timer2->setInterval(250);
        f.Timer2->setEnabled(true);
        f.Timer4->setInterval(330);
        f.Timer4->setEnabled(true);
        f.Timer1[4]->setInterval(330);
        f.Timer1[4]->setEnabled(true);

        f.Command1->click();
        QVERIFY(!f.Loaded());
        QVERIFY(!f.frame()->isVisible());
        QVERIFY(!core.scale_screen_active);
        QVERIFY(links.scan_stop);
        QCOMPARE(links.scale_count, int16_t(0));
        QCOMPARE(links.scale_addr[0], 0);
        QVERIFY(links.scale_name[2].isEmpty());
        QVERIFY(!any_timer_enabled(f));
        QCOMPARE(f.Timer1[4]->Interval(), 0);
        QCOMPARE(f.Timer4->Interval(), 0);
        QCOMPARE(slave_open[3], int16_t(0));
        QCOMPARE(slave_open[10], int16_t(1));
        QVERIFY(!MSComm1().PortOpen());
        QVERIFY(!f.data1->Recordset()->IsOpen());

        // Fresh settings and a fresh list.
        QVERIFY(fx.syscfg("smallfonts=1, netpolltime='.5'"));
        QVERIFY(fx.network_records({140, 141}));
        shell.m_ars->trigger();
        QVERIFY(f.Loaded());
        QCOMPARE(fx.rec.texts(), QStringList());
        QVERIFY(core.scale_screen_active);
        QVERIFY(!links.scan_stop);
        QCOMPARE(combo_entries(f), (QStringList{"Merol Scale - RS485 ID#140", "Merol Scale - RS485 ID#141"}));
        QCOMPARE(netlist_names(f), combo_entries(f));
        QCOMPARE(f.txt_polltime->text(), QString("0.5"));
        QCOMPARE(f.Screen->font().family(), QString("Arial"));
        QVERIFY(MSComm1().PortOpen());
    }

    // After a lost port or connection, what starts polling sets the link up again first: ticking
    // "Poll", choosing "Network", or "Activate Remote Screen" on the loaded screen. While the
    // port or the server is missing the action is refused once, with the reason, and the screen
    // stays as the loss left it; once it is back, the same action polls again. The Ethernet link
    // counts as down until it connects, also when the screen was opened while the server was off.
    void polling_after_a_loss_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("opened_off"); // the screen is opened while the server is off
        QTest::newRow("RS232, Poll") << "RS232"
                                     << "Poll" << false;
        QTest::newRow("RS485, Network") << "RS485"
                                        << "Network" << false;
        QTest::newRow("RS232, Activate Remote Screen") << "RS232"
                                                       << "Activate" << false;
        QTest::newRow("Ethernet, Activate Remote Screen") << "Ethernet"
                                                          << "Activate" << false;
        QTest::newRow("Ethernet, Poll") << "Ethernet"
                                        << "Poll" << false;
        QTest::newRow("Ethernet opened while off, Activate Remote Screen") << "Ethernet"
                                                                           << "Activate" << true;
    }
    void polling_after_a_loss() {
        QFETCH(QString, link);
        QFETCH(QString, action);
        QFETCH(bool, opened_off);
        const bool network = link == "RS485";
        const bool ethernet = link == "Ethernet";
        QVERIFY(fx.start(link));
        QVERIFY(fx.network_records({130}));
        sim::SimSerial ports;
        ports.install();
        auto scale = std::make_shared<sim::Responder>(network ? sim::Responder::Link::network
                                                              : sim::Responder::Link::single);
        scale->add(130).group = '1';
        fx.net->add(130);
        sim::SimSerialDevice& com1 = ports.add("/dev/ttySIM0", scale);
        settings::SaveSetting("Ports", "COM1", com1.path);
        const quint16 port = fx.server->port();
        if (opened_off) fx.server.reset();
        frmMain& shell = main_form();
        shell.Show();
        shell.m_ars->trigger();
        QCoreApplication::processEvents(); // the user's next action comes in a later turn
        form1& f = Form1();
        const auto link_up = [&] {
            return ethernet ? Winsock1().State() == net::Winsock::sckConnected : MSComm1().PortOpen();
        };
        QCOMPARE(link_up(), !opened_off);
        f.txt_polltime->setText(".5");
        // One poll and its reply, as the timers would run them.
        const auto reading_shown = [&] {
            f.Screen->clear();
            if (network) {
                f.Timer1_Timer(links.timer1_index);
            } else {
                f.Timer4_Timer();
                f.Timer2_Timer();
            }
            // Ethernet replies arrive from the event loop.
            const auto shown = [&] { return f.Screen->text().endsWith("1234.5"); };
            return ethernet ? QTest::qWaitFor(shown) : shown();
        };
        const QString again = "choose \"Activate Remote Screen\" to set the link up again and go on polling.";
        if (!opened_off) {
            if (network) {
                f.select_option(f.opt_network);
            } else {
                f.select_option(f.opt_single);
                f.chk_pollenb->setChecked(true);
            }
            QVERIFY(reading_shown());
            QCOMPARE(f.txt_groupnum->text().isEmpty(), network || ethernet);

            if (ethernet)
                fx.server.reset();
            else
                ports.kill(0, sim::SimSerial::Death::removed);
            QTRY_COMPARE(fx.rec.boxes.size(), 1);
        }
        QVERIFY2(fx.rec.texts().size() == 1, qPrintable(fx.rec.texts().join(" | ").replace("\n", " ")));
        // A link that was never up was never polled.
        QVERIFY2(fx.rec.boxes[0].text.endsWith(opened_off ? "to set the link up and start polling." : again),
                 qPrintable(fx.rec.boxes[0].text));
        QCOMPARE(f.Caption(), link + " - Connection Lost");
        QVERIFY(!f.chk_pollenb->isChecked());
        QCOMPARE(f.chk_pollenb->isEnabled(), !network && !opened_off); // not with "Network" chosen
        QVERIFY(f.Screen->text().isEmpty());
        QVERIFY(f.txt_groupnum->text().isEmpty());

        const auto act = [&] {
            if (action == "Poll")
                f.chk_pollenb->setChecked(true);
            else if (action == "Network")
                f.select_option(f.opt_network);
            else
                shell.m_ars->trigger();
        };
        act();
        QCOMPARE(fx.rec.texts().size(), 2);
        if (ethernet)
            QVERIFY2(fx.rec.texts()[1].contains(
                         QString("The scales at 127.0.0.1, port %1 could not be connected: ").arg(port)) &&
                         fx.rec.texts()[1].endsWith(again),
                     qPrintable(fx.rec.texts()[1]));
        else
            QCOMPARE(fx.rec.texts()[1],
                     QString("The com port you selected either doesn't exist or is already in use\n"
                             "/dev/ttySIM0 does not exist"));
        QCOMPARE(f.Caption(), link + " - Connection Lost");
        QVERIFY(!f.chk_pollenb->isChecked());
        QVERIFY(!any_timer_enabled(f));
        QVERIFY(!link_up());
        QCOMPARE(com1.opens, ethernet ? 0 : 1);

        if (ethernet) {
            fx.server = std::make_unique<sim::TcpEnd>(fx.net, port);
            QVERIFY(fx.server->listening());
        } else {
            com1.attached = true;
        }
        act();
        QCOMPARE(fx.rec.texts().size(), 2);
        QVERIFY(link_up());
        QCOMPARE(com1.opens, ethernet ? 0 : 2);
        QCOMPARE(links.scale_count, int16_t(1));
        if (network || opened_off) {
            QCOMPARE(f.Caption(), link + " - Network Mode");
            QVERIFY(f.Timer1[0]->Enabled());
        } else {
            // "Activate Remote Screen" goes on with "Poll" as it was.
            QCOMPARE(f.Caption(), link + " - Single Scale Mode (Polling Activated - .5 sec)");
            QVERIFY(f.chk_pollenb->isChecked());
            QVERIFY(f.Timer4->Enabled() && f.Timer2->Enabled());
            QCOMPARE(f.Timer4->Interval(), 500);
        }
        QVERIFY(reading_shown());
    }

    // Every "USB" scale unplugged at once: one message names each device lost.
    void usb_devices_lost_together() {
        QVERIFY(fx.start("USB"));
        sim::SimFtdiDevice& d0 = fx.add_usb_scale("SER1", "Scale One");
        sim::SimFtdiDevice& d1 = fx.add_usb_scale("SER2", "Scale Two");
        form1& f = fx.show();
        f.opt_network->setChecked(true);
        d0.gone = d1.gone = true;
        f.Timer1[static_cast<size_t>(links.timer1_index)]->fire();
        QTRY_COMPARE(fx.rec.boxes.size(), 1);
        QTest::qWait(50);
        QCOMPARE(fx.rec.texts(),
                 QStringList{"The USB scales \"Scale One\" (serial number SER1) and \"Scale Two\" "
                             "(serial number SER2) can no longer be reached: they were unplugged "
                             "or failed.\nPolling has stopped. Once the devices are connected "
                             "again, choose \"Activate Remote Screen\" to set the link up again "
                             "and go on polling."});
        QCOMPARE(f.Caption(), QString("USB - Connection Lost"));
    }

    // A set-up interrupted by "E&xit" while it lets events run stops where it is.
    void exit_during_setup_stops_it() {
        QVERIFY(fx.start("USB485"));
        QVERIFY(fx.network_records({130, 131}));
        QTimer::singleShot(0, &Form1(), [] { Form1().Command1->click(); });
        form1& f = fx.show();
        QVERIFY(!f.Loaded());
        QVERIFY(!core.scale_screen_active);
        QVERIFY(links.scan_stop);
        QCOMPARE(links.scale_count, int16_t(0));
        QCOMPARE(f.Combo1->count(), 0);
        QVERIFY(!f.opt_network->isChecked());

        // Shown again, it sets up normally.
        fx.show();
        QCOMPARE(f.Combo1->count(), 2);
        QVERIFY(f.opt_network->isChecked());
    }

    // "Activate Remote Screen" chosen again while the set-up lets events run starts no second
    // set-up on top of the first (on "USB" that one would hold the devices open and the first
    // would fail with "Open Failed").
    void second_activation_during_setup_is_ignored() {
        QVERIFY(fx.start("USB"));
        fx.add_usb_scale("SER1", "Scale One");
        fx.add_usb_scale("SER2", "Scale Two");
        QTimer::singleShot(0, &Form1(), [] { Form1().Show(); });
        form1& f = fx.show();
        QVERIFY(core.scale_screen_active);
        QVERIFY2(!fx.rec.texts().contains("Open Failed"),
                 qPrintable(fx.rec.texts().join(" | ").replace("\n", " ")));
        QCOMPARE(f.Combo1->count(), 2);
        QVERIFY(links.scale_addr[0] != 0 && links.scale_addr[1] != 0);
    }

    // "E&xit" and a new "Activate Remote Screen" inside the first set-up's event pump: the
    // new showing gets its own complete set-up.
    void exit_and_show_again_during_setup() {
        QVERIFY(fx.start("RS485"));
        QVERIFY(fx.network_records({130, 131}));
        QTimer::singleShot(0, &Form1(), [] {
            Form1().Command1->click();
            Form1().Show();
        });
        form1& f = fx.show();
        QVERIFY(f.Loaded());
        QVERIFY(core.scale_screen_active);
        QCOMPARE(f.Combo1->count(), 2);
    }
};

WEYVANE_TEST_MAIN(TestScreenStartup)
#include "test_screen_startup.moc"
