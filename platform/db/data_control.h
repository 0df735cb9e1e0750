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
class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(DataControl* control, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    void records_changed();
    QPointer<DataControl> control_;
    QStringList columns_;
    int rows_ = 0;
    QString source_;
};

} // namespace adodb
