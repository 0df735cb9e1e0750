// The SD-card import of the Setup dialog: reads the scale's "KL.Dat" from the SD-card drive into
// datacol, and empties the file.
//
// The import reads and checks the whole file before it stores anything, and stores all of it in
// one transaction: a file that cannot be read, a malformed line or a database failure leaves
// datacol as it was and the card's file untouched, so the import can simply be run again. The
// file is emptied only after every reading is stored.
#include <QCheckBox>
#include <QFile>
#include <QRegularExpression>
#include <QSqlDatabase>

#include "core/core_state.h"
#include "core/text_split.h"
#include "links/links_state.h"
#include "platform/db/adodb.h"
#include "platform/ui/message_box.h"
#include "setup/Setup.h"
#include "setup/setup_state.h"

namespace {

const QString kDatFile = QStringLiteral("KL.Dat");

// The numeric value a text begins with, blanks ignored; 0 when it begins with no number.
double leading_number(const QString& text) {
    QString t = text;
    t.remove(QLatin1Char(' '));
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)"));
    const QRegularExpressionMatch m = number.match(t);
    return m.hasMatch() ? m.captured(0).toDouble() : 0.0;
}

// The lines of a text file, without their line ends (CR LF, or LF alone).
QStringList lines_of(const QByteArray& data) {
    QStringList lines = QString::fromLatin1(data).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    for (QString& l : lines)
        if (l.endsWith(QLatin1Char('\r'))) l.chop(1);
    return lines;
}

} // namespace

QString KlDatParser::shift_hour(const QString& hour, const QString& time_zone) {
    int shift = 0;
    if (time_zone == QLatin1String("Pacific Standard Time"))
        shift = 3;
    else if (time_zone == QLatin1String("Mountain Standard Time"))
        shift = 2;
    else if (time_zone == QLatin1String("Central Standard Time"))
        shift = 1;
    if (shift == 0) return hour;
    return QString::number(leading_number(hour) - shift);
}

KlDatParser::Result KlDatParser::parse(const QString& line, KlDatRecord& out, QString* why) {
    if (line.size() < 16 || line.size() > 69) return Skipped;
    // The line passes through the shared receive buffer, which is left empty.
    links.rx_buf[0] = line.toLatin1();
    QString s = trim_blanks(QString::fromLatin1(links.rx_buf[0]));
    links.rx_buf[0].clear();
    if (s.isEmpty()) return Skipped;

    KlDatRecord r;
    r.ScaleID = s[0].unicode() & 0xFF;
    s = s.mid(1);

    // The tag list: "!" right after the address character, words up to the "#" of the group.
    if (s.startsWith(QLatin1Char('!'))) {
        const qsizetype hash = s.indexOf(QLatin1Char('#'));
        if (hash < 0) {
            if (why) *why = QStringLiteral("tag list without \"#\"");
            return Malformed;
        }
        QString tags = s.mid(1, hash - 1);
        parse_words(tags);
        if (core.word_count < 1) {
            if (why) *why = QStringLiteral("empty tag list");
            return Malformed;
        }
        r.TagID = core.word[core.word_count - 1];
    }
    if (const qsizetype p = s.indexOf(QLatin1Char('#')); p >= 0) {
        r.Group = s.mid(p + 1, 1);
        s = s.mid(p + 2);
    }
    if (const qsizetype p = s.indexOf(QLatin1Char('%')); p >= 0) {
        reading_ = s.left(p);
        s = s.mid(p + 1);
    }
    if (const qsizetype p = s.indexOf(QLatin1Char('\r')); p >= 0) s = s.left(p);
    if (const qsizetype p = s.indexOf(QLatin1Char('\n')); p >= 0) s = s.left(p);
    if (const qsizetype p = s.indexOf(QLatin1Char('@')); p >= 0) {
        date_ = s.left(p);
        s = s.mid(p + 1);
    }
    if (const qsizetype p = s.indexOf(QLatin1Char(':')); p >= 0)
        time_ = shift_hour(s.left(p), time_zone_) + QLatin1Char(':') + s.mid(p + 1);
    r.Reading = reading_;
    r.Date = date_;
    r.Time = time_;
    out = r;
    return Taken;
}

void Setup::Read_Dat_File_Click() {
    if (setup_state.sd_drive.isEmpty()) return;
    const QString error_text = QStringLiteral("Error Reading File!");

    QFile file(setup_state.sd_drive + kDatFile);
    if (!file.open(QIODevice::ReadOnly)) {
        ui::MsgBox(error_text, ui::vbOKOnly);
        return;
    }
    const QByteArray data = file.readAll();
    const bool read_ok = file.error() == QFileDevice::NoError;
    file.close();
    if (!read_ok) {
        ui::MsgBox(error_text, ui::vbOKOnly);
        return;
    }

    QList<KlDatRecord> records;
    KlDatParser parser(setup_state.default_time_zone);
    const QStringList lines = lines_of(data);
    for (int i = 0; i < lines.size(); ++i) {
        KlDatRecord r;
        QString why;
        const KlDatParser::Result res = parser.parse(lines[i], r, &why);
        if (res == KlDatParser::Taken) records.append(r);
        if (res == KlDatParser::Malformed) {
            ui::MsgBox(error_text + QLatin1Char('\r') + QStringLiteral("Line %1: %2").arg(i + 1).arg(why),
                       ui::vbOKOnly);
            return;
        }
    }

    bool stored = false;
    {
        adodb::Connection conn;
        adodb::Recordset rs;
        if (conn.Open(core.conn_str) &&
            rs.Open(QStringLiteral("DataCol"), conn, adodb::adOpenKeyset, adodb::adLockOptimistic)) {
            QSqlDatabase db = conn.database();
            stored = db.transaction();
            for (const KlDatRecord& r : records) {
                if (!stored) break;
                rs.AddNew();
                rs.SetValue(QStringLiteral("ScaleID"), r.ScaleID);
                rs.SetValue(QStringLiteral("Group"), r.Group);
                rs.SetValue(QStringLiteral("Reading"), r.Reading);
                rs.SetValue(QStringLiteral("Time"), r.Time);
                rs.SetValue(QStringLiteral("Date"), r.Date);
                rs.SetValue(QStringLiteral("TagID"), r.TagID);
                stored = rs.Update();
            }
            if (stored) stored = db.commit();
            if (!stored) {
                rs.CancelUpdate();
                db.rollback();
            }
            rs.Close();
        }
        conn.Close();
    }
    if (!stored) {
        ui::MsgBox(error_text, ui::vbOKOnly);
        return;
    }

    if (chk_erase_after_read->isChecked()) {
        if (erase_dat_file(true))
            ui::MsgBox(QStringLiteral("Finished reading Data and Erased KL.Dat file"), ui::vbOKOnly);
        else
            ui::MsgBox(QStringLiteral("Finished reading Data"), ui::vbOKOnly);
    } else {
        ui::MsgBox(QStringLiteral("Finished reading Data"), ui::vbOKOnly);
    }
}

void Setup::Erase_Dat_File_Click() {
    erase_dat_file(chk_erase_after_read->isChecked());
}

// Leaves the card's file holding one blank line. Without a known SD drive nothing is written.
bool Setup::erase_dat_file(bool quiet) {
    bool ok = !setup_state.sd_drive.isEmpty();
    if (ok) {
        QFile file(setup_state.sd_drive + kDatFile);
        ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(" \r\n", 3) == 3 &&
             file.flush();
        file.close();
        ok = ok && file.error() == QFileDevice::NoError;
    }
    if (!ok) {
        ui::MsgBox(QStringLiteral("Error Erase File !"), ui::vbOKOnly);
        return false;
    }
    if (!quiet) ui::MsgBox(QStringLiteral("Finished Erase Data"), ui::vbOKOnly);
    return true;
}
