#pragma once
// Record counts that stay right without counting again.
//
// A connection's KnownCounts stamp what it has seen of the database's changes: SQLite's
// data_version, which moves when another connection commits, and total_changes(), the rows this
// connection has changed. While both stand still, a count taken earlier is still right, so a
// recordset opened again on the same records (in another order) takes it instead of counting.
// A recordset's CountTracker follows the records it adds and deletes itself, and counts again
// when anything else changed the database.
#include <QSqlDatabase>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class QSqlQuery;

namespace adodb {

struct WriteStamp {
    qint64 version = -1;
    qint64 changes = -1;
    bool valid() const { return version >= 0; }
    bool operator==(const WriteStamp&) const = default;
};

// The counts one connection knows, by the FROM and WHERE of the records counted.
class KnownCounts {
public:
    explicit KnownCounts(QSqlDatabase db);
    ~KnownCounts();
    KnownCounts(const KnownCounts&) = delete;
    KnownCounts& operator=(const KnownCounts&) = delete;

    QSqlDatabase database() const { return db_; }
    // Where the connection stands now; invalid when it cannot be read.
    WriteStamp stamp();
    // The count of `from_where` known to be right at `now`.
    std::optional<int> count_at(const QString& from_where, const WriteStamp& now) const;
    // Notes a count that is right at `at`; the last eight are kept.
    void remember(const QString& from_where, int count, const WriteStamp& at);

private:
    struct Known {
        QString from_where;
        int count = 0;
        WriteStamp at;
    };
    QSqlDatabase db_;
    std::unique_ptr<QSqlQuery> stamp_query_;
    std::vector<Known> known_;
};

// The record count of one recordset.
class CountTracker {
public:
    int count() const { return count_; }
    void reset();

    // Counts the records of `from_where` on `counts`' connection, or with `reuse` takes the count
    // known to be right now. False on failure, with `error` telling why.
    bool load(KnownCounts& counts, const QString& from_where, bool reuse, QString* error);
    // After the recordset changed `affected` rows, `delta` of them records of its own: the count
    // follows when nothing else changed the database since it was last right, and is taken anew
    // otherwise. True when it followed (so pages read before still hold), false when counted
    // anew. A failed count leaves `error` as it was.
    bool change(KnownCounts& counts, const QString& from_where, int affected, int delta);

private:
    int count_ = 0;
    WriteStamp counted_at_; // when `count_` was last known to be right
};

} // namespace adodb
