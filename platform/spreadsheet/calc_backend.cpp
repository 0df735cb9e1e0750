#include "platform/spreadsheet/calc_backend.h"

namespace spreadsheet {

namespace {
class CalcBackend : public Backend {
public:
    std::unique_ptr<SpreadsheetApp> attach() override { return nullptr; }
};
} // namespace

Backend& calc_backend() {
    static CalcBackend b;
    return b;
}

} // namespace spreadsheet
