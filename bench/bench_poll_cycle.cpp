// The network poll cycle as the user feels it, on the real clock:
// - BM_Usb485CyclePerScale: the work the program adds per scale to a "USB485" cycle, with the
//   network delay at 0 and the simulated adapter answering at once (per_scale = time per scale).
// - BM_LastByteToDisplay: from the moment the last byte of a reply is queued at the adapter to
//   the reading written into the network list (the large display is written just before it).
// - BM_CpuWhilePolling: processor use of the whole program while the timers poll a network of
//   10 simulated scales at the default poll time (.33 s) and network delay (.01 s), with the
//   scales answering (0) or all silent (1), over 3 s of wall time (cpu_percent).
// - BM_InputDuringSilentCycle: a key typed into a text box every 97 ms while the timers poll a
//   "USB485" network of 11 silent scales (a cycle of about 2.9 s): the time from the key's arrival
//   to the text box showing it (latency_median_ms, latency_max_ms).
// After the cases it prints, for `make bench`, "figure poll_cycle_per_scale_us" (the first case's
// time per scale) and "figure cpu_polling_silent_percent" (the last case with the scales silent) and
// "figure input_latency_silent_network_max_ms".
#include "app/module_state.h"
#include "core/core_state.h"
#include "links/ftdi_adapter.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/ftdi/ftdi.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"
#include "tests/sim/scale_responder.h"
#include "tests/sim/sim_ftdi.h"

#include "bench/bench_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The figures, as the cases measured them; negative until measured.
double g_per_scale_us = -1;
double g_cpu_silent_percent = -1;
double g_input_max_ms = -1;

ui::UiRecorder* recorder() {
    static ui::UiRecorder rec;
    return &rec;
}

// The screen with `n` scales (addresses 130..) in network operation, no collection boxes ticked.
form1& network_screen(int n, const QString& poll_time) {
    form1& f = Form1();
    if (f.Loaded()) f.Unload();
    f.Load();
    reset_module_state();
    ui::set_backend(recorder());
    core.comm_type = "USB485";
    core.scale_screen_active = true; // the start-up has run
    links.scale_count = static_cast<int16_t>(n);
    for (int i = 0; i < n; ++i) {
        links.scale_addr[i] = 130 + i;
        links.scale_name[i] = QStringLiteral("Scale %1").arg(i);
        f.netlist_set_row(i, links.scale_name[i], QString());
    }
    f.txt_polltime->setText(poll_time);
    return f;
}

struct SimNetwork {
    std::shared_ptr<sim::Responder> net = std::make_shared<sim::Responder>(sim::Responder::Link::network);
    sim::SimFtdi usb;
    explicit SimNetwork(int n) {
        for (int i = 0; i < n; ++i)
            net->add(130 + i).reading = " 1234.5 kg";
        usb.add("ADAPTER1", "USB-RS485 Adapter", net);
        usb.install();
        usb_open();
        if (links.usb_handle == 0) qFatal("adapter not opened");
    }
    ~SimNetwork() { usb_close_all(); }
};

void BM_Usb485CyclePerScale(benchmark::State& state) {
    constexpr int kScales = 10;
    form1& f = network_screen(kScales, ".33");
    SimNetwork sim(kScales);
    core.net_del_time = 0;
    f.Timer1[0]->setEnabled(true);
    QElapsedTimer t;
    t.start();
    for (auto _ : state) {
        f.Timer1[static_cast<size_t>(links.timer1_index)]->fire();
        sim.usb.device(0).writes.clear();
    }
    const double per_scale_us =
        static_cast<double>(t.nsecsElapsed()) / 1e3 /
        static_cast<double>(std::max<benchmark::IterationCount>(1, state.iterations())) / kScales;
    if (links.usb485_timeouts != 0)
        state.SkipWithError("a scale timed out");
    else
        g_per_scale_us = per_scale_us;
    state.counters["per_scale"] = benchmark::Counter(kScales, benchmark::Counter::kIsIterationInvariantRate |
                                                                  benchmark::Counter::kInvert);
}
BENCHMARK(BM_Usb485CyclePerScale)->Unit(benchmark::kMicrosecond);

// An adapter whose reply is all there except its last byte, which arrives at a set moment.
class TimedReply : public ftdi::Device {
public:
    QByteArray head;
    char last = '\r';
    Clock::time_point ready_at;
    bool given_last = false;

    uint32_t queued() override {
        return static_cast<uint32_t>(head.size()) + (!given_last && Clock::now() >= ready_at ? 1 : 0);
    }
    QByteArray take(uint32_t max) override {
        QByteArray got = head.left(static_cast<qsizetype>(max));
        head.remove(0, got.size());
        if (got.size() < static_cast<qsizetype>(max) && !given_last && Clock::now() >= ready_at) {
            got += last;
            given_last = true;
        }
        return got;
    }
    bool write(const QByteArray&) override { return true; }
    void wait_slice() override { wclock::pause_slice(); }
    bool gone() override { return false; }
    ftdi::FT_STATUS set_baud_rate(uint32_t) override { return ftdi::FT_OK; }
    ftdi::FT_STATUS set_data_characteristics(uint8_t, uint8_t, uint8_t) override { return ftdi::FT_OK; }
    ftdi::FT_STATUS set_flow_control(uint16_t, uint8_t, uint8_t) override { return ftdi::FT_OK; }
    ftdi::FT_STATUS set_reset_pipe_retry_count(uint32_t) override { return ftdi::FT_OK; }
    ftdi::FT_STATUS purge(uint32_t) override { return ftdi::FT_OK; }
    ftdi::FT_STATUS modem_status(uint32_t* s) override {
        *s = 0;
        return ftdi::FT_OK;
    }
};

class TimedBackend : public ftdi::Backend {
public:
    TimedReply* device = nullptr;
    int device_count() override { return 1; }
    bool serial_number(int, QByteArray* out) override {
        *out = "ADAPTER1";
        return true;
    }
    bool description(int, QByteArray* out) override {
        *out = "USB-RS485 Adapter";
        return true;
    }
    std::unique_ptr<ftdi::Device> open(int, ftdi::FT_STATUS* status) override {
        auto d = std::make_unique<TimedReply>();
        device = d.get();
        *status = ftdi::FT_OK;
        return d;
    }
};

void BM_LastByteToDisplay(benchmark::State& state) {
    form1& f = network_screen(10, ".33");
    TimedBackend backend;
    ftdi::set_backend(&backend);
    usb_open();
    links.cur_scale = 5; // the scale that answers is the selected one
    Clock::time_point shown;
    const auto conn = QObject::connect(f.NetList, &QTableWidget::itemChanged,
                                       [&](QTableWidgetItem*) { shown = Clock::now(); });
    for (auto _ : state) {
        backend.device->head = QByteArray(1, static_cast<char>(135)) + " 1234.5 kg";
        backend.device->given_last = false;
        // The last byte comes while the scan is already waiting for it.
        backend.device->ready_at = Clock::now() + std::chrono::milliseconds(5);
        f.netlist_set_row(5, links.scale_name[5], QString()); // so that the reading changes the row
        f.Screen->clear();
        shown = {};
        f.USB485_inputscan();
        if (shown == Clock::time_point{} || f.Screen->text() != " 1234.5 kg") {
            state.SkipWithError("reading not shown");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(shown - backend.device->ready_at).count());
    }
    QObject::disconnect(conn);
    usb_close_all();
    ftdi::set_backend(nullptr);
}
BENCHMARK(BM_LastByteToDisplay)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(200);

double process_cpu_seconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void BM_CpuWhilePolling(benchmark::State& state) {
    constexpr int kScales = 10;
    form1& f = network_screen(kScales, QString::number(core.net_poll_time)); // ".33" by default
    SimNetwork sim(kScales);
    sim.net->silent = state.range(0) == 1;
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const double cpu0 = process_cpu_seconds();
        const auto t0 = Clock::now();
        f.opt_network->setChecked(true);
        QEventLoop loop;
        QTimer::singleShot(3000, &loop, &QEventLoop::quit);
        loop.exec();
        for (ui::FormTimer* t : f.Timer1)
            t->setEnabled(false);
        f.opt_network->setChecked(false);
        cpu += process_cpu_seconds() - cpu0;
        wall += std::chrono::duration<double>(Clock::now() - t0).count();
        sim.usb.device(0).writes.clear();
    }
    state.counters["cpu_percent"] = 100.0 * cpu / wall;
    if (sim.net->silent) g_cpu_silent_percent = 100.0 * cpu / wall;
    state.counters["timeouts"] = links.usb485_timeouts;
}
BENCHMARK(BM_CpuWhilePolling)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

void BM_InputDuringSilentCycle(benchmark::State& state) {
    constexpr int kScales = 11;
    form1& f = network_screen(kScales, ".33");
    SimNetwork sim(kScales);
    sim.net->silent = true;
    core.net_del_time = 0.01;
    QLineEdit box;
    std::vector<Clock::time_point> typed;
    std::vector<double> latency_ms;
    QObject::connect(&box, &QLineEdit::textChanged, [&](const QString& text) {
        const auto n = static_cast<size_t>(text.size());
        if (n >= 1 && n <= typed.size())
            latency_ms.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - typed[n - 1]).count());
    });
    // The keys come as the window system brings them: at any moment, also during a scan.
    QTimer keys;
    keys.setInterval(97);
    QObject::connect(&keys, &QTimer::timeout, [&] {
        typed.push_back(Clock::now());
        QCoreApplication::postEvent(&box, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a"));
    });
    for (auto _ : state) {
        f.opt_network->setChecked(true);
        keys.start();
        QEventLoop loop;
        QTimer::singleShot(6000, &loop, &QEventLoop::quit);
        loop.exec();
        keys.stop();
        for (ui::FormTimer* t : f.Timer1)
            t->setEnabled(false);
        f.opt_network->setChecked(false);
        QEventLoop drain;
        QTimer::singleShot(3500, &drain, &QEventLoop::quit);
        drain.exec();
    }
    if (latency_ms.size() != typed.size()) {
        state.SkipWithError("keys lost");
        return;
    }
    std::sort(latency_ms.begin(), latency_ms.end());
    state.counters["keys"] = static_cast<double>(latency_ms.size());
    state.counters["latency_median_ms"] = latency_ms[latency_ms.size() / 2];
    state.counters["latency_max_ms"] = latency_ms.back();
    state.counters["timeouts"] = links.usb485_timeouts;
    g_input_max_ms = latency_ms.back();
}
BENCHMARK(BM_InputDuringSilentCycle)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_per_scale_us >= 0) benchsupport::figure("poll_cycle_per_scale_us", g_per_scale_us);
    if (g_cpu_silent_percent >= 0) benchsupport::figure("cpu_polling_silent_percent", g_cpu_silent_percent);
    if (g_input_max_ms >= 0) benchsupport::figure("input_latency_silent_network_max_ms", g_input_max_ms);
    return 0;
}
