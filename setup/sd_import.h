#pragma once
// The lines of the SD card's "KL.Dat" as the import reads and stores them.
#include <QByteArray>
#include <QString>

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
    // `line` without its line end. Skipped: outside 16 to 69 characters, or only blanks.
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
// CR alone each end a line.
class LineReader {
public:
    explicit LineReader(QIODevice& device) : device_(device) {}
    // The next line without its line end; false at the end of the file or on a read error.
    bool next(QByteArray& line);
    bool failed() const { return failed_; }

private:
    bool fill();
    QIODevice& device_;
    QByteArray buf_;
    qsizetype pos_ = 0;
    bool cr_ended_ = false; // the last line ended in CR: an LF right after belongs to it
    bool at_end_ = false;
    bool failed_ = false;
};
