#include "platform/db/data_control.h"

namespace adodb {

DataControl::DataControl(QObject* parent) : QObject(parent) {
    recordset_.set_on_change([this] { emit recordsChanged(); });
}

DataControl::~DataControl() {
    recordset_.set_on_change(nullptr);
    recordset_.Close();
    connection_.Close();
}

void DataControl::setConnectionString(const QString& conn_str) {
    connection_string_ = conn_str;
}
void DataControl::setRecordSource(const QString& source) {
    record_source_ = source;
}

bool DataControl::Refresh() {
    error_.clear();
    if (!connection_.IsOpen() || open_conn_str_ != connection_string_) {
        recordset_.Close();
        connection_.Close();
        open_conn_str_.clear();
        if (!connection_.Open(connection_string_)) {
            error_ = connection_.error();
            return false;
        }
        open_conn_str_ = connection_string_;
    }
    if (recordset_.IsOpen() && recordset_.Source() == record_source_) {
        if (recordset_.Requery()) return true;
        error_ = recordset_.error();
        return false;
    }
    if (!recordset_.Open(record_source_, connection_, CursorType, LockType)) {
        error_ = recordset_.error();
        emit recordsChanged();
        return false;
    }
    return true;
}

RecordsetModel::RecordsetModel(DataControl* control, QObject* parent)
    : QAbstractTableModel(parent), control_(control) {
    if (control_) {
        connect(control_, &DataControl::recordsChanged, this, &RecordsetModel::records_changed);
        const auto* rs = control_->Recordset();
        if (rs->IsOpen()) {
            columns_ = rs->FieldNames();
            rows_ = rs->RecordCount();
            source_ = rs->Source();
        }
    }
}

void RecordsetModel::records_changed() {
    const auto* rs = control_ ? control_->Recordset() : nullptr;
    const bool open = rs && rs->IsOpen();
    const QStringList columns = open ? rs->FieldNames() : QStringList();
    const int rows = open ? rs->RecordCount() : 0;
    const QString source = open ? rs->Source() : QString();
    if (columns != columns_ || source != source_) {
        beginResetModel();
        columns_ = columns;
        rows_ = rows;
        source_ = source;
        endResetModel();
        return;
    }
    // Same fields: grow or shrink at the end and let the view repaint what it shows; the view
    // then asks only for the rows on screen.
    if (rows > rows_) {
        beginInsertRows(QModelIndex(), rows_, rows - 1);
        rows_ = rows;
        endInsertRows();
    } else if (rows < rows_) {
        beginRemoveRows(QModelIndex(), rows, rows_ - 1);
        rows_ = rows;
        endRemoveRows();
    }
    if (rows_ > 0 && !columns_.isEmpty())
        emit dataChanged(index(0, 0), index(rows_ - 1, static_cast<int>(columns_.size()) - 1));
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!control_ || !index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return QVariant();
    const auto* rs = control_->Recordset();
    const QVariant v = rs->ValueAt(index.row(), index.column());
    if (v.isNull()) return QVariant();
    if (rs->IsYesNo(index.column()) && role == Qt::DisplayRole)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return v;
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QVariant();
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < columns_.size() ? QVariant(columns_[section]) : QVariant();
    return section + 1;
}

} // namespace adodb
