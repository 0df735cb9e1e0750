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

} // namespace adodb
