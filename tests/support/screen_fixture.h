#pragma once
// Brings up the scale screen form1 on a private copy of the database with a chosen link and
// simulated scales, for the tests of the screen and of what runs on it.
//
//   testsupport::ScreenFixture fx;
//   QVERIFY(fx.start("USB485"));              // fresh state, database copy, recorder, simulator
//   fx.network_records({130, 131});            // active "RS485" records (sccfg.mdb too)
//   form1& f = fx.show();                      // Form1().Show(): the start-up runs
//   fx.rec.texts()                             // the message boxes the user saw
//   fx.stop();                                 // unloads the screen, puts everything back
//
// The ends of the simulator, made by start():
//   "RS232"    pty on COM1, one scale (fx.single)
//   "RS485"    pty on COM1, the network fx.net
//   "USB485"   FTDI adapter (device 0) with fx.net behind it; "USB": add_usb_scale() per device
//   "Ethernet" loopback TCP server (fx.server) with fx.net, the link's port pointed at it
// The seconds clock is the fake one, so waits (the RF modem's 2 s) take no real time.
// testsupport::ScreenLinks (screen_links.h) builds on this fixture for the screen set up by hand.
#include "app/module_state.h"
#include "core/core_state.h"
#include "links/ftdi_adapter.h"
#include "links/link_devices.h"
#include "platform/clock/clock.h"
#include "platform/db/data_control.h"
#include "platform/settings/settings.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"
#include "tests/sim/pty_end.h"
#include "tests/sim/scale_responder.h"
#include "tests/sim/sim_ftdi.h"
#include "tests/sim/tcp_end.h"
#include "tests/support/temp_database.h"

#include <QCoreApplication>
#include <QList>
#include <QString>
#include <memory>

namespace testsupport {

struct ScreenFixture {
    std::unique_ptr<TempDatabase> db;
    ui::UiRecorder rec;
    std::shared_ptr<sim::Responder> net = std::make_shared<sim::Responder>(sim::Responder::Link::network);
    std::shared_ptr<sim::Responder> single = std::make_shared<sim::Responder>(sim::Responder::Link::single);
    std::unique_ptr<sim::SimFtdi> usb;
    std::unique_ptr<sim::PtyEnd> pty;
    std::unique_ptr<sim::TcpEnd> server;

    // Tests call stop() in cleanup(); a fixture that outlives the application does nothing.
    ~ScreenFixture() {
        if (QCoreApplication::instance()) stop();
    }

    // Fresh module state, a database copy whose syscfg names the link, the recorder for
    // message boxes and every end of the simulator. False when something could not be made.
    bool start(const QString& comm_type) {
        if (!begin() || !syscfg(QStringLiteral("commtype='%1'").arg(comm_type))) return false;
        make_usb(comm_type);
        return make_pty(comm_type) && make_server();
    }

    // Changes the settings row, e.g. syscfg("smallfonts=1, netpolltime='.5'").
    bool syscfg(const QString& assignments) { return db->exec("UPDATE syscfg SET " + assignments).isEmpty(); }

    // Active "RS485" records with these NetIDs in both files (zqdata.mdb for the network links,
    // sccfg.mdb for the serial one), replacing what was there.
    bool network_records(const QList<int>& netids) {
        QString sql = "DELETE FROM ScaleCFG;";
        for (int id : netids)
            sql += QString("INSERT INTO ScaleCFG (sctype, NetID, active) VALUES ('RS485', %1, 1);").arg(id);
        return db->exec(sql).isEmpty() && db->exec(sql, "sccfg.mdb").isEmpty();
    }

    // A scale on its own FTDI device ("USB"); the device's far end answers as a single scale.
    sim::SimFtdiDevice& add_usb_scale(const QByteArray& serial, const QByteArray& description) {
        return usb->add(serial, description, std::make_shared<sim::Responder>(sim::Responder::Link::single));
    }

    // Shows the scale screen, as "Activate Remote Screen" does.
    form1& show() {
        Form1().Show();
        return Form1();
    }

    int scalecfg_count(const QString& where = QString()) {
        return db->scalar("SELECT COUNT(*) FROM ScaleCFG" + (where.isEmpty() ? QString() : " WHERE " + where))
            .toInt();
    }

    // Unloads the screen, lets go of the database copy, closes the link devices before their far
    // ends go, and puts all module state back; safe to call twice.
    void stop() {
        wclock::set_slice_hook({});
        if (Form1().Loaded()) Form1().Unload();
        release_data2();
        if (usb) usb_close_all();
        reset_module_state();
        server.reset();
        pty.reset();
        usb.reset();
        db.reset();
    }

protected:
    // Closes data2's connection, if the screen has made data2.
    static void release_data2() {
        if (!Form1().data2) return;
        Form1().data2->setConnectionString(QString());
        Form1().data2->setRecordSource(QString());
        Form1().data2->Refresh();
    }

    // Fresh module state (stop() leaves it), the fake clock, the recorder for message boxes, new
    // scales and a database copy that the program's folder, data folder and connection strings
    // name.
    bool begin() {
        stop();
        wclock::use_fake(36000.0, 0.001);
        rec = ui::UiRecorder();
        ui::set_backend(&rec);
        net = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        single = std::make_shared<sim::Responder>(sim::Responder::Link::single);

        db = std::make_unique<TempDatabase>();
        if (!db->ok()) return false;
        core.app_path_override = db->folder;
        core.data_path = db->folder;
        core.conn_str = db->conn_str;
        core.conn_str_a = db->conn_str;
        return true;
    }

    // The simulated FTDI devices, installed: on "USB485" the adapter with fx.net behind it.
    void make_usb(const QString& comm_type) {
        usb = std::make_unique<sim::SimFtdi>();
        if (comm_type == QLatin1String("USB485")) usb->add("ADAPTER1", "USB-RS485 Adapter", net);
        usb->install();
    }

    // The pseudo-terminal that COM1 names: fx.net behind it on "RS485", fx.single otherwise.
    bool make_pty(const QString& comm_type) {
        pty = std::make_unique<sim::PtyEnd>(comm_type == QLatin1String("RS485") ? net : single);
        if (!pty->ok()) return false;
        settings::SaveSetting("Ports", "COM1", pty->path());
        return true;
    }

    // The loopback server with fx.net behind it, and the Ethernet link's port pointed at it.
    bool make_server() {
        server = std::make_unique<sim::TcpEnd>(net);
        if (!server->listening()) return false;
        set_ethernet_port(server->port());
        return true;
    }
};

} // namespace testsupport
