#pragma once
// Module-level state of the scale links: the per-scale table (parallel arrays of 11 slots,
// indexed by the scale's position in the scale list), the shared receive buffer, the device
// state and the guards and modes of the poll cycle. One instance for the whole run.
#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

constexpr int kScaleSlots = 11;

struct LinksState {
    // scale_table
    std::array<int32_t, kScaleSlots> scale_dev_index{};
    std::array<int32_t, kScaleSlots> scale_addr{};
    std::array<QString, kScaleSlots> scale_serial;
    std::array<QString, kScaleSlots> scale_name;
    std::array<int16_t, kScaleSlots> scale_state{};
    std::array<int32_t, kScaleSlots> scale_recid{};
    std::array<QByteArray, kScaleSlots> scale_reading; // wire bytes, one byte per character
    std::array<bool, kScaleSlots> datacol_enb{};
    std::array<bool, kScaleSlots> scale_active{};
    std::array<double, kScaleSlots> scale_poll_time{};
    // Only element 0 is used: the one shared receive buffer.
    std::array<QByteArray, kScaleSlots> rx_buf;
    // rx_buf(0) is inside a line longer than any reply: what comes is dropped up to its end.
    bool rx_overlong = false;

    int16_t scale_count = 0;
    int16_t cur_scale = 0;
    int32_t cur_scale_addr = 0;
    QByteArray usb_list_buf;

    // FTDI adapter
    uint32_t usb_handle = 0;     // the adapter (device 0), 0 while not open
    int16_t usb_fail = 0;        // 1 when the adapter was missing or failed to open
    uint32_t usb_event = 0;      // receive-notification event of the adapter, never waited on
    uint32_t usb_dev_handle = 0; // handle of the modem-status query

    // Guards and modes of the poll cycle
    bool scan_busy = false;
    bool poll_busy = false;
    bool scan_stop = false;
    int16_t op_mode = 0; // 0 single scale, 1 single scale with polling, 2 network
    bool network_mode = false;
    bool key_pending = false;
    int16_t key_code = 0;
    // The slot being polled: the loop variable of the poll cycle, and the selected slot in
    // single-scale operation.
    int16_t poll_index = 0;
    // The Timer1 element armed last (0..9).
    int16_t timer1_index = 0;
    // "USB485" replies that did not come within the reply wait; only ever counted.
    double usb485_timeouts = 0;
    // The poll-time text last refused (when poll_time_told), so that the user is told once per
    // text typed.
    QString poll_time_refused;
    bool poll_time_told = false;
    // The poll interval (ms) that the user's poll-time text last gave, 0 before any since the
    // scale screen was loaded: what a text that cannot be used falls back to.
    int poll_ms_in_force = 0;
    // Readings of the scans could not be stored since the user was last told (one message per
    // run of failures; the next stored reading ends the run).
    bool store_failing = false;
};

extern LinksState links;

// Slots the loops may touch: scale_count, never more than the table holds.
int filled_slots();

// The network address of slot i, -1 when i is no filled slot. A receive scan takes only the
// reply of the slot it polled.
inline int filled_slot_address(int i) {
    return i >= 0 && i < filled_slots() ? links.scale_addr[static_cast<size_t>(i)] : -1;
}

// Puts every value back to its state at program start.
void reset_links_state();
