// The scale screen's "Data Collection" panel over many collected readings: one reading saved
// with "Save Current" or by a collection timer, with the grid and its count caption updated, for
// each sort option; and a change of the sort option until the grid has drawn its first page.
//
// Run plainly (as `make bench` does), it prints three figures:
//   save_current_10m_over_1m  "Save Current" with the count and the grid drawn, at 10,000,000
//                             readings over the same at 1,000,000, for the worst sort option
//                             (medians, both measured in turns in the same run)
//   sort_switch_10m_ms        changing the sort option at 10,000,000 readings until the grid has
//                             drawn its first page, for the slowest option (median, ms)
//   save_current_10m_scrolled_ms  "Save Current" with the count and the grid drawn at 10,000,000
//                             readings, the grid scrolled to the middle, for the worst sort
//                             option (median, ms)
// With --benchmark_* arguments it runs the Google Benchmark cases below at 1,000,000 readings.
#include "bench/bench_support.h"
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/db/data_control.h"
#include "platform/db/data_grid.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalBlocker>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstring>

namespace {

constexpr int kRows = 1000000;
constexpr int kManyRows = 10000000;
const char* const kSelect = "select ID,ScaleID,Reading,Date,Time from datacol";

QRadioButton* sort_option(form1& f, int k) {
    QRadioButton* options[] = {f.opt_ID, f.opt_grp, f.opt_desc, f.opt_datetime};
    return options[k];
}

// A screen as its start-up leaves it, with the panel shown and one scale listed.
form1& set_up(form1& s) {
    s.datawindow->setVisible(true);
    s.DataGrid1->resize(520, 176);
    s.Combo1->addItem("Bay 1");
    s.Combo1->setCurrentIndex(0);
    links.scale_addr[0] = 130;
    links.scale_name[0] = "Bay 1";
    links.scale_reading[0] = "  1250.5 kg G";
    return s;
}

form1& screen() {
    static form1* f = &set_up(Form1());
    return *f;
}

// A second screen object, on the other database, so that saves at both sizes can be taken in
// turns.
form1& second_screen() {
    static form1* f = &set_up(*new form1());
    return *f;
}

// Points a screen's data control at a database file, as the screen's start-up does.
void use_database(const QString& path, form1& f = screen()) {
    core.conn_str = core.conn_str_a = benchsupport::conn_str_of(path);
    f.data2->setConnectionString(core.conn_str_a);
    f.data2->setRecordSource(kSelect);
    if (!f.data2->Refresh()) qFatal("%s", qPrintable(f.data2->error()));
}

// Selects a sort option and sorts, as a click on the option does.
void sort_by(int k, form1& f = screen()) {
    QRadioButton* o = sort_option(f, k);
    {
        const QSignalBlocker quiet(o);
        o->setChecked(true);
    }
    f.sortdatacol();
}

// Draws the grid as it stands, which reads the rows on screen.
void draw_grid(form1& f = screen()) {
    benchmark::DoNotOptimize(f.DataGrid1->grab());
}

// The whole step as the user waits for it; the counters split it into the store (with the count
// caption) and the grid's drawing.
void BM_SaveCurrent(benchmark::State& state) {
    form1& f = screen();
    use_database(benchsupport::datacol_database(kRows));
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
    use_database(benchsupport::datacol_database(kRows));
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
    use_database(benchsupport::datacol_database(kRows));
    sort_by(0);
    for (auto _ : state)
        draw_grid();
}
BENCHMARK(BM_DrawGrid)->Unit(benchmark::kMillisecond);

void BM_ChangeSortOption(benchmark::State& state) {
    use_database(benchsupport::datacol_database(kRows));
    int k = 0;
    for (auto _ : state) {
        k = (k + 1) % 4;
        sort_by(k);
        draw_grid();
    }
}
BENCHMARK(BM_ChangeSortOption)->Unit(benchmark::kMillisecond);

// Milliseconds of one "Save Current" with the grid drawn after it.
double save_current_ms(form1& f) {
    QElapsedTimer t;
    t.start();
    f.btn_LogData_Click();
    draw_grid(f);
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

void check_caption(form1& f) {
    const int count = f.data2->Recordset()->RecordCount();
    if (!f.Label20->text().endsWith(QString::number(count) + " Readings"))
        qFatal("count caption not updated");
}

void print_figures() {
    const QString small = benchsupport::datacol_database(kRows);
    const QString large = benchsupport::datacol_database(kManyRows);
    const char* names[] = {"ID", "Weight", "Scale ID", "Dat/Time"};
    form1& at_small = screen();
    form1& at_large = second_screen();
    use_database(small, at_small);
    use_database(large, at_large);

    // Save by save in turns, so that both sizes meet the same disk and the same load of the
    // machine; the first saves are not counted (the pages they touch are then in memory, as on a
    // screen that has been logging).
    double worst = 0;
    for (int k = 0; k < 4; ++k) {
        std::vector<double> a, b;
        for (form1* f : {&at_small, &at_large}) {
            sort_by(k, *f);
            draw_grid(*f);
            for (int i = 0; i < 5; ++i)
                save_current_ms(*f);
        }
        for (int i = 0; i < 200; ++i) {
            if (i % 2) {
                a.push_back(save_current_ms(at_small));
                b.push_back(save_current_ms(at_large));
            } else {
                b.push_back(save_current_ms(at_large));
                a.push_back(save_current_ms(at_small));
            }
        }
        check_caption(at_small);
        check_caption(at_large);
        const double ms_small = benchsupport::median(a), ms_large = benchsupport::median(b);
        std::fprintf(stderr, "Save Current, %s: %.3f ms at 1M, %.3f ms at 10M\n", names[k], ms_small,
                     ms_large);
        worst = std::max(worst, ms_large / ms_small);
    }
    benchsupport::figure("save_current_10m_over_1m", worst);

    std::vector<std::vector<double>> switches(4);
    for (int round = 0; round < 5; ++round)
        for (int k = 0; k < 4; ++k) {
            const int to = (k + 1) % 4;
            QElapsedTimer t;
            t.start();
            sort_by(to, at_large);
            draw_grid(at_large);
            switches[to].push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
    double slowest = 0;
    for (int k = 0; k < 4; ++k) {
        std::fprintf(stderr, "sort switch to %s at 10M: %.1f ms\n", names[k],
                     benchsupport::median(switches[k]));
        slowest = std::max(slowest, benchsupport::median(switches[k]));
    }
    benchsupport::figure("sort_switch_10m_ms", slowest);

    // The same save with the grid scrolled to the middle of the records, where a new reading lands
    // before the rows shown in some orders; the first saves are not counted, as above.
    double worst_scrolled = 0;
    for (int k = 0; k < 4; ++k) {
        sort_by(k, at_large);
        at_large.DataGrid1->scrollToRecord(at_large.data2->Recordset()->RecordCount() / 2);
        draw_grid(at_large);
        for (int i = 0; i < 5; ++i)
            save_current_ms(at_large);
        std::vector<double> mid;
        for (int i = 0; i < 50; ++i)
            mid.push_back(save_current_ms(at_large));
        check_caption(at_large);
        std::fprintf(stderr, "Save Current, %s, grid scrolled to the middle: %.3f ms at 10M\n", names[k],
                     benchsupport::median(mid));
        worst_scrolled = std::max(worst_scrolled, benchsupport::median(mid));
    }
    benchsupport::figure("save_current_10m_scrolled_ms", worst_scrolled);

    // For reading the figures: scrolling on from the middle by a screen's worth of rows at a time,
    // each step drawn; new pages are read next to the ones before them.
    for (int k = 0; k < 4; ++k) {
        sort_by(k, at_large);
        adodb::DataGrid* grid = at_large.DataGrid1;
        grid->scrollToRecord(at_large.data2->Recordset()->RecordCount() / 2);
        draw_grid(at_large);
        std::vector<double> steps;
        for (int i = 0; i < 100; ++i) {
            QElapsedTimer t;
            t.start();
            grid->scrollToRecord(grid->topRecord() + 60);
            draw_grid(at_large);
            steps.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
        }
        std::fprintf(stderr,
                     "scrolling on from the middle, %s: %.3f ms per screen (median), %.3f ms at most\n",
                     names[k], benchsupport::median(steps), *std::max_element(steps.begin(), steps.end()));
    }
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
    ui::UiRecorder user; // no message box may wait for a click
    ui::set_backend(&user);
    if (wants_benchmark_cases(argc, argv)) {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    } else {
        print_figures();
    }
    ui::set_backend(nullptr);
    if (!user.boxes.isEmpty()) {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(user.boxes.first().text));
        return 1;
    }
    return 0;
}
