#pragma once
// Module-level state of data collection and the Excel export. One instance for the whole run.
#include <array>
#include <cstdint>

struct CollectState {
    // Timed collection: ticks counted by Timer5 element n since its last record, and the ticks
    // it lets pass between two records (the "Poll Time" of the n-th qualifying scale record).
    std::array<int32_t, 11> datacol_count{};
    std::array<int32_t, 11> datacol_limit{};

    // The worksheet row that the next excel_log_reading writes; callers set it with
    // excel_set_row_for_record() right before the call.
    int16_t excel_row = 0;
    // The user was told that a record lies past the sheet's last row; cleared when "Excel Output"
    // is ticked again.
    bool excel_row_limit_told = false;
};

extern CollectState collect;

// Puts every value back to its state at program start.
void reset_collect_state();
