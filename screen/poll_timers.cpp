// Poll timers and operating modes of the scale screen: the network poll cycle on the ten
// elements of Timer1 (one armed at a time, each arming the next), the single-scale scan (Timer2)
// and poll (Timer4), the switching between single-scale and network operation, and the halting
// and restoring of polling around configuration transfers.
#include <QSignalBlocker>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "core/core_state.h"
#include "core/waits.h"
#include "links/command_frames.h"
#include "links/link_devices.h"
#include "links/link_setup.h"
#include "links/link_type.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/log/log.h"
#include "platform/ui/event_pump.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"

namespace {

constexpr int kScanIntervalMs = 250;
// How soon a network cycle's step that found an operation running looks again.
constexpr int kStepRetryMs = 5;
// The poll time used when the text gives none and the user's text gave none before (".33" s, the
// settings' default).
constexpr int kDefaultPollMs = 330;
// Timer intervals are kept as 16-bit values.
constexpr int kLongestIntervalMs = 32767;

int cur_scale_addr() {
    const int cur = std::clamp<int>(links.cur_scale, 0, kScaleSlots - 1);
    return links.scale_addr[static_cast<size_t>(cur)];
}

// The poll-time text as milliseconds: seconds times 1000, to the nearest millisecond. False for
// a text that is no number, not positive, or longer than a timer interval can hold.
bool poll_time_ms(const QString& text, int* ms) {
    bool ok = false;
    const double seconds = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(seconds)) return false;
    const double rounded = std::round(seconds * 1000.0);
    if (rounded < 1 || rounded > kLongestIntervalMs) return false;
    *ms = static_cast<int>(rounded);
    return true;
}

// The interval that txt_polltime gives. A text that gives no usable interval is refused: the
// user is told once per text, and the last interval the user's text gave stays in force, or the
// default poll time when there was none (a timer at interval 0 would never poll).
int poll_interval(const QString& text, bool* refused = nullptr) {
    int ms = 0;
    if (poll_time_ms(text, &ms)) {
        links.poll_time_told = false;
        links.poll_ms_in_force = ms;
        if (refused) *refused = false;
        return ms;
    }
    if (refused) *refused = true;
    const bool keep_previous = links.poll_ms_in_force >= 1 && links.poll_ms_in_force <= kLongestIntervalMs;
    const int used = keep_previous ? links.poll_ms_in_force : kDefaultPollMs;
    if (!links.poll_time_told || links.poll_time_refused != text) {
        links.poll_time_told = true;
        links.poll_time_refused = text;
        const QString seconds = QLocale::c().toString(used / 1000.0, 'g', 6);
        ui::MsgBox(
            QStringLiteral("The poll time \"%1\" cannot be used. Please enter a number of seconds greater "
                           "than 0 and no more than 32.767; %2 of %3 s is used.")
                .arg(text.trimmed(),
                     keep_previous ? QStringLiteral("the previous poll time")
                                   : QStringLiteral("the default poll time"),
                     seconds),
            ui::vbOKOnly | ui::vbExclamation);
    }
    return used;
}

} // namespace

void form1::connect_poll_timers() {
    // The links tell the screen of a lost device, and the Ethernet link of its readings.
    set_link_lost_handler([this](const QString& message) { link_lost(message); });
    Ethernet& ethernet = ethernet_link();
    ethernet.show_reading = [this](int slot) {
        Screen->setText(QString::fromLatin1(links.scale_reading[static_cast<size_t>(slot)]));
    };
    ethernet.reading_stored = [this](int slot) {
        const auto i = static_cast<size_t>(slot);
        netlist_set_row(slot, links.scale_name[i], QString::fromLatin1(links.scale_reading[i]));
    };
    ethernet.data_collect = [this](int) { Data_collect(); };
    for (ui::FormTimer* t : Timer1)
        connect(t, &ui::FormTimer::Timer, this, [this](int index) { Timer1_Timer(index); });
    connect(Timer2, &ui::FormTimer::Timer, this, [this](int) { Timer2_Timer(); });
    connect(Timer3, &ui::FormTimer::Timer, this, [this](int) { Timer3_Timer(); });
    connect(Timer4, &ui::FormTimer::Timer, this, [this](int) { Timer4_Timer(); });
    // The network cycle's next step runs from an event loop (also a window's the user opened),
    // after the input that waits there, and never inside an operation that lets events run.
    // Inside an operation it looks again every few milliseconds (a window that the operation
    // opened would otherwise keep it spinning).
    cycle_step_ = new QTimer(this);
    cycle_step_->setSingleShot(true);
    connect(cycle_step_, &QTimer::timeout, this, [this] {
        if (ui::pumping())
            cycle_step_->start(kStepRetryMs);
        else if (ui::input_held())
            cycle_step_->start(0);
        else
            network_cycle_step();
    });
    connect(opt_single, &QRadioButton::toggled, this, [this](bool on) {
        if (on) opt_single_Click();
    });
    connect(opt_network, &QRadioButton::toggled, this, [this](bool on) {
        if (on) opt_network_Click();
    });
}

void form1::Timer1_Timer(int index) {
    (void)index; // the cycle follows timer1_index, the element it armed last
    const LinkType t = link_type();
    const bool looping =
        t == LinkType::RS485 || t == LinkType::USB || t == LinkType::USB485 || t == LinkType::Ethernet;
    if (looping && links.scan_busy) return;

    // Hand the cycle on to the next element.
    const int armed = std::clamp<int>(links.timer1_index, 0, 9);
    Timer1[static_cast<size_t>(armed)]->setEnabled(false);
    links.timer1_index = static_cast<int16_t>((armed + 1) % 10);
    ui::FormTimer* next = Timer1[static_cast<size_t>(links.timer1_index)];
    next->setInterval(poll_interval(txt_polltime->text()));
    next->setEnabled(true);

    // A key queued by the keypad goes out before this tick's polls. Key "1" is the poll
    // character itself, so it is not sent on its own.
    if (links.key_pending && (t == LinkType::RS485 || t == LinkType::USB485 || t == LinkType::USB)) {
        links.scan_busy = true;
        if (links.key_code != 1) frames::send(frames::keypad_key_frame(t, cur_scale_addr(), links.key_code));
        links.key_pending = false;
        links.key_code = 0;
    }

    links.poll_busy = true;
    if (t == LinkType::USB || t == LinkType::RS485 || t == LinkType::USB485) {
        // The cycle polls one scale per step, this tick the first; between two steps it returns
        // to the event loop, so the user's input is served between scales, not after them all.
        links.scan_busy = true;
        cycle_.id += 1;
        cycle_.link = t;
        cycle_.frame = chk_frame->isChecked();
        cycle_.device_open = t == LinkType::RS485 ? MSComm1().PortOpen() : links.usb_handle != 0;
        cycle_.next_slot = 0;
        cycle_.halted = false;
        network_cycle_step();
        return;
    }
    if (t == LinkType::RS232)
        frames::send(frames::poll(t, 0, chk_frame->isChecked(), frames::PollSource::cycle));
    links.poll_busy = false;
}

form1::CycleStep form1::poll_network_slot(int k) {
    const LinkType t = cycle_.link;
    const auto slot = static_cast<size_t>(k);
    if (t == LinkType::USB) {
        const auto handle = static_cast<uint32_t>(links.scale_addr[slot]);
        // The slot's device was lost (closed, and the user told): the others go on.
        if (handle == 0) return CycleStep::go_on;
        links.poll_index = static_cast<int16_t>(k);
        frames::send_ftdi(handle, frames::poll(t, 0, cycle_.frame, frames::PollSource::cycle));
        ui::DoEvents();
        USB_inputscan();
    } else if (t == LinkType::RS485) {
        // The port went away in this cycle: it is closed and the user told.
        if (cycle_.device_open && !MSComm1().PortOpen()) return CycleStep::end;
        links.poll_index = static_cast<int16_t>(k);
        frames::send(frames::poll(t, links.scale_addr[slot], cycle_.frame, frames::PollSource::cycle));
        ui::DoEvents();
        ui::DoEvents();
        rs485_inputscan();
    } else {
        // The screen is unloading: leave at once; its next start-up clears the guards.
        if (links.scan_stop) return CycleStep::leave;
        // The adapter went away in this cycle: it is closed and the user told.
        if (cycle_.device_open && links.usb_handle == 0) return CycleStep::end;
        links.poll_index = static_cast<int16_t>(k);
        // The network delay: a busy wait that serves no events.
        const double start = wait_start(core.net_del_time);
        while (!wait_passed(start, core.net_del_time))
            wclock::pause_slice();
        const frames::Writes poll =
            frames::poll(t, links.scale_addr[slot], cycle_.frame, frames::PollSource::cycle);
        if (chk_txon->isChecked()) frames::send_ftdi(links.usb_handle, poll);
        if (!links.scan_stop) USB485_inputscan();
        ui::DoEvents();
    }
    return CycleStep::go_on;
}

void form1::network_cycle_step() {
    const int id = cycle_.id;
    // Polling stopped since the last step ("Single" chosen, the link lost, the screen unloaded):
    // the cycle ends here.
    const bool polling =
        std::any_of(Timer1.begin(), Timer1.end(), [](ui::FormTimer* t1) { return t1->running(); });
    CycleStep step = CycleStep::end;
    if (polling && cycle_.next_slot < filled_slots()) {
        cycle_.in_step = true;
        step = poll_network_slot(cycle_.next_slot++);
        // A cycle started meanwhile (the screen loaded again inside the scan) owns the guards.
        if (id != cycle_.id) return;
        cycle_.in_step = false;
    }
    if (step == CycleStep::leave) return;
    if (step == CycleStep::go_on && !cycle_.halted && cycle_.next_slot < filled_slots()) {
        cycle_step_->start(0);
        return;
    }
    cycle_.halted = false;
    links.scan_busy = false;
    ui::DoEvents();
    links.poll_busy = false;
}

void form1::Timer2_Timer() {
    // A network cycle reads its own replies; a scan started inside it (the user chose "Single"
    // while the cycle let events run) would take the cycle's half-received reply.
    if (links.scan_busy) return;
    const LinkType t = link_type();
    if (t == LinkType::RS232)
        rs232_inputscan();
    else if (t == LinkType::USB)
        USB_inputscan();
    else if (t == LinkType::RS485)
        rs485_inputscan();
    else if (t == LinkType::USB485)
        USB485_inputscan();
}

void form1::Timer3_Timer() {
    // The serial key sender; no mode enables it.
    if (links.poll_busy || !links.key_pending) return;
    links.poll_busy = true;
    const frames::Writes key = frames::keypad_key_frame(LinkType::RS485, cur_scale_addr(), links.key_code);
    if (!key.isEmpty()) qCDebug(lcLinks).noquote() << "frame to COM port" << wlog::writes(key);
    for (const QByteArray& w : key)
        MSComm1().Output(w);
    if (links.key_code == 1 && !links.network_mode) rs485_inputscan();
    links.key_pending = false;
    links.key_code = 0;
    links.poll_busy = false;
}

void form1::Timer4_Timer() {
    const LinkType t = link_type();
    const bool frame = chk_frame->isChecked();
    if (t == LinkType::Ethernet)
        frames::send(frames::ethernet_poll_request(t, cur_scale_addr())); // only while connected
    else
        frames::send(frames::poll(t, cur_scale_addr(), frame, frames::PollSource::single));
}

void form1::setmode(int16_t mode) {
    const LinkType t = link_type();
    switch (mode) {
    case 0:
        links.op_mode = 0;
        Timer4->setEnabled(false);
        Timer2->setInterval(kScanIntervalMs);
        Timer2->setEnabled(true);
        links.poll_index = static_cast<int16_t>(Combo1->currentIndex());
        setCaption(core.comm_type + QStringLiteral(" - Single Scale Mode"));
        for (ui::FormTimer* t1 : Timer1)
            t1->setEnabled(false);
        ui::DoEvents();
        links.network_mode = false;
        ui::DoEvents();
        break;
    case 1: {
        links.op_mode = 1;
        Timer2->setInterval(kScanIntervalMs);
        Timer2->setEnabled(true);
        links.poll_index = static_cast<int16_t>(Combo1->currentIndex());
        bool refused = false;
        Timer4->setInterval(poll_interval(txt_polltime->text(), &refused));
        Timer4->setEnabled(true);
        // The caption tells the poll time in force.
        const QString seconds =
            refused ? QString::number(Timer4->Interval() / 1000.0) : txt_polltime->text().trimmed();
        setCaption(core.comm_type + QStringLiteral(" - Single Scale Mode (Polling Activated - ") + seconds +
                   QStringLiteral(" sec)"));
        break;
    }
    case 2:
        if (t == LinkType::RS232) break;
        links.op_mode = 2;
        Timer2->setEnabled(false);
        Timer4->setEnabled(false);
        setCaption(core.comm_type + QStringLiteral(" - Network Mode"));
        break;
    default:
        break;
    }
}

void form1::opt_network_Click() {
    if (!opt_network->isChecked()) return;
    // After a lost link, polling starts only once the link is set up again.
    if (!link_ready()) return;
    NetList->setVisible(true);
    setmode(2);
    chk_pollenb->setEnabled(false);
    txt_polltime->setEnabled(false);
    Label2->setEnabled(false);
    links.timer1_index = 0;
    Timer1[0]->setInterval(poll_interval(txt_polltime->text()));
    ui::DoEvents();
    Timer1[0]->setEnabled(true);
    ui::DoEvents();
    links.network_mode = true;
    ui::DoEvents();
}

void form1::opt_single_Click() {
    if (!opt_single->isChecked()) return;
    if (!link_ready()) return;
    for (ui::FormTimer* t1 : Timer1)
        t1->setEnabled(false);
    ui::DoEvents();
    links.network_mode = false;
    setCaption(core.comm_type + QStringLiteral(" - Network Mode (standby)"));
    ui::DoEvents();
    // Network operation has ended: no row of the network list stays selected.
    NetList->clearSelection();
    links.network_mode = false;
    ui::DoEvents();
    setmode(0);
    chk_pollenb->setEnabled(true);
    txt_polltime->setEnabled(true);
    Label2->setEnabled(true);
}

void form1::halttimers() {
    std::array<ui::FormTimer*, 13> all{};
    std::copy(Timer1.begin(), Timer1.end(), all.begin());
    all[10] = Timer2;
    all[11] = Timer3;
    all[12] = Timer4;
    for (size_t k = 0; k < all.size(); ++k) {
        saved_intervals[k] = static_cast<int16_t>(std::clamp(all[k]->Interval(), 0, kLongestIntervalMs));
        all[k]->setInterval(0);
    }
    // A network cycle ends: now when it waits for its next step, else when its scan returns. The
    // halted cycle takes no further step; polling resumes with a new cycle.
    if (cycle_.in_step) {
        cycle_.halted = true;
    } else if (cycle_step_->isActive()) {
        cycle_step_->stop();
        links.scan_busy = false;
        links.poll_busy = false;
    }
}

void form1::net_stat_get() {
    // Option values as True (-1) / False (0), the check box as 1 / 0.
    saved_opt_single = opt_single->isChecked() ? -1 : 0;
    saved_opt_network = opt_network->isChecked() ? -1 : 0;
    saved_chk_pollenb = chk_pollenb->isChecked() ? 1 : 0;
}

void form1::net_stat_put() {
    // The handlers run here even when a control already holds the saved value, so that the
    // saved mode is running again afterwards (the timers were halted in between).
    if (saved_opt_single != 0) {
        {
            const QSignalBlocker block(opt_single);
            opt_single->setChecked(true);
        }
        opt_single_Click();
        const bool poll = saved_chk_pollenb != 0;
        const bool changed = chk_pollenb->isChecked() != poll;
        {
            const QSignalBlocker block(chk_pollenb);
            chk_pollenb->setChecked(poll);
        }
        if (changed || poll) chk_pollenb_Click();
    } else {
        const bool network = saved_opt_network != 0;
        {
            const QSignalBlocker block(opt_network);
            opt_network->setChecked(network);
        }
        if (network) opt_network_Click();
    }
}

void form1::formactivate() {
    ui::DoEvents();
}
