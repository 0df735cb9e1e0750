#include "platform/db/data_control.h"

#include <algorithm>

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
            rows_ = records_ = rs->RecordCount();
            source_ = rs->Source();
        }
    }
}

int RecordsetModel::clamped_offset(int offset) const {
    if (!isWindowed()) return 0;
    return std::clamp(offset, 0, records_ - limit_);
}

void RecordsetModel::setWindowLimit(int limit) {
    limit = std::max(0, limit);
    if (limit == limit_) return;
    beginResetModel();
    limit_ = limit;
    offset_ = clamped_offset(offset_);
    rows_ = isWindowed() ? limit_ : records_;
    endResetModel();
    emit windowChanged();
}

void RecordsetModel::setWindowOffset(int offset) {
    offset = clamped_offset(offset);
    if (offset == offset_) return;
    offset_ = offset;
    // Same number of rows, other records in them.
    if (rows_ > 0) {
        if (!columns_.isEmpty())
            emit dataChanged(index(0, 0), index(rows_ - 1, static_cast<int>(columns_.size()) - 1));
        emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
    }
    emit windowChanged();
}

void RecordsetModel::records_changed() {
    const auto* rs = control_ ? control_->Recordset() : nullptr;
    const bool open = rs && rs->IsOpen();
    const QStringList columns = open ? rs->FieldNames() : QStringList();
    const int records = open ? rs->RecordCount() : 0;
    const QString source = open ? rs->Source() : QString();
    if (columns != columns_ || source != source_) {
        beginResetModel();
        columns_ = columns;
        records_ = records;
        offset_ = 0;
        rows_ = isWindowed() ? limit_ : records_;
        source_ = source;
        endResetModel();
        emit windowChanged();
        return;
    }
    // Same fields: grow or shrink at the end and let the view repaint what it shows; the view
    // then asks only for the rows on screen. A full window keeps its rows.
    const int old_offset = offset_;
    records_ = records;
    offset_ = clamped_offset(offset_);
    const int rows = isWindowed() ? limit_ : records_;
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
    if (rows_ > 0 && offset_ != old_offset) emit headerDataChanged(Qt::Vertical, 0, rows_ - 1);
    emit windowChanged();
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
    const QVariant v = rs->ValueAt(offset_ + index.row(), index.column());
    if (v.isNull()) return QVariant();
    if (rs->IsYesNo(index.column()) && role == Qt::DisplayRole)
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    return v;
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QVariant();
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < columns_.size() ? QVariant(columns_[section]) : QVariant();
    return offset_ + section + 1;
}

} // namespace adodb
