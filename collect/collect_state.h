#pragma once
// Module-level state of data collection and the Excel export. One instance for the whole run.
#include <cstdint>

struct CollectState {
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
