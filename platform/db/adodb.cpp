#include "platform/db/adodb.h"

#include "platform/db/count_tracker.h"
#include "platform/db/jet_sql.h"
#include "platform/db/keyed_query.h"
#include "platform/db/page_cache.h"
#include "platform/db/sql_error.h"
#include "platform/db/statement_cache.h"
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
#include <fcntl.h>
#include <optional>
#include <unistd.h>

namespace adodb {
namespace {

std::atomic<int> next_connection_id{1};
int g_busy_timeout_ms = 3000;

QString no_current_record() {
    return QStringLiteral("Either BOF or EOF is True, or the current record has been deleted.");
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
bool open_sqlite(const QString& name, const QString& path, Access access, DbError* error,
                 bool* busy = nullptr) {
    const QFileInfo fi(path);
    if (path.isEmpty() || !fi.isFile()) {
        *error = QStringLiteral("Could not find file '%1'.").arg(path);
        return false;
    }
    if (fi.size() == 0) {
        *error = DbError(QStringLiteral("The file '%1' is empty: it holds no database.").arg(path),
                         Fault::content);
        return false;
    }
    // The log or journal of every write lies beside the file.
    if (!may_write(fi.absolutePath())) {
        *error = DbError(
            QStringLiteral("The folder '%1' is write-protected. Weyvane keeps the journal of its database "
                           "beside the file and must be allowed to write in that folder.")
                .arg(fi.absolutePath()),
            Fault::disk);
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
    DbError why = ok ? DbError() : DbError(db.lastError());
    if (ok) {
        QSqlQuery q(db);
        // A file that is not a database fails here rather than at the first query. A connection
        // held alone takes the writer's lock before anything is read, and keeps it.
        ok = (!alone || (q.exec(QStringLiteral("PRAGMA locking_mode = EXCLUSIVE")) &&
                         q.exec(QStringLiteral("BEGIN EXCLUSIVE")) && q.exec(QStringLiteral("COMMIT")))) &&
             q.exec(QStringLiteral("PRAGMA synchronous = FULL")) &&
             q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        if (!ok) {
            why = DbError(q);
            if (busy) *busy = (q.lastError().nativeErrorCode().toInt() & 0xff) == 5; // SQLITE_BUSY
        }
        if (ok && !alone) choose_journal(q, fi.absoluteFilePath());
    }
    if (!ok) {
        *error = DbError(QStringLiteral("Could not open '%1': %2").arg(path, why.text.trimmed()), why.fault);
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

// ---------------------------------------------------------------------------------------------
// Connection

// The record counts this connection knows (see count_tracker.h).
struct Connection::Counts : KnownCounts {
    using KnownCounts::KnownCounts;
};

Connection::Connection() = default;

Connection::~Connection() {
    Close();
}

bool Connection::Open(const QString& conn_str, const QString&, const QString&, int) {
    Close();
    error_.clear();
    const QString name = QStringLiteral("adodb-%1").arg(next_connection_id++);
    if (!open_sqlite(name, path_from_conn_str(conn_str), Access::shared, &error_)) {
        qCWarning(lcDb).noquote() << "open failed:" << error_.text;
        return false;
    }
    name_ = name;
    counts_ = std::make_unique<Counts>(database());
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
        qCWarning(lcDb).noquote() << "Execute of" << sql << "failed:" << error_.text;
        return false;
    }
    QSqlQuery q(database());
    if (!q.exec(jet::to_sqlite(sql))) {
        error_ = DbError(q);
        qCWarning(lcDb).noquote() << "Execute of" << sql << "failed:" << error_.text;
        return false;
    }
    error_.clear();
    if (records_affected) *records_affected = std::max(0, q.numRowsAffected());
    return true;
}

// ---------------------------------------------------------------------------------------------
// Recordset

// The cursor of a recordset and how it keeps its place: the SQL comes from the keyed-query
// builder, the records read from the page cache, the count from the count tracker.
struct Recordset::Impl {
    Connection* conn = nullptr;
    QString source;
    DbError error;
    std::function<void()> on_change;

    KeyedQuery query;
    PageCache pages;
    CountTracker counter;
    StatementCache statements;

    QStringList fields; // without the hidden columns
    QVector<bool> yes_no;
    QHash<QString, int> index; // lower-case name -> column

    int pos = 0;
    bool deleted_current = false;
    std::optional<Row> detached; // current record not (yet) located by position (after Update)
    int detached_hint = -1;
    // The detached record is not among the records (added outside the source's condition, or
    // removed by another connection): it stays current, and `pos` is the record after it.
    bool adrift = false;

    enum class Mode { None, Add, Edit } mode = Mode::None;
    QHash<int, QVariant> edits;

    QSqlDatabase db() const { return conn ? conn->database() : QSqlDatabase(); }
    void changed() {
        if (on_change) on_change();
    }
    int count() const { return counter.count(); }
    int column_of(const QString& name) const {
        const auto it = index.constFind(jet::unquote_ident(name).toLower());
        return it == index.constEnd() ? -1 : it.value();
    }

    QVariant read(const QSqlQuery& q, int col) const {
        const QVariant v = q.value(query.hidden_columns() + col);
        if (v.isNull()) return QVariant();
        if (yes_no[col]) return QVariant(to_double(v) != 0);
        if (v.typeId() == QMetaType::QString && v.toString().isNull()) return QVariant(QStringLiteral(""));
        return v;
    }

    Row read_row(const QSqlQuery& q) const {
        Row r;
        const int hidden = query.hidden_columns();
        r.rowid = hidden ? q.value(0).toLongLong() : 0;
        r.nulls = hidden > 1 ? static_cast<quint32>(q.value(1).toLongLong()) : 0;
        r.values.reserve(fields.size());
        for (int c = 0; c < fields.size(); ++c)
            r.values << read(q, c);
        return r;
    }

    // Counts the records, or with `reuse` takes the count the connection knows to be right now.
    bool load_count(bool reuse) {
        QString why;
        if (counter.load(*conn->counts_, query.from_where(), reuse, &why)) return true;
        error = why;
        return false;
    }
    // See CountTracker::change: true when the count followed and the pages read still hold.
    bool count_change(int affected, int delta) {
        return counter.change(*conn->counts_, query.from_where(), affected, delta);
    }

    // Whether record `a` comes before record `b` in the source's order, as its ORDER BY sorts the
    // two; nothing when either is not in the table or the statement fails.
    std::optional<bool> sorts_before(qint64 a, qint64 b) {
        QSqlQuery* q = statements.get(db(), query.compare_sql(), &error);
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

    // Up to `limit` records next to `anchor` in the order, nearest first (see KeyedQuery::steps);
    // nothing when the order is not of plain columns or a statement fails.
    std::optional<std::vector<Row>> neighbours(const Row& anchor, bool forward, bool inclusive, int limit) {
        if (!query.keyed()) return std::nullopt;
        std::vector<Row> rows;
        for (int level = query.levels(); level >= 0 && static_cast<int>(rows.size()) < limit; --level) {
            for (const KeyedQuery::Step& step : query.steps(level, anchor.nulls, forward, inclusive)) {
                QSqlQuery* q = statements.get(db(), step.sql, &error);
                if (!q) return std::nullopt;
                for (int i = 0; i < step.anchors; ++i)
                    q->bindValue(i, anchor.rowid);
                q->bindValue(step.anchors, limit - static_cast<int>(rows.size()));
                if (!q->exec()) {
                    error = DbError(*q);
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

    std::optional<Row> neighbour(const Row& row, bool forward) {
        auto rows = neighbours(row, forward, false, 1);
        if (rows && rows->size() == 1) return std::move(rows->front());
        return std::nullopt;
    }
    PageCache::Neighbour neighbour_fn() {
        return [this](const Row& row, bool forward) { return neighbour(row, forward); };
    }

    // The page of the current record, which the cache keeps when full.
    int current_page() const { return pos >= 0 ? pos / PageCache::kPageSize : -1; }

    const std::vector<Row>* page(int p) {
        if (const auto* kept = pages.find(p)) return kept;
        constexpr int kPageSize = PageCache::kPageSize;
        const int start = p * kPageSize;
        // Next to a page in hand (scrolling on), the records are read from its edge.
        if (const int want = std::min(kPageSize, count() - start); query.keyed() && want > 0) {
            std::optional<std::vector<Row>> rows;
            const auto* prev = pages.find(p - 1);
            const auto* next = pages.find(p + 1);
            if (prev && prev->size() == static_cast<size_t>(kPageSize)) {
                rows = neighbours(prev->back(), true, false, want);
            } else if (next && !next->empty()) {
                rows = neighbours(next->front(), false, false, want);
                if (rows) std::reverse(rows->begin(), rows->end());
            }
            // Fewer than expected: the records changed under the cache; read by position.
            if (rows && static_cast<int>(rows->size()) == want)
                return &pages.keep(p, std::move(*rows), current_page());
        }
        std::vector<Row> rows;
        const bool from_end = query.updatable() && start > count() / 2;
        QSqlQuery q(db());
        q.setForwardOnly(true);
        int limit = kPageSize;
        int offset = start;
        if (from_end) {
            offset = count() - start - kPageSize;
            if (offset < 0) {
                limit += offset;
                offset = 0;
            }
        }
        q.prepare(query.page_sql(from_end));
        q.addBindValue(limit);
        q.addBindValue(offset);
        if (!q.exec()) {
            error = DbError(q);
            return nullptr;
        }
        while (q.next())
            rows.push_back(read_row(q));
        if (from_end) std::reverse(rows.begin(), rows.end());
        return &pages.keep(p, std::move(rows), current_page());
    }

    const Row* row_at(int i) {
        if (i < 0 || i >= count()) return nullptr;
        const auto* pg = page(i / PageCache::kPageSize);
        if (!pg) return nullptr;
        const size_t k = static_cast<size_t>(i % PageCache::kPageSize);
        return k < pg->size() ? &(*pg)[k] : nullptr;
    }

    const Row* current() {
        if (detached) return &*detached;
        if (deleted_current) return nullptr;
        return row_at(pos);
    }

    // Gives a detached current record its position among the records. One that is not among
    // them stays current (adrift); the record at its hint then follows it.
    void locate() {
        if (!detached || adrift) return;
        const qint64 id = detached->rowid;
        if (const Row* r = row_at(detached_hint); r && r->rowid == id) {
            detached.reset();
            pos = detached_hint;
            return;
        }
        bool in_source = !query.updatable();
        if (query.updatable()) fetch(id, &in_source);
        for (int i = 0; in_source && i < count(); ++i)
            if (const Row* r = row_at(i); r && r->rowid == id) {
                detached.reset();
                pos = i;
                return;
            }
        adrift = true;
        pos = std::clamp(detached_hint, 0, count());
    }

    // Leaves an adrift current record for the records: the one after it is next, as after a
    // delete.
    void leave_adrift() {
        if (!adrift) return;
        detached.reset();
        adrift = false;
        deleted_current = true;
    }

    // A record that an edit took out of the source's condition stays among the records.
    void keep_record(qint64 rowid) {
        query.keep(rowid);
        statements.clear();
    }

    // The record `rowid` as the source selects it; `in_source` false when the records leave it out.
    std::optional<Row> fetch(qint64 rowid, bool* in_source) {
        *in_source = false;
        std::optional<Row> row;
        if (QSqlQuery* q = statements.get(db(), query.fetch_sql(true), &error)) {
            q->bindValue(0, rowid);
            if (q->exec() && q->next()) {
                *in_source = true;
                row = read_row(*q);
            }
            q->finish();
        }
        if (row || !query.has_condition()) return row;
        if (QSqlQuery* q = statements.get(db(), query.fetch_sql(false), &error)) {
            q->bindValue(0, rowid);
            if (q->exec() && q->next()) row = read_row(*q);
            q->finish();
        }
        return row;
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
    return d->error.text;
}
Fault Recordset::fault() const {
    return d->error.fault;
}
QString Recordset::Source() const {
    return d->source;
}

bool Recordset::Open(const QString& source, Connection& conn, int, int, int) {
    Close();
    d->error.clear();
    if (!conn.IsOpen()) {
        d->error = QStringLiteral("The connection is closed.");
        qCWarning(lcDb).noquote() << "open of" << source << "failed:" << d->error.text;
        return false;
    }
    d->conn = &conn;
    d->source = source;
    const QString sql = jet::is_sql_text(source)
                            ? jet::to_sqlite(source)
                            : QStringLiteral("SELECT * FROM ") + jet::quote_ident(jet::unquote_ident(source));
    d->query.build(sql);
    d->statements.clear();
    QSqlQuery q(d->db());
    bool described = q.exec(d->query.describe_sql());
    if (!described && d->query.keyed()) {
        // An order column the table does not have: records are then read by position alone.
        d->query.drop_order_columns();
        described = q.exec(d->query.describe_sql());
    }
    if (!described) {
        d->error = DbError(q);
        d->conn = nullptr;
        qCWarning(lcDb).noquote() << "open of" << source << "failed:" << d->error.text;
        return false;
    }
    const QSqlRecord rec = q.record();
    d->fields.clear();
    d->yes_no.clear();
    d->index.clear();
    for (int i = d->query.hidden_columns(); i < rec.count(); ++i) {
        const int c = i - d->query.hidden_columns();
        d->fields << rec.fieldName(i);
        d->yes_no << (rec.field(i).metaType().id() == QMetaType::Bool);
        d->index.insert(rec.fieldName(i).toLower(), c);
    }
    q.finish();
    if (!d->load_count(true)) {
        d->conn = nullptr;
        qCWarning(lcDb).noquote() << "open of" << source << "failed:" << d->error.text;
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
    d->pages.clear();
    d->statements.clear();
    d->counter.reset();
    d->pos = 0;
    d->detached.reset();
    d->adrift = false;
    d->deleted_current = false;
    d->mode = Impl::Mode::None;
    d->edits.clear();
    d->changed();
}

bool Recordset::IsOpen() const {
    return d->conn != nullptr;
}

bool Recordset::IsEOF() const {
    return !d->detached && d->pos >= d->count();
}
bool Recordset::IsBOF() const {
    return !d->detached && (d->pos < 0 || d->count() == 0);
}
int Recordset::RecordCount() const {
    return d->count();
}

int Recordset::AbsolutePosition() const {
    d->locate();
    return d->pos;
}

void Recordset::MoveFirst() {
    if (!IsOpen() || !d->before_move()) return;
    d->detached.reset();
    d->adrift = false;
    d->deleted_current = false;
    d->pos = 0;
}

void Recordset::MoveLast() {
    if (!IsOpen() || !d->before_move()) return;
    d->detached.reset();
    d->adrift = false;
    d->deleted_current = false;
    d->pos = d->count() > 0 ? d->count() - 1 : 0;
}

void Recordset::MoveNext() {
    if (!IsOpen() || !d->before_move()) return;
    d->locate();
    d->leave_adrift();
    if (d->pos >= d->count()) {
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
    d->leave_adrift();
    if (d->pos < 0 || d->count() == 0) {
        d->error = no_current_record();
        return;
    }
    d->deleted_current = false;
    d->pos = std::min(d->pos, d->count()) - 1;
}

void Recordset::Find(const QString& criterion, int skip, int direction) {
    if (!IsOpen() || !d->before_move()) return;
    d->locate();
    d->leave_adrift();
    const jet::Criterion c = jet::parse_criterion(criterion);
    const int col = c.ok ? d->column_of(c.field) : -1;
    const bool forward = direction != adSearchBackward;
    int i = forward ? std::max(d->pos, 0) + skip : std::min(d->pos, d->count() - 1) - skip;
    if (d->deleted_current && !forward) --i;
    d->deleted_current = false;
    if (col < 0) {
        d->error = c.ok ? QStringLiteral("Item cannot be found in the collection: '%1'.").arg(c.field)
                        : QStringLiteral("The criterion '%1' is not valid.").arg(criterion);
        d->pos = forward ? d->count() : -1;
        return;
    }
    if (!c.is_text && !c.number_ok) { // a number field compared with a text that is not a number
        d->error = QStringLiteral("The criterion '%1' is not valid.").arg(criterion);
        d->pos = forward ? d->count() : -1;
        return;
    }
    for (; i >= 0 && i < d->count(); i += forward ? 1 : -1) {
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
    d->pos = forward ? d->count() : -1;
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
    // A record that cannot be read off the disk keeps the read's failure.
    DbError before = std::exchange(d->error, DbError());
    const Row* r = d->current();
    if (!r) {
        if (d->error.isEmpty()) d->error = no_current_record();
        return QVariant();
    }
    d->error = std::move(before);
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
        const DbError why = d->error;
        qCWarning(lcDb).noquote() << "Update of" << d->source
                                  << "before AddNew failed, change dropped:" << why.text;
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
    qCWarning(lcDb).noquote() << "Update of" << d->source << "failed:" << d->error.text;
    return false;
}

bool Recordset::Impl::store() {
    if (!query.updatable()) {
        error = QStringLiteral("The records of '%1' cannot be changed.").arg(source);
        return false;
    }
    QList<int> cols = edits.keys();
    std::sort(cols.begin(), cols.end());
    QSqlQuery q(db());
    qint64 rowid = 0;
    int affected = 0;
    bool member = false; // an edited record is among the records
    if (mode == Mode::Add) {
        QStringList names;
        for (int c : cols)
            names << fields[c];
        QSqlQuery* insert = statements.get(db(), query.insert_sql(names), &error);
        if (!insert) return false;
        for (int i = 0; i < cols.size(); ++i)
            insert->bindValue(i, edits.value(cols[i]));
        const bool inserted = insert->exec();
        if (!inserted) error = DbError(*insert);
        rowid = insert->lastInsertId().toLongLong();
        affected = std::max(0, insert->numRowsAffected());
        insert->finish();
        if (!inserted) return false;
    } else {
        locate();
        const Row* r = current();
        if (!r) {
            error = no_current_record();
            return false;
        }
        rowid = r->rowid;
        member = !adrift;
        if (!cols.isEmpty()) {
            QStringList names;
            for (int c : cols)
                names << fields[c];
            q.prepare(query.update_sql(names));
            for (int c : cols)
                q.addBindValue(edits.value(c));
            q.addBindValue(rowid);
            if (!q.exec()) {
                error = DbError(q);
                return false;
            }
            affected = std::max(0, q.numRowsAffected());
            if (affected == 0) {
                // Another connection removed the record: the change has nowhere to go.
                error = no_current_record();
                return false;
            }
        }
    }
    q.finish();
    const bool added = mode == Mode::Add;
    mode = Mode::None;
    edits.clear();
    error.clear();
    const int old_pos = pos;
    bool in_source = false;
    std::optional<Row> row = fetch(rowid, &in_source);
    // A record of the recordset that the edit takes out of the source's condition stays among
    // the records; one that was not among them comes in when the edit brings it into the
    // condition.
    if (member && row && !in_source) {
        keep_record(rowid);
        in_source = true;
    }
    const bool in_step = count_change(affected, in_source && (added || !member) ? 1 : 0);
    // An added record moves only the records after it; one the source leaves out moves none.
    int added_at = -1;
    if (!in_step || !added)
        pages.clear();
    else if (in_source && row)
        added_at = pages.added(
            *row, count(), [this](qint64 a, qint64 b) { return sorts_before(a, b); }, neighbour_fn());
    else if (in_source)
        pages.clear();
    if (row) {
        detached = std::move(row);
        adrift = false;
        // An added record that the source leaves out comes after the last.
        detached_hint = !added ? old_pos : !in_source ? count() : added_at >= 0 ? added_at : count() - 1;
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
    if (!d->query.updatable()) {
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
    const bool member = !d->adrift;
    QSqlQuery q(d->db());
    q.prepare(d->query.delete_sql());
    q.addBindValue(rowid);
    if (!q.exec()) {
        d->error = DbError(q);
        qCWarning(lcDb).noquote() << "Delete in" << d->source << "failed:" << d->error.text;
        return false;
    }
    const int affected = std::max(0, q.numRowsAffected());
    q.finish();
    d->error.clear();
    // The records before the deleted one keep their places; those after it move back by one.
    if (d->count_change(affected, affected > 0 && member ? -1 : 0)) {
        if (affected > 0 && member) d->pages.deleted(d->pos, rowid, d->count(), d->neighbour_fn());
    } else
        d->pages.clear();
    if (member) d->deleted_current = true;
    d->leave_adrift();
    d->changed();
    if (affected > 0) return true;
    // Another connection removed the record first.
    d->error = no_current_record();
    qCWarning(lcDb).noquote() << "Delete in" << d->source << "failed:" << d->error.text;
    return false;
}

bool Recordset::Requery() {
    if (!IsOpen()) {
        d->error = QStringLiteral("The recordset is closed.");
        return false;
    }
    CancelUpdate();
    d->pages.clear();
    d->detached.reset();
    d->adrift = false;
    d->deleted_current = false;
    d->pos = 0;
    if (d->query.keeps_records()) {
        d->query.forget_kept();
        d->statements.clear();
    }
    const bool ok = d->load_count(false);
    if (ok) d->error.clear();
    d->changed();
    return ok;
}

// ---------------------------------------------------------------------------------------------

bool CompactDatabase(const QString& src_conn_str, const QString& dst_conn_str, QString* error,
                     const std::function<bool(QString*)>& while_held, bool* in_use) {
    DbError why;
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
                    why = DbError(
                        QStringLiteral("Could not compact '%1' into '%2': %3").arg(src, dst, sql_error(q)),
                        fault_of(q.lastError()));
                // The source's log is played into the source and removed: a log beside a file is
                // played into whatever file bears that name, so none may be left for the copy.
                if (ok && while_held) {
                    ok = q.exec(QStringLiteral("PRAGMA journal_mode = DELETE")) && q.next() &&
                         q.value(0).toString() == QLatin1String("delete");
                    if (!ok)
                        why = DbError(
                            QStringLiteral("Could not end the log of '%1': %2").arg(src, sql_error(q)),
                            fault_of(q.lastError()));
                    q.finish();
                }
                // Still held: no other program can have opened the source since the copy began.
                if (ok && while_held) {
                    QString held_why;
                    ok = while_held(&held_why);
                    if (!ok) why = held_why;
                }
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
    if (!ok) qCWarning(lcDb).noquote() << "compaction failed:" << why.text;
    if (error) *error = why.text;
    if (in_use) *in_use = busy;
    return ok;
}

} // namespace adodb
