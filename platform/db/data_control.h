#pragma once
// The data control of a form and the table model of its grid.
//
// DataControl holds a connection string and a record source (a table name or an SQL text);
// Refresh opens them (again) and Recordset() gives the open recordset, through which the form
// adds and reads records. recordsChanged() follows every change made through that recordset,
// so a bound RecordsetModel (and its QTableView) stays current without reading every row:
// the model asks the recordset for the rows the view shows.
#include "platform/db/adodb.h"

#include <QAbstractTableModel>
#include <QObject>
#include <QPointer>

namespace adodb {

class DataControl : public QObject {
    Q_OBJECT
public:
    explicit DataControl(QObject* parent = nullptr);
    ~DataControl() override;

    QString ConnectionString() const { return connection_string_; }
    void setConnectionString(const QString& conn_str);
    QString RecordSource() const { return record_source_; }
    void setRecordSource(const QString& source);
    int CursorType = adOpenDynamic;
    int LockType = adLockPessimistic;

    // Opens the record source on the connection string (again). False on failure, with error()
    // telling why; the recordset is then closed.
    bool Refresh();
    // The control's recordset; closed until a Refresh succeeds. Never null.
    adodb::Recordset* Recordset() { return &recordset_; }
    const adodb::Recordset* Recordset() const { return &recordset_; }
    QString error() const { return error_; }

signals:
    // The records of the recordset changed (refresh, new source, added, changed or deleted record).
    void recordsChanged();

private:
    QString connection_string_;
    QString record_source_;
    QString open_conn_str_;
    QString error_;
    Connection connection_;
    adodb::Recordset recordset_;
};

// Read-only table model of a data control's recordset: one row per record, one column per field,
// field names as column headers. Yes/no fields show as "True" / "False".
//
// With a window limit set and more records than the limit, the model shows only `limit` records
// starting at the window offset (row r is record offset + r; the vertical header numbers the
// records), so that a view never holds more than a bounded number of rows; a DataGrid moves the
// window as the user scrolls. Without a limit (the default) every record is a row.
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(DataControl* control, QObject* parent = nullptr);

    // The records of the recordset, shown or not.
    int recordCount() const { return records_; }
    // Largest number of rows shown; 0 for no limit.
    int windowLimit() const { return limit_; }
    void setWindowLimit(int limit);
    // Position in the recordset of row 0; 0 unless the records exceed the limit.
    int windowOffset() const { return offset_; }
    // Moves the window (clamped so that it stays full); the shown rows repaint.
    void setWindowOffset(int offset);
    bool isWindowed() const { return limit_ > 0 && records_ > limit_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // The record count or the window offset changed.
    void windowChanged();

private:
    void records_changed();
    int clamped_offset(int offset) const;
    QPointer<DataControl> control_;
    QStringList columns_;
    int records_ = 0;
    int rows_ = 0; // rows shown: all records, or the limit when windowed
    int offset_ = 0;
    int limit_ = 0;
    QString source_;
};

} // namespace adodb
