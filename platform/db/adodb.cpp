#include "platform/db/adodb.h"

#include "platform/db/jet_sql.h"
#include "platform/log/log.h"

#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStorageInfo>
#include <QTime>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <deque>
#include <fcntl.h>
#include <map>
#include <optional>
#include <unistd.h>

namespace adodb {
namespace {

std::atomic<int> next_connection_id{1};
int g_busy_timeout_ms = 3000;

constexpr int kPageSize = 200;
constexpr size_t kMaxPages = 64;
const QString kRowid = QStringLiteral("__wv_rowid");

QString no_current_record() {
    return QStringLiteral("Either BOF or EOF is True, or the current record has been deleted.");
}

QString sql_error(const QSqlQuery& q) {
    const QString t = q.lastError().text().trimmed();
    return t.isEmpty() ? QStringLiteral("The database reported an error.") : t;
}

// The write-ahead log keeps its index in shared memory beside the file, which hosts sharing a
// network file system cannot share; there the file keeps a rollback journal.
bool on_network_file_system(const QString& path) {
    const QByteArray type = QStorageInfo(path).fileSystemType().toLower();
    for (const char* net : {"nfs", "cifs", "smb", "9p", "afs", "ncp", "fuse.sshfs", "glusterfs", "ceph"})
        if (type.startsWith(net)) return true;
    return false;
}

// The journal of a connection that writes: a write-ahead log with one flush per transaction, at
// most 32 MB left on the disk after a checkpoint. A journal that cannot be changed now (another
// program holds the file) stays as it is; the file is still safe with either.
void choose_journal(QSqlQuery& q, const QString& path) {
    const bool wal = !on_network_file_system(path);
    q.exec(wal ? QStringLiteral("PRAGMA journal_mode = WAL")
               : QStringLiteral("PRAGMA journal_mode = DELETE"));
    q.exec(QStringLiteral("PRAGMA journal_size_limit = 33554432"));
    q.finish();
}

// How a connection holds its file: shared with other connections and programs, or, for a
// compaction, for itself alone.
enum class Access { shared, alone };

// Opens the SQLite file at `path` under the connection name `name`; never creates a file, and
// never makes a database of an empty file. A file held `alone` is locked as SQLite locks a file
// for a writer, so that other programs cannot read or write it until the connection closes; a
// file that another connection or program has open then fails with `*busy` set.
bool open_sqlite(const QString& name, const QString& path, Access access, QString* error,
                 bool* busy = nullptr) {
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.isFile()) {
        *error = QStringLiteral("Could not find file '%1'.").arg(path);
        return false;
    }
    if (fi.size() == 0) {
        *error = QStringLiteral("The file '%1' is empty: it holds no database.").arg(path);
        return false;
    }
    // The log or journal of every write lies beside the file.
    if (!may_write(fi.absolutePath())) {
        *error =
            QStringLiteral("The folder '%1' is write-protected. Weyvane keeps the journal of its database "
                           "beside the file and must be allowed to write in that folder.")
                .arg(fi.absolutePath());
        return false;
    }
    const bool alone = access == Access::alone;
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    QUrl url = QUrl::fromLocalFile(fi.absoluteFilePath());
    url.setQuery(QStringLiteral("mode=rw"));
    db.setDatabaseName(url.toString(QUrl::FullyEncoded));
    // Waiting is pointless for a file that another program keeps open; a lock held for a moment
    // by a writer is still waited for.
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(alone ? 250 : g_busy_timeout_ms));
    bool ok = db.open();
    QString why = ok ? QString() : db.lastError().text();
    if (ok) {
        QSqlQuery q(db);
        // A file that is not a database fails here rather than at the first query. A connection
        // held alone takes the writer's lock before anything is read, and keeps it.
        ok = (!alone || (q.exec(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE")) &&
                         q.exec(QStringLiteral("BEGIN EXCLUSIVE")) && q.exec(QStringLiteral("COMMIT")))) &&
             q.exec(QStringLiteral("PRAGMA synchronous = FULL")) &&
             q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        if (!ok) {
            why = sql_error(q);
            if (busy) *busy = (q.lastError().nativeErrorCode().toInt() & 0xff) == 5; // SQLITE_BUSY
        }
        if (ok && !alone) choose_journal(q, fi.absoluteFilePath());
    }
    if (!ok) {
        *error = QStringLiteral("Could not open '%1': %2").arg(path, why.trimmed());
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
    return ok;
}

QString text_of(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::QTime:
        return v.toTime().toString(QStringLiteral("HH:mm:ss"));
    case QMetaType::QDate:
        return v.toDate().toString(QStringLiteral("yyyy-MM-dd"));
    case QMetaType::QDateTime:
        return v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    default:
        return v.toString();
    }
}

// The value as it is stored: dates and times as ISO text, yes/no as 1 / 0, text never Null.
QVariant storable(const QVariant& v, bool yes_no) {
    const int t = v.typeId();
    if (yes_no && t == QMetaType::QString && v.toString().isNull()) return QVariant();
    if (t == QMetaType::QString && !yes_no) return v.toString().isNull() ? QVariant(QStringLiteral("")) : v;
    if (!v.isValid() || v.isNull()) return QVariant();
    if (yes_no) {
        if (t == QMetaType::Bool) return v.toBool() ? 1 : 0;
        if (t == QMetaType::QString) {
            const QString s = v.toString().trimmed();
            if (s.compare(u"true", Qt::CaseInsensitive) == 0 || s.compare(u"yes", Qt::CaseInsensitive) == 0)
                return 1;
            if (s.compare(u"false", Qt::CaseInsensitive) == 0 || s.compare(u"no", Qt::CaseInsensitive) == 0)
                return 0;
        }
        bool ok = false;
        const double d = to_double(v, &ok);
        if (ok) return d != 0 ? 1 : 0;
        return v;
    }
    if (t == QMetaType::QTime || t == QMetaType::QDate || t == QMetaType::QDateTime) return text_of(v);
    if (t == QMetaType::Bool) return v.toBool() ? 1 : 0;
    return v;
}

} // namespace

QString path_from_conn_str(const QString& conn_str) {
    static const QString key = QStringLiteral("data source=");
    const qsizetype at = conn_str.indexOf(key, 0, Qt::CaseInsensitive);
    if (at < 0) return QString();
    QString path = conn_str.mid(at + key.size()).trimmed();
    if (path.startsWith(u'"')) {
        // A quoted value runs to its closing quote.
        const qsizetype end = path.indexOf(u'"', 1);
        path = path.mid(1, end < 0 ? -1 : end - 1);
    } else {
        // The value runs to a ";" that starts a further "name=" part, else to the end: a ";"
        // inside a folder name is part of the path.
        static const QRegularExpression next_part(QStringLiteral(";\\s*[A-Za-z][A-Za-z ]*="));
        const QRegularExpressionMatch m = next_part.match(path);
        if (m.hasMatch()) path = path.left(m.capturedStart());
        path = path.trimmed();
    }
    // The "\" before the file name separates it from the folder; other backslashes belong to
    // the folder's name.
    const qsizetype sep = path.lastIndexOf(u'\\');
    if (sep >= 0) path[sep] = u'/';
    return path;
}

bool may_write(const QString& path) {
    // The effective rights, which an open for writing meets (access() would ask for the real ones).
    return ::faccessat(AT_FDCWD, QFile::encodeName(path).constData(), W_OK, AT_EACCESS) == 0;
}

void set_busy_timeout_ms(int ms) {
    g_busy_timeout_ms = std::max(0, ms);
}
int busy_timeout_ms() {
    return g_busy_timeout_ms;
}

double to_double(const QVariant& v, bool* ok) {
    bool good = false;
    double d = 0;
    if (v.isValid() && !v.isNull()) {
        switch (v.typeId()) {
        case QMetaType::Bool:
            d = v.toBool() ? -1 : 0;
            good = true;
            break;
        case QMetaType::QString:
        case QMetaType::QByteArray: {
            const QString s = v.toString().trimmed();
            d = s.toDouble(&good);
            break;
        }
        default:
            d = v.toDouble(&good);
            break;
        }
    }
    if (good && !std::isfinite(d)) good = false;
    if (ok) *ok = good;
    return good ? d : 0;
}

int16_t to_int16(const QVariant& v, bool* ok) {
    bool good = false;
    double d = to_double(v, &good);
    if (good) {
        d = std::nearbyint(d); // default rounding mode: halves to the even neighbour
        good = d >= -32768 && d <= 32767;
    }
    if (ok) *ok = good;
    return good ? static_cast<int16_t>(d) : 0;
}

namespace {

// What a connection has seen of the database's changes: SQLite's data_version, which moves when
// another connection commits, and total_changes(), the rows this connection has changed. While
// both stand still, a record count taken earlier is still right.
struct WriteStamp {
    qint64 version = -1;
    qint64 changes = -1;
    bool valid() const { return version >= 0; }
    bool operator==(const WriteStamp&) const = default;
};

} // namespace

// The record counts a connection knows, each with the stamp at which it was right, so that a
// recordset opened again on the same records (another order) need not count them.
struct Connection::Counts {
    struct Known {
        QString from_where;
        int count = 0;
        WriteStamp at;
    };
    std::unique_ptr<QSqlQuery> stamp_query;
    std::vector<Known> known;

    WriteStamp stamp(const QSqlDatabase& db) {
        if (!stamp_query) {
            stamp_query = std::make_unique<QSqlQuery>(db);
            stamp_query->setForwardOnly(true);
            if (!stamp_query->prepare(
                    QStringLiteral("SELECT data_version, total_changes() FROM pragma_data_version"))) {
                stamp_query.reset();
                return {};
            }
        }
        WriteStamp s;
        if (stamp_query->exec() && stamp_query->next())
            s = {stamp_query->value(0).toLongLong(), stamp_query->value(1).toLongLong()};
        stamp_query->finish();
        return s;
    }

    std::optional<int> count_at(const QString& from_where, const WriteStamp& now) const {
        for (const Known& k : known)
            if (k.from_where == from_where && k.at == now) return k.count;
        return std::nullopt;
    }

    void remember(const QString& from_where, int count, const WriteStamp& at) {
        auto it = std::find_if(known.begin(), known.end(),
                               [&](const Known& k) { return k.from_where == from_where; });
        if (it != known.end()) {
            it->count = count;
            it->at = at;
            return;
        }
        if (known.size() >= 8) known.erase(known.begin());
        known.push_back({from_where, count, at});
    }
};

// ---------------------------------------------------------------------------------------------
// Connection

Connection::Connection() = default;

Connection::~Connection() {
    Close();
}

bool Connection::Open(const QString& conn_str, const QString&, const QString&, int) {
    Close();
    error_.clear();
    const QString name = QStringLiteral("adodb-%1").arg(next_connection_id++);
    if (!open_sqlite(name, path_from_conn_str(conn_str), Access::shared, &error_)) {
        qCWarning(lcDb).noquote() << "open failed:" << error_;
        return false;
    }
    name_ = name;
    counts_ = std::make_unique<Counts>();
    return true;
}

void Connection::Close() {
    while (!recordsets_.empty())
        recordsets_.back()->Close();
    counts_.reset();
    if (name_.isEmpty()) return;
    {
        QSqlDatabase db = QSqlDatabase::database(name_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(name_);
    name_.clear();
}

bool Connection::IsOpen() const {
    return !name_.isEmpty();
}

QSqlDatabase Connection::database() const {
    return name_.isEmpty() ? QSqlDatabase() : QSqlDatabase::database(name_, false);
}

bool Connection::Execute(const QString& sql, int* records_affected) {
    if (records_affected) *records_affected = 0;
    if (!IsOpen()) {
        error_ = QStringLiteral("The connection is closed.");
        qCWarning(lcDb).noquote() << "Execute of" << sql << "failed:" << error_;
        return false;
    }
    QSqlQuery q(database());
    if (!q.exec(jet::to_sqlite(sql))) {
        error_ = sql_error(q);
        qCWarning(lcDb).noquote() << "Execute of" << sql << "failed:" << error_;
        return false;
    }
    error_.clear();
    if (records_affected) *records_affected = std::max(0, q.numRowsAffected());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Recordset

namespace {
struct Row {
    qint64 rowid = 0;
    quint32 nulls = 0; // bit i set: order column i is Null in this record
    QVector<QVariant> values;
};

// A column of the source's order, before the rowid that ends it.
struct OrderColumn {
    QString column; // quoted
    bool desc = false;
};

// Whether a select list names only plain columns (or "*"), so that a name in the order is a
// column of the table and not an alias.
bool plain_select_list(const QString& columns) {
    static const QRegularExpression item(
        QStringLiteral("^\\s*(\\*|[A-Za-z_][A-Za-z0-9_]*|\"[^\"]+\"|\\[[^\\]]+\\])\\s*$"));
    for (const QString& c : columns.split(u','))
        if (!item.match(c).hasMatch()) return false;
    return true;
}
} // namespace

struct Recordset::Impl {
    Connection* conn = nullptr;
    QString source;
    mutable QString error;
    std::function<void()> on_change;

    bool updatable = false;
    // The order's columns when it is made of plain columns only; records next to a known one are
    // then read through the order's index (see neighbours).
    std::vector<OrderColumn> keys;
    bool keyset = false;
    QString table;       // quoted, when updatable
    QString select_cols; // "rowid AS __wv_rowid, <columns>" or "*"
    QString from_where;  // " FROM <table> [WHERE (...)]" or " FROM (<sql>)"
    QString where_cond;  // condition of the source, empty for none
    QString order_fwd;   // " ORDER BY ..."
    QString order_rev;   // reversed; empty when unknown

    QStringList fields; // without the rowid column
    QVector<bool> yes_no;
    QHash<QString, int> index; // lower-case name -> column
    int first_col = 0;         // 1 when the query's first column is the rowid

    int count = 0;
    WriteStamp counted_at; // when `count` was last known to be right
    int pos = 0;
    bool deleted_current = false;
    std::optional<Row> detached; // current record not (yet) located by position (after Update)
    int detached_hint = -1;

    enum class Mode { None, Add, Edit } mode = Mode::None;
    QHash<int, QVariant> edits;

    mutable std::map<int, std::vector<Row>> pages;
    mutable std::deque<int> page_order;

    QSqlDatabase db() const { return conn ? conn->database() : QSqlDatabase(); }
    void changed() {
        if (on_change) on_change();
    }
    void drop_pages() {
        pages.clear();
        page_order.clear();
    }
    int column_of(const QString& name) const {
        const auto it = index.constFind(jet::unquote_ident(name).toLower());
        return it == index.constEnd() ? -1 : it.value();
    }

    QVariant read(const QSqlQuery& q, int col) const {
        const QVariant v = q.value(first_col + col);
        if (v.isNull()) return QVariant();
        if (yes_no[col]) return QVariant(to_double(v) != 0);
        if (v.typeId() == QMetaType::QString && v.toString().isNull()) return QVariant(QStringLiteral(""));
        return v;
    }

    Row read_row(const QSqlQuery& q) const {
        Row r;
        r.rowid = first_col ? q.value(0).toLongLong() : 0;
        r.nulls = first_col > 1 ? static_cast<quint32>(q.value(1).toLongLong()) : 0;
        r.values.reserve(fields.size());
        for (int c = 0; c < fields.size(); ++c)
            r.values << read(q, c);
        return r;
    }

    WriteStamp stamp() const { return conn && conn->counts_ ? conn->counts_->stamp(db()) : WriteStamp{}; }

    // Counts the records, or with `reuse` takes the count the connection knows to be right now.
    bool load_count(bool reuse) {
        // Taken before counting: a commit by another connection while the count runs moves it.
        const WriteStamp now = stamp();
        if (reuse && now.valid()) {
            if (const auto known = conn->counts_->count_at(from_where, now)) {
                count = *known;
                counted_at = now;
                return true;
            }
        }
        QSqlQuery q(db());
        if (!q.exec(QStringLiteral("SELECT COUNT(*)") + from_where) || !q.next()) {
            error = sql_error(q);
            counted_at = {};
            return false;
        }
        count = q.value(0).toInt();
        counted_at = now;
        if (now.valid()) conn->counts_->remember(from_where, count, now);
        return true;
    }

    // After this recordset changed `affected` rows, `delta` of them records of its own: the count
    // follows when nothing else changed the database since it was last right (no commit of
    // another connection, no other change on this one), and is taken anew otherwise.
    bool count_change(int affected, int delta) {
        const WriteStamp after = stamp();
        const bool in_step = counted_at.valid() && after.valid() && after.version == counted_at.version &&
                             after.changes == counted_at.changes + affected;
        if (!in_step) {
            const QString kept = error;
            if (load_count(false)) return false;
            error = kept;
        }
        count = std::max(0, count + delta);
        if (!in_step) return false;
        counted_at = after;
        conn->counts_->remember(from_where, count, after);
        return true;
    }

    // Whether record `a` comes before record `b` in the source's order, as its ORDER BY sorts the
    // two; nothing when either is not in the table or the statement fails.
    std::optional<bool> sorts_before(qint64 a, qint64 b) {
        QSqlQuery* q =
            prepared(compare_stmt, QStringLiteral("SELECT ") + select_cols + QStringLiteral(" FROM ") +
                                       table + QStringLiteral(" WHERE rowid IN (?, ?)") + order_fwd +
                                       QStringLiteral(" LIMIT 2"));
        if (!q) return std::nullopt;
        q->bindValue(0, a);
        q->bindValue(1, b);
        std::optional<bool> before;
        if (q->exec() && q->next()) {
            const qint64 first = q->value(0).toLongLong();
            if (q->next()) before = first == a;
        }
        q->finish();
        return before;
    }

    // Up to `limit` records next to `anchor` in the order, nearest first: those after it
    // (`forward`) or before it, the anchor itself included when `inclusive`. Each step is an
    // index seek: for each column of the order, from the last (the rowid) to the first, the
    // records equal to the anchor in the columns before it and beyond it in that column. The
    // anchor's values stay in the database (a subquery on its rowid), so that SQLite makes every
    // comparison with the column's own collation and type order; Nulls come first, as ORDER BY
    // sorts them. Nothing when the order is not of plain columns or a statement fails.
    std::optional<std::vector<Row>> neighbours(const Row& anchor, bool forward, bool inclusive,
                                               int limit) const {
        if (!keyset) return std::nullopt;
        std::vector<Row> rows;
        const QString value_of_anchor = QStringLiteral(" (SELECT %1 FROM ") + table +
                                        QStringLiteral(" AS __wv_a WHERE __wv_a.rowid = ?)");
        const int n = static_cast<int>(keys.size());
        for (int level = n; level >= 0 && static_cast<int>(rows.size()) < limit; --level) {
            QString prefix;
            for (int j = 0; j < level; ++j)
                prefix += keys[j].column + QStringLiteral(" IS") + value_of_anchor.arg(keys[j].column) +
                          QStringLiteral(" AND ");
            QStringList branches;
            if (level == n) {
                branches << QStringLiteral("rowid ") + QChar(forward ? u'>' : u'<') +
                                (inclusive ? QStringLiteral("= ?") : QStringLiteral(" ?"));
            } else {
                const QString& c = keys[level].column;
                const bool up = forward != keys[level].desc; // towards greater values
                const bool null = anchor.nulls & (1u << level);
                if (up)
                    branches << (null ? c + QStringLiteral(" IS NOT NULL")
                                      : c + QStringLiteral(" >") + value_of_anchor.arg(c));
                else if (!null)
                    branches << c + QStringLiteral(" <") + value_of_anchor.arg(c)
                             << c + QStringLiteral(" IS NULL");
            }
            for (const QString& branch : branches) {
                const int params = level + (branch.endsWith(u'?') || branch.endsWith(u')') ? 1 : 0);
                const QString sql =
                    QStringLiteral("SELECT ") + select_cols + from_where +
                    (where_cond.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" AND ")) + prefix +
                    branch + (forward ? order_fwd : order_rev) + QStringLiteral(" LIMIT ?");
                std::unique_ptr<QSqlQuery>& q = keyset_stmts[sql];
                if (!q) {
                    q = std::make_unique<QSqlQuery>(db());
                    q->setForwardOnly(true);
                    if (!q->prepare(sql)) {
                        error = sql_error(*q);
                        q.reset();
                        return std::nullopt;
                    }
                }
                for (int i = 0; i < params; ++i)
                    q->bindValue(i, anchor.rowid);
                q->bindValue(params, limit - static_cast<int>(rows.size()));
                if (!q->exec()) {
                    error = sql_error(*q);
                    q->finish();
                    return std::nullopt;
                }
                while (q->next())
                    rows.push_back(read_row(*q));
                q->finish();
                if (static_cast<int>(rows.size()) >= limit) break;
            }
        }
        return rows;
    }

    // The source's order as plain columns with their directions; nothing when a term is more
    // than a column (an expression, a collation) or there are more than 32 of them.
    static std::optional<std::vector<OrderColumn>> order_columns_of(const QStringList& order_terms) {
        std::vector<OrderColumn> columns;
        for (QString t : order_terms) {
            t = t.trimmed();
            bool desc = false;
            if (t.endsWith(QLatin1String(" asc"), Qt::CaseInsensitive)) {
                t = t.chopped(4).trimmed();
            } else if (t.endsWith(QLatin1String(" desc"), Qt::CaseInsensitive)) {
                t = t.chopped(5).trimmed();
                desc = true;
            }
            const QString name = jet::unquote_ident(t);
            if (name.isEmpty()) return std::nullopt;
            for (const QChar c : name)
                if (!c.isLetterOrNumber() && c != u'_' && c != u' ') return std::nullopt;
            if (name.contains(u' ') && !(t.startsWith(u'"') || t.startsWith(u'[') || t.startsWith(u'`')))
                return std::nullopt; // COLLATE or an expression
            columns.push_back({jet::quote_ident(name), desc});
        }
        if (columns.size() > 31) return std::nullopt;
        return columns;
    }

    // Keeps a page read, forgetting the longest kept one when the cache is full.
    const std::vector<Row>* keep_page(int p, std::vector<Row> rows) const {
        if (pages.size() >= kMaxPages) {
            pages.erase(page_order.front());
            page_order.pop_front();
        }
        page_order.push_back(p);
        return &(pages[p] = std::move(rows));
    }

    void erase_page(int p) {
        page_order.erase(std::remove(page_order.begin(), page_order.end(), p), page_order.end());
        pages.erase(p);
    }

    const std::vector<Row>* page(int p) const {
        auto it = pages.find(p);
        if (it != pages.end()) return &it->second;
        const int start = p * kPageSize;
        // Next to a page in hand (scrolling on), the records are read from its edge.
        if (const int want = std::min(kPageSize, count - start); keyset && want > 0) {
            std::optional<std::vector<Row>> rows;
            const auto prev = pages.find(p - 1);
            const auto next = pages.find(p + 1);
            if (prev != pages.end() && prev->second.size() == static_cast<size_t>(kPageSize)) {
                rows = neighbours(prev->second.back(), true, false, want);
            } else if (next != pages.end() && !next->second.empty()) {
                rows = neighbours(next->second.front(), false, false, want);
                if (rows) std::reverse(rows->begin(), rows->end());
            }
            // Fewer than expected: the records changed under the cache; read by position.
            if (rows && static_cast<int>(rows->size()) == want) return keep_page(p, std::move(*rows));
        }
        std::vector<Row> rows;
        const bool from_end = !order_rev.isEmpty() && start > count / 2;
        QSqlQuery q(db());
        q.setForwardOnly(true);
        int limit = kPageSize;
        int offset = start;
        if (from_end) {
            offset = count - start - kPageSize;
            if (offset < 0) {
                limit += offset;
                offset = 0;
            }
        }
        const QString sql = QStringLiteral("SELECT ") + select_cols + from_where +
                            (from_end ? order_rev : order_fwd) + QStringLiteral(" LIMIT ? OFFSET ?");
        q.prepare(sql);
        q.addBindValue(limit);
        q.addBindValue(offset);
        if (!q.exec()) {
            error = sql_error(q);
            return nullptr;
        }
        while (q.next())
            rows.push_back(read_row(q));
        if (from_end) std::reverse(rows.begin(), rows.end());
        return keep_page(p, std::move(rows));
    }

    // After record `added` was stored and counted: every kept page holds again the records at
    // its positions. Pages whose records all come before it stay; the page it lands in takes it
    // at its place; each page after it moves on by one record, taking the one that moves in from
    // the page before when that is kept, else reading it next to its first record. Returns the
    // position of the added record when a kept page holds it, else -1.
    int pages_after_added(const Row& added) {
        std::vector<int> ps;
        for (const auto& kv : pages)
            ps.push_back(kv.first);
        // The first page whose last record comes after the added one (pages are in order).
        size_t lo = 0, hi = ps.size();
        while (lo < hi) {
            const size_t mid = (lo + hi) / 2;
            const std::vector<Row>& rows = pages[ps[mid]];
            const auto before =
                rows.empty() ? std::optional<bool>() : sorts_before(added.rowid, rows.back().rowid);
            if (!before) {
                drop_pages();
                return -1;
            }
            if (*before)
                hi = mid;
            else
                lo = mid + 1;
        }
        const int old_count = count - 1;
        int at = -1;
        if (lo > 0) {
            // After every record of a last page that is not full: it ends the records.
            std::vector<Row>& rows = pages[ps[lo - 1]];
            const int p = ps[lo - 1];
            if (rows.size() < static_cast<size_t>(kPageSize) &&
                p * kPageSize + static_cast<int>(rows.size()) == old_count) {
                at = p * kPageSize + static_cast<int>(rows.size());
                rows.push_back(added);
                return at;
            }
        }
        std::optional<Row> carry; // the record pushed out of page `carried_from`
        int carried_from = -2;
        for (size_t i = lo; i < ps.size(); ++i) {
            const int p = ps[i];
            std::vector<Row>& rows = pages[p];
            if (rows.empty()) {
                erase_page(p);
                continue;
            }
            size_t place = 0; // where the record moving in goes
            std::optional<Row> moving_in;
            if (i == lo) {
                const auto before_first = sorts_before(added.rowid, rows.front().rowid);
                if (!before_first) {
                    drop_pages();
                    return -1;
                }
                if (!*before_first) {
                    // Inside the page: after its first record, before its last.
                    size_t a = 1, b = rows.size() - 1;
                    while (a < b) {
                        const size_t mid = (a + b) / 2;
                        const auto before = sorts_before(added.rowid, rows[mid].rowid);
                        if (!before) {
                            drop_pages();
                            return -1;
                        }
                        if (*before)
                            b = mid;
                        else
                            a = mid + 1;
                    }
                    place = a;
                    moving_in = added;
                } else if (i > 0 && ps[i - 1] == p - 1) {
                    moving_in = added; // between the page before (kept as it is) and this one
                }
            } else if (carried_from == p - 1) {
                moving_in = std::move(carry);
            }
            carry.reset();
            carried_from = p;
            if (!moving_in) {
                const auto pred = neighbours(rows.front(), false, false, 1);
                if (pred && pred->size() == 1) moving_in = pred->front();
            }
            if (!moving_in) {
                erase_page(p);
                continue;
            }
            if (moving_in->rowid == added.rowid) at = p * kPageSize + static_cast<int>(place);
            rows.insert(rows.begin() + static_cast<std::ptrdiff_t>(place), std::move(*moving_in));
            if (rows.size() > static_cast<size_t>(kPageSize)) {
                carry = std::move(rows.back());
                rows.pop_back();
            }
        }
        return at;
    }

    // After record `rowid` at `position` was deleted and counted: the pages from it on move back
    // by one record, each taking the first record of the page after it when that is kept, else
    // reading the one after its last record.
    void pages_after_deleted(int position, qint64 rowid) {
        std::vector<int> ps;
        for (const auto& kv : pages)
            if ((kv.first + 1) * kPageSize > position) ps.push_back(kv.first);
        for (const int p : ps) {
            std::vector<Row>& rows = pages[p];
            const int start = p * kPageSize;
            const bool was_full = rows.size() == static_cast<size_t>(kPageSize);
            const size_t gone = position >= start ? static_cast<size_t>(position - start) : 0;
            // A page that does not hold the deleted record where it was is read again when needed.
            if (gone >= rows.size() || (position >= start && rows[gone].rowid != rowid)) {
                erase_page(p);
                continue;
            }
            rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(gone));
            bool ok = true;
            if (was_full && !rows.empty() && start + static_cast<int>(rows.size()) < count) {
                const auto next = pages.find(p + 1);
                if (next != pages.end() && !next->second.empty()) {
                    rows.push_back(next->second.front());
                } else {
                    const auto succ = neighbours(rows.back(), true, false, 1);
                    ok = succ && succ->size() == 1;
                    if (ok) rows.push_back(succ->front());
                }
            }
            if (!ok || rows.empty()) erase_page(p);
        }
    }

    const Row* row_at(int i) const {
        if (i < 0 || i >= count) return nullptr;
        const auto* pg = page(i / kPageSize);
        if (!pg) return nullptr;
        const size_t k = static_cast<size_t>(i % kPageSize);
        return k < pg->size() ? &(*pg)[k] : nullptr;
    }

    const Row* current() const {
        if (detached) return &*detached;
        if (deleted_current) return nullptr;
        return row_at(pos);
    }

    // Gives a detached current record its position among the records.
    void locate() {
        if (!detached) return;
        const qint64 id = detached->rowid;
        detached.reset();
        if (const Row* r = row_at(detached_hint); r && r->rowid == id) {
            pos = detached_hint;
            return;
        }
        for (int i = 0; i < count; ++i)
            if (const Row* r = row_at(i); r && r->rowid == id) {
                pos = i;
                return;
            }
        pos = std::clamp(detached_hint, 0, count);
    }

    // The record `rowid` as the source selects it; filtered false when the source excludes it.
    std::optional<Row> fetch(qint64 rowid, bool* in_source) {
        const QString base = QStringLiteral("SELECT ") + select_cols + QStringLiteral(" FROM ") + table +
                             QStringLiteral(" WHERE rowid = ?");
        *in_source = false;
        std::optional<Row> row;
        if (QSqlQuery* q =
                prepared(fetch_in_source,
                         where_cond.isEmpty() ? base : base + QStringLiteral(" AND (") + where_cond + u')')) {
            q->bindValue(0, rowid);
            if (q->exec() && q->next()) {
                *in_source = true;
                row = read_row(*q);
            }
            q->finish();
        }
        if (row || where_cond.isEmpty()) return row;
        if (QSqlQuery* q = prepared(fetch_any, base)) {
            q->bindValue(0, rowid);
            if (q->exec() && q->next()) row = read_row(*q);
            q->finish();
        }
        return row;
    }

    // Statements that every store runs, prepared once per recordset source.
    struct Prepared {
        QString sql;
        std::unique_ptr<QSqlQuery> query;
    };
    Prepared insert_stmt, fetch_in_source, fetch_any, compare_stmt;
    mutable std::map<QString, std::unique_ptr<QSqlQuery>> keyset_stmts; // see neighbours

    QSqlQuery* prepared(Prepared& p, const QString& sql) {
        if (!p.query || p.sql != sql) {
            p.query = std::make_unique<QSqlQuery>(db());
            p.sql = sql;
            if (!p.query->prepare(sql)) {
                error = sql_error(*p.query);
                p.query.reset();
                return nullptr;
            }
        }
        return p.query.get();
    }
    void drop_prepared() {
        for (Prepared* p : {&insert_stmt, &fetch_in_source, &fetch_any, &compare_stmt})
            p->query.reset();
        keyset_stmts.clear();
    }

    bool before_move() {
        if (mode != Mode::None) return store();
        return true;
    }

    bool store();
};

Recordset::Recordset() : d(std::make_unique<Impl>()) {}

Recordset::~Recordset() {
    d->on_change = nullptr;
    Close();
}

void Recordset::set_on_change(std::function<void()> on_change) {
    d->on_change = std::move(on_change);
}

QString Recordset::error() const {
    return d->error;
}
QString Recordset::Source() const {
    return d->source;
}

bool Recordset::Open(const QString& source, Connection& conn, int, int, int) {
    Close();
    d->error.clear();
    if (!conn.IsOpen()) {
        d->error = QStringLiteral("The connection is closed.");
        qCWarning(lcDb).noquote() << "open of" << source << "failed:" << d->error;
        return false;
    }
    d->conn = &conn;
    d->source = source;
    const QString sql = jet::is_sql_text(source)
                            ? jet::to_sqlite(source)
                            : QStringLiteral("SELECT * FROM ") + jet::quote_ident(jet::unquote_ident(source));
    const jet::SelectParts parts = jet::parse_select(sql);
    d->updatable = parts.ok;
    if (parts.ok) {
        d->table = jet::quote_ident(jet::unquote_ident(parts.table));
        const auto keys =
            plain_select_list(parts.columns) ? Impl::order_columns_of(parts.order_terms) : std::nullopt;
        d->keyset = keys.has_value();
        d->keys = keys.value_or(std::vector<OrderColumn>());
        // With an order of plain columns, a second hidden column tells which of them are Null.
        QStringList nulls;
        for (size_t i = 0; i < d->keys.size(); ++i)
            nulls << QStringLiteral("(%1 IS NULL) * %2").arg(d->keys[i].column).arg(1u << i);
        d->select_cols =
            QStringLiteral("rowid AS ") + kRowid + QStringLiteral(", ") +
            (d->keyset ? (nulls.isEmpty() ? QStringLiteral("0") : nulls.join(QStringLiteral(" + "))) +
                             QStringLiteral(" AS __wv_nulls, ")
                       : QString()) +
            parts.columns;
        d->where_cond = parts.where;
        d->from_where = QStringLiteral(" FROM ") + d->table +
                        (parts.where.isEmpty() ? QString() : QStringLiteral(" WHERE (") + parts.where + u')');
        QStringList fwd = parts.order_terms, rev;
        for (const auto& t : fwd)
            rev << jet::reversed_term(t);
        // The rowid makes the order total, so that pages read apart fit together.
        fwd << QStringLiteral("rowid");
        rev << QStringLiteral("rowid DESC");
        d->order_fwd = QStringLiteral(" ORDER BY ") + fwd.join(QStringLiteral(", "));
        d->order_rev = QStringLiteral(" ORDER BY ") + rev.join(QStringLiteral(", "));
        d->first_col = d->keyset ? 2 : 1;
    } else {
        d->keyset = false;
        d->keys.clear();
        d->table.clear();
        d->select_cols = QStringLiteral("*");
        d->where_cond.clear();
        d->from_where = QStringLiteral(" FROM (") + sql + u')';
        d->order_fwd.clear();
        d->order_rev.clear();
        d->first_col = 0;
    }
    QSqlQuery q(d->db());
    bool described =
        q.exec(QStringLiteral("SELECT ") + d->select_cols + d->from_where + QStringLiteral(" LIMIT 0"));
    if (!described && d->keyset) {
        // An order column the table does not have: records are then read by position alone.
        d->keyset = false;
        d->keys.clear();
        d->select_cols = QStringLiteral("rowid AS ") + kRowid + QStringLiteral(", ") + parts.columns;
        d->first_col = 1;
        described =
            q.exec(QStringLiteral("SELECT ") + d->select_cols + d->from_where + QStringLiteral(" LIMIT 0"));
    }
    if (!described) {
        d->error = sql_error(q);
        d->conn = nullptr;
        qCWarning(lcDb).noquote() << "open of" << source << "failed:" << d->error;
        return false;
    }
    const QSqlRecord rec = q.record();
    d->fields.clear();
    d->yes_no.clear();
    d->index.clear();
    for (int i = d->first_col; i < rec.count(); ++i) {
        const int c = i - d->first_col;
        d->fields << rec.fieldName(i);
        d->yes_no << (rec.field(i).metaType().id() == QMetaType::Bool);
        d->index.insert(rec.fieldName(i).toLower(), c);
    }
    q.finish();
    if (!d->load_count(true)) {
        d->conn = nullptr;
        qCWarning(lcDb).noquote() << "open of" << source << "failed:" << d->error;
        return false;
    }
    conn.recordsets_.push_back(this);
    d->pos = 0;
    d->changed();
    return true;
}

void Recordset::Close() {
    if (!d->conn) return;
    auto& list = d->conn->recordsets_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    d->conn = nullptr;
    d->drop_pages();
    d->drop_prepared();
    d->count = 0;
    d->counted_at = {};
    d->pos = 0;
    d->detached.reset();
    d->deleted_current = false;
    d->mode = Impl::Mode::None;
    d->edits.clear();
    d->changed();
}

bool Recordset::IsOpen() const {
    return d->conn != nullptr;
}

bool Recordset::IsEOF() const {
    return !d->detached && d->pos >= d->count;
}
bool Recordset::IsBOF() const {
    return !d->detached && (d->pos < 0 || d->count == 0);
}
int Recordset::RecordCount() const {
    return d->count;
}

int Recordset::AbsolutePosition() const {
    const_cast<Impl*>(d.get())->locate();
    return d->pos;
}

void Recordset::MoveFirst() {
    if (!IsOpen() || !d->before_move()) return;
    d->detached.reset();
    d->deleted_current = false;
    d->pos = 0;
}

void Recordset::MoveLast() {
    if (!IsOpen() || !d->before_move()) return;
    d->detached.reset();
    d->deleted_current = false;
    d->pos = d->count > 0 ? d->count - 1 : 0;
}

void Recordset::MoveNext() {
    if (!IsOpen() || !d->before_move()) return;
    d->locate();
    if (d->pos >= d->count) {
        d->error = no_current_record();
        return;
    }
    if (d->deleted_current)
        d->deleted_current = false; // the next record has moved into the deleted one's place
    else
        ++d->pos;
}

void Recordset::MovePrevious() {
    if (!IsOpen() || !d->before_move()) return;
    d->locate();
    if (d->pos < 0 || d->count == 0) {
        d->error = no_current_record();
        return;
    }
    d->deleted_current = false;
    d->pos = std::min(d->pos, d->count) - 1;
}

void Recordset::Find(const QString& criterion, int skip, int direction) {
    if (!IsOpen() || !d->before_move()) return;
    d->locate();
    const jet::Criterion c = jet::parse_criterion(criterion);
    const int col = c.ok ? d->column_of(c.field) : -1;
    const bool forward = direction != adSearchBackward;
    int i = forward ? std::max(d->pos, 0) + skip : std::min(d->pos, d->count - 1) - skip;
    if (d->deleted_current && !forward) --i;
    d->deleted_current = false;
    if (col < 0) {
        d->error = c.ok ? QStringLiteral("Item cannot be found in the collection: '%1'.").arg(c.field)
                        : QStringLiteral("The criterion '%1' is not valid.").arg(criterion);
        d->pos = forward ? d->count : -1;
        return;
    }
    if (!c.is_text && !c.number_ok) { // a number field compared with a text that is not a number
        d->error = QStringLiteral("The criterion '%1' is not valid.").arg(criterion);
        d->pos = forward ? d->count : -1;
        return;
    }
    for (; i >= 0 && i < d->count; i += forward ? 1 : -1) {
        const Row* r = d->row_at(i);
        if (!r) break;
        const QVariant& v = r->values[col];
        if (v.isNull()) continue;
        bool match = false;
        if (c.is_text) {
            match = text_of(v).compare(c.text, Qt::CaseInsensitive) == 0;
        } else {
            bool ok = false;
            const double x = to_double(v, &ok);
            match = ok && (c.yes_no ? (x != 0) == (c.number != 0) : x == c.number);
        }
        if (match) {
            d->pos = i;
            return;
        }
    }
    d->pos = forward ? d->count : -1;
}

QStringList Recordset::FieldNames() const {
    return d->fields;
}
int Recordset::FieldCount() const {
    return static_cast<int>(d->fields.size());
}
bool Recordset::HasField(const QString& name) const {
    return d->column_of(name) >= 0;
}

QVariant Recordset::Value(const QString& field) const {
    const int col = d->column_of(field);
    if (col < 0) {
        d->error = QStringLiteral("Item cannot be found in the collection: '%1'.").arg(field);
        return QVariant();
    }
    if (d->mode != Impl::Mode::None) {
        const auto it = d->edits.constFind(col);
        if (it != d->edits.constEnd()) {
            const QVariant& v = it.value();
            return d->yes_no[col] && v.isValid() ? QVariant(v.toInt() != 0) : v;
        }
        if (d->mode == Impl::Mode::Add) return QVariant();
    }
    const Row* r = d->current();
    if (!r) {
        d->error = no_current_record();
        return QVariant();
    }
    return r->values[col];
}

int16_t Recordset::Int16(const QString& field, bool* ok) const {
    return to_int16(Value(field), ok);
}

QVariant Recordset::ValueAt(int row, int column) const {
    if (column < 0 || column >= d->fields.size()) return QVariant();
    const Row* r = d->row_at(row);
    return r ? r->values[column] : QVariant();
}

bool Recordset::IsYesNo(int column) const {
    return column >= 0 && column < d->yes_no.size() && d->yes_no[column];
}

void Recordset::AddNew() {
    if (!IsOpen()) return;
    // A pending change is stored first. When that fails it is dropped (error() tells why), so
    // that the fields assigned next can only ever go into the new record, never into the
    // record the failed change was meant for.
    if (d->mode != Impl::Mode::None && !d->store()) {
        const QString why = d->error;
        qCWarning(lcDb).noquote() << "Update of" << d->source
                                  << "before AddNew failed, change dropped:" << why;
        CancelUpdate();
        d->error = why;
    }
    d->mode = Impl::Mode::Add;
    d->edits.clear();
}

void Recordset::SetValue(const QString& field, const QVariant& value) {
    if (!IsOpen()) return;
    const int col = d->column_of(field);
    if (col < 0) {
        d->error = QStringLiteral("Item cannot be found in the collection: '%1'.").arg(field);
        return;
    }
    if (d->mode == Impl::Mode::None) {
        if (!d->current()) {
            d->error = no_current_record();
            return;
        }
        d->mode = Impl::Mode::Edit;
        d->edits.clear();
    }
    d->edits.insert(col, storable(value, d->yes_no[col]));
}

bool Recordset::Update() {
    if (!IsOpen()) {
        d->error = QStringLiteral("The recordset is closed.");
        return false;
    }
    if (d->mode == Impl::Mode::None) return true;
    if (d->store()) return true;
    qCWarning(lcDb).noquote() << "Update of" << d->source << "failed:" << d->error;
    return false;
}

bool Recordset::Impl::store() {
    if (!updatable) {
        error = QStringLiteral("The records of '%1' cannot be changed.").arg(source);
        return false;
    }
    QList<int> cols = edits.keys();
    std::sort(cols.begin(), cols.end());
    QSqlQuery q(db());
    qint64 rowid = 0;
    int affected = 0;
    if (mode == Mode::Add) {
        QStringList names, marks;
        for (int c : cols) {
            names << jet::quote_ident(fields[c]);
            marks << QStringLiteral("?");
        }
        QSqlQuery* insert = prepared(
            insert_stmt, cols.isEmpty()
                             ? QStringLiteral("INSERT INTO ") + table + QStringLiteral(" DEFAULT VALUES")
                             : QStringLiteral("INSERT INTO ") + table + QStringLiteral(" (") +
                                   names.join(u',') + QStringLiteral(") VALUES (") + marks.join(u',') + u')');
        if (!insert) return false;
        for (int i = 0; i < cols.size(); ++i)
            insert->bindValue(i, edits.value(cols[i]));
        const bool inserted = insert->exec();
        if (!inserted) error = sql_error(*insert);
        rowid = insert->lastInsertId().toLongLong();
        affected = std::max(0, insert->numRowsAffected());
        insert->finish();
        if (!inserted) return false;
    } else {
        const Row* r = current();
        if (!r) {
            error = no_current_record();
            return false;
        }
        rowid = r->rowid;
        if (!cols.isEmpty()) {
            QStringList sets;
            for (int c : cols)
                sets << jet::quote_ident(fields[c]) + QStringLiteral(" = ?");
            q.prepare(QStringLiteral("UPDATE ") + table + QStringLiteral(" SET ") + sets.join(u',') +
                      QStringLiteral(" WHERE rowid = ?"));
            for (int c : cols)
                q.addBindValue(edits.value(c));
            q.addBindValue(rowid);
            if (!q.exec()) {
                error = sql_error(q);
                return false;
            }
            affected = std::max(0, q.numRowsAffected());
        }
    }
    q.finish();
    const bool added = mode == Mode::Add;
    mode = Mode::None;
    edits.clear();
    error.clear();
    if (!added) locate();
    const int old_pos = pos;
    bool in_source = false;
    std::optional<Row> row = fetch(rowid, &in_source);
    const bool in_step = count_change(affected, added && in_source ? 1 : 0);
    // An added record moves only the records after it; one the source leaves out moves none.
    int added_at = -1;
    if (!in_step || !added)
        drop_pages();
    else if (in_source && row)
        added_at = pages_after_added(*row);
    else if (in_source)
        drop_pages();
    if (row) {
        detached = std::move(row);
        detached_hint = added ? (added_at >= 0 ? added_at : count - 1) : old_pos;
        deleted_current = false;
    }
    changed();
    return true;
}

void Recordset::CancelUpdate() {
    d->mode = Impl::Mode::None;
    d->edits.clear();
}

bool Recordset::IsEditing() const {
    return d->mode != Impl::Mode::None;
}

bool Recordset::Delete() {
    if (!IsOpen()) {
        d->error = QStringLiteral("The recordset is closed.");
        return false;
    }
    if (d->mode == Impl::Mode::Add) {
        CancelUpdate();
        return true;
    }
    CancelUpdate();
    if (!d->updatable) {
        d->error = QStringLiteral("The records of '%1' cannot be changed.").arg(d->source);
        return false;
    }
    d->locate();
    const Row* r = d->current();
    if (!r) {
        d->error = no_current_record();
        return false;
    }
    const qint64 rowid = r->rowid;
    QSqlQuery q(d->db());
    q.prepare(QStringLiteral("DELETE FROM ") + d->table + QStringLiteral(" WHERE rowid = ?"));
    q.addBindValue(rowid);
    if (!q.exec()) {
        d->error = sql_error(q);
        qCWarning(lcDb).noquote() << "Delete in" << d->source << "failed:" << d->error;
        return false;
    }
    const int affected = std::max(0, q.numRowsAffected());
    q.finish();
    d->error.clear();
    // The records before the deleted one keep their places; those after it move back by one.
    if (d->count_change(affected, affected > 0 ? -1 : 0)) {
        if (affected > 0) d->pages_after_deleted(d->pos, rowid);
    } else
        d->drop_pages();
    if (affected > 0) d->deleted_current = true;
    d->changed();
    return true;
}

bool Recordset::Requery() {
    if (!IsOpen()) {
        d->error = QStringLiteral("The recordset is closed.");
        return false;
    }
    CancelUpdate();
    d->drop_pages();
    d->detached.reset();
    d->deleted_current = false;
    d->pos = 0;
    const bool ok = d->load_count(false);
    if (ok) d->error.clear();
    d->changed();
    return ok;
}

// ---------------------------------------------------------------------------------------------

bool CompactDatabase(const QString& src_conn_str, const QString& dst_conn_str, QString* error,
                     const std::function<bool(QString*)>& while_held, bool* in_use) {
    QString why;
    bool busy = false;
    const QString src = path_from_conn_str(src_conn_str);
    const QString dst = path_from_conn_str(dst_conn_str);
    bool ok = false;
    if (dst.isEmpty()) {
        why = QStringLiteral("The destination of the compaction is not named.");
    } else if (QFileInfo::exists(dst)) {
        why = QStringLiteral("Database '%1' already exists.").arg(dst);
    } else {
        const QString name = QStringLiteral("adodb-compact-%1").arg(next_connection_id++);
        if (open_sqlite(name, src, Access::alone, &why, &busy)) {
            {
                QSqlQuery q(QSqlDatabase::database(name, false));
                q.prepare(QStringLiteral("VACUUM INTO ?"));
                q.addBindValue(QFileInfo(dst).absoluteFilePath());
                ok = q.exec();
                if (!ok)
                    why = QStringLiteral("Could not compact '%1' into '%2': %3").arg(src, dst, sql_error(q));
                // The source's log is played into the source and removed: a log beside a file is
                // played into whatever file bears that name, so none may be left for the copy.
                if (ok && while_held) {
                    ok = q.exec(QStringLiteral("PRAGMA journal_mode = DELETE")) && q.next() &&
                         q.value(0).toString() == QLatin1String("delete");
                    if (!ok) why = QStringLiteral("Could not end the log of '%1': %2").arg(src, sql_error(q));
                    q.finish();
                }
                // Still held: no other program can have opened the source since the copy began.
                if (ok && while_held) ok = while_held(&why);
            }
            QSqlDatabase::database(name, false).close();
            QSqlDatabase::removeDatabase(name);
            if (!ok)
                for (const char* suffix : {"", "-journal", "-wal", "-shm"})
                    QFile::remove(dst + QLatin1String(suffix));
        } else if (busy) {
            why = QStringLiteral("The database '%1' is open in another program.").arg(src);
        }
    }
    if (!ok) qCWarning(lcDb).noquote() << "compaction failed:" << why;
    if (error) *error = why;
    if (in_use) *in_use = busy;
    return ok;
}

} // namespace adodb
