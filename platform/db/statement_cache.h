#pragma once
// Prepared statements kept by their SQL text, so that a statement run again and again (every
// store, every page read next to another) is prepared once.
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <map>
#include <memory>

#include "platform/db/sql_error.h"

namespace adodb {

class StatementCache {
public:
    // The statement `sql` prepared on `db`, forward only; null when it cannot be prepared, with
    // `error` telling why.
    QSqlQuery* get(const QSqlDatabase& db, const QString& sql, DbError* error);
    void clear() { statements_.clear(); }

private:
    std::map<QString, std::unique_ptr<QSqlQuery>> statements_;
};

} // namespace adodb
