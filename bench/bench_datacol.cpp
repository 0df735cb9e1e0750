// Logging into a large datacol while its grid is shown: one stored reading plus the grid's
// refresh and count, a change of the grid's ordering, and the move to the last record.
#include "platform/db/adodb.h"
#include "platform/db/data_control.h"
#include "tests/support/temp_database.h"

#include <QApplication>
#include <QDate>
#include <QTableView>
#include <QTime>
#include <benchmark/benchmark.h>

namespace {

constexpr int kRows = 1000000;
const char* kSelect = "select ID,ScaleID,Reading,Date,Time from datacol";
const char* kOrders[] = {" order by ID,date,time", " order by Reading, date,time",
                         " order by scaleid, date,time", " order by date,time"};

testsupport::TempDatabase* big_database() {
    static testsupport::TempDatabase* db = [] {
        auto* d = new testsupport::TempDatabase;
        const QString err = d->exec(
            QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i < %1) "
                           "INSERT INTO datacol (ScaleID, Reading, Time, Date) SELECT 128 + i % 11, "
                           "printf('%d.%d', (i * 7919) % 1000, i % 10), printf('%02d:%02d:%02d', (i / 3600) "
                           "% 24, (i / 60) % 60, i % 60), "
                           "date('2020-01-01', '+' || (i / 86400) || ' days') FROM n")
                .arg(kRows));
        if (!err.isEmpty()) qFatal("%s", qPrintable(err));
        return d;
    }();
    return db;
}

// The grid as the scale screen shows it: a data control, its model and a table view.
struct Grid {
    adodb::DataControl data2;
    adodb::RecordsetModel model{&data2};
    QTableView view;
    explicit Grid(const QString& order) {
        view.setModel(&model);
        view.resize(600, 400);
        data2.setConnectionString(big_database()->conn_str);
        data2.setRecordSource(kSelect + order);
        if (!data2.Refresh()) qFatal("%s", qPrintable(data2.error()));
    }
    // What the view asks for to paint its first screen.
    void read_first_page() {
        for (int r = 0; r < 30 && r < model.rowCount(); ++r)
            for (int c = 0; c < model.columnCount(); ++c)
                benchmark::DoNotOptimize(model.data(model.index(r, c)));
    }
};

void BM_StoreReadingWithGrid(benchmark::State& state) {
    Grid grid(kOrders[state.range(0)]);
    auto* rs = grid.data2.Recordset();
    for (auto _ : state) {
        rs->AddNew();
        rs->SetValue("ScaleID", QStringLiteral("130"));
        rs->SetValue("Reading", QStringLiteral("12.5"));
        rs->SetValue("Time", QTime::currentTime());
        rs->SetValue("Date", QDate::currentDate());
        if (!rs->Update()) state.SkipWithError(qPrintable(rs->error()));
        benchmark::DoNotOptimize(rs->Value("ID"));
        benchmark::DoNotOptimize(QString::number(rs->RecordCount()));
        grid.read_first_page();
    }
    state.counters["rows"] = rs->RecordCount();
}
BENCHMARK(BM_StoreReadingWithGrid)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_ChangeOrdering(benchmark::State& state) {
    Grid grid(kOrders[0]);
    int k = 0;
    for (auto _ : state) {
        k = (k + 1) % 4;
        grid.data2.setRecordSource(kSelect + QString(kOrders[k]));
        if (!grid.data2.Refresh()) state.SkipWithError(qPrintable(grid.data2.error()));
        grid.read_first_page();
    }
}
BENCHMARK(BM_ChangeOrdering)->Unit(benchmark::kMillisecond);

void BM_MoveLast(benchmark::State& state) {
    Grid grid(kOrders[state.range(0)]);
    auto* rs = grid.data2.Recordset();
    for (auto _ : state) {
        rs->Requery();
        rs->MoveLast();
        benchmark::DoNotOptimize(rs->Value("ID"));
    }
}
BENCHMARK(BM_MoveLast)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    big_database();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
