#pragma once
// The grid of a data control: a QTableView that keeps the rows it holds bounded.
//
// Given a RecordsetModel, the grid sets the model's window limit. While the recordset has no more
// records than the limit, the grid is a plain QTableView over all of them. Above it, the model
// shows a window of `limit` records, the view's own vertical scroll bar is hidden and the grid's
// record bar beside the viewport spans every record: the bar, the wheel and the keys scroll the
// view inside the window, and the window moves (keeping the rows on screen and the selection)
// whenever the bar leaves it or the view nears its edge. An added or removed record only changes
// the bar's range and repaints the rows on screen.
#include <QPointer>
#include <QTableView>

class QScrollBar;

namespace adodb {

class RecordsetModel;

class DataGrid : public QTableView {
    Q_OBJECT
public:
    // Records held by the model before the grid windows them.
    static constexpr int kWindowRows = 5000;

    explicit DataGrid(QWidget* parent = nullptr);

    void setModel(QAbstractItemModel* model) override;

    // The bar over all records; shown only while the model is windowed.
    QScrollBar* recordScrollBar() const { return record_bar_; }
    // Scroll position in records: the recordset position of the top row on screen (at the end,
    // where the last record fills the bottom, of the row below a partly shown top row).
    int topRecord() const;
    // Scrolls so that the record is the top row on screen (as far as the end allows).
    void scrollToRecord(int record);

protected:
    void updateGeometries() override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    int visible_rows() const;
    bool windowed() const;
    void window_changed();
    void record_bar_moved(int value);
    void view_scrolled();
    void recentre();
    void move_window(int offset);
    void sync_record_bar();

    QPointer<RecordsetModel> records_;
    QScrollBar* record_bar_ = nullptr;
    bool syncing_ = false;
    bool recentre_pending_ = false;
    bool in_geometry_ = false;
};

} // namespace adodb
