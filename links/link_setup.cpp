#include "links/link_setup.h"

#include "core/core_state.h"
#include "core/text_split.h"
#include "core/waits.h"
#include "links/ftdi_adapter.h"
#include "links/link_devices.h"
#include "links/links_state.h"
#include "links/reply_parser.h"
#include "platform/clock/clock.h"
#include "platform/db/adodb.h"
#include "platform/ftdi/ftdi.h"
#include "platform/log/log.h"
#include "platform/ui/message_box.h"

#include <QList>
#include <QStringList>

namespace {

constexpr int16_t kFilled = 12345;

const QString kPortMessage =
    QStringLiteral("The com port you selected either doesn't exist or is already in use");
const QString kNoScalesMessage = QStringLiteral("There are no RS485 scales defined in setup. Aborting.");
const QString kZeroIdMessage =
    QStringLiteral(" One of the RS485 scales has a Net ID of 0. Please close this screen and correct this in "
                   "the setup screen. Aborting.");

// Opens the serial control on comm_port with the given settings; tells the user on failure.
bool open_serial(const QString& line_settings) {
    serial::MSComm& port = MSComm1();
    // A port left open by an earlier showing of the screen is closed first, as a fresh control
    // would be.
    port.setPortOpen(false);
    port.setCommPort(core.comm_port);
    port.setSettings(line_settings);
    port.setInputLen(0);
    port.setCommPort(core.comm_port);
    if (!port.setPortOpen(true)) {
        // The system's reason on a second line (missing, busy, permission denied).
        ui::Beep();
        ui::MsgBox(kPortMessage + QLatin1Char('\n') + port.error());
        return false;
    }
    return true;
}

// Reads the active "RS485" records in NetID order from the database the connection string
// names and checks them. False (after telling the user) when the set-up must stop.
bool read_network_list(const QString& conn_str, QList<int>* ids) {
    adodb::Connection conn;
    if (!conn.Open(conn_str, QString(), QString(), -1)) {
        ui::Beep();
        ui::MsgBox(QStringLiteral("The scale list could not be read from %1: %2")
                       .arg(adodb::path_from_conn_str(conn_str), conn.error()));
        return false;
    }
    adodb::Recordset rs;
    if (!rs.Open(QString::fromLatin1(kNetworkScaleQuery), conn, adodb::adOpenDynamic,
                 adodb::adLockPessimistic)) {
        ui::Beep();
        ui::MsgBox(QStringLiteral("The scale list could not be read from %1: %2")
                       .arg(adodb::path_from_conn_str(conn_str), rs.error()));
        conn.Close();
        return false;
    }
    if (rs.IsEOF()) {
        ui::Beep();
        ui::MsgBox(kNoScalesMessage);
        rs.Close();
        conn.Close();
        return false;
    }
    QList<int> found;
    for (; !rs.IsEOF(); rs.MoveNext())
        found.append(rs.Value(QStringLiteral("NetID")).toInt());
    if (found.contains(0)) {
        ui::Beep();
        ui::MsgBox(kZeroIdMessage);
        rs.Close();
        conn.Close();
        return false;
    }
    rs.Close();
    conn.Close();
    *ids = found;
    return true;
}

// Fills the slots from the checked list. A NetID that does not fit in the one address byte
// would poll another scale, so such records are left out; beyond 11 scales the table is full.
void fill_network_slots(const QList<int>& ids, const QString& name_prefix) {
    QList<int> usable;
    QStringList refused;
    for (int id : ids) {
        if (id < 1 || id > 255)
            refused.append(QString::number(id));
        else
            usable.append(id);
    }
    const int left_out = std::max<int>(0, static_cast<int>(usable.size()) - kScaleSlots);
    if (left_out > 0) usable = usable.mid(0, kScaleSlots);
    for (int i = 0; i < usable.size(); ++i) {
        links.scale_dev_index[i] = 0;
        links.scale_addr[i] = usable[i];
        links.scale_serial[i] = QStringLiteral("Unknown");
        links.scale_name[i] = name_prefix + QString::number(usable[i]);
        links.scale_state[i] = kFilled;
        ++links.scale_count;
    }
    if (!refused.isEmpty()) {
        ui::Beep();
        ui::MsgBox(
            refused.size() == 1
                ? QStringLiteral("The RS485 scale with Net ID %1 is left out: a Net ID must lie between 1 "
                                 "and 255. Please correct this in the setup screen.")
                      .arg(refused.first())
                : QStringLiteral("The RS485 scales with Net IDs %1 are left out: a Net ID must lie "
                                 "between 1 and 255. Please correct this in the setup screen.")
                      .arg(refused.join(QStringLiteral(", "))));
    }
    if (left_out > 0)
        ui::MsgBox(
            QStringLiteral("There are %1 RS485 scales defined in setup; this screen holds %2. The first "
                           "%2 are used and %3 %4 left out.")
                .arg(usable.size() + left_out)
                .arg(kScaleSlots)
                .arg(left_out)
                .arg(left_out == 1 ? QStringLiteral("was") : QStringLiteral("were")));
}

QString zqdata_conn_str() {
    return core.conn_str;
}

QString sccfg_conn_str() {
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + app_path() +
           QStringLiteral("\\sccfg.mdb");
}

// usb485_init steps 2 to 4, shared with ethernet_connect.
void network_list_from_zqdata(const QString& name_prefix) {
    ui::DoEvents();
    clear_scale_tables();
    QList<int> ids;
    if (!read_network_list(zqdata_conn_str(), &ids)) return;
    fill_network_slots(ids, name_prefix);
    ui::DoEvents();
}

void connect_socket() {
    net::Winsock& sock = Winsock1();
    if (sock.State() <= net::Winsock::sckClosed)
        sock.Connect(net::Winsock::configured_host(), ethernet_port());
}

} // namespace

void clear_scale_tables() {
    for (int i = 0; i < kScaleSlots - 1; ++i) {
        links.scale_dev_index[i] = 0;
        links.scale_addr[i] = 0;
        links.scale_serial[i].clear();
        links.scale_name[i].clear();
        links.scale_state[i] = 0;
        links.scale_recid[i] = 0;
        links.scale_reading[i].clear();
        links.datacol_enb[i] = false;
        links.scale_active[i] = false;
        links.scale_poll_time[i] = 0;
        links.rx_buf[i].clear();
    }
    links.rx_overlong = false;
    links.cur_scale = 0;
    links.cur_scale_addr = 0;
    links.scale_count = 0;
}

void rs232_init() {
    clear_scale_tables();
    if (!open_serial(core.comm_settings)) return;
    links.scale_dev_index[0] = 0;
    links.scale_serial[0] = QStringLiteral("Unknown");
    links.scale_name[0] = QStringLiteral("Scale - RS232");
    links.scale_state[0] = kFilled;
    links.scale_count = 1;
}

void rs485_com_init() {
    clear_scale_tables();
    QList<int> ids;
    if (!read_network_list(sccfg_conn_str(), &ids)) return;
    if (!open_serial(QStringLiteral("9600,N,8,1"))) return;
    fill_network_slots(ids, QStringLiteral("Merol Scale - RS485 ID#"));
}

void usb_enumerate() {
    clear_scale_tables();
    uint32_t count = 0;
    if (!wlog::ft_ok(ftdi::FT_ListDevices(&count, ftdi::FT_LIST_NUMBER_ONLY), "FT_ListDevices")) count = 0;
    if (count == 0) {
        ui::MsgBox(QStringLiteral("There are no Merol Scales detected on the USB."));
        return;
    }
    const int used = std::min<int>(static_cast<int>(count), kScaleSlots);
    links.scale_count = static_cast<int16_t>(used);
    if (static_cast<int>(count) > used) {
        const int left_out = static_cast<int>(count) - used;
        ui::MsgBox(
            QStringLiteral("There are %1 scales detected on the USB; this screen holds %2. The first %2 "
                           "are used and %3 %4 left out.")
                .arg(count)
                .arg(kScaleSlots)
                .arg(left_out)
                .arg(left_out == 1 ? QStringLiteral("was") : QStringLiteral("were")));
    }
    for (int i = 0; i < used; ++i) {
        links.scale_dev_index[i] = i;
        links.scale_state[i] = kFilled;

        links.usb_list_buf.fill(' ', 256);
        if (!wlog::ft_ok(ftdi::FT_ListDevices(static_cast<uint32_t>(i), links.usb_list_buf,
                                              ftdi::FT_LIST_BY_INDEX | ftdi::FT_OPEN_BY_SERIAL_NUMBER),
                         "FT_ListDevices")) {
            ui::MsgBox(QStringLiteral("USB not responding. A system reboot is recommended."));
            return;
        }
        QByteArray kept;
        for (char c : trim_blanks(links.usb_list_buf)) {
            const auto code = static_cast<uint8_t>(c);
            if (code >= 32 && code <= 122) kept += c;
        }
        links.scale_serial[i] = QString::fromLatin1(trim_blanks(kept));

        links.usb_list_buf.fill(' ', 256);
        if (!wlog::ft_ok(ftdi::FT_ListDevices(static_cast<uint32_t>(i), links.usb_list_buf,
                                              ftdi::FT_LIST_BY_INDEX | ftdi::FT_OPEN_BY_DESCRIPTION),
                         "FT_ListDevices")) {
            ui::MsgBox(QStringLiteral("USB not responding. A system reboot is recommended."));
            return;
        }
        // The description ends at its zero byte; what follows is the buffer's filler.
        QByteArray desc = links.usb_list_buf;
        const qsizetype nul = desc.indexOf('\0');
        if (nul >= 0) desc.truncate(nul);
        links.scale_name[i] = QString::fromLatin1(trim_blanks(desc));
    }
}

void usb485_init() {
    usb_open();
    if (links.usb_fail == 1) {
        ui::MsgBox(QStringLiteral("i_init_fail"));
        return;
    }
    network_list_from_zqdata(QStringLiteral("SCALE RS485 ID#"));
}

void ethernet_connect() {
    connect_socket();
    if (links.usb_fail == 1 && Winsock1().State() != net::Winsock::sckConnecting) {
        ui::MsgBox(QStringLiteral("WinSock Init Failed"));
        return;
    }
    network_list_from_zqdata(QStringLiteral("SCALE RS485 ID#"));
}

bool ethernet_wait_connected() {
    net::Winsock& sock = Winsock1();
    const double start = wclock::Monotonic();
    while (sock.State() == net::Winsock::sckConnecting && !wait_passed(start, kEthernetConnectWait)) {
        wclock::pause_slice();
        ui::DoEvents();
    }
    if (sock.State() == net::Winsock::sckConnected) return true;
    if (sock.State() == net::Winsock::sckConnecting) {
        sock.Close();
        report_socket_failed(
            false, QStringLiteral("no answer within %1 seconds").arg(QString::number(kEthernetConnectWait)));
    }
    return false;
}

Ethernet& ethernet_link() {
    static Ethernet link;
    return link;
}

void Winsock1_DataArrival(int /*bytes_total*/) {
    ethernet_link().parseweight(Winsock1().GetData());
}

void Ethernet::ethernet_connect() {
    ::ethernet_connect();
}

void Ethernet::parseweight(const QByteArray& text) {
    QByteArray& rx = links.rx_buf[0];
    // A reply left without its CR for longer than a scale takes to finish one was cut off: it is
    // dropped rather than joined to what comes now.
    const double now = wclock::Monotonic();
    if (!rx.isEmpty() && !replies::has_reply_end(rx) && now - last_arrival_ > replies::kReplyWait) {
        qCDebug(lcLinks).noquote() << "Ethernet reply without its reply end within" << replies::kReplyWait
                                   << "s dropped:" << wlog::bytes(rx);
        rx.clear();
    }
    last_arrival_ = now;
    // Replies are framed as on "RS485": a cut reply is dropped when the next address byte comes.
    replies::gather_reply_text(rx, links.rx_overlong, text, replies::Link::rs485, "Ethernet");
    // Only the selected scale is polled on this link: lines under another address, or under
    // none, are dropped.
    const int polled = filled_slot_address(links.cur_scale);
    QByteArray line;
    while (replies::take_reply_of(rx, polled, line, "Ethernet")) {
        const replies::Reply r = replies::parse_reply(replies::Link::rs485, line);
        const int n = filled_slots();
        for (int i = 0; i < n; ++i) {
            if (links.scale_addr[i] != r.address) continue;
            qCDebug(lcLinks).noquote()
                << "Ethernet reply from" << r.address << "taken into slot" << i << wlog::bytes(line);
            links.scale_reading[i] = r.reading;
            if (i == links.cur_scale && show_reading) show_reading(i);
            if (reading_stored) reading_stored(i);
            if (links.datacol_enb[i] && data_collect) data_collect(i);
            break;
        }
    }
}
