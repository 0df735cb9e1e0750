// The scale screen's "Data Collection" panel over a million collected readings: one reading saved
// with "Save Current" or by a collection timer, with the grid and its count caption updated, for
// each sort option; and a change of the sort option until the grid has drawn its first page.
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/db/data_control.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"
#include "tests/support/temp_database.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalBlocker>
#include <algorithm>
#include <benchmark/benchmark.h>

namespace {

constexpr int kRows = 1000000;

testsupport::TempDatabase* big_database() {
    static testsupport::TempDatabase* db = [] {
        auto* d = new testsupport::TempDatabase;
        const QString err = d->exec(
            QStringLiteral(
                "DELETE FROM datacol; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n "
                "WHERE i < %1) INSERT INTO datacol (ScaleID, Reading, Time, Date) SELECT 128 + i % 11, "
                "printf('%d.%d', (i * 7919) % 1000, i % 10), printf('%02d:%02d:%02d', (i / 3600) "
                "% 24, (i / 60) % 60, i % 60), "
                "date('2020-01-01', '+' || (i / 86400) || ' days') FROM n")
                .arg(kRows));
        if (!err.isEmpty()) qFatal("%s", qPrintable(err));
        return d;
    }();
    return db;
}

QRadioButton* sort_option(int k) {
    form1& f = Form1();
    QRadioButton* options[] = {f.opt_ID, f.opt_grp, f.opt_desc, f.opt_datetime};
    return options[k];
}

// The screen as its start-up leaves it, with the panel shown and one scale listed.
form1& screen() {
    static form1* f = [] {
        form1& s = Form1();
        core.conn_str = core.conn_str_a = big_database()->conn_str;
        s.data2->setConnectionString(core.conn_str_a);
        s.data2->setRecordSource("select ID,ScaleID,Reading,Date,Time from datacol");
        if (!s.data2->Refresh()) qFatal("%s", qPrintable(s.data2->error()));
        s.datawindow->setVisible(true);
        s.DataGrid1->resize(520, 176);
        s.Combo1->addItem("Bay 1");
        s.Combo1->setCurrentIndex(0);
        links.scale_addr[0] = 130;
        links.scale_name[0] = "Bay 1";
        links.scale_reading[0] = "  1250.5 kg G";
        return &s;
    }();
    return *f;
}

// Selects a sort option and sorts, as a click on the option does.
void sort_by(int k) {
    QRadioButton* o = sort_option(k);
    {
        const QSignalBlocker quiet(o);
        o->setChecked(true);
    }
    screen().sortdatacol();
}

// Draws the grid as it stands, which reads the rows on screen.
void draw_grid() {
    benchmark::DoNotOptimize(screen().DataGrid1->grab());
}

// The whole step as the user waits for it; the counters split it into the store (with the count
// caption) and the grid's drawing.
void BM_SaveCurrent(benchmark::State& state) {
    form1& f = screen();
    sort_by(static_cast<int>(state.range(0)));
    draw_grid();
    QElapsedTimer t;
    double store_ns = 0, draw_ns = 0;
    for (auto _ : state) {
        t.start();
        f.btn_LogData_Click();
        store_ns += t.nsecsElapsed();
        t.start();
        draw_grid();
        draw_ns += t.nsecsElapsed();
    }
    const double n = std::max<double>(1, state.iterations());
    state.counters["store_ms"] = store_ns / n / 1e6;
    state.counters["draw_ms"] = draw_ns / n / 1e6;
    state.counters["rows"] = f.data2->Recordset()->RecordCount();
    if (!f.Label20->text().endsWith(QString::number(f.data2->Recordset()->RecordCount()) + " Readings"))
        state.SkipWithError("count caption not updated");
}
BENCHMARK(BM_SaveCurrent)->DenseRange(0, 3)->ArgName("sort")->Unit(benchmark::kMillisecond);

void BM_CollectionTimerTick(benchmark::State& state) {
    form1& f = screen();
    sort_by(static_cast<int>(state.range(0)));
    draw_grid();
    for (auto _ : state) {
        f.Timer5_Timer(0);
        draw_grid();
    }
}
BENCHMARK(BM_CollectionTimerTick)->DenseRange(0, 3)->ArgName("sort")->Unit(benchmark::kMillisecond);

// The drawing alone, for reading the figures above.
void BM_DrawGrid(benchmark::State& state) {
    screen();
    sort_by(0);
    for (auto _ : state)
        draw_grid();
}
BENCHMARK(BM_DrawGrid)->Unit(benchmark::kMillisecond);

void BM_ChangeSortOption(benchmark::State& state) {
    screen();
    int k = 0;
    for (auto _ : state) {
        k = (k + 1) % 4;
        sort_by(k);
        draw_grid();
    }
}
BENCHMARK(BM_ChangeSortOption)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ui::UiRecorder user; // no message box may wait for a click
    ui::set_backend(&user);
    benchmark::Initialize(&argc, argv);
    screen();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ui::set_backend(nullptr);
    if (!user.boxes.isEmpty()) {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(user.boxes.first().text));
        return 1;
    }
    return 0;
}
