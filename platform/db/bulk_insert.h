#pragma once
// Many new records for one table through one prepared INSERT inside one transaction, on a
// connection opened by this layer (so with its journal, flush and busy settings). Nothing is
// visible to others, or on disk, before commit(); a BulkInsert destroyed without commit() stores
// none of its rows.
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "platform/db/adodb.h"

namespace adodb {

class BulkInsert {
public:
    // Starts the transaction and prepares "INSERT INTO table (fields...) VALUES (?, ...)".
    // ok() tells whether that worked.
    BulkInsert(Connection& conn, const QString& table, const QStringList& fields);
    ~BulkInsert();
    BulkInsert(const BulkInsert&) = delete;
    BulkInsert& operator=(const BulkInsert&) = delete;

    bool ok() const { return error_.isEmpty(); }
    QString error() const { return error_; }

    // Stores one row, values in the order of `fields`. A QString is stored as text (a null one
    // as the empty text). False, with error() telling why, when the row was not stored; the
    // transaction is then only good for rollback().
    bool add(const QVariantList& values);
    // Makes every added row durable at once.
    bool commit();
    void rollback();
    int rows() const { return rows_; }

private:
    QSqlDatabase db_;
    QSqlQuery query_;
    QString error_;
    int fields_ = 0;
    int rows_ = 0;
    int cache_size_ = 0; // the connection's page cache setting before the store
    bool open_ = false;  // inside the transaction
};

} // namespace adodb
