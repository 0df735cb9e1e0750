// The entry point of the Calc plugin library, looked up by the spreadsheet layer under the name
// kCalcPluginEntry.
#include "platform/spreadsheet/calc_plugin.h"
#include "platform/spreadsheet/calc_backend.h"

extern "C" __attribute__((visibility("default"))) spreadsheet::Backend* weyvane_calc_backend() {
    return &spreadsheet::calc_backend();
}

// The entry has the type the loader calls it through.
[[maybe_unused]] static constexpr spreadsheet::CalcPluginEntry kEntryType = &weyvane_calc_backend;
