// Logging into a large datacol while its grid is shown: one stored reading plus the grid's
// refresh and count, a change of the grid's ordering, and the move to the last record.
//
// Run plainly (as `make bench` does), it prints one figure:
//   store_over_sqlite_insert  one reading stored through the database layer (AddNew, four fields,
//                             Update) over a bare SQLite insert of the same record, a prepared
//                             statement on a connection with the same journal (write-ahead log)
//                             and flush setting (synchronous=FULL); medians of turns taken on two
//                             copies of the delivered database in the same folder
// With --benchmark_* arguments it runs the Google Benchmark cases below at 1,000,000 readings.
#include "bench/bench_support.h"
#include "platform/db/adodb.h"
#include "platform/db/data_control.h"

#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QTableView>
#include <QTime>
#include <benchmark/benchmark.h>
#include <cstring>
#include <sqlite3.h>

namespace {

constexpr int kRows = 1000000;
const char* kSelect = "select ID,ScaleID,Reading,Date,Time from datacol";
const char* kOrders[] = {" order by ID,date,time", " order by Reading, date,time",
                         " order by scaleid, date,time", " order by date,time"};

QString big_database() {
    static const QString path = benchsupport::datacol_database(kRows);
    return path;
}

// The grid as the scale screen shows it: a data control, its model and a table view.
struct Grid {
    adodb::DataControl data2;
    adodb::RecordsetModel model{&data2};
    QTableView view;
    explicit Grid(const QString& order) {
        view.setModel(&model);
        view.resize(600, 400);
        data2.setConnectionString(benchsupport::conn_str_of(big_database()));
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

// The bare insert: one prepared statement, one transaction per record, as SQLite itself does it.
struct BareInsert {
    sqlite3* db = nullptr;
    sqlite3_stmt* insert = nullptr;
    explicit BareInsert(const QString& path) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) !=
                SQLITE_OK ||
            sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", nullptr, nullptr,
                         nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(
                db, "INSERT INTO datacol (ScaleID, Reading, \"Time\", \"Date\") VALUES (?, ?, ?, ?)", -1,
                &insert, nullptr) != SQLITE_OK)
            qFatal("bare insert: %s", sqlite3_errmsg(db));
    }
    ~BareInsert() {
        sqlite3_finalize(insert);
        sqlite3_close(db);
    }
    double store_ms() {
        QElapsedTimer t;
        t.start();
        const QByteArray time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toLatin1();
        const QByteArray date = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")).toLatin1();
        sqlite3_bind_text(insert, 1, "130", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, "  1250.5 kg G", -1, SQLITE_STATIC);
        sqlite3_bind_text(insert, 3, time.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, date.constData(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(insert) != SQLITE_DONE) qFatal("bare insert: %s", sqlite3_errmsg(db));
        sqlite3_reset(insert);
        return static_cast<double>(t.nsecsElapsed()) / 1e6;
    }
};

// The layer's store, on the recordset the screen's grid is bound to.
struct LayerStore {
    adodb::DataControl data2;
    explicit LayerStore(const QString& path) {
        data2.setConnectionString(benchsupport::conn_str_of(path));
        data2.setRecordSource(QString::fromLatin1(kSelect) + kOrders[0]);
        if (!data2.Refresh()) qFatal("%s", qPrintable(data2.error()));
    }
    double store_ms() {
        QElapsedTimer t;
        t.start();
        auto* rs = data2.Recordset();
        rs->AddNew();
        rs->SetValue("ScaleID", QStringLiteral("130"));
        rs->SetValue("Reading", QStringLiteral("  1250.5 kg G"));
        rs->SetValue("Time", QTime::currentTime());
        rs->SetValue("Date", QDate::currentDate());
        if (!rs->Update()) qFatal("%s", qPrintable(rs->error()));
        benchmark::DoNotOptimize(rs->Value("ID"));
        return static_cast<double>(t.nsecsElapsed()) / 1e6;
    }
};

void print_figures() {
    const QString delivered = QStringLiteral(WEYVANE_BIN_DIR) + QStringLiteral("/zqdata.mdb");
    // Two copies side by side: one connection's commits would make the other count its records.
    const QString layer_folder = benchsupport::copy_into(delivered, QStringLiteral("store-layer"));
    const QString bare_folder = benchsupport::copy_into(delivered, QStringLiteral("store-bare"));
    std::vector<double> layer, bare;
    {
        LayerStore ours(layer_folder + QStringLiteral("/zqdata.mdb"));
        BareInsert theirs(bare_folder + QStringLiteral("/zqdata.mdb"));
        for (int i = 0; i < 20; ++i) {
            ours.store_ms();
            theirs.store_ms();
        }
        for (int round = 0; round < 20; ++round) {
            for (int i = 0; i < 25; ++i)
                layer.push_back(ours.store_ms());
            for (int i = 0; i < 25; ++i)
                bare.push_back(theirs.store_ms());
        }
    }
    const double a = benchsupport::median(layer), b = benchsupport::median(bare);
    std::fprintf(stderr, "store one reading: %.3f ms through the layer, %.3f ms bare\n", a, b);
    benchsupport::figure("store_over_sqlite_insert", a / b);
    QDir(layer_folder).removeRecursively();
    QDir(bare_folder).removeRecursively();
}

bool wants_benchmark_cases(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--benchmark", 11) == 0) return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (wants_benchmark_cases(argc, argv)) {
        benchmark::Initialize(&argc, argv);
        big_database();
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    } else {
        print_figures();
    }
    return 0;
}
