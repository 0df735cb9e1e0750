#include "platform/db/bulk_insert.h"

#include "platform/db/jet_sql.h"
#include "platform/db/sql_error.h"
#include "platform/log/log.h"

#include <QSqlError>

namespace adodb {

BulkInsert::BulkInsert(Connection& conn, const QString& table, const QStringList& fields)
    : db_(conn.database()), query_(db_), fields_(int(fields.size())) {
    if (!conn.IsOpen() || !db_.isOpen()) {
        error_ = QStringLiteral("The connection is closed.");
        qCWarning(lcDb).noquote() << "bulk insert into" << table << "could not begin:" << error_;
        return;
    }
    QStringList names, marks;
    for (const QString& f : fields) {
        names.append(jet::quote_ident(f));
        marks.append(QStringLiteral("?"));
    }
    const QString sql =
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(jet::quote_ident(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    {
        // A bulk store fills index pages all over the file: a larger page cache keeps them in
        // memory instead of spilling and reading them back (it is given back when done).
        QSqlQuery pragma(db_);
        if (pragma.exec(QStringLiteral("PRAGMA cache_size")) && pragma.next())
            cache_size_ = pragma.value(0).toInt();
        pragma.exec(QStringLiteral("PRAGMA cache_size = -16384"));
    }
    if (!db_.transaction()) {
        error_ = sql_error(db_.lastError());
        qCWarning(lcDb).noquote() << "bulk insert into" << table << "could not begin:" << error_;
        return;
    }
    open_ = true;
    if (!query_.prepare(sql)) {
        error_ = sql_error(query_.lastError());
        qCWarning(lcDb).noquote() << "bulk insert into" << table << "could not be prepared:" << error_;
        rollback();
    }
}

BulkInsert::~BulkInsert() {
    rollback();
    if (cache_size_ != 0 && db_.isOpen())
        QSqlQuery(db_).exec(QStringLiteral("PRAGMA cache_size = %1").arg(cache_size_));
}

bool BulkInsert::add(const QVariantList& values) {
    if (!open_ || !error_.isEmpty()) return false;
    if (values.size() != fields_) {
        error_ = QStringLiteral("%1 values given for %2 fields.").arg(values.size()).arg(fields_);
        return false;
    }
    for (int i = 0; i < fields_; ++i) {
        const QVariant& v = values[i];
        if (v.typeId() == QMetaType::QString && v.toString().isNull())
            query_.bindValue(i, QStringLiteral(""));
        else
            query_.bindValue(i, v);
    }
    if (!query_.exec()) {
        error_ = sql_error(query_.lastError());
        qCWarning(lcDb).noquote() << "bulk insert: row" << rows_ + 1 << "not stored:" << error_;
        return false;
    }
    ++rows_;
    return true;
}

bool BulkInsert::commit() {
    if (!open_ || !error_.isEmpty()) return false;
    query_.finish();
    if (!db_.commit()) {
        error_ = sql_error(db_.lastError());
        qCWarning(lcDb).noquote() << "bulk insert: commit of" << rows_ << "rows failed:" << error_;
        rollback();
        return false;
    }
    open_ = false;
    return true;
}

void BulkInsert::rollback() {
    if (!open_) return;
    query_.finish();
    db_.rollback();
    open_ = false;
}

} // namespace adodb
