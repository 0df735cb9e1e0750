// The data control's grid over many records: the model holds a bounded window, the record bar
// spans every record, and scrolling by bar, keys, wheel or code always shows the right records.
#include "platform/db/data_control.h"
#include "platform/db/data_grid.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QWheelEvent>
#include <memory>

using adodb::DataGrid;
using adodb::RecordsetModel;
using testsupport::TempDatabase;

namespace {

constexpr int kLimit = DataGrid::kWindowRows;

// A database with `rows` readings numbered from 1, a data control on them in ID order and a grid
// shown at the size of the scale screen's.
struct Fixture {
    TempDatabase db;
    adodb::DataControl control;
    DataGrid grid;
    RecordsetModel* model = nullptr;
    QString error;

    explicit Fixture(int rows) {
        error = db.exec(
            QStringLiteral("DELETE FROM datacol; DELETE FROM sqlite_sequence WHERE name = 'datacol'"));
        if (error.isEmpty() && rows > 0)
            error =
                db.exec(QStringLiteral(
                            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < %1) "
                            "INSERT INTO datacol (ID, ScaleID, Reading, Time, Date) SELECT i, 128 + i % 11, "
                            "printf('%d.0', i), '10:00:00', '2024-01-01' FROM n")
                            .arg(rows));
        control.setConnectionString(db.conn_str);
        control.setRecordSource(
            QStringLiteral("select ID,ScaleID,Reading,Date,Time from datacol order by ID"));
        if (error.isEmpty() && !control.Refresh()) error = control.error();
        model = new RecordsetModel(&control, &grid);
        grid.setModel(model);
        grid.resize(520, 176);
        grid.show();
    }

    bool ready() { return error.isEmpty() && QTest::qWaitForWindowExposed(&grid); }

    // The ID shown in the given view row.
    int id_in_row(int row) const { return model->index(row, 0).data().toInt(); }
    // The lowest and highest rows with a record on screen.
    int first_visible_row() const { return grid.rowAt(0); }
    int last_visible_row() const {
        const int h = grid.verticalHeader()->defaultSectionSize();
        for (int y = grid.viewport()->height() - 1; y >= 0; y -= h / 2)
            if (grid.rowAt(y) >= 0) return grid.rowAt(y);
        return -1;
    }
    // Rows wholly on screen.
    int whole_rows() const {
        int n = 0;
        for (int r = first_visible_row(); r >= 0 && r < model->rowCount(); ++r)
            if (grid.rowViewportPosition(r) + grid.rowHeight(r) <= grid.viewport()->height())
                ++n;
            else
                break;
        return n;
    }
    // The record bar and the view's scroll position agree, and the top row on screen is the
    // record at that position (or, at the end, the one above it, partly shown).
    bool consistent() const {
        const int top = first_visible_row();
        const int id = top >= 0 ? id_in_row(top) : -1;
        const int at = grid.topRecord();
        return top >= 0 && model->windowOffset() + grid.verticalScrollBar()->value() == at &&
               (id == at + 1 || (id == at && top + whole_rows() == model->rowCount())) &&
               (grid.recordScrollBar()->isHidden() || grid.recordScrollBar()->value() == at);
    }

    void add_reading() {
        adodb::Recordset* rs = control.Recordset();
        rs->AddNew();
        rs->SetValue(QStringLiteral("ScaleID"), 130);
        rs->SetValue(QStringLiteral("Reading"), QStringLiteral("1.5"));
        rs->SetValue(QStringLiteral("Date"), QStringLiteral("2024-01-02"));
        rs->SetValue(QStringLiteral("Time"), QStringLiteral("11:00:00"));
        if (!rs->Update()) error = rs->error();
    }
};

void key(DataGrid& grid, Qt::Key k, Qt::KeyboardModifiers m = Qt::NoModifier) {
    QTest::keyClick(&grid, k, m);
    QCoreApplication::processEvents();
}

void wheel(DataGrid& grid, int notches) {
    const QPointF at(grid.viewport()->width() / 2.0, grid.viewport()->height() / 2.0);
    QWheelEvent e(at, grid.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120 * notches), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(grid.viewport(), &e);
    QCoreApplication::processEvents();
}

} // namespace

class TestDataGrid : public QObject {
    Q_OBJECT
private slots:
    void bounded_rows_data();
    void bounded_rows();
    void ends_data();
    void ends();
    void scrolling_moves_window_data();
    void scrolling_moves_window();
    void count_follows_changes_data();
    void count_follows_changes();
};

void TestDataGrid::bounded_rows_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("add");
    for (const int n : {0, 12, kLimit - 1, kLimit, kLimit + 1, 20000}) {
        QTest::addRow("%d records", n) << n << false;
        QTest::addRow("%d records and one added", n) << n << true;
    }
}

// Up to the limit every record is a row and the view's own bar scrolls; above it the model holds
// the limit and the record bar spans every record, also after a record is added.
void TestDataGrid::bounded_rows() {
    QFETCH(int, records);
    QFETCH(bool, add);
    Fixture f(records);
    QVERIFY2(f.ready(), qPrintable(f.error));
    if (add) {
        f.add_reading();
        QVERIFY2(f.error.isEmpty(), qPrintable(f.error));
        ++records;
    }
    QCOMPARE(f.model->recordCount(), records);
    QCOMPARE(f.model->rowCount(), std::min(records, kLimit));
    const bool windowed = records > kLimit;
    QCOMPARE(f.grid.recordScrollBar()->isHidden(), !windowed);
    QCOMPARE(f.grid.verticalScrollBarPolicy(), windowed ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    if (windowed) {
        QCOMPARE(f.grid.recordScrollBar()->maximum(), records - f.whole_rows());
        // The record bar sits beside the viewport, not over it.
        QVERIFY(f.grid.recordScrollBar()->geometry().left() > f.grid.viewport()->geometry().right());
    }
    if (records > 0) {
        QCOMPARE(f.id_in_row(0), 1);
        QCOMPARE(f.model->headerData(0, Qt::Vertical).toInt(), 1);
    }
}

void TestDataGrid::ends_data() {
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("how");
    for (const int n : {12, 20000}) {
        for (const char* how : {"bar", "ctrl keys", "code"})
            QTest::addRow("%d records, %s", n, how) << n << QString::fromLatin1(how);
    }
}

// Scrolled to the end, the last row on screen is the last record; back at the top, the first.
void TestDataGrid::ends() {
    QFETCH(int, records);
    QFETCH(QString, how);
    Fixture f(records);
    QVERIFY2(f.ready(), qPrintable(f.error));
    f.grid.setFocus();
    f.grid.setCurrentIndex(f.model->index(0, 0));
    for (const bool to_end : {true, false, true}) {
        if (how == "bar") {
            QScrollBar* bar =
                f.grid.recordScrollBar()->isHidden() ? f.grid.verticalScrollBar() : f.grid.recordScrollBar();
            bar->setValue(to_end ? bar->maximum() : bar->minimum());
        } else if (how == "ctrl keys") {
            key(f.grid, to_end ? Qt::Key_End : Qt::Key_Home, Qt::ControlModifier);
        } else {
            f.grid.scrollToRecord(to_end ? records : 0);
        }
        QCoreApplication::processEvents();
        QVERIFY(f.consistent());
        if (to_end) {
            QCOMPARE(f.id_in_row(f.last_visible_row()), records);
            QCOMPARE(f.model->headerData(f.last_visible_row(), Qt::Vertical).toInt(), records);
        } else {
            QCOMPARE(f.id_in_row(f.first_visible_row()), 1);
        }
        if (how == "ctrl keys") QCOMPARE(f.id_in_row(f.grid.currentIndex().row()), to_end ? records : 1);
    }
    // A record added at the end shows when scrolled to the end again.
    f.add_reading();
    QVERIFY2(f.error.isEmpty(), qPrintable(f.error));
    f.grid.scrollToRecord(records + 1);
    QCoreApplication::processEvents();
    QCOMPARE(f.id_in_row(f.last_visible_row()), records + 1);
}

void TestDataGrid::scrolling_moves_window_data() {
    QTest::addColumn<QString>("how");
    for (const char* how : {"page down", "arrow down", "wheel", "scrollTo", "bar into next window"})
        QTest::newRow(how) << QString::fromLatin1(how);
}

// Scrolling by the view itself past the middle of the window moves the window on; the rows on
// screen, the record bar, the current record and the selected record stay in step.
void TestDataGrid::scrolling_moves_window() {
    QFETCH(QString, how);
    Fixture f(20000);
    QVERIFY2(f.ready(), qPrintable(f.error));
    f.grid.setFocus();
    // Near the window's end, with a record selected in the last row on screen.
    f.grid.scrollToRecord(kLimit - 1200);
    QCoreApplication::processEvents();
    QCOMPARE(f.model->windowOffset(), 0);
    QVERIFY(f.consistent());
    const int row = f.last_visible_row();
    f.grid.selectionModel()->setCurrentIndex(f.model->index(row, 0),
                                             QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const int chosen = f.id_in_row(row);
    for (int step = 0; step < 200 && f.model->windowOffset() == 0; ++step) {
        if (how == "page down")
            key(f.grid, Qt::Key_PageDown);
        else if (how == "arrow down")
            key(f.grid, Qt::Key_Down);
        else if (how == "wheel")
            wheel(f.grid, 1);
        else if (how == "scrollTo")
            f.grid.scrollTo(f.model->index(kLimit - 1, 0));
        else
            f.grid.recordScrollBar()->setValue(kLimit);
        QCoreApplication::processEvents();
        QVERIFY(f.consistent());
    }
    QVERIFY(f.model->windowOffset() > 0);
    QVERIFY(f.consistent());
    if (how == "page down" || how == "arrow down") {
        QCOMPARE(f.id_in_row(f.grid.currentIndex().row()),
                 f.model->windowOffset() + f.grid.currentIndex().row() + 1);
        QVERIFY(f.id_in_row(f.grid.currentIndex().row()) > chosen);
    } else {
        // The current and selected record are the ones chosen before the window moved.
        QCOMPARE(f.id_in_row(f.grid.currentIndex().row()), chosen);
        const QModelIndexList selected = f.grid.selectionModel()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(f.id_in_row(selected.first().row()), chosen);
    }
    // And back up by the view's own scrolling to the first record.
    f.grid.scrollToRecord(300);
    QCoreApplication::processEvents();
    f.grid.setCurrentIndex(f.model->index(f.first_visible_row(), 0));
    for (int step = 0; step < 200 && f.grid.topRecord() > 0; ++step)
        key(f.grid, Qt::Key_PageUp);
    QVERIFY(f.consistent());
    QCOMPARE(f.id_in_row(f.first_visible_row()), 1);
}

void TestDataGrid::count_follows_changes_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("own adds") << QStringList{"add", "add", "add"};
    QTest::newRow("own deletes, down to fewer than the window") << QStringList{"delete", "delete", "delete"};
    QTest::newRow("another connection adds, then an own add") << QStringList{"other add", "add"};
    QTest::newRow("another connection deletes, then an own delete") << QStringList{"other delete", "delete"};
    QTest::newRow("another connection adds, then the order changes") << QStringList{"other add", "sort"};
    QTest::newRow("own adds and deletes across order changes")
        << QStringList{"add", "sort", "delete", "sort", "add", "sort"};
    QTest::newRow("another connection adds between own adds")
        << QStringList{"add", "other add", "add", "sort"};
    QTest::newRow("scrolled to the middle, own adds and deletes") << QStringList{
        "scroll", "add", "delete shown", "delete", "add", "sort", "scroll", "add", "delete shown"};
    QTest::newRow("scrolled to the middle, another connection adds")
        << QStringList{"scroll", "other add", "add"};
    // With the grid scrolled to the middle, in each order (ties broken by the record's place):
    // records added with the sort keys of a record before, among and after the rows shown, Null
    // keys, and deletes before and among the rows shown.
    for (const char* order : {"ID,date,time", "Reading, date,time", "scaleid, date,time", "date,time",
                              "ScaleID DESC, Reading, date DESC, time"}) {
        const QString sort = QStringLiteral("sort by ") + order;
        QTest::addRow("%s: adds around the rows shown", order)
            << QStringList{sort,           "scroll",       "add like -300", "add like 2", "add like 12",
                           "add like 700", "scroll down",  "add like -5",   "scroll up",  "scroll up",
                           "add like 1",   "add like 260", "scroll down"};
        QTest::addRow("%s: Null keys and deletes", order)
            << QStringList{sort,         "scroll",        "add null",    "delete before", "delete shown",
                           "add like 3", "scroll down",   "add null",    "delete shown",  "delete",
                           "scroll up",  "delete before", "add like -1", "other add",     "add like 4"};
        // Pages whose edge records have Null keys, some Null in every key, at the start (ascending)
        // and the end (descending).
        QTest::addRow("%s: many Null keys", order) << QStringList{sort,
                                                                  "other nulls",
                                                                  sort,
                                                                  "scroll to 400",
                                                                  "scroll up",
                                                                  "scroll down",
                                                                  "add null",
                                                                  "scroll to -400",
                                                                  "scroll down",
                                                                  "scroll up",
                                                                  "add like 2",
                                                                  "delete shown",
                                                                  "scroll to -150",
                                                                  "add null",
                                                                  "scroll up"};
    }
}

// The count, the window and the record bar follow the records added and deleted through the
// control, and catch up with another connection's changes at the next change or new order.
void TestDataGrid::count_follows_changes() {
    QFETCH(QStringList, steps);
    Fixture f(kLimit + 1);
    QVERIFY2(f.ready(), qPrintable(f.error));
    adodb::Recordset* rs = f.control.Recordset();
    bool by_reading = false;
    QString order = "ID";
    int checks = 0;
    for (const QString& step : steps) {
        if (step == "add") {
            f.add_reading();
        } else if (step.startsWith("add like ")) {
            // A record with the sort keys of the record that many rows from the top row shown.
            const int at = f.grid.topRecord() + step.mid(9).toInt();
            const QList<QVariantList> like = f.db.rows(
                QString("SELECT ScaleID, Reading, Date, Time FROM datacol ORDER BY %1 LIMIT 1 OFFSET %2")
                    .arg(order)
                    .arg(at));
            QVERIFY2(like.size() == 1, qPrintable(step));
            rs->AddNew();
            for (int c = 0; c < 4; ++c)
                rs->SetValue(QStringList{"ScaleID", "Reading", "Date", "Time"}[c], like[0][c]);
            if (!rs->Update()) f.error = rs->error();
        } else if (step == "add null") {
            rs->AddNew();
            for (const char* field : {"ScaleID", "Reading", "Date", "Time"})
                rs->SetValue(field, QVariant());
            if (!rs->Update()) f.error = rs->error();
        } else if (step == "delete before") {
            // A record well before the rows shown.
            rs->MoveFirst();
            for (int i = 0; i < f.grid.topRecord() - 150; ++i)
                rs->MoveNext();
            if (!rs->Delete()) f.error = rs->error();
        } else if (step == "other nulls") {
            f.error = f.db.exec("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < 450) "
                                "INSERT INTO datacol (ScaleID, Reading, Date, Time) SELECT NULL, NULL, "
                                "CASE WHEN i % 3 THEN '2024-01-0' || (i % 5) END, CASE WHEN i % 2 THEN "
                                "'10:00:0' || (i % 7) END "
                                "FROM n");
        } else if (step.startsWith("scroll to ")) {
            const int at = step.mid(10).toInt();
            f.grid.scrollToRecord(at >= 0 ? at : f.model->recordCount() + at);
        } else if (step == "scroll down" || step == "scroll up") {
            f.grid.scrollToRecord(f.grid.topRecord() + (step == "scroll down" ? 250 : -250));
        } else if (step.startsWith("sort by ")) {
            order = step.mid(8) + ", rowid";
            f.control.setRecordSource(
                QStringLiteral("select ID,ScaleID,Reading,Date,Time from datacol order by ") + step.mid(8));
            if (!f.control.Refresh()) f.error = f.control.error();
        } else if (step == "delete") {
            rs->MoveLast();
            if (!rs->Delete()) f.error = rs->error();
        } else if (step == "other add") {
            f.error =
                f.db.exec("INSERT INTO datacol (ScaleID, Reading) VALUES ('131', '2.0'), ('132', '3.0')");
        } else if (step == "other delete") {
            f.error = f.db.exec(
                "DELETE FROM datacol WHERE ID IN (SELECT ID FROM datacol ORDER BY ID DESC LIMIT 3)");
        } else if (step == "delete shown") {
            // The record in the second row on screen.
            rs->MoveFirst();
            for (int i = 0; i <= f.grid.topRecord(); ++i)
                rs->MoveNext();
            if (!rs->Delete()) f.error = rs->error();
        } else if (step == "scroll") {
            f.grid.scrollToRecord(f.model->recordCount() / 2);
        } else if (step == "sort") {
            by_reading = !by_reading;
            f.control.setRecordSource(
                QStringLiteral("select ID,ScaleID,Reading,Date,Time from datacol order by ") +
                (by_reading ? "Reading, date,time" : "ID"));
            if (!f.control.Refresh()) f.error = f.control.error();
            order = by_reading ? "Reading, date, time, rowid" : "ID";
        }
        QVERIFY2(f.error.isEmpty(), qPrintable(step + ": " + f.error));
        if (step.startsWith("other")) continue;
        QCoreApplication::processEvents();
        const int records = f.db.scalar("SELECT COUNT(*) FROM datacol").toInt();
        QCOMPARE(rs->RecordCount(), records);
        QCOMPARE(f.model->recordCount(), records);
        QCOMPARE(f.model->rowCount(), std::min(records, kLimit));
        QCOMPARE(f.grid.recordScrollBar()->isHidden(), records <= kLimit);
        if (records > kLimit) QCOMPARE(f.grid.recordScrollBar()->maximum(), records - f.whole_rows());
        // The rows on screen are the records the database has at their places.
        for (int row = f.first_visible_row(); row >= 0 && row <= f.last_visible_row(); ++row)
            QCOMPARE(f.id_in_row(row),
                     f.db.scalar(QString("SELECT ID FROM datacol ORDER BY %1 LIMIT 1 OFFSET %2")
                                     .arg(order)
                                     .arg(f.model->windowOffset() + row))
                         .toInt());
        // And so are the records a few pages either side of them, read upwards and downwards in
        // turns.
        const int from = std::max(0, f.grid.topRecord() - 450);
        const QList<QVariantList> ids = f.db.rows(
            QString("SELECT ID FROM datacol ORDER BY %1 LIMIT 1000 OFFSET %2").arg(order).arg(from));
        const bool upwards = ++checks % 2 == 0;
        for (int k = 0; k < ids.size(); ++k) {
            const int i = upwards ? static_cast<int>(ids.size()) - 1 - k : k;
            QCOMPARE(rs->ValueAt(from + i, 0).toInt(), ids[i][0].toInt());
        }
    }
}

WEYVANE_TEST_MAIN(TestDataGrid)
#include "test_data_grid.moc"
