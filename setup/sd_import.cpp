// The SD-card import of the Setup dialog: reads the scale's "KL.Dat" from the SD-card drive into
// datacol, and empties the file.
//
// The file is read as a stream, a slice at a time, and its readings are stored through one
// prepared insert in one transaction: a file that cannot be read, a malformed line or a database
// failure stores nothing and leaves the card's file untouched, so the import can simply be run
// again. After a complete import the card's file keeps exactly the lines that were not stored
// (written to a new file that replaces the old one), so nothing is lost and nothing is stored
// twice by a second import.
#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>

#include "core/core_state.h"
#include "core/text_split.h"
#include "links/links_state.h"
#include "platform/db/adodb.h"
#include "platform/db/bulk_insert.h"
#include "platform/ui/message_box.h"
#include "setup/Setup.h"
#include "setup/setup_state.h"

namespace {

const QString kDatFile = QStringLiteral("KL.Dat");
constexpr qsizetype kSlice = 64 * 1024;

// The numeric value a text begins with, blanks ignored; 0 when it begins with no number.
double leading_number(const QString& text) {
    QString t = text;
    t.remove(QLatin1Char(' '));
    static const QRegularExpression number(QStringLiteral("^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)"));
    const QRegularExpressionMatch m = number.match(t);
    return m.hasMatch() ? m.captured(0).toDouble() : 0.0;
}

// A number written with at least as many digits as the text it replaces had.
QString padded(int value, qsizetype width) {
    return QStringLiteral("%1").arg(value, int(width), 10, QLatin1Char('0'));
}

bool blank(const QByteArray& line) {
    for (char c : line)
        if (c != ' ' && c != '\t') return false;
    return true;
}

} // namespace

bool LineReader::fill() {
    if (at_end_) return false;
    if (pos_ > 0) {
        buf_.remove(0, pos_);
        pos_ = 0;
    }
    const QByteArray more = device_.read(kSlice);
    if (more.isEmpty()) {
        at_end_ = true;
        failed_ = !device_.atEnd(); // a read error short of the end
        return false;
    }
    buf_.append(more);
    return true;
}

bool LineReader::next(QByteArray& line) {
    qsizetype from = pos_;
    for (;;) {
        if (cr_ended_ && from < buf_.size()) {
            cr_ended_ = false;
            if (buf_[from] == '\n') pos_ = from = from + 1;
        }
        for (qsizetype i = from; i < buf_.size(); ++i) {
            const char c = buf_[i];
            if (c != '\n' && c != '\r') continue;
            line = buf_.mid(pos_, i - pos_);
            pos_ = i + 1;
            cr_ended_ = c == '\r';
            return true;
        }
        const qsizetype scanned = buf_.size() - pos_;
        if (!fill()) break;
        from = pos_ + scanned;
    }
    // The last line of a file need not end in a line end.
    if (pos_ < buf_.size()) {
        line = buf_.mid(pos_);
        pos_ = buf_.size();
        return true;
    }
    return false;
}

int KlDatParser::shift_of(const QString& time_zone) {
    if (time_zone == QLatin1String("Pacific Standard Time")) return 3;
    if (time_zone == QLatin1String("Mountain Standard Time")) return 2;
    if (time_zone == QLatin1String("Central Standard Time")) return 1;
    return 0;
}

QString KlDatParser::day_before(const QString& date) {
    static const QRegularExpression mdy(
        QStringLiteral("^(\\s*)(\\d{1,2})([/.-])(\\d{1,2})\\3(\\d{2}|\\d{4})(\\s*)$"));
    static const QRegularExpression ymd(QStringLiteral("^(\\s*)(\\d{4})-(\\d{1,2})-(\\d{1,2})(\\s*)$"));
    if (const QRegularExpressionMatch m = ymd.match(date); m.hasMatch()) {
        const QDate d =
            QDate(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt()).addDays(-1);
        if (!d.isValid()) return QString();
        return m.captured(1) + padded(d.year(), 4) + QLatin1Char('-') +
               padded(d.month(), m.capturedLength(3)) + QLatin1Char('-') +
               padded(d.day(), m.capturedLength(4)) + m.captured(5);
    }
    if (const QRegularExpressionMatch m = mdy.match(date); m.hasMatch()) {
        const bool short_year = m.capturedLength(5) == 2;
        const int year = m.captured(5).toInt() + (short_year ? 2000 : 0);
        const QDate d = QDate(year, m.captured(2).toInt(), m.captured(4).toInt()).addDays(-1);
        if (!d.isValid()) return QString();
        const QString sep = m.captured(3);
        return m.captured(1) + padded(d.month(), m.capturedLength(2)) + sep +
               padded(d.day(), m.capturedLength(4)) + sep +
               (short_year ? padded(d.year() % 100, 2) : padded(d.year(), 4)) + m.captured(6);
    }
    return QString();
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
    if (const qsizetype p = s.indexOf(QLatin1Char(':')); p >= 0) {
        const QString hour = s.left(p);
        const int shift = shift_of(time_zone_);
        day_back_ = false;
        if (shift == 0) {
            time_ = hour;
        } else {
            // An hour before the shift wraps into the day before (00 Pacific is 21 of the day before).
            double h = leading_number(hour) - shift;
            if (h < 0) {
                h += 24;
                day_back_ = true;
            }
            time_ = QString::number(h);
        }
        time_ += QLatin1Char(':') + s.mid(p + 1);
    }
    r.Reading = reading_;
    r.Date = date_;
    if (day_back_) {
        // A date that cannot be read is stored as the file has it.
        const QString before = day_before(date_);
        if (!before.isNull()) r.Date = before;
    }
    r.Time = time_;
    out = r;
    return Taken;
}

void Setup::Read_Dat_File_Click() {
    if (setup_state.sd_drive.isEmpty()) return;
    const QString error_text = QStringLiteral("Error Reading File!");
    const QString path = setup_state.sd_drive + kDatFile;
    const bool erase_after_read = chk_erase_after_read->isChecked();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        ui::MsgBox(error_text, ui::vbOKOnly);
        return;
    }
    adodb::Connection conn;
    if (!conn.Open(core.conn_str)) {
        ui::MsgBox(error_text, ui::vbOKOnly);
        return;
    }

    // The lines that are not stored go to the card's next file; it replaces the old one only
    // once every other line is stored.
    QSaveFile rest(path);
    bool rest_ok = true;
    int left = 0;

    const int pointer = ui::MousePointer();
    ui::SetMousePointer(ui::vbHourglass);
    QElapsedTimer since_paint;
    since_paint.start();
    QString failure;
    int stored = 0;
    {
        adodb::BulkInsert insert(conn, QStringLiteral("DataCol"),
                                 {QStringLiteral("ScaleID"), QStringLiteral("Group"),
                                  QStringLiteral("Reading"), QStringLiteral("Time"), QStringLiteral("Date"),
                                  QStringLiteral("TagID")});
        if (!insert.ok()) failure = error_text;
        KlDatParser parser(setup_state.default_time_zone);
        LineReader reader(file);
        QByteArray line;
        for (int number = 1; failure.isEmpty() && reader.next(line); ++number) {
            KlDatRecord r;
            QString why;
            switch (parser.parse(QString::fromLatin1(line), r, &why)) {
            case KlDatParser::Taken:
                if (!insert.add({r.ScaleID, r.Group, r.Reading, r.Time, r.Date, r.TagID}))
                    failure = error_text;
                break;
            case KlDatParser::Skipped:
                if (!blank(line)) {
                    ++left;
                    if (erase_after_read && rest_ok) {
                        if (left == 1) rest_ok = rest.open(QIODevice::WriteOnly);
                        rest_ok = rest_ok && rest.write(line + "\r\n") == line.size() + 2;
                    }
                }
                break;
            case KlDatParser::Malformed:
                failure = error_text + QLatin1Char('\r') + QStringLiteral("Line %1: %2").arg(number).arg(why);
                break;
            }
            // The window is repainted during a long import; no timer, device or user input is
            // handled until the import ends.
            if (since_paint.elapsed() >= 100) {
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                                QEventLoop::ExcludeSocketNotifiers |
                                                QEventLoop::X11ExcludeTimers);
                since_paint.restart();
            }
        }
        if (failure.isEmpty() && reader.failed()) failure = error_text;
        stored = insert.rows();
        if (failure.isEmpty() && !insert.commit()) failure = error_text;
    }
    file.close();
    conn.Close();
    ui::SetMousePointer(pointer);
    if (!failure.isEmpty()) {
        rest.cancelWriting();
        ui::MsgBox(failure, ui::vbOKOnly);
        return;
    }

    if (!erase_after_read) {
        ui::MsgBox(QStringLiteral("Finished reading Data"), ui::vbOKOnly);
    } else if (left == 0) {
        if (erase_dat_file(true))
            ui::MsgBox(QStringLiteral("Finished reading Data and Erased KL.Dat file"), ui::vbOKOnly);
        else
            ui::MsgBox(QStringLiteral("Finished reading Data"), ui::vbOKOnly);
    } else if (rest_ok && rest.commit()) {
        ui::MsgBox(QStringLiteral(
                       "Finished reading Data\rReadings stored: %1\rLines left in KL.Dat file, not 16 to 69 "
                       "characters long: %2")
                       .arg(stored)
                       .arg(left),
                   ui::vbOKOnly);
    } else {
        rest.cancelWriting();
        ui::MsgBox(QStringLiteral("Error Erase File !"), ui::vbOKOnly);
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
