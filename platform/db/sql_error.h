#pragma once
// The text of a database error as the layer reports it: SQLite's own words, or a plain sentence
// when it gave none; and what the error tells of the database file.
#include <QString>

class QSqlError;
class QSqlQuery;

namespace adodb {

QString sql_error(const QSqlError& error);
QString sql_error(const QSqlQuery& query);

// What a failure tells of the database file. `disk`: the disk that holds it could not take or
// give what was asked (full, a read or write error, write-protected, no right to it); the file's
// content may be whole, and freeing space or mending the disk cures it. `content`: the file is
// no database, is damaged, or lacks what the program reads. `other`: anything else (a file held
// by another program, a file not found, the layer's own refusals).
enum class Fault { none, disk, content, other };

Fault fault_of(const QSqlError& error);

// A failure as the layer keeps it: its text and what it tells of the file. A text alone is the
// layer's own sentence, `other` unless told otherwise.
struct DbError {
    QString text;
    Fault fault = Fault::none;

    DbError() = default;
    DbError(const QString& t, Fault f = Fault::other) : text(t), fault(t.isEmpty() ? Fault::none : f) {}
    explicit DbError(const QSqlError& error);
    explicit DbError(const QSqlQuery& query);

    bool isEmpty() const { return text.isEmpty(); }
    void clear() { *this = DbError(); }
};

} // namespace adodb
