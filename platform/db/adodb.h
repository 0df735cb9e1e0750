#pragma once
// ADO-like access to the program's database files (SQLite through Qt SQL).
//
// Connection strings keep the form the program builds:
//   "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + folder + "\zqdata.mdb"
// The path is what follows "Data Source="; a "\" before the file name is a path separator.
// A missing file is an error: no database is ever created.
//
// SQL texts are written in Jet's dialect and translated in one place (platform/db/jet_sql.h).
// Table and field names match without regard to case; text compares and sorts without regard
// to case. Criterion values are bound or compared as data, never pasted into SQL.
//
// Values:
//   - Null is QVariant() (invalid); the empty text is an empty QString. A QString assigned to a
//     field is always text (a null QString stores the empty text); assign QVariant() for Null.
//   - A yes/no field reads as a bool; read through Int16 it gives -1 (yes) and 0 (no). Assigning
//     true / false, or a number (non-zero is yes), stores 1 / 0.
//   - A QTime assigned to a field is stored as the text "HH:MM:SS", a QDate as "YYYY-MM-DD", a
//     QDateTime as "YYYY-MM-DD HH:MM:SS"; they read back as that text. So "order by date,time"
//     sorts chronologically and a grid shows them as a date and a time.
//
// Records are read lazily, a page at a time: MoveLast reads only the last page, and a recordset on
// a million rows opens as fast as on ten. RecordCount is counted once and then kept in step with
// the records added and deleted through the recordset; it is counted again on Requery, and when
// SQLite reports that another connection (or an Execute) has changed the database since. A
// recordset opened on the same records in another order takes the count its connection already
// knows. A record added or deleted through the recordset keeps the pages read: those before it
// stay, the others move by one record, which is taken from the page next to them or read next to
// their edge. While the order is of plain columns, a page next to one already read is read from
// that page's edge through the order's index, so that scrolling and storing cost the same
// anywhere in a large table; only a page far from any read before is read by its position.
//
// Each Update is its own transaction, on disk when it returns: the database keeps a write-ahead log
// (zqdata.mdb-wal, zqdata.mdb-shm beside the file) with synchronous=FULL, so that a store costs one
// flush and a reader never blocks the writer. Other programs, such as the sqlite3 command, open
// the file as usual. On a network file system, where the log's shared memory cannot work, the
// file keeps a rollback journal. A database locked by another connection makes a write fail with
// an error text after the busy timeout (3 s by default).
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/db/sql_error.h"

namespace adodb {

enum CursorType { adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum LockType { adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3 };
enum SearchDirection { adSearchBackward = -1, adSearchForward = 1 };

// The file path that a connection string names ("\" taken as "/").
QString path_from_conn_str(const QString& conn_str);

// True when this program may write the file or folder at `path`, with the rights it runs with.
bool may_write(const QString& path);

// How long a write waits for a lock held by another connection before it fails (milliseconds);
// applies to connections opened afterwards.
void set_busy_timeout_ms(int ms);
int busy_timeout_ms();

// Conversions as the program's whole-number and floating reads make them: null or a text that
// is not a number gives ok = false; yes/no gives -1 / 0; halves round to the even neighbour;
// a value outside -32768..32767 gives ok = false.
int16_t to_int16(const QVariant& v, bool* ok = nullptr);
double to_double(const QVariant& v, bool* ok = nullptr);

class Recordset;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Opens the database file the connection string names; a missing file is an error (the
    // program never creates a database). False on failure, with error() telling why.
    bool Open(const QString& conn_str, const QString& user = QString(), const QString& password = QString(),
              int options = -1);
    // Closes the connection and every recordset still open on it.
    void Close();
    bool IsOpen() const;
    // Runs one SQL text as written by the program (translated where SQLite needs it).
    bool Execute(const QString& sql, int* records_affected = nullptr);
    QString error() const { return error_.text; }
    // What the last failure tells of the database file (sql_error.h).
    Fault fault() const { return error_.fault; }
    QSqlDatabase database() const;

    struct Counts;

private:
    friend class Recordset;
    QString name_;
    DbError error_;
    std::vector<Recordset*> recordsets_;
    std::unique_ptr<Counts> counts_; // record counts known on this connection, see adodb.cpp
};

class Recordset {
public:
    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Source is a table name or an SQL text. False on failure, with error() telling why.
    bool Open(const QString& source, Connection& conn, int cursor_type = adOpenDynamic,
              int lock_type = adLockPessimistic, int options = -1);
    void Close();
    bool IsOpen() const;

    bool IsEOF() const;
    bool IsBOF() const;
    int RecordCount() const;
    // Position of the current record, 0-based; -1 before the first, RecordCount() after the last.
    int AbsolutePosition() const;
    // A pending AddNew or edit is stored first, as ADO does when the record changes.
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    // Criterion forms: "field=" number, "field='" text "'" (text compared without regard to case).
    // Searches from the current record after skipping `skip` records; EOF (or BOF backwards)
    // when nothing matches.
    void Find(const QString& criterion, int skip = 0, int direction = adSearchForward);

    QStringList FieldNames() const;
    int FieldCount() const;
    bool HasField(const QString& name) const;
    // Value of a field of the current record; null for a missing field or no current record.
    QVariant Value(const QString& field) const;
    // Field read as a 16-bit whole number (yes/no gives -1 / 0).
    int16_t Int16(const QString& field, bool* ok = nullptr) const;
    // Value of column `column` of record `row` (0-based) without moving the current record; for
    // grids. Null outside the records.
    QVariant ValueAt(int row, int column) const;
    // True when column `column` is a yes/no field.
    bool IsYesNo(int column) const;

    // Starts a new record; assignments go into it until Update.
    void AddNew();
    // Assigns a field of the new record or of the current one.
    void SetValue(const QString& field, const QVariant& value);
    // Stores the new or changed record; it is on disk when this returns. After an AddNew the
    // record stays current and its automatic ID is readable through Value("ID").
    bool Update();
    void CancelUpdate();
    // True between AddNew (or a field assignment on the current record) and Update.
    bool IsEditing() const;
    // Deletes the current record; MoveNext then goes to the record that followed it.
    bool Delete();
    // Reads the records again from the database, keeping the source; moves to the first record.
    bool Requery();

    QString error() const;
    // What the last failure tells of the database file (sql_error.h).
    Fault fault() const;
    QString Source() const;

    // Called after the records have changed through this recordset (open, close, requery, update,
    // delete); data controls pass it on to their grids.
    void set_on_change(std::function<void()> on_change);

    struct Impl;

private:
    friend class Connection;
    std::unique_ptr<Impl> d;
};

// Compacts one database file into another (both named by connection strings), at the speed of
// SQLite's VACUUM INTO; records still in the source's write-ahead log are part of the copy. The
// destination must not exist; on failure nothing is left at the destination.
// The source is held for the compaction alone, by SQLite's locks, which other programs respect:
// a source that another connection or program has open is not compacted (`in_use` is set), and
// none can open it until the compaction ends. `while_held`, when given, runs once the copy is
// complete, while the source is still held and its log has been played into it and removed: the
// copy can take the source's place there. Its false (with the reason) fails the compaction.
bool CompactDatabase(const QString& src_conn_str, const QString& dst_conn_str, QString* error = nullptr,
                     const std::function<bool(QString*)>& while_held = {}, bool* in_use = nullptr);

} // namespace adodb
