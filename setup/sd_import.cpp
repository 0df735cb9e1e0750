// The SD-card import of the Setup dialog: reads the scale's "KL.Dat" from the SD-card drive into
// datacol, and empties the file.
//
// The file is read as a stream, a slice at a time, and its readings are stored through one
// prepared insert in one transaction: a file that cannot be read, a malformed line or a database
// failure stores nothing and leaves the card's file untouched, so the import can simply be run
// again. After a complete import the card's file keeps exactly the lines that were not stored,
// byte for byte, followed by whatever the scale wrote to it while it was read (written over the
// file that was read, and only while its name still leads to that file), so nothing is lost and
// nothing is stored twice by a second import. Only a regular file is read, never a link, and no
// line is held whole in memory, however long.
#include <QBuffer>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Writes `content` over the start of the open file `fd`, then moves whatever the file holds from
// byte `tail_from` on (-1: nothing) to right after it, cuts the file there, flushes it to the card
// and closes `fd`. The content is never longer than what it replaces, and a line that is kept
// never moves forward, so a write cut short leaves every kept line at least once. Bytes that
// another writer appends meanwhile are moved too: the file is cut only once its size is found
// to be what was moved.
bool overwrite(int fd, QIODevice& content, qint64 tail_from, QString* why) {
    bool ok = true;
    bool read_failed = false;
    off_t at = 0;
    char chunk[kSlice / 4];
    const auto put = [&](qint64 n) {
        for (qint64 done = 0; ok && done < n;) {
            const ssize_t w = ::pwrite(fd, chunk + done, size_t(n - done), at);
            ok = w > 0 || (w < 0 && errno == EINTR);
            if (w > 0) {
                done += w;
                at += w;
            }
        }
    };
    while (ok) {
        const qint64 n = content.read(chunk, sizeof chunk);
        if (n <= 0) {
            read_failed = n < 0;
            ok = !read_failed;
            break;
        }
        put(n);
    }
    for (off_t from = tail_from; ok && from >= 0;) {
        const ssize_t n = ::pread(fd, chunk, sizeof chunk, from);
        if (n > 0) {
            from += n;
            put(n);
            continue;
        }
        ok = n == 0 || errno == EINTR;
        struct stat st {};
        if (n == 0) ok = ::fstat(fd, &st) == 0;
        if (ok && n == 0 && st.st_size <= from) break;
    }
    ok = ok && ::ftruncate(fd, at) == 0 && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    // A card that takes no writes is told by the plain message, as a missing one is.
    if (!ok && why) *why = read_failed ? content.errorString() : QString();
    return ok;
}

// Opens `path` for `flags` without waiting on a FIFO or a device and without following a link,
// and keeps the descriptor only for a regular file; -1 otherwise, with the reason for a file that
// is not a regular one (a missing file or drive is told by the plain message).
int open_regular(const QString& path, int flags, struct stat& st, QString* why) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW, 0666);
    const bool known = fd >= 0 ? ::fstat(fd, &st) == 0 : ::lstat(name.constData(), &st) == 0;
    if (fd >= 0 && known && S_ISREG(st.st_mode)) return fd;
    if (fd >= 0) ::close(fd);
    // A link leads to a file elsewhere, never the card's own: it is neither read nor written.
    // A FIFO without a reader refuses to open for writing; it is still no regular file.
    if (why)
        *why = !known                 ? QString()
               : S_ISLNK(st.st_mode)  ? QStringLiteral("KL.Dat is a symbolic link, not the card's own file.")
               : !S_ISREG(st.st_mode) ? QStringLiteral("KL.Dat is not a regular file.")
                                      : QString();
    return -1;
}

// A message with the reason, when one is known, on its second line.
QString with_reason(const QString& message, const QString& why) {
    return why.isEmpty() ? message : message + QLatin1Char('\r') + why;
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
    qsizetype scan = pos_;
    for (;;) {
        for (; scan < buf_.size(); ++scan) {
            const char c = buf_[scan];
            if (c != '\n' && c != '\r') continue;
            if (c == '\r' && scan + 1 == buf_.size()) {
                // A CR last in what was read: an LF right after it belongs to it.
                const qsizetype from_pos = scan - pos_;
                fill();
                scan = pos_ + from_pos;
            }
            const qsizetype end = c == '\r' && scan + 1 < buf_.size() && buf_[scan + 1] == '\n' ? 2 : 1;
            line = buf_.mid(pos_, scan - pos_);
            ending_ = buf_.mid(scan, end);
            piece_ = in_long_;
            in_long_ = false;
            pos_ = scan + end;
            return true;
        }
        if (scan - pos_ >= kMaxLine) {
            line = buf_.mid(pos_, kMaxLine);
            ending_.clear();
            piece_ = in_long_ = true;
            pos_ += kMaxLine;
            return true;
        }
        const qsizetype from_pos = scan - pos_;
        if (!fill()) break;
        scan = pos_ + from_pos;
    }
    // The last line of a file need not end in a line end.
    if (pos_ < buf_.size()) {
        line = buf_.mid(pos_);
        pos_ = buf_.size();
        ending_.clear();
        piece_ = in_long_;
        in_long_ = false;
        return true;
    }
    return false;
}

bool CardFile::open(QFile& in, QString* why) {
    struct stat st {};
    const int fd = open_regular(path_, O_RDONLY, st, why);
    if (fd < 0) return false;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        if (why) *why = in.errorString();
        return false;
    }
    device_ = st.st_dev;
    inode_ = st.st_ino;
    opened_ = true;
    return true;
}

bool CardFile::rewrite(QIODevice& content, qint64 read, QString* why) const {
    // No O_CREAT: a name that leads nowhere now makes no new file.
    struct stat st {};
    const int fd = opened_ ? open_regular(path_, O_RDWR, st, nullptr) : -1;
    if (fd < 0 || st.st_dev != device_ || st.st_ino != inode_ || st.st_size < read) {
        if (fd >= 0) ::close(fd);
        if (why)
            *why = QStringLiteral("KL.Dat is no longer the file that was read (was the card taken out?).");
        return false;
    }
    // Content longer than what was read replaces nothing that was stored: the file stays as it is.
    if (content.size() > read) {
        ::close(fd);
        return true;
    }
    return overwrite(fd, content, read, why);
}

bool CardFile::erase(const QString& path, QString* why) {
    struct stat st {};
    const int fd = open_regular(path, O_WRONLY | O_CREAT, st, why);
    if (fd < 0) return false;
    QBuffer blank_line;
    blank_line.setData(" \r\n", 3);
    blank_line.open(QIODevice::ReadOnly);
    return overwrite(fd, blank_line, -1, why);
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
    // A line holding control characters is no reading's text (a file in another encoding,
    // UTF-16 say, has a NUL in every other byte).
    for (const QChar c : line)
        if ((c.unicode() < 0x20 && c != QLatin1Char('\t')) || c.unicode() == 0x7F) return Skipped;
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

    CardFile card(path);
    QFile file;
    QString why;
    if (!card.open(file, &why)) {
        ui::MsgBox(with_reason(error_text, why), ui::vbOKOnly);
        return;
    }
    adodb::Connection conn;
    if (!conn.Open(core.conn_str)) {
        ui::MsgBox(error_text, ui::vbOKOnly);
        return;
    }

    // The lines that are not stored, byte for byte with their line ends, become the card's
    // file once every other line is stored. They wait in a temporary file off the card.
    QTemporaryFile rest;
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
        bool keep_line = false; // the pieces of a long line are all kept
        for (int number = 1; failure.isEmpty() && reader.next(line);
             number += !reader.piece() || !reader.ending().isEmpty() ? 1 : 0) {
            KlDatRecord r;
            KlDatParser::Result result = KlDatParser::Skipped;
            if (!reader.piece()) result = parser.parse(QString::fromLatin1(line), r, &why);
            switch (result) {
            case KlDatParser::Taken:
                if (!insert.add({r.ScaleID, r.Group, r.Reading, r.Time, r.Date, r.TagID}))
                    failure = error_text;
                break;
            case KlDatParser::Skipped:
                if (reader.piece() || !blank(line)) {
                    if (!keep_line) ++left;
                    keep_line = !reader.ending().isEmpty() ? false : reader.piece();
                    if (erase_after_read && rest_ok) {
                        if (!rest.isOpen()) rest_ok = rest.open();
                        rest_ok = rest_ok && rest.write(line) == line.size() &&
                                  rest.write(reader.ending()) == reader.ending().size();
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
    const qint64 read = file.pos();
    file.close();
    conn.Close();
    ui::SetMousePointer(pointer);
    if (!failure.isEmpty()) {
        ui::MsgBox(failure, ui::vbOKOnly);
        return;
    }

    if (!erase_after_read) {
        ui::MsgBox(QStringLiteral("Finished reading Data"), ui::vbOKOnly);
        return;
    }
    QBuffer blank_line;
    blank_line.setData(" \r\n", 3);
    QIODevice& content = left == 0 ? static_cast<QIODevice&>(blank_line) : rest;
    rest_ok = rest_ok && (left == 0 || (rest.flush() && rest.seek(0)));
    if (!rest_ok) why = rest.errorString();
    if (rest_ok && (content.isOpen() || content.open(QIODevice::ReadOnly)) &&
        card.rewrite(content, read, &why)) {
        if (left == 0)
            ui::MsgBox(QStringLiteral("Finished reading Data and Erased KL.Dat file"), ui::vbOKOnly);
        else
            ui::MsgBox(
                QStringLiteral("Finished reading Data\rReadings stored: %1\rLines left in KL.Dat file, "
                               "not readings of 16 to 69 characters: %2")
                    .arg(stored)
                    .arg(left),
                ui::vbOKOnly);
        return;
    }
    ui::MsgBox(with_reason(QStringLiteral("Error Erase File !"), why), ui::vbOKOnly);
    ui::MsgBox(QStringLiteral("Finished reading Data"), ui::vbOKOnly);
}

void Setup::Erase_Dat_File_Click() {
    erase_dat_file(chk_erase_after_read->isChecked());
}

// Leaves the card's file holding one blank line. Without a known SD drive nothing is written:
// there is no card to erase, and a file made in whatever folder the program runs in would
// report an erase that did not happen.
bool Setup::erase_dat_file(bool quiet) {
    QString why = QStringLiteral("No SD drive is chosen.");
    if (setup_state.sd_drive.isEmpty() || !CardFile::erase(setup_state.sd_drive + kDatFile, &why)) {
        ui::MsgBox(with_reason(QStringLiteral("Error Erase File !"), why), ui::vbOKOnly);
        return false;
    }
    if (!quiet) ui::MsgBox(QStringLiteral("Finished Erase Data"), ui::vbOKOnly);
    return true;
}
