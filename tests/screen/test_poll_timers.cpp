// The poll timers and operating modes: the Timer1 rotation and its guard, key forwarding, the
// polls of each link with the simulator answering, the mode switches with their captions, the
// halting and restoring of polling, and the poll-time text.
#include "links/command_frames.h"
#include "links/link_setup.h"
#include "tests/sim/sim_serial.h"
#include "tests/sim/tcp_end.h"
#include "tests/support/screen_links.h"
#include "tests/support/test_main.h"

#include <QAbstractEventDispatcher>
#include <QLineEdit>
#include <QtTest>
#include <algorithm>

using testsupport::addr_byte;

class TestPollTimers : public QObject {
    Q_OBJECT

    testsupport::ScreenLinks fx;

    // The writes the adapter got since the last call.
    QList<QByteArray> adapter_writes() {
        QList<QByteArray> w = fx.usb->device(0).writes;
        fx.usb->device(0).writes.clear();
        return w;
    }
    // A network cycle from the tick of element k to its end, its steps run by the event loop.
    void cycle(size_t k) {
        fx.f().Timer1[k]->fire();
        while (fx.f().network_cycle_pending())
            QCoreApplication::processEvents();
    }
    void network_start(const QList<int>& addrs, const QString& poll = ".33") {
        fx.fill(addrs);
        for (int a : addrs)
            fx.net->add(a).reading = " " + QByteArray::number(a) + ".0";
        fx.f().txt_polltime->setText(poll);
        fx.f().opt_network->setChecked(true);
    }

private slots:
    void cleanup() { fx.stop(); }

    // Each tick disarms its element and arms the next with the poll time, 9 wrapping to 0.
    void rotation() {
        QVERIFY(fx.start("USB485"));
        network_start({});
        form1& f = fx.f();
        QCOMPARE(links.timer1_index, int16_t(0));
        QVERIFY(f.Timer1[0]->Enabled());
        QCOMPARE(f.Timer1[0]->Interval(), 330);
        QVERIFY(f.Timer1[0]->running());
        for (int tick = 1; tick <= 12; ++tick) {
            const int before = links.timer1_index;
            f.Timer1[static_cast<size_t>(before)]->fire();
            const int now = tick % 10;
            QCOMPARE(int(links.timer1_index), now);
            for (int k = 0; k < 10; ++k)
                QCOMPARE(f.Timer1[static_cast<size_t>(k)]->Enabled(), k == now);
            QCOMPARE(f.Timer1[static_cast<size_t>(now)]->Interval(), 330);
        }
        QVERIFY(!links.scan_busy);
        QVERIFY(!links.poll_busy);
    }

    // While a cycle runs, a tick on the looping links does nothing at all; "RS232" has no guard.
    void tick_during_a_cycle_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("rotates");
        QTest::newRow("USB485") << "USB485" << false;
        QTest::newRow("RS485") << "RS485" << false;
        QTest::newRow("Ethernet") << "Ethernet" << false;
        QTest::newRow("RS232") << "RS232" << true;
    }
    void tick_during_a_cycle() {
        QFETCH(QString, link);
        QVERIFY(fx.start(link));
        form1& f = fx.f();
        fx.fill({130});
        f.txt_polltime->setText(".5");
        f.Timer1[0]->setInterval(500);
        f.Timer1[0]->setEnabled(true);
        links.scan_busy = true;
        links.key_pending = true;
        links.key_code = 5;
        f.Timer1[0]->fire();
        QFETCH(bool, rotates);
        QCOMPARE(int(links.timer1_index), rotates ? 1 : 0);
        QCOMPARE(f.Timer1[0]->Enabled(), !rotates);
        QVERIFY(links.key_pending); // "RS232" forwards no key either
        if (link == "USB485") QVERIFY(fx.usb->device(0).writes.isEmpty());
        if (link == "RS232") QTRY_COMPARE(fx.pty->responder().received, QByteArray("*P"));
    }

    // The road of one reading: a queued key goes out first (three writes), then every scale is
    // polled in list order with one 3-byte write and its reply shown in the network list.
    void usb485_cycle_with_key() {
        QVERIFY(fx.start("USB485"));
        network_start({130, 131});
        links.cur_scale = 1;
        links.key_pending = true;
        links.key_code = 10; // "."
        cycle(0);
        QCOMPARE(adapter_writes(),
                 (QList<QByteArray>{addr_byte(131), "\x11", ".", addr_byte(130) + "\x11\x31",
                                    addr_byte(131) + "\x11\x31"}));
        QVERIFY(!links.key_pending);
        QCOMPARE(links.key_code, int16_t(0));
        // The scale answers the key too; that reply is the first one the cycle reads.
        QCOMPARE(links.scale_reading[1], QByteArray(" 131.0"));
        QCOMPARE(fx.f().Screen->text(), QString(" 131.0"));
        QVERIFY(!links.scan_busy);
        QVERIFY(!links.poll_busy);

        // Key "1" is the poll character: not sent on its own, but cleared.
        links.key_pending = true;
        links.key_code = 1;
        cycle(1);
        QCOMPARE(adapter_writes(),
                 (QList<QByteArray>{addr_byte(130) + "\x11\x31", addr_byte(131) + "\x11\x31"}));
        QVERIFY(!links.key_pending);
        QCOMPARE(links.scale_reading[0], QByteArray(" 130.0"));
        QCOMPARE(links.scale_reading[1], QByteArray(" 131.0"));
        QCOMPARE(fx.netlist_reading(0), QString(" 130.0"));
        QCOMPARE(fx.netlist_reading(1), QString(" 131.0"));
        QCOMPARE(links.usb485_timeouts, 0.0);
    }

    // "Frame" ticked: the "USB485" cycle polls with "F"; "USB" cycles still send "*" and "1".
    void frame_polls() {
        QVERIFY(fx.start("USB485"));
        network_start({130});
        fx.f().chk_frame->setChecked(true);
        fx.f().Timer1[0]->fire();
        QCOMPARE(adapter_writes(), QList<QByteArray>{addr_byte(130) + "\x11\x46"});
        fx.stop();

        QVERIFY(fx.start("USB"));
        auto scale = std::make_shared<sim::Responder>(sim::Responder::Link::single);
        fx.usb->add("S1", "Scale one", scale);
        ftdi::FT_HANDLE h = 0;
        QCOMPARE(ftdi::FT_Open(0, &h), ftdi::FT_OK);
        fx.fill({static_cast<int>(h)});
        fx.f().chk_frame->setChecked(true);
        fx.f().Timer1[0]->setEnabled(true);
        fx.f().Timer1[0]->fire();
        QCOMPARE(fx.usb->device(0).writes, (QList<QByteArray>{"*", "1"}));
        QCOMPARE(links.scale_reading[0], QByteArray("1234.5"));
        ftdi::FT_Close(h);
    }

    // Two "USB" scales; the second's device dies in the middle of a network cycle. It is closed
    // and told once, naming the scale and its device; the first scale goes on being polled and
    // shown, nothing is asked of the lost handle again, and the next opening of the screen opens
    // the device again once it is back.
    void usb_device_lost_mid_cycle() {
        QVERIFY(fx.start("USB") && fx.syscfg("commtype='USB'"));
        sim::SimFtdiDevice& d0 = fx.add_usb_scale("SER1", "Scale One");
        sim::SimFtdiDevice& d1 = fx.add_usb_scale("SER2", "Scale Two");
        d1.location = "/dev/ttyUSB1";
        d0.responder->scale().reading = " 1.0";
        d1.responder->scale().reading = " 2.0";
        form1& f = fx.show();
        QVERIFY2(fx.rec.texts().isEmpty(), qPrintable(fx.rec.texts().join('|')));
        f.opt_network->setChecked(true);
        const auto cycle = [&] { this->cycle(static_cast<size_t>(links.timer1_index)); };
        cycle();
        QCOMPARE(links.scale_reading[1], QByteArray("2.0"));

        // Scale One's reply arrives, then Scale Two's device fails before its turn.
        d0.responder->scale().reading = " 1.1";
        d0.responder->on_reply = [&] { d1.gone = true; };
        cycle();
        d0.responder->on_reply = nullptr;
        QCOMPARE(links.scale_reading[0], QByteArray("1.1"));
        QCOMPARE(d1.open_count, 0);
        QCOMPARE(links.scale_addr[1], 0);
        QCOMPARE(fx.rec.boxes.size(), 1);
        const QString told = fx.rec.boxes[0].text;
        for (const char* part : {"\"Scale Two\"", "SER2", "/dev/ttyUSB1", "other scales are still polled"})
            QVERIFY2(told.contains(part), qPrintable(told));
        QCOMPARE(fx.netlist_reading(1), QString());

        const int stale = ftdi::unknown_handle_calls();
        const qsizetype d1_writes = d1.writes.size();
        d0.responder->scale().reading = " 1.2";
        for (int k = 0; k < 3; ++k)
            cycle();
        f.Timer2_Timer();
        QCOMPARE(links.scale_reading[0], QByteArray("1.2"));
        QCOMPARE(f.Screen->text(), QString("1.2"));
        QCOMPARE(fx.netlist_reading(0), QString("1.2"));
        QVERIFY(std::any_of(f.Timer1.begin(), f.Timer1.end(), [](ui::FormTimer* t) { return t->Enabled(); }));
        QCOMPARE(ftdi::unknown_handle_calls(), stale);
        QCOMPARE(d1.writes.size(), d1_writes);
        QCOMPARE(fx.rec.boxes.size(), 1);

        // Back again: the screen opened anew polls both scales.
        d1.gone = false;
        f.Command1->click();
        QCOMPARE(ftdi::unknown_handle_calls(), stale);
        fx.show();
        QCOMPARE(d1.open_count, 1);
        QCOMPARE(d1.opens, 2);
        f.opt_network->setChecked(true);
        d1.responder->scale().reading = " 2.1";
        cycle();
        QCOMPARE(links.scale_reading[1], QByteArray("2.1"));
        QCOMPARE(fx.rec.boxes.size(), 1);
    }

    // "Tx On" cleared: the cycle still runs its scans but sends nothing.
    void tx_off() {
        QVERIFY(fx.start("USB485"));
        network_start({130});
        fx.f().chk_txon->setChecked(false);
        fx.f().Timer1[0]->fire();
        QVERIFY(adapter_writes().isEmpty());
        QCOMPARE(links.usb485_timeouts, 1.0);
    }

    // The network delay before each poll, then up to 0.25 s for each silent scale.
    void net_delay_and_silent_scales() {
        QVERIFY(fx.start("USB485"));
        core.net_del_time = 0.05;
        network_start({130, 131, 132});
        fx.net->silent = true;
        const double t0 = wclock::Timer();
        cycle(0);
        const double spent = wclock::Timer() - t0;
        QVERIFY2(spent >= 3 * 0.3 - 0.01 && spent < 3 * 0.3 + 0.05, qPrintable(QString::number(spent)));
        QCOMPARE(links.usb485_timeouts, 3.0);
        QCOMPARE(fx.usb->device(0).purges.size(), 3);
    }

    // The screen unloads in the middle of a cycle: the cycle ends at its next scale; an adapter
    // unplugged in the middle just times out.
    void cycle_interrupted() {
        QVERIFY(fx.start("USB485"));
        network_start({130, 131, 132});
        fx.net->late = 0.1;
        wclock::set_slice_hook([] {
            if (links.poll_index == 1 && links.rx_buf[0].isEmpty()) links.scan_stop = true;
        });
        cycle(0);
        wclock::set_slice_hook({});
        QVERIFY(links.scale_reading[2].isEmpty());
        QVERIFY(links.scan_busy); // left set: the next start-up clears it
        QCOMPARE(adapter_writes().size(), 2);

        links.scan_stop = false;
        links.scan_busy = false;
        fx.usb->device(0).gone = true;
        cycle(1);
        // The adapter fails its first queue query: closed, told once, the cycle and polling end.
        QCOMPARE(links.usb485_timeouts, 0.0);
        QCOMPARE(links.usb_handle, 0u);
        QCOMPARE(fx.usb->device(0).open_count, 0);
        QCOMPARE(fx.rec.boxes.size(), 1);
        QVERIFY(fx.rec.boxes[0].text.contains("USB-RS485 adapter"));
        QVERIFY(!links.scan_busy);
        for (ui::FormTimer* t : fx.f().Timer1)
            QVERIFY(!t->Enabled());
        cycle(2);
        QCOMPARE(fx.rec.boxes.size(), 1);
    }

    // The cycle returns to the event loop between scales: a key typed during the first scale's
    // scan is served before the next scale is polled. halttimers between two scales, or during a
    // scan, ends the cycle there; polling goes on with a new cycle once net_stat_put has run.
    void cycle_steps_data() {
        QTest::addColumn<bool>("in_scan");
        QTest::addColumn<qsizetype>("polls");
        QTest::newRow("halted between scales") << false << qsizetype(1);
        QTest::newRow("halted during a scan") << true << qsizetype(2);
    }
    void cycle_steps() {
        QFETCH(bool, in_scan);
        bool halt_in_scan = in_scan;
        QVERIFY(fx.start("USB485"));
        network_start({130, 131, 132});
        form1& f = fx.f();
        fx.net->late = 0.02;
        QLineEdit box;
        qsizetype polls_when_typed = -1;
        connect(&box, &QLineEdit::textEdited, this, [&] {
            polls_when_typed = fx.usb->device(0).writes.size();
            if (in_scan) return;
            f.net_stat_get();
            f.halttimers();
        });
        wclock::set_slice_hook([&] {
            if (links.poll_index == 0 && box.text().isEmpty() && polls_when_typed == -1) {
                polls_when_typed = 0;
                QCoreApplication::postEvent(&box,
                                            new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
            }
            if (halt_in_scan && links.poll_index == 1) {
                // As a transfer run inside the scan does: polling is back before the scan ends.
                halt_in_scan = false;
                f.net_stat_get();
                f.halttimers();
                f.net_stat_put();
            }
        });
        f.Timer1[0]->fire();
        QCOMPARE(fx.usb->device(0).writes.size(), 1);
        QVERIFY(links.scan_busy && f.network_cycle_pending());
        QCoreApplication::processEvents();
        QCOMPARE(box.text(), QString("a"));
        QCOMPARE(polls_when_typed, 1);
        for (int turn = 0; turn < 5; ++turn)
            QCoreApplication::processEvents();
        wclock::set_slice_hook({});
        QTEST(adapter_writes().size(), "polls");
        QVERIFY(!links.scan_busy && !links.poll_busy && !f.network_cycle_pending());
        f.net_stat_put();
        QVERIFY(f.Timer1[0]->running());
        cycle(0);
        QCOMPARE(adapter_writes(),
                 (QList<QByteArray>{addr_byte(130) + "\x11\x31", addr_byte(131) + "\x11\x31",
                                    addr_byte(132) + "\x11\x31"}));
    }

    // The port dies while the screen polls an "RS232" scale: the far end of the pseudo-terminal
    // closes, or (on a simulated port) a read or a write fails. The port is closed at once, the
    // user told once with the port, its device path and what happened, polling stops, and the
    // event loop is idle afterwards (no read notifier firing for ever).
    void serial_port_lost_while_polling_data() {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("told");
        QTest::newRow("terminal closed: its device goes") << "terminal closed"
                                                          << "the line was closed at the other end";
        QTest::newRow("line hung up: reads return end-of-file") << "line hung up"
                                                                << "the line was closed at the other end";
        QTest::newRow("read error") << "read error"
                                    << "reading from it failed (Input/output error)";
        QTest::newRow("write error") << "write error"
                                     << "writing to it failed (Input/output error)";
    }
    void serial_port_lost_while_polling() {
        QFETCH(QString, way);
        QFETCH(QString, told);
        QVERIFY(fx.start("RS232"));
        fx.fill({0});
        form1& f = fx.f();
        QString path = fx.pty->path();
        const bool simulated = way == "read error" || way == "write error";
        sim::SimSerial ports;
        if (simulated) {
            // The scale on a simulated port instead of the terminal.
            ports.install();
            path = "/dev/ttySIM0";
            ports.add(path, std::make_shared<sim::Responder>());
            settings::SaveSetting("Ports", "COM1", path);
            MSComm1().setPortOpen(false);
            QVERIFY(MSComm1().setPortOpen(true));
        }
        f.txt_polltime->setText(".05");
        f.select_option(f.opt_single);
        f.chk_pollenb->setChecked(true);
        QVERIFY(f.Timer4->Enabled() && f.Timer2->Enabled());
        wclock::set_slice_hook({});
        QTRY_VERIFY([&] {
            fx.pty->pump();
            return !links.scale_reading[0].isEmpty();
        }());
        if (way == "terminal closed")
            fx.pty->hang_up();
        else if (way == "line hung up" && !fx.pty->hang_up_line())
            QSKIP("the system refuses to hang up a terminal line");
        else if (way == "read error")
            ports.kill(0, sim::SimSerial::Death::read_error);
        else if (way == "write error")
            ports.kill(0, sim::SimSerial::Death::write_error); // the next poll's write fails
        QTRY_COMPARE(fx.rec.boxes.size(), 1);
        const QString text = fx.rec.boxes[0].text;
        QVERIFY2(text.startsWith(
                     QString("The scale on COM1 (%1) can no longer be reached: %2.\n").arg(path, told)),
                 qPrintable(text));
        QVERIFY(!MSComm1().PortOpen());
        QVERIFY(!f.Timer2->Enabled() && !f.Timer4->Enabled());
        QVERIFY(f.Screen->text().isEmpty());

        int wakeups = 0;
        auto* dispatcher = QAbstractEventDispatcher::instance();
        const auto c = connect(dispatcher, &QAbstractEventDispatcher::awake, this, [&] { ++wakeups; });
        QEventLoop idle;
        QTimer::singleShot(500, &idle, &QEventLoop::quit);
        idle.exec();
        disconnect(c);
        QVERIFY2(wakeups < 50, qPrintable(QString("%1 wake-ups in 0.5 s").arg(wakeups)));
        QCOMPARE(fx.rec.boxes.size(), 1);
        if (simulated) return;

        // The screen's next start-up opens the port again once it is back.
        sim::PtyEnd back(fx.single);
        settings::SaveSetting("Ports", "COM1", back.path());
        core.comm_port = 1;
        rs232_init();
        QVERIFY2(MSComm1().PortOpen(), qPrintable(fx.rec.texts().join('|')));
    }

    // "RS485" over the pseudo-terminal: three single-byte writes per scale, each reply read.
    void rs485_cycle() {
        QVERIFY(fx.start("RS485"));
        network_start({130, 131});
        cycle(0);
        QCOMPARE(links.scale_reading[0], QByteArray(" 130.0"));
        QCOMPARE(links.scale_reading[1], QByteArray(" 131.0"));
        QCOMPARE(fx.pty->responder().received, addr_byte(130) + "\x11\x31" + addr_byte(131) + "\x11\x31");
        QVERIFY(!links.scan_busy);
    }

    // "Ethernet": the cycle sends nothing; Timer4 sends "K" only while connected.
    void ethernet_polls() {
        QVERIFY(fx.start("Ethernet"));
        sim::TcpEnd server(fx.net);
        QVERIFY(server.listening());
        fx.fill({130});
        fx.f().txt_polltime->setText(".5");
        fx.f().opt_network->setChecked(true);
        fx.f().Timer4_Timer(); // not connected
        Winsock1().Connect("127.0.0.1", server.port());
        QTRY_COMPARE(Winsock1().State(), 7);
        fx.f().Timer1[0]->fire();
        QTest::qWait(50);
        QCOMPARE(server.responder().received, QByteArray());
        fx.f().Timer4_Timer();
        QTRY_COMPARE(server.responder().received, addr_byte(130) + "\x11K");
    }

    // The polled scale's reply over "Ethernet" is its reading, in Screen and NetList; a refused
    // or lost connection is told once.
    void ethernet_readings_and_faults() {
        QVERIFY(fx.start("Ethernet"));
        auto server = std::make_unique<sim::TcpEnd>(fx.net);
        QVERIFY(server->listening());
        fx.fill({130, 131});
        fx.net->add(131).reading = " 42.5";
        links.cur_scale = 1;
        links.cur_scale_addr = 131;
        Winsock1().Connect("127.0.0.1", server->port());
        QTRY_COMPARE(Winsock1().State(), 7);
        fx.f().Timer4_Timer();
        QTRY_COMPARE(fx.netlist_reading(1), QString(" 42.5"));
        QCOMPARE(fx.f().Screen->text(), QString(" 42.5"));
        QCOMPARE(links.scale_reading[1], QByteArray(" 42.5"));
        QVERIFY(links.scale_reading[0].isEmpty());
        QVERIFY(fx.rec.boxes.isEmpty());

        server->drop_clients();
        QTRY_COMPARE(fx.rec.boxes.size(), 1);
        QVERIFY(fx.rec.boxes[0].text.contains("lost"));
        const quint16 port = server->port();
        server.reset();
        Winsock1().Connect("127.0.0.1", port); // nobody listens now
        QTRY_COMPARE(fx.rec.boxes.size(), 2);
        QVERIFY(fx.rec.boxes[1].text.contains("could not be connected"));
        QTest::qWait(50);
        QCOMPARE(fx.rec.boxes.size(), 2);
    }

    // Timer4 polls the selected scale on each link.
    void single_polls_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<bool>("frame");
        QTest::addColumn<QList<QByteArray>>("writes");
        QTest::newRow("USB485") << "USB485" << false << QList<QByteArray>{addr_byte(131), "\x11", "1"};
        QTest::newRow("USB485 frame") << "USB485" << true << QList<QByteArray>{addr_byte(131), "\x11", "F"};
    }
    void single_polls() {
        QFETCH(QString, link);
        QVERIFY(fx.start(link));
        fx.fill({130, 131});
        links.cur_scale = 1;
        QFETCH(bool, frame);
        fx.f().chk_frame->setChecked(frame);
        fx.f().Timer4_Timer();
        QTEST(adapter_writes(), "writes");
    }
    void single_poll_rs232() {
        QVERIFY(fx.start("RS232"));
        fx.fill({0});
        fx.f().chk_frame->setChecked(true);
        fx.f().Timer4_Timer();
        QTRY_COMPARE(fx.pty->responder().received, QByteArray("*F"));
        // Timer2 then reads the reply.
        QTRY_VERIFY([&] {
            fx.f().Timer2_Timer();
            return !links.scale_reading[0].isEmpty();
        }());
        QCOMPARE(links.scale_reading[0], QByteArray("1234.5"));
    }
    // While a network cycle runs, Timer2 leaves the link to it.
    void single_scan_waits_for_a_running_cycle() {
        QVERIFY(fx.start("RS232"));
        fx.fill({0});
        fx.f().Timer4_Timer();
        QTRY_COMPARE(fx.pty->responder().received, QByteArray("*P"));
        links.scan_busy = true;
        for (int i = 0; i < 20; ++i) {
            QTest::qWait(5);
            fx.f().Timer2_Timer();
        }
        QVERIFY(links.scale_reading[0].isEmpty());
        links.scan_busy = false;
        QTRY_VERIFY([&] {
            fx.f().Timer2_Timer();
            return !links.scale_reading[0].isEmpty();
        }());
    }

    // The modes and their captions; "Network" refused on "RS232" while the rest of its handler
    // runs.
    void modes_and_captions() {
        QVERIFY(fx.start("USB485"));
        form1& f = fx.f();
        f.txt_polltime->setText(" .5 ");
        f.setmode(1);
        QCOMPARE(f.Caption(), QString("USB485 - Single Scale Mode (Polling Activated - .5 sec)"));
        QCOMPARE(links.op_mode, int16_t(1));
        QVERIFY(f.Timer2->running());
        QCOMPARE(f.Timer2->Interval(), 250);
        QVERIFY(f.Timer4->running());
        QCOMPARE(f.Timer4->Interval(), 500);
        f.setmode(2);
        QCOMPARE(f.Caption(), QString("USB485 - Network Mode"));
        QVERIFY(!f.Timer2->Enabled());
        QVERIFY(!f.Timer4->Enabled());
        f.setmode(7);
        QCOMPARE(links.op_mode, int16_t(2));
        f.setmode(0);
        QCOMPARE(f.Caption(), QString("USB485 - Single Scale Mode"));
        QVERIFY(f.Timer2->running());
        QVERIFY(!f.Timer4->Enabled());
        fx.stop();

        QVERIFY(fx.start("RS232"));
        form1& g = fx.f();
        g.txt_polltime->setText(".33");
        g.opt_single->setChecked(true);
        QCOMPARE(g.Caption(), QString("RS232 - Single Scale Mode"));
        g.opt_network->setChecked(true);
        QCOMPARE(links.op_mode, int16_t(0));
        QCOMPARE(g.Caption(), QString("RS232 - Single Scale Mode"));
        QVERIFY(g.Timer2->Enabled());
        QVERIFY(!g.chk_pollenb->isEnabled());
        QVERIFY(!g.txt_polltime->isEnabled());
        QVERIFY(g.Timer1[0]->running());
        QCOMPARE(g.Timer1[0]->Interval(), 330);
        QVERIFY(links.network_mode);
    }

    // Back to "Single": the cycle stops, the network list keeps no selection, the controls
    // come back.
    void single_after_network() {
        QVERIFY(fx.start("USB485"));
        network_start({130, 131});
        form1& f = fx.f();
        f.NetList->selectRow(1);
        QVERIFY(!f.NetList->selectedItems().isEmpty());
        f.Timer1[0]->fire();
        f.opt_single->setChecked(true);
        for (ui::FormTimer* t : f.Timer1)
            QVERIFY(!t->Enabled());
        QVERIFY(f.NetList->selectedItems().isEmpty());
        QVERIFY(!links.network_mode);
        QCOMPARE(links.op_mode, int16_t(0));
        QCOMPARE(f.Caption(), QString("USB485 - Single Scale Mode"));
        QVERIFY(f.chk_pollenb->isEnabled());
        QVERIFY(f.txt_polltime->isEnabled());
        QVERIFY(f.Label2->isEnabled());
    }

    // Halting saves and zeroes every interval without touching Enabled; net_stat_put brings the
    // saved mode back, "Poll" included.
    void halt_and_restore() {
        QVERIFY(fx.start("RS232"));
        form1& f = fx.f();
        f.txt_polltime->setText(".5");
        f.opt_single->setChecked(true);
        f.chk_pollenb->setChecked(true);
        f.setmode(1); // as the "Poll" box's handler does
        f.net_stat_get();
        QCOMPARE(f.saved_opt_single, int16_t(-1));
        QCOMPARE(f.saved_chk_pollenb, int16_t(1));
        f.halttimers();
        QCOMPARE(f.saved_intervals[10], int16_t(250));
        QCOMPARE(f.saved_intervals[12], int16_t(500));
        QCOMPARE(f.saved_intervals[11], int16_t(100));
        QVERIFY(f.Timer2->Enabled() && !f.Timer2->running());
        QVERIFY(f.Timer4->Enabled() && !f.Timer4->running());

        f.net_stat_put();
        QVERIFY(f.opt_single->isChecked());
        QVERIFY(f.chk_pollenb->isChecked());
        QCOMPARE(links.op_mode, int16_t(1));
        QVERIFY(f.Timer2->running());
        QVERIFY(f.Timer4->running());
        QCOMPARE(f.Timer4->Interval(), 500);
        fx.stop();

        QVERIFY(fx.start("USB485"));
        network_start({130});
        form1& g = fx.f();
        g.net_stat_get();
        g.halttimers();
        QVERIFY(!g.Timer1[0]->running());
        g.net_stat_put();
        QVERIFY(g.Timer1[0]->running());
        QCOMPARE(g.Timer1[0]->Interval(), 330);
        QCOMPARE(links.op_mode, int16_t(2));
    }

    // The poll-time text: seconds to the nearest millisecond, at most 32767 ms; anything else
    // is refused with one message per text and the interval in force stays.
    void poll_time_text_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval");
        QTest::addColumn<bool>("told");
        QTest::newRow(".33") << ".33" << 330 << false;
        QTest::newRow("blanks around") << " 2 " << 2000 << false;
        QTest::newRow("rounded") << "1.0004" << 1000 << false;
        QTest::newRow("longest") << "32.767" << 32767 << false;
        QTest::newRow("too long") << "32.768" << 700 << true;
        QTest::newRow("not a number") << "abc" << 700 << true;
        QTest::newRow("trailing junk") << "1.5x" << 700 << true;
        QTest::newRow("zero") << "0" << 700 << true;
        QTest::newRow("below a millisecond") << "0.0004" << 700 << true;
        QTest::newRow("negative") << "-1" << 700 << true;
        QTest::newRow("empty") << "" << 700 << true;
        QTest::newRow("infinite") << "inf" << 700 << true;
    }
    // Network mode entered with a poll time that cannot be used and no good interval before:
    // the default 0.33 s polls, and the message says so.
    void network_mode_with_bad_poll_time_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << "0";
        QTest::newRow("40") << "40";
    }
    void network_mode_with_bad_poll_time() {
        QVERIFY(fx.start("USB485"));
        QFETCH(QString, text);
        network_start({130}, text);
        form1& f = fx.f();
        QVERIFY(f.Timer1[0]->Enabled());
        QCOMPARE(f.Timer1[0]->Interval(), 330);
        QCOMPARE(fx.rec.boxes.size(), 1);
        QVERIFY(fx.rec.boxes[0].text.contains("the default poll time of 0.33 s is used"));
        f.Timer1[0]->fire();
        QCOMPARE(f.Timer1[1]->Interval(), 330);
        QCOMPARE(adapter_writes().size(), 1);
        QCOMPARE(fx.rec.boxes.size(), 1);
    }

    // "Poll" ticked with a poll time that cannot be used: the last poll time the user's text gave
    // polls, else the default 0.33 s (never the timer's design interval), and the message and
    // the caption say that number.
    void single_poll_with_bad_poll_time_data() {
        QTest::addColumn<QString>("before"); // a poll time in force before, in network mode
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("interval");
        QTest::addColumn<QString>("seconds");
        QTest::newRow("none before") << ""
                                     << "abc" << 330 << "the default poll time of 0.33";
        QTest::newRow("none before, too long") << ""
                                               << "40" << 330 << "the default poll time of 0.33";
        QTest::newRow(".5 before") << ".5"
                                   << "0,5" << 500 << "the previous poll time of 0.5";
    }
    void single_poll_with_bad_poll_time() {
        QVERIFY(fx.start("USB485"));
        QFETCH(QString, before);
        QFETCH(QString, text);
        QFETCH(QString, seconds);
        form1& f = fx.f();
        if (!before.isEmpty()) network_start({130}, before);
        f.txt_polltime->setText(text);
        f.opt_single->setChecked(true);
        f.chk_pollenb->setChecked(true);
        QTEST(f.Timer4->Interval(), "interval");
        QCOMPARE(fx.rec.boxes.size(), 1);
        QVERIFY2(fx.rec.boxes[0].text.contains(seconds + " s is used"), qPrintable(fx.rec.boxes[0].text));
        QCOMPARE(f.Caption(),
                 "USB485 - Single Scale Mode (Polling Activated - " + seconds.section(' ', -1) + " sec)");
    }

    void poll_time_text() {
        QVERIFY(fx.start("USB485"));
        network_start({}, ".7");
        form1& f = fx.f();
        QFETCH(QString, text);
        f.txt_polltime->setText(text);
        f.Timer1[0]->fire();
        f.Timer1[1]->fire();
        QTEST(f.Timer1[2]->Interval(), "interval");
        QFETCH(bool, told);
        QCOMPARE(fx.rec.boxes.size(), told ? 1 : 0);
        if (told) QVERIFY(fx.rec.boxes[0].text.contains("poll time"));
    }
};

WEYVANE_TEST_MAIN(TestPollTimers)
#include "test_poll_timers.moc"
