// Configuration transfers of the scale screen: the output configuration (read "J", blocks "A" to
// "H", table ocxfer) and the group setup (read "G", blocks "1", "0", "9", "2" to "8", table
// groups), each step between a scale and the database one operation of form1.
//
// Statuses: load_screen_from_scale 1 after the serial time-out, else 0; load_screen_from_db 1
// for an empty groups table, 2 when no record matches, 3 when the database could not be used,
// 0 when found; save_screen_to_scale and save_screen_to_db 1 when they stopped before their end,
// 0 at their end; upload_oc always 0.
#include "screen/config_transfers.h"
#include "links/link_type.h"

#include "core/core_state.h"
#include "core/text_split.h"
#include "core/waits.h"
#include "links/command_frames.h"
#include "links/link_devices.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/db/adodb.h"
#include "platform/ftdi/ftdi.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"

#include <memory>

namespace transfers {

namespace {

constexpr double kAdapterReplyLimit = 5.0;
constexpr uint32_t kLongReadTimeoutMs = 15000;

} // namespace

QString no_response_text() {
    return QStringLiteral("There is no response from the scale.\r"
                          "Please make sure that the scale is interfaced properly and is connected to COM1.\r"
                          "The communication speed needs to be set to 9600 baud.\r"
                          "The scale also needs to be in its main weighing screen in order to communicate.\r"
                          "Aborting operation.\r");
}

bool set_long_timeouts() {
    if (ftdi::FT_SetTimeouts(links.usb_handle, kLongReadTimeoutMs, 0) == ftdi::FT_OK) return true;
    ui::MsgBox(QStringLiteral("SetTimeouts Failed"));
    return false;
}

bool network_address_ok(int32_t addr) {
    char byte = 0;
    if (frames::address_byte(addr, &byte)) return true;
    ui::MsgBox(QStringLiteral("The scale address %1 is outside 0 to 255 and cannot be sent on the network; "
                              "nothing was sent.")
                   .arg(addr),
               ui::vbOKOnly | ui::vbExclamation);
    return false;
}

bool collect_adapter_reply(QByteArray* reply) {
    reply->clear();
    const double start = wait_start(kAdapterReplyLimit);
    for (;;) {
        ui::DoEvents();
        if (wait_passed(start, kAdapterReplyLimit)) {
            ui::MsgBox(QStringLiteral("Scale not responding."));
            return false;
        }
        uint32_t waiting = 0;
        ftdi::FT_GetQueueStatus(links.usb_handle, &waiting);
        if (waiting > 0) {
            char buffer[256];
            uint32_t done = 0;
            ftdi::FT_Read(links.usb_handle, buffer, std::min<uint32_t>(waiting, sizeof buffer), &done);
            reply->append(buffer, static_cast<qsizetype>(std::min<uint32_t>(done, sizeof buffer)));
            if (reply->contains('\r')) return true;
        }
        wclock::pause_slice();
    }
}

bool collect_serial_reply(double limit) {
    const double start = wait_start(limit);
    serial::MSComm& port = MSComm1();
    for (;;) {
        if (wait_passed(start, limit)) return false;
        if (port.InBufferCount() > 0) links.rx_buf[0].append(port.Input());
        if (links.rx_buf[0].contains('\r')) return true;
        wclock::pause_slice();
    }
}

QString record_key(const QString& text) {
    if (link_type() == LinkType::RS232) return QStringLiteral("0");
    const qsizetype hash = text.indexOf(u'#');
    if (hash >= 0) return text.mid(hash + 1);
    return trim_blanks(text);
}

void store_single_record(adodb::Recordset& rs, const QString& what) {
    rs.MoveLast();
    if (rs.RecordCount() == 0)
        rs.AddNew();
    else
        rs.MoveFirst();
    if (!rs.Update())
        ui::MsgBox(QStringLiteral("The %1 could not be saved: %2").arg(what, rs.error()),
                   ui::vbOKOnly | ui::vbExclamation);
}

} // namespace transfers

namespace {

using transfers::kGroupValue;

// A network block head [A, 0x12, letter] goes out in one write, with its data when given.
frames::Writes one_write(const frames::Writes& pieces, const QByteArray& data = {}) {
    if (pieces.isEmpty()) return {};
    QByteArray all;
    for (const QByteArray& p : pieces)
        all += p;
    return {all + data};
}

void send(const QByteArray& bytes) {
    frames::send({bytes});
}

void pauses(int n) {
    for (int i = 0; i < n; ++i)
        busy_wait();
}

// If the first CR of `s` is its last character, it is cut off.
void cut_single_end(QString& s) {
    const qsizetype cr = s.indexOf(u'\r');
    if (cr >= 0 && cr == s.size() - 1) s.chop(1);
}

// A text from another program as a message shows it: its start, with "..." when it goes on, so
// that a key of megabytes does not end up laid out in a message box.
QString start_of(const QString& text) {
    constexpr qsizetype kShown = 40;
    if (text.size() <= kShown) return text;
    const qsizetype n = text[kShown - 1].isHighSurrogate() ? kShown - 1 : kShown; // keep pairs whole
    return text.left(n) + QStringLiteral("...");
}

// The groups table of conn_str_a and the record key as a number.
struct GroupsTable {
    adodb::Connection conn;
    adodb::Recordset rs;
    QString id;
    int16_t idnum = 0;

    // False, after telling the user, when the key is no 16-bit number or the table cannot be
    // opened.
    bool open(const QString& text) {
        id = transfers::record_key(text);
        bool ok = false;
        idnum = adodb::to_int16(QVariant(trim_blanks(id)), &ok);
        if (!ok) {
            ui::MsgBox(QStringLiteral("The scale ID \"%1\" is not a whole number from -32768 to 32767, so it "
                                      "names no group configuration record.")
                           .arg(start_of(id)),
                       ui::vbOKOnly | ui::vbExclamation);
            return false;
        }
        if (!conn.Open(core.conn_str_a) ||
            !rs.Open(QStringLiteral("groups"), conn, adodb::adOpenDynamic, adodb::adLockPessimistic)) {
            const QString why = conn.IsOpen() ? rs.error() : conn.error();
            ui::MsgBox(QStringLiteral("The group configuration records could not be opened: %1").arg(why),
                       ui::vbOKOnly | ui::vbExclamation);
            conn.Close();
            return false;
        }
        return true;
    }
    // Moves to the record of the scale; false when there is none.
    bool find() {
        rs.MoveFirst();
        rs.Find(QStringLiteral("IDnum=%1").arg(idnum));
        return !rs.IsEOF();
    }
    ~GroupsTable() {
        rs.Close();
        conn.Close();
    }
};

// Opens a one-record table on conn_str; false, after telling the user, when it cannot.
bool open_table(adodb::Connection& conn, adodb::Recordset& rs, const QString& table) {
    if (conn.Open(core.conn_str) && rs.Open(table, conn, adodb::adOpenDynamic, adodb::adLockPessimistic))
        return true;
    const QString why = conn.IsOpen() ? rs.error() : conn.error();
    ui::MsgBox(QStringLiteral("The table %1 could not be opened: %2").arg(table, why),
               ui::vbOKOnly | ui::vbExclamation);
    conn.Close();
    return false;
}

} // namespace

int16_t form1::read_config(char letter, int32_t addr) {
    const bool oc = letter == 'J';
    const LinkType t = link_type();
    int16_t status = 0;

    stop_polling_for_transfer();

    if (t == LinkType::USB485) {
        const bool go_on = transfers::network_address_ok(addr) && (transfers::set_long_timeouts() || oc);
        QByteArray reply;
        if (go_on) {
            ui::DoEvents();
            frames::send(oc ? frames::output_config_read(t, addr) : frames::group_setup_read(t, addr));
        }
        if (go_on && transfers::collect_adapter_reply(&reply)) {
            for (int i = 0; i < 3; ++i)
                ui::DoEvents();
            const auto first = static_cast<uint8_t>(reply.at(0));
            reply.remove(0, 1);
            if (first >= 128) {
                ui::DoEvents();
                if (oc) {
                    links.rx_buf[0] = reply;
                    QString text = QString::fromLatin1(links.rx_buf[0]);
                    parse_tab_fields(text);
                    // The reply is taken: it is no reading for the next scan.
                    links.rx_buf[0].clear();
                } else {
                    QString text = QString::fromLatin1(reply);
                    cut_single_end(text);
                    parse_tab_fields(text);
                }
            }
        }
    } else if (t == LinkType::RS232) {
        ui::DoEvents();
        frames::send(oc ? frames::output_config_read(t, addr) : frames::group_setup_read(t, addr));
        ui::DoEvents();
        links.rx_buf[0].clear();
        if (!transfers::collect_serial_reply(oc ? 2.0 : 5.0)) {
            ui::Beep();
            ui::MsgBox(transfers::no_response_text());
            if (oc) ui::DoEvents();
            // The read restores the screen as its other exits do, so the user is not left in
            // single-scale mode without polling.
            status = 1;
        } else {
            QString text = trim_blanks(QString::fromLatin1(links.rx_buf[0]));
            if (!oc) {
                text = text.size() >= 2 ? text.left(text.size() - 2) : QString();
                cut_single_end(text);
            }
            parse_tab_fields(text);
        }
        // The reply (or what came of it) is the transfer's, no reading for the next scan.
        links.rx_buf[0].clear();
    } else if (oc) {
        ui::DoEvents();
        QString text = QString::fromLatin1(links.rx_buf[0]);
        parse_tab_fields(text);
    } else {
        QString text;
        parse_tab_fields(text);
    }

    ui::SetMousePointer(ui::vbDefault);
    ui::DoEvents();
    net_stat_put();
    if (oc) ui::DoEvents();
    return status;
}

void form1::move_scale_to_ocscreen(int32_t addr) {
    read_config('J', addr);
}

int16_t form1::load_screen_from_scale(int32_t addr) {
    return read_config('G', addr);
}

int16_t form1::upload_oc(int32_t addr) {
    const LinkType t = link_type();
    if (t == LinkType::USB485) {
        if (!transfers::network_address_ok(addr)) return 0;
        for (char letter = 'A'; letter <= 'H'; ++letter) {
            const frames::Writes head = one_write(frames::output_config_block(t, addr, letter));
            for (int i = 0; i < (letter == 'H' ? 3 : 7); ++i)
                frames::send(head);
            send("\r");
            pauses(letter == 'H' ? 4 : 1);
        }
        frames::send(frames::write_finish_command(t, addr));
        ui::DoEvents();
        pauses(4);
    } else if (t == LinkType::RS232) {
        for (char letter = 'A'; letter <= 'H'; ++letter) {
            frames::send(frames::output_config_block(t, addr, letter));
            const int crs = letter == 'G' ? 7 : letter == 'H' ? 3 : 1;
            for (int i = 0; i < crs; ++i)
                send("\r");
            pauses(letter == 'H' ? 4 : 1);
        }
        frames::send(frames::write_finish_command(t, addr));
        pauses(4);
    } else {
        pauses(4);
    }
    return 0;
}

int16_t form1::save_screen_to_scale(int32_t addr) {
    const LinkType t = link_type();
    const QByteArray v(kGroupValue);
    const QByteArray z(1, '\0');
    ui::SetMousePointer(ui::vbHourglass);
    ui::DoEvents();
    ui::DoEvents();

    if (t == LinkType::USB485) {
        if (!transfers::network_address_ok(addr)) {
            ui::SetMousePointer(ui::vbDefault);
            return 1;
        }
        ui::DoEvents();
        auto head = [&](char letter, const QByteArray& data = {}) {
            frames::send(one_write(frames::group_setup_block(t, addr, letter), data));
        };
        head('1');
        send(v);
        send(v + '\r');
        pauses(1);
        head('0');
        send(v + '\r');
        pauses(1);
        head('I');
        send(v + '\r');
        pauses(1);
        head('9');
        send(v);
        send(v + '\r');
        pauses(1);
        head('2');
        send("\r");
        pauses(1);
        for (char letter = '3'; letter <= '8'; ++letter) {
            for (int i = 0; i < 4; ++i)
                head(letter, z);
            pauses(letter == '8' ? 4 : 1);
        }
        frames::send(frames::write_finish_command(t, addr));
        ui::DoEvents();
        pauses(4);
    } else if (t == LinkType::RS232) {
        auto head = [&](char letter) { frames::send(frames::group_setup_block(t, addr, letter)); };
        head('1');
        send(v);
        send(v + '\r');
        pauses(1);
        head('0');
        send(v + '\r');
        send(v + '\r');
        pauses(1);
        head('9');
        send(v);
        send(v + '\r');
        pauses(1);
        head('2');
        send("\r");
        pauses(1);
        for (char letter = '3'; letter <= '8'; ++letter) {
            frames::send(one_write(frames::group_setup_block(t, addr, letter), z));
            pauses(letter == '8' ? 4 : 1);
        }
        frames::send(frames::write_finish_command(t, addr));
        pauses(4);
    } else {
        pauses(4);
    }

    ui::SetMousePointer(ui::vbDefault);
    return 0;
}

int16_t form1::save_screen_to_db(const QString& text) {
    GroupsTable g;
    if (!g.open(text)) return 1;
    g.rs.MoveLast();
    // The number is searched for as it is stored, so a key such as "130.4" finds its record
    // again instead of adding one at every save.
    if (g.rs.RecordCount() == 0 || !g.find()) {
        g.rs.AddNew();
        g.rs.SetValue(QStringLiteral("IDnum"), g.idnum);
    }
    g.rs.SetValue(QStringLiteral("description"), Combo1->currentText());
    if (!g.rs.Update()) {
        ui::MsgBox(QStringLiteral("The group configuration record could not be saved: %1").arg(g.rs.error()),
                   ui::vbOKOnly | ui::vbExclamation);
        return 1;
    }
    return 0;
}

int16_t form1::load_screen_from_db(const QString& text) {
    GroupsTable g;
    if (!g.open(text)) return 3;
    g.rs.MoveLast();
    if (g.rs.RecordCount() == 0) return 1;
    if (!g.find()) return 2;
    return 0;
}

void form1::move_ocscreen_to_ocdb() {
    adodb::Connection conn;
    adodb::Recordset rs;
    if (!open_table(conn, rs, QStringLiteral("ocxfer"))) return;
    transfers::store_single_record(rs, QStringLiteral("output configuration record"));
    rs.Close();
    conn.Close();
}

void form1::move_ocdb_to_ocscreen() {
    adodb::Connection conn;
    adodb::Recordset rs;
    if (!open_table(conn, rs, QStringLiteral("ocxfer"))) return;
    // An empty table holds nothing to load; the fields keep what they show.
    if (rs.RecordCount() > 0) {
        rs.MoveFirst();
        rs.Update();
    }
    rs.Close();
    conn.Close();
}

void form1::stop_polling_for_transfer() {
    ui::SetMousePointer(ui::vbHourglass);
    ui::DoEvents();
    net_stat_get();
    select_option(opt_single);
    chk_pollenb->setChecked(false);
    ui::DoEvents();
    halttimers();
    for (int i = 0; i < 3; ++i) {
        busy_wait();
        ui::DoEvents();
    }
}
