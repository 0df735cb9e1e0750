#include "platform/db/statement_cache.h"

#include "platform/db/sql_error.h"

namespace adodb {

QSqlQuery* StatementCache::get(const QSqlDatabase& db, const QString& sql, DbError* error) {
    std::unique_ptr<QSqlQuery>& q = statements_[sql];
    if (!q) {
        q = std::make_unique<QSqlQuery>(db);
        q->setForwardOnly(true);
        if (!q->prepare(sql)) {
            *error = DbError(*q);
            statements_.erase(sql);
            return nullptr;
        }
    }
    return q.get();
}

} // namespace adodb
