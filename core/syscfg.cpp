#include "core/syscfg.h"

#include "core/core_state.h"
#include "platform/db/adodb.h"
#include "platform/ui/message_box.h"

namespace {

struct Failure {
    QString text;
};

// A whole-number field without default: null or not a number is a failure.
int16_t whole(const adodb::Recordset& rs, const char* field) {
    bool ok = false;
    const QVariant v = rs.Value(QString::fromLatin1(field));
    const int16_t n = adodb::to_int16(v, &ok);
    if (!ok)
        throw Failure{v.isNull()
                          ? QStringLiteral("The setting %1 of the configuration record is empty.").arg(field)
                          : QStringLiteral("The setting %1 of the configuration record is not a number: %2")
                                .arg(field, v.toString())};
    return n;
}

// Seconds held as text; null or empty gives the default.
double seconds(const adodb::Recordset& rs, const char* field, double default_value) {
    const QVariant v = rs.Value(QString::fromLatin1(field));
    if (v.isNull() || v.toString().isEmpty()) return default_value;
    bool ok = false;
    const double d = adodb::to_double(v, &ok);
    if (!ok)
        throw Failure{QStringLiteral("The setting %1 of the configuration record is not a number: %2")
                          .arg(field, v.toString())};
    return d;
}

} // namespace

bool load_syscfg() {
    adodb::Connection cn;
    adodb::Recordset rs;
    try {
        if (!cn.Open(core.conn_str, QString(), QString(), -1))
            throw Failure{QStringLiteral("The settings could not be read: ") + cn.error()};
        if (!rs.Open(QStringLiteral("syscfg"), cn, adodb::adOpenDynamic, adodb::adLockPessimistic, -1))
            throw Failure{QStringLiteral("The settings could not be read: ") + rs.error()};
        rs.MoveFirst();
        if (rs.IsEOF()) throw Failure{QStringLiteral("The configuration record is missing")};
        for (const char* field : {"commtype", "commport", "netpolltime", "netdeltime", "usbreset", "rfnet",
                                  "smallfonts", "rfnetid", "tagblz"})
            if (!rs.HasField(QString::fromLatin1(field)))
                throw Failure{QStringLiteral("The configuration record has no setting %1.").arg(field)};

        const QVariant comm_type = rs.Value(QStringLiteral("commtype"));
        if (comm_type.isNull())
            throw Failure{QStringLiteral("The setting commtype of the configuration record is empty.")};
        CoreState next = core;
        next.comm_type = comm_type.toString();
        next.comm_settings = QStringLiteral("9600,N,8,1");
        next.comm_port = whole(rs, "commport");
        next.rf_net = whole(rs, "rfnet");
        next.small_fonts = whole(rs, "smallfonts");
        next.rf_net_id = QString::number(whole(rs, "rfnetid"));
        next.tag_blz = whole(rs, "tagblz");
        next.net_poll_time = seconds(rs, "netpolltime", 0.33);
        next.net_del_time = seconds(rs, "netdeltime", 0.01);
        const QVariant usb_reset = rs.Value(QStringLiteral("usbreset"));
        next.usb_reset_count = usb_reset.isNull() || usb_reset.toString().trimmed().isEmpty()
                                   ? int16_t(0)
                                   : whole(rs, "usbreset");

        core.comm_type = next.comm_type;
        core.comm_settings = next.comm_settings;
        core.comm_port = next.comm_port;
        core.rf_net = next.rf_net;
        core.small_fonts = next.small_fonts;
        core.rf_net_id = next.rf_net_id;
        core.tag_blz = next.tag_blz;
        core.net_poll_time = next.net_poll_time;
        core.net_del_time = next.net_del_time;
        core.usb_reset_count = next.usb_reset_count;
    } catch (const Failure& f) {
        rs.Close();
        cn.Close();
        ui::MsgBox(f.text, ui::vbOKOnly | ui::vbExclamation);
        return false;
    }
    rs.Close();
    cn.Close();
    return true;
}
