#pragma once
// The scale screen set up by hand for the tests of the receive scans and poll timers: fresh
// module state, the fake seconds clock, a message recorder, datacol emptied in a private
// database copy and bound to data2, and the ends of the simulator (a real pseudo-terminal on
// COM1, simulated FTDI devices).
#include "collect/collect_state.h"
#include "collect/slave_windows.h"
#include "core/core_state.h"
#include "links/ftdi_adapter.h"
#include "links/link_devices.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/db/data_control.h"
#include "platform/settings/settings.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"
#include "tests/sim/pty_end.h"
#include "tests/sim/scale_responder.h"
#include "tests/sim/sim_ftdi.h"
#include "tests/support/temp_database.h"

#include <QElapsedTimer>
#include <QList>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>
#include <QUuid>
#include <memory>

namespace linktest {

inline constexpr char kDatacolSource[] = "select ID,ScaleID,Reading,Date,Time from datacol";

inline QByteArray addr_byte(int a) {
    return QByteArray(1, static_cast<char>(a));
}

struct ScreenLinks {
    std::unique_ptr<testsupport::TempDatabase> db;
    ui::UiRecorder rec;
    std::shared_ptr<sim::Responder> net = std::make_shared<sim::Responder>(sim::Responder::Link::network);
    std::shared_ptr<sim::Responder> single = std::make_shared<sim::Responder>(sim::Responder::Link::single);
    std::unique_ptr<sim::SimFtdi> usb;
    std::unique_ptr<sim::PtyEnd> pty;

    form1& f() { return Form1(); }

    bool start(const QString& comm_type) {
        stop();
        reset_core_state();
        reset_links_state();
        reset_collect_state();
        reset_link_devices();
        slave_open.fill(0);
        wclock::use_fake(36000.0, 0.001);
        rec = ui::UiRecorder();
        ui::set_backend(&rec);
        core.comm_type = comm_type;
        net = std::make_shared<sim::Responder>(sim::Responder::Link::network);
        single = std::make_shared<sim::Responder>(sim::Responder::Link::single);

        form1& s = f();
        if (s.Loaded()) s.Unload();
        s.Load();
        links.scan_stop = false;

        db = std::make_unique<testsupport::TempDatabase>();
        if (!db->ok() || !db->exec("DELETE FROM datacol").isEmpty()) return false;
        core.conn_str = db->conn_str;
        core.conn_str_a = db->conn_str;
        if (!s.data2) s.data2 = new adodb::DataControl(&s);
        s.data2->setConnectionString(db->conn_str);
        s.data2->setRecordSource(kDatacolSource);
        if (!s.data2->Refresh()) return false;

        usb = std::make_unique<sim::SimFtdi>();
        if (comm_type == QLatin1String("USB485")) usb->add("ADAPTER1", "USB-RS485 Adapter", net);
        usb->install();
        if (comm_type == QLatin1String("USB485")) {
            usb_open();
            if (links.usb_handle == 0) return false;
        }
        if (comm_type == QLatin1String("RS232") || comm_type == QLatin1String("RS485")) {
            pty = std::make_unique<sim::PtyEnd>(comm_type == QLatin1String("RS485") ? net : single);
            if (!pty->ok()) return false;
            settings::SaveSetting("Ports", "COM1", pty->path());
            MSComm1().setCommPort(1);
            MSComm1().setSettings("9600,N,8,1");
            MSComm1().setInputLen(0);
            if (!MSComm1().setPortOpen(true)) return false;
            // The scale answers within the waits: each slice lets it take what the program wrote
            // and send what is due, and waits (in real time, bounded) until that is in the
            // port's buffer, so the fake clock cannot outrun the terminal.
            wclock::set_slice_hook([this] { serial_slice(); });
        }
        return true;
    }

    void stop() {
        wclock::set_slice_hook({});
        if (f().Loaded()) f().Unload();
        if (f().data2) {
            f().data2->setConnectionString(QString());
            f().data2->setRecordSource(QString());
            f().data2->Refresh();
        }
        reset_link_devices();
        pty.reset();
        if (usb) {
            usb_close_all();
            usb.reset();
        }
        links.usb_handle = 0;
        ui::set_backend(nullptr);
        wclock::use_real();
        db.reset();
    }

    void serial_slice() {
        if (!pty) return;
        const int before = MSComm1().InBufferCount();
        const int sent = pty->pump();
        if (sent > 0) {
            QElapsedTimer t;
            t.start();
            while (MSComm1().InBufferCount() < before + sent && t.elapsed() < 2000)
                QThread::usleep(50);
        } else {
            QThread::usleep(20);
        }
    }

    // Puts bytes on the serial line and waits until the port holds them.
    bool deliver_serial(const QByteArray& bytes) {
        const int before = MSComm1().InBufferCount();
        pty->responder().send_raw(bytes);
        pty->pump();
        QElapsedTimer t;
        t.start();
        while (MSComm1().InBufferCount() < before + bytes.size() && t.elapsed() < 2000)
            QThread::usleep(50);
        return MSComm1().InBufferCount() >= before + bytes.size();
    }

    // Fills slots 0.. with these addresses, named "Scale <n>".
    void fill(const QList<int>& addrs) {
        links.scale_count = static_cast<int16_t>(addrs.size());
        for (int i = 0; i < addrs.size(); ++i) {
            links.scale_addr[i] = addrs[i];
            links.scale_name[i] = QStringLiteral("Scale %1").arg(i);
            f().netlist_set_row(i, links.scale_name[i], QString());
        }
    }

    // "ScaleID|Reading" of every datacol record, in ID order.
    QStringList datacol() const {
        QStringList rows;
        const QString name = QUuid::createUuid().toString();
        {
            QSqlDatabase sdb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            sdb.setDatabaseName(db->path());
            if (sdb.open()) {
                QSqlQuery q(sdb);
                if (q.exec("SELECT ScaleID, Reading, Time, Date FROM datacol ORDER BY ID"))
                    while (q.next())
                        rows.append(q.value(0).toString() + u'|' + q.value(1).toString());
            }
            sdb.close();
        }
        QSqlDatabase::removeDatabase(name);
        return rows;
    }

    QString netlist_reading(int slot) const {
        QTableWidgetItem* item = Form1().NetList->item(slot, 1);
        return item ? item->text() : QString();
    }
};

} // namespace linktest
