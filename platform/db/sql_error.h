#pragma once
// The text of a database error as the layer reports it: SQLite's own words, or a plain sentence
// when it gave none.
#include <QString>

class QSqlError;
class QSqlQuery;

namespace adodb {

QString sql_error(const QSqlError& error);
QString sql_error(const QSqlQuery& query);

} // namespace adodb
