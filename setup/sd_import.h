#pragma once
// The lines of the SD card's "KL.Dat" as the import reads and stores them.
#include <QByteArray>
#include <QString>

class QFile;
class QIODevice;

// One line of "KL.Dat" as the import stores it in datacol.
struct KlDatRecord {
    int ScaleID = 0;
    QString Group;
    QString Reading;
    QString Time;
    QString Date;
    QString TagID;
};

// Parses the lines of "KL.Dat" in file order. Reading, date and time carry over from the line
// before when a line lacks their separator.
class KlDatParser {
public:
    explicit KlDatParser(const QString& time_zone) : time_zone_(time_zone) {}
    enum Result { Taken, Skipped, Malformed };
    // `line` without its line end. Skipped: outside 16 to 69 characters, only blanks, or
    // holding control characters.
    Result parse(const QString& line, KlDatRecord& out, QString* why = nullptr);

    // The hours the time zone moves a reading back: 3 Pacific, 2 Mountain, 1 Central standard
    // time, 0 for any other zone.
    static int shift_of(const QString& time_zone);
    // The date text one day earlier, written in the form it has (month/day/year with "/", "-" or
    // "." and a year of two or four digits, or year-month-day); a null text when it cannot be read.
    static QString day_before(const QString& date);

private:
    QString time_zone_;
    QString reading_, date_, time_;
    bool day_back_ = false; // the time of time_ was wrapped past midnight into the day before
};

// Reads a text file line by line in slices, so a large file is never held whole. CR LF, LF and
// CR alone each end a line. A line longer than kMaxLine comes in pieces of at most kMaxLine
// bytes, so no line, however long, is held whole either.
class LineReader {
public:
    static constexpr qsizetype kMaxLine = 64 * 1024;

    explicit LineReader(QIODevice& device) : device_(device) {}
    // The next line, or piece of a long line, without its line end; false at the end of the
    // file or on a read error.
    bool next(QByteArray& line);
    // The bytes that ended what next() gave: "\r\n", "\n", "\r", or none (the end of the file,
    // or a piece that the next one continues).
    const QByteArray& ending() const { return ending_; }
    // What next() gave is a piece of a line longer than kMaxLine.
    bool piece() const { return piece_; }
    bool failed() const { return failed_; }

private:
    bool fill();
    QIODevice& device_;
    QByteArray buf_;
    qsizetype pos_ = 0;
    QByteArray ending_;
    bool piece_ = false;
    bool in_long_ = false; // the line being read is longer than kMaxLine
    bool at_end_ = false;
    bool failed_ = false;
};

// The card's "KL.Dat", held by what it is (device and inode), not only by its name: the
// import rewrites the very file it read, and never a file that took its name meanwhile (a
// card pulled out leaves its mount point behind as an empty folder).
class CardFile {
public:
    explicit CardFile(const QString& path) : path_(path) {}
    // Opens the file for reading into `in`. Only a regular file is opened: a FIFO or a device is
    // refused without waiting on it, and a link (to a file elsewhere) is not followed.
    bool open(QFile& in, QString* why);
    // Replaces, in place, the first `read` bytes of the file that open() read with `content`,
    // keeping every byte that came after them (what a writer appended meanwhile). Refuses,
    // touching nothing, when the name no longer leads to that file or it holds fewer bytes.
    bool rewrite(QIODevice& content, qint64 read, QString* why) const;
    // Leaves the file at `path` holding one blank line, creating it when it is missing.
    static bool erase(const QString& path, QString* why);

private:
    QString path_;
    quint64 device_ = 0;
    quint64 inode_ = 0;
    bool opened_ = false;
};
