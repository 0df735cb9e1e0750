#include "platform/spreadsheet/spreadsheet.h"

#include "platform/spreadsheet/calc_backend.h"

namespace spreadsheet {

namespace {
Backend* current = nullptr;
} // namespace

void set_backend(Backend* b) {
    current = b;
}

Backend& backend() {
    return current ? *current : calc_backend();
}

std::unique_ptr<SpreadsheetApp> attach() {
    return backend().attach();
}

} // namespace spreadsheet
