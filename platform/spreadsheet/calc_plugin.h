#pragma once
// The contract between the spreadsheet layer and the Calc plugin: the plugin library, built from the
// Calc backend and loaded on first use, so that the program itself links none of the office's
// libraries and starts on a machine without the office.
#include "platform/spreadsheet/spreadsheet.h"

namespace spreadsheet {
// The plugin's file, in the program's folder.
inline constexpr char kCalcPluginFile[] = "libweyvane_calc.so";
// The one symbol the plugin exports: the backend, owned by the plugin for the whole run.
inline constexpr char kCalcPluginEntry[] = "weyvane_calc_backend";
using CalcPluginEntry = Backend* (*)();
} // namespace spreadsheet
