#include "platform/db/data_grid.h"

#include "platform/db/data_control.h"

#include <QHeaderView>
#include <QItemSelection>
#include <QScrollBar>
#include <algorithm>

namespace adodb {

namespace {

// Rows from a window's edge at which the window moves on with the view.
int edge_margin(int limit) {
    return limit / 4;
}

} // namespace

DataGrid::DataGrid(QWidget* parent) : QTableView(parent) {
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    record_bar_ = new QScrollBar(Qt::Vertical, this);
    record_bar_->setObjectName(QStringLiteral("recordScrollBar"));
    record_bar_->setFocusPolicy(Qt::NoFocus);
    record_bar_->hide();
    connect(record_bar_, &QScrollBar::valueChanged, this, &DataGrid::record_bar_moved);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &DataGrid::view_scrolled);
}

void DataGrid::setModel(QAbstractItemModel* model) {
    if (records_) disconnect(records_, nullptr, this, nullptr);
    records_ = qobject_cast<RecordsetModel*>(model);
    if (records_) {
        records_->setWindowLimit(kWindowRows);
        connect(records_, &RecordsetModel::windowChanged, this, &DataGrid::window_changed);
    }
    QTableView::setModel(model);
    window_changed();
}

bool DataGrid::windowed() const {
    return records_ && records_->isWindowed();
}

int DataGrid::visible_rows() const {
    const int row_height = std::max(1, verticalHeader()->defaultSectionSize());
    return std::max(1, viewport()->height() / row_height);
}

int DataGrid::topRecord() const {
    const int top = verticalScrollBar()->value();
    return records_ ? records_->windowOffset() + top : top;
}

void DataGrid::scrollToRecord(int record) {
    if (!windowed()) {
        executeDelayedItemsLayout();
        verticalScrollBar()->setValue(record);
        return;
    }
    record_bar_moved(std::clamp(record, 0, record_bar_->maximum()));
}

// The record count or the window changed: the view's bar follows the window, the record bar the
// count. Nothing here walks the rows.
void DataGrid::window_changed() {
    const bool on = windowed();
    if (on == record_bar_->isHidden()) {
        setVerticalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
        record_bar_->setVisible(on);
        updateGeometries();
    }
    sync_record_bar();
}

void DataGrid::updateGeometries() {
    // The margin set below resizes the viewport, which lays out again: that nested call would put
    // the view's own margins back.
    if (in_geometry_) return;
    in_geometry_ = true;
    QTableView::updateGeometries();
    if (!record_bar_->isHidden()) {
        // Room for the record bar at the right of the viewport, below the column headers.
        const QMargins m = viewportMargins();
        const int w = record_bar_->sizeHint().width();
        if (m.right() != w) setViewportMargins(m.left(), m.top(), w, m.bottom());
        const QRect vg = viewport()->geometry();
        record_bar_->setGeometry(vg.right() + 1, vg.top(), w, vg.height());
        QHeaderView* columns = horizontalHeader();
        if (!columns->isHidden())
            columns->setGeometry(vg.left(), columns->y(), vg.width(), columns->height());
    }
    in_geometry_ = false;
    sync_record_bar();
}

void DataGrid::sync_record_bar() {
    if (syncing_ || !record_bar_) return;
    syncing_ = true;
    if (windowed()) {
        const int vis = visible_rows();
        record_bar_->setRange(0, std::max(0, records_->recordCount() - vis));
        record_bar_->setPageStep(vis);
        record_bar_->setSingleStep(1);
        record_bar_->setValue(topRecord());
    } else {
        record_bar_->setRange(0, 0);
    }
    syncing_ = false;
}

// The record bar moved: scroll inside the window, or move the window first when the records to
// show are outside it.
void DataGrid::record_bar_moved(int value) {
    if (syncing_ || !windowed()) return;
    executeDelayedItemsLayout();
    const int vis = visible_rows();
    const int limit = records_->windowLimit();
    const int offset = records_->windowOffset();
    if (value < offset || value + vis > offset + limit) move_window(value - (limit - vis) / 2);
    syncing_ = true;
    verticalScrollBar()->setValue(value - records_->windowOffset());
    syncing_ = false;
    sync_record_bar();
}

// The view scrolled itself (wheel, keys, scrollTo): the record bar follows, and the window moves
// on soon after when the view nears its edge, so that scrolling never stops inside the records.
void DataGrid::view_scrolled() {
    if (syncing_) return;
    sync_record_bar();
    if (!windowed() || recentre_pending_) return;
    const int top = verticalScrollBar()->value();
    const int limit = records_->windowLimit();
    const int margin = edge_margin(limit);
    const int offset = records_->windowOffset();
    const bool near_top = top < margin && offset > 0;
    const bool near_end = top + visible_rows() > limit - margin && offset + limit < records_->recordCount();
    if (!near_top && !near_end) return;
    // Not now: the view may be in the middle of moving its current index.
    recentre_pending_ = true;
    QMetaObject::invokeMethod(this, &DataGrid::recentre, Qt::QueuedConnection);
}

void DataGrid::recentre() {
    recentre_pending_ = false;
    if (!windowed()) return;
    const int top = topRecord();
    move_window(top - (records_->windowLimit() - visible_rows()) / 2);
    syncing_ = true;
    verticalScrollBar()->setValue(top - records_->windowOffset());
    syncing_ = false;
    sync_record_bar();
}

// Moves the window to the offset (clamped by the model), carrying the current index and the
// selection to the rows that now hold their records.
void DataGrid::move_window(int offset) {
    const int before = records_->windowOffset();
    const QModelIndex current = currentIndex();
    const QItemSelection selected = selectionModel() ? selectionModel()->selection() : QItemSelection();
    syncing_ = true;
    records_->setWindowOffset(offset);
    syncing_ = false;
    const int shift = before - records_->windowOffset();
    if (shift == 0 || !selectionModel()) return;
    const int last = records_->rowCount() - 1;
    QItemSelection moved;
    for (const QItemSelectionRange& r : selected) {
        const int top = std::max(0, r.top() + shift);
        const int bottom = std::min(last, r.bottom() + shift);
        if (top <= bottom) moved.select(records_->index(top, r.left()), records_->index(bottom, r.right()));
    }
    const int row = current.isValid() ? current.row() + shift : -1;
    const QModelIndex now = row >= 0 && row <= last ? records_->index(row, current.column()) : QModelIndex();
    selectionModel()->setCurrentIndex(now, QItemSelectionModel::NoUpdate);
    selectionModel()->select(moved, QItemSelectionModel::ClearAndSelect);
    // Longer record numbers in the vertical header.
    updateGeometries();
}

// Ctrl+Home and Ctrl+End go to the first and last record, not to the ends of the window.
QModelIndex DataGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    if (windowed() && (modifiers & Qt::ControlModifier) &&
        (cursorAction == MoveHome || cursorAction == MoveEnd)) {
        const bool home = cursorAction == MoveHome;
        scrollToRecord(home ? 0 : records_->recordCount());
        return records_->index(home ? 0 : records_->rowCount() - 1, home ? 0 : records_->columnCount() - 1);
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

} // namespace adodb
