#pragma once
// ADO-like access to the program's database files (SQLite through Qt SQL).
//
// Connection strings keep the form the program builds:
//   "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + folder + "\zqdata.mdb"
// The path is what follows "Data Source="; a "\" before the file name is a path separator.
// Table and field names match without regard to case. Criterion values are bound, never pasted
// into SQL. A yes/no field read as a 16-bit number gives -1 (yes) and 0 (no).
#include <QObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>

namespace adodb {

enum CursorType { adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum LockType { adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3 };
enum SearchDirection { adSearchBackward = -1, adSearchForward = 1 };

// The file path that a connection string names.
QString path_from_conn_str(const QString& conn_str);

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
    void Close();
    bool IsOpen() const;
    // Runs one SQL text as written by the program (translated where SQLite needs it).
    bool Execute(const QString& sql, int* records_affected = nullptr);
    QString error() const { return error_; }
    QSqlDatabase database() const;

private:
    QString name_;
    QString error_;
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
    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    // Criterion forms: "field=" number, "field='" text "'". Searches from the current record
    // after skipping `skip` records; EOF (or BOF backwards) when nothing matches.
    void Find(const QString& criterion, int skip = 0, int direction = adSearchForward);

    QStringList FieldNames() const;
    bool HasField(const QString& name) const;
    // Value of a field of the current record; null for a missing field or no current record.
    QVariant Value(const QString& field) const;
    // Field read as a 16-bit whole number (yes/no gives -1 / 0).
    int16_t Int16(const QString& field, bool* ok = nullptr) const;

    void AddNew();
    void SetValue(const QString& field, const QVariant& value);
    // Stores the new or changed record; it is on disk when this returns. After an AddNew the
    // record stays current and its automatic ID is readable through Value("ID").
    bool Update();
    void CancelUpdate();
    bool Delete();
    // Reads the records again from the database, keeping the source.
    bool Requery();

    QString error() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

// Compacts one database file into another (both named by connection strings). The destination
// must not exist; on failure nothing is left at the destination.
bool CompactDatabase(const QString& src_conn_str, const QString& dst_conn_str, QString* error = nullptr);

} // namespace adodb
