#include "platform/db/sql_error.h"

#include <QSqlError>
#include <QSqlQuery>

namespace adodb {

QString sql_error(const QSqlError& error) {
    const QString t = error.text().trimmed();
    return t.isEmpty() ? QStringLiteral("The database reported an error.") : t;
}

QString sql_error(const QSqlQuery& query) {
    return sql_error(query.lastError());
}

Fault fault_of(const QSqlError& error) {
    if (error.type() == QSqlError::NoError) return Fault::none;
    bool known = false;
    // SQLite's extended codes keep the primary code in their low byte.
    const int code = error.nativeErrorCode().toInt(&known) & 0xff;
    if (!known) return Fault::other;
    switch (code) {
    case 3:  // SQLITE_PERM
    case 8:  // SQLITE_READONLY
    case 10: // SQLITE_IOERR
    case 13: // SQLITE_FULL
    case 14: // SQLITE_CANTOPEN
        return Fault::disk;
    case 1:  // SQLITE_ERROR: no such table or column, as the program's fixed SQL meets the file
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return Fault::content;
    default:
        return Fault::other;
    }
}

DbError::DbError(const QSqlError& error) : text(sql_error(error)), fault(fault_of(error)) {
    if (fault == Fault::none) fault = Fault::other;
}

DbError::DbError(const QSqlQuery& query) : DbError(query.lastError()) {}

} // namespace adodb
