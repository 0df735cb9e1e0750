#pragma once
// The scale screen set up by hand for the tests of the receive scans, poll timers, totals and
// configuration transfers: the screen fixture's fresh state, fake clock, recorder and database
// copy, with the screen loaded but not shown, datacol emptied and bound to data2, and only the
// link's own end of the simulator: the simulated FTDI devices (the adapter open on "USB485"),
// and on the serial links COM1 open on a real pseudo-terminal that answers within the waits.
// No other end shares fx.net, so none takes a delayed or split reply before the link reads it;
// the Ethernet tests make their own server.
#include "links/links_state.h"
#include "tests/support/screen_fixture.h"

#include <QElapsedTimer>
#include <QList>
#include <QStringList>
#include <QThread>
#include <QVariant>

namespace testsupport {

inline constexpr char kDatacolSource[] = "select ID,ScaleID,Reading,Date,Time from datacol";

inline QByteArray addr_byte(int a) {
    return QByteArray(1, static_cast<char>(a));
}

struct ScreenLinks : ScreenFixture {
    form1& f() { return Form1(); }

    bool start(const QString& comm_type) {
        if (!begin()) return false;
        core.comm_type = comm_type;
        form1& s = f();
        s.Load();
        links.scan_stop = false;

        if (!db->exec("DELETE FROM datacol").isEmpty() || !bind_datacol()) return false;

        make_usb(comm_type);
        if (comm_type == QLatin1String("USB485")) {
            usb_open();
            if (links.usb_handle == 0) return false;
        }
        if (comm_type == QLatin1String("RS232") || comm_type == QLatin1String("RS485")) {
            if (!make_pty(comm_type)) return false;
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

    // Binds data2 to datacol of the copy, on a connection opened now (with the busy time-out
    // set at this moment).
    bool bind_datacol() {
        form1& s = f();
        release_data2();
        if (!s.data2) s.data2 = new adodb::DataControl(&s);
        s.data2->setConnectionString(db->conn_str);
        s.data2->setRecordSource(kDatacolSource);
        return s.data2->Refresh();
    }

    void serial_slice() {
        if (!pty) return;
        const int before = MSComm1().InBufferCount();
        const int sent = pty->pump();
        if (sent > 0)
            port_holds(before + sent);
        else
            QThread::usleep(20);
    }

    // Puts bytes on the serial line and waits until the port holds them.
    bool deliver_serial(const QByteArray& bytes) {
        const int before = MSComm1().InBufferCount();
        pty->responder().send_raw(bytes);
        pty->pump();
        return port_holds(before + static_cast<int>(bytes.size()));
    }

    // Waits (in real time, at most 2 s) until COM1's input buffer holds `count` bytes.
    static bool port_holds(int count) {
        QElapsedTimer t;
        t.start();
        while (MSComm1().InBufferCount() < count && t.elapsed() < 2000)
            QThread::usleep(50);
        return MSComm1().InBufferCount() >= count;
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
        QStringList out;
        for (const QVariantList& row : db->rows("SELECT ScaleID, Reading FROM datacol ORDER BY ID"))
            out.append(row.value(0).toString() + u'|' + row.value(1).toString());
        return out;
    }

    QString netlist_reading(int slot) const {
        QTableWidgetItem* item = Form1().NetList->item(slot, 1);
        return item ? item->text() : QString();
    }
};

} // namespace testsupport
