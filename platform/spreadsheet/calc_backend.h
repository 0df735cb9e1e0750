#pragma once
// The real spreadsheet backend: a running LibreOffice Calc, reached over a UNO socket whose host
// and port come from the settings store (section "Spreadsheet", keys "Host" and "Port").
#include "platform/spreadsheet/spreadsheet.h"

namespace spreadsheet {
Backend& calc_backend();
} // namespace spreadsheet
