#include "core/syscfg.h"

#include <QStringList>
#include <algorithm>
#include <optional>

#include "core/core_state.h"
#include "platform/db/adodb.h"
#include "platform/db/disk_fault.h"
#include "platform/ui/message_box.h"

namespace {

// The settings that load_syscfg fills.
struct Settings {
    QString comm_type;
    int16_t comm_port = 0;
    int16_t rf_net = 0;
    int16_t small_fonts = 0;
    QString rf_net_id;
    int16_t tag_blz = 0;
    double net_poll_time = 0.33;
    double net_del_time = 0.01;
    int16_t usb_reset_count = 0;
};

Settings current() {
    return {core.comm_type, core.comm_port,     core.rf_net,       core.small_fonts,    core.rf_net_id,
            core.tag_blz,   core.net_poll_time, core.net_del_time, core.usb_reset_count};
}

// The values of the syscfg row delivered in zqdata.mdb.
Settings delivered() {
    Settings s;
    s.comm_type = QStringLiteral("RS232");
    s.comm_port = 1;
    s.rf_net = 0;
    s.small_fonts = 0;
    s.rf_net_id = QStringLiteral("0");
    s.tag_blz = 0;
    s.net_poll_time = 0.33;
    s.net_del_time = 0.01;
    s.usb_reset_count = 0;
    return s;
}

void store(const Settings& s) {
    core.comm_type = s.comm_type;
    core.comm_settings = QStringLiteral("9600,N,8,1");
    core.comm_port = s.comm_port;
    core.rf_net = s.rf_net;
    core.small_fonts = s.small_fonts;
    core.rf_net_id = s.rf_net_id;
    core.tag_blz = s.tag_blz;
    core.net_poll_time = s.net_poll_time;
    core.net_del_time = s.net_del_time;
    core.usb_reset_count = s.usb_reset_count;
}

// The communication types that the links act on, as the row stores them.
bool is_comm_type(const QString& text) {
    for (const char* name : kCommTypeNames)
        if (text == QLatin1String(name)) return true;
    return false;
}

// A setting of the row that cannot be used: what is wrong, the field, whether the Setup dialog
// stores a new value for it (it cannot without the row, nor for tagblz or a missing field), and
// for a row that could not be read, what the failure tells of the file (none: the row's content).
// A taken setting is used as the row holds it all the same (a link type that no link knows: the
// scale screen then opens no link).
struct Problem {
    QString text;
    QString field;
    bool setup_corrects = false;
    adodb::Fault fault = adodb::Fault::none;
    bool taken = false;
};

// The row could not be read: the failure, told as a fault of the disk when it is one.
Problem read_failure(const QString& why, adodb::Fault fault) {
    return {QStringLiteral("The settings could not be read: ") + why, QString(), false, fault};
}

// A read failure with what cures it when the disk failed: the file's content is then whole, so
// the cure lies with the disk, not with the database.
QString with_disk_cure(const Problem& p) {
    return adodb::told_with_cure(p.text, p.fault, core.conn_str);
}

bool any_taken(const QList<Problem>& problems) {
    return std::any_of(problems.begin(), problems.end(), [](const Problem& p) { return p.taken; });
}
bool all_taken(const QList<Problem>& problems) {
    return std::all_of(problems.begin(), problems.end(), [](const Problem& p) { return p.taken; });
}

// The value a setting has in `s`, as the message names it.
QString shown(const Settings& s, const QString& field) {
    if (field == QLatin1String("commtype")) return s.comm_type;
    if (field == QLatin1String("commport")) return QString::number(s.comm_port);
    if (field == QLatin1String("rfnet")) return QString::number(s.rf_net);
    if (field == QLatin1String("smallfonts")) return QString::number(s.small_fonts);
    if (field == QLatin1String("rfnetid")) return s.rf_net_id;
    if (field == QLatin1String("tagblz")) return QString::number(s.tag_blz);
    if (field == QLatin1String("netpolltime")) return QString::number(s.net_poll_time);
    if (field == QLatin1String("netdeltime")) return QString::number(s.net_del_time);
    if (field == QLatin1String("usbreset")) return QString::number(s.usb_reset_count);
    return QString();
}

// One line per problem with the value used instead, then the advice that works for them.
QString describe(const QList<Problem>& problems, const Settings& used, const QString& instead_intro) {
    QStringList lines;
    QStringList in_setup;
    bool elsewhere = false;
    for (const Problem& p : problems) {
        // Only a file whose content is wrong needs correcting or replacing; a disk fault has its
        // own cure, and anything else (a file held by another program) passes.
        if (p.fault == adodb::Fault::disk || p.fault == adodb::Fault::other) {
            lines.append(with_disk_cure(p));
            continue;
        }
        QString line = p.text;
        if (p.taken) {
            line += QStringLiteral(" The scale screen opens no link with it.");
        } else if (!p.field.isEmpty()) {
            const QString value = shown(used, p.field);
            line += QLatin1Char(' ') +
                    instead_intro.arg(p.field, value.isEmpty() ? QStringLiteral("no value") : value);
        }
        lines.append(line);
        if (p.setup_corrects)
            in_setup.append(p.field);
        else
            elsewhere = true;
    }
    if (!in_setup.isEmpty())
        lines.append(
            QStringLiteral("Correct %1 in Scale Configurations.").arg(in_setup.join(QStringLiteral(", "))));
    if (elsewhere)
        lines.append(
            QStringLiteral("Weyvane has no window that corrects the rest: the database zqdata.mdb must "
                           "be corrected with a database tool or replaced by one that holds a complete "
                           "settings row."));
    return lines.join(QChar('\r'));
}

// Reads the first row of syscfg into `out`, field by field. A field that cannot be read keeps
// what `out` holds, and what is wrong with it is appended to `problems`. False (with the reason
// in `problems`) only when the database cannot be opened.
bool read_row(Settings& out, QList<Problem>& problems) {
    adodb::Connection cn;
    if (!cn.Open(core.conn_str, QString(), QString(), -1)) {
        problems.append(read_failure(cn.error(), cn.fault()));
        return false;
    }
    adodb::Recordset rs;
    if (!rs.Open(QStringLiteral("syscfg"), cn, adodb::adOpenDynamic, adodb::adLockPessimistic, -1)) {
        problems.append(read_failure(rs.error(), rs.fault()));
        cn.Close();
        return true;
    }
    rs.MoveFirst();
    // The row may fail to come off the disk although the table opened.
    if (!rs.IsEOF() && rs.FieldCount() > 0 && !rs.Value(rs.FieldNames().first()).isValid() &&
        rs.fault() == adodb::Fault::disk) {
        problems.append(read_failure(rs.error(), rs.fault()));
        rs.Close();
        cn.Close();
        return true;
    }
    if (rs.IsEOF()) {
        problems.append({QStringLiteral("The configuration record is missing"), QString()});
        rs.Close();
        cn.Close();
        return true;
    }

    // A field's value, or nothing after noting that the record lacks the field.
    const auto field = [&](const char* name) -> std::optional<QVariant> {
        if (!rs.HasField(QString::fromLatin1(name))) {
            problems.append({QStringLiteral("The configuration record has no setting %1.").arg(name),
                             QString::fromLatin1(name)});
            return std::nullopt;
        }
        return rs.Value(QString::fromLatin1(name));
    };
    const auto bad = [&](const char* name, const QString& text) {
        const QString f = QString::fromLatin1(name);
        problems.append({text, f, f != QLatin1String("tagblz")});
    };
    // A whole-number field without default: null or not a number is a failure.
    const auto whole = [&](const char* name, int16_t& target) {
        const std::optional<QVariant> f = field(name);
        if (!f) return;
        const QVariant& v = *f;
        bool ok = false;
        const int16_t n = adodb::to_int16(v, &ok);
        if (ok)
            target = n;
        else
            bad(name, v.isNull()
                          ? QStringLiteral("The setting %1 of the configuration record is empty.").arg(name)
                          : QStringLiteral("The setting %1 of the configuration record is not a number: %2")
                                .arg(name, v.toString()));
    };
    // Seconds held as text; null or empty gives the default.
    const auto seconds = [&](const char* name, double& target, double default_value) {
        const std::optional<QVariant> f = field(name);
        if (!f) return;
        const QVariant& v = *f;
        if (v.isNull() || v.toString().isEmpty()) {
            target = default_value;
            return;
        }
        bool ok = false;
        const double d = adodb::to_double(v, &ok);
        if (ok)
            target = d;
        else
            bad(name, QStringLiteral("The setting %1 of the configuration record is not a number: %2")
                          .arg(name, v.toString()));
    };

    if (const std::optional<QVariant> comm_type = field("commtype")) {
        if (comm_type->isNull() || comm_type->toString().isEmpty())
            bad("commtype", QStringLiteral("The setting commtype of the configuration record is empty."));
        else if (!is_comm_type(comm_type->toString())) {
            // Named, and taken as it stands: no link is opened for it, rather than one that no
            // setting names.
            out.comm_type = comm_type->toString();
            problems.append({QStringLiteral("The setting commtype of the configuration record is not a "
                                            "communication type: \"%1\".")
                                 .arg(comm_type->toString()),
                             QStringLiteral("commtype"), true, adodb::Fault::none, true});
        } else {
            out.comm_type = comm_type->toString();
        }
    }
    whole("commport", out.comm_port);
    whole("rfnet", out.rf_net);
    whole("smallfonts", out.small_fonts);
    int16_t rf_net_id = 0;
    const auto before = problems.size();
    whole("rfnetid", rf_net_id);
    if (problems.size() == before) out.rf_net_id = QString::number(rf_net_id);
    whole("tagblz", out.tag_blz);
    seconds("netpolltime", out.net_poll_time, 0.33);
    seconds("netdeltime", out.net_del_time, 0.01);
    if (const std::optional<QVariant> usb_reset = field("usbreset")) {
        if (usb_reset->isNull() || usb_reset->toString().trimmed().isEmpty())
            out.usb_reset_count = 0;
        else
            whole("usbreset", out.usb_reset_count);
    }
    rs.Close();
    cn.Close();
    return true;
}

} // namespace

bool load_syscfg() {
    Settings next = current();
    QList<Problem> problems;
    read_row(next, problems);
    // With a setting that cannot be used nothing of the row is taken: the settings in force stay,
    // but for a link type that no link knows, so that the screen opens no link the row does not
    // name.
    const bool kept = !all_taken(problems);
    Settings used = kept ? current() : next;
    if (any_taken(problems)) used.comm_type = next.comm_type;
    if (!problems.isEmpty())
        ui::MsgBox(describe(problems, used, QStringLiteral("Weyvane keeps %2 for %1.")),
                   ui::vbOKOnly | ui::vbExclamation);
    store(used);
    return !kept;
}

bool load_syscfg_at_startup(QString* fatal) {
    Settings next = delivered();
    QList<Problem> problems;
    if (!read_row(next, problems)) {
        if (fatal) *fatal = with_disk_cure(problems.first());
        return false;
    }
    if (!problems.isEmpty())
        ui::MsgBox(describe(problems, next, QStringLiteral("Weyvane uses %2 for %1 instead.")),
                   ui::vbOKOnly | ui::vbExclamation);
    store(next);
    return true;
}
