#include "platform/spreadsheet/spreadsheet.h"

#include "platform/spreadsheet/calc_plugin.h"

#include <QCoreApplication>
#include <QLibrary>

namespace spreadsheet {

namespace {

// What the layer answers when the Calc plugin cannot be loaded (no plugin, or no office installed
// for it to link): no application is running.
class NoApplication : public Backend {
public:
    std::unique_ptr<SpreadsheetApp> attach() override { return nullptr; }
};

Backend* current = nullptr;
QString plugin_folder; // empty: the program's folder
Backend* calc = nullptr;
bool calc_tried = false;

// Loads the Calc plugin once. The library stays loaded for the rest of the run: the office's
// libraries that it brings keep threads and state of their own.
Backend* load_calc() {
    const QString folder = plugin_folder.isEmpty() ? QCoreApplication::applicationDirPath() : plugin_folder;
    QLibrary library(folder + "/" + kCalcPluginFile);
    const auto entry = reinterpret_cast<CalcPluginEntry>(library.resolve(kCalcPluginEntry));
    if (!entry) {
        qWarning("Spreadsheet output is not available: %s", qPrintable(library.errorString()));
        return nullptr;
    }
    return entry();
}

Backend& calc_or_none() {
    static NoApplication none;
    if (!calc_tried) {
        calc_tried = true;
        calc = load_calc();
    }
    return calc ? *calc : none;
}

} // namespace

void set_backend(Backend* b) {
    current = b;
}

void set_plugin_folder(const QString& folder) {
    plugin_folder = folder;
    calc = nullptr;
    calc_tried = false;
}

Backend& backend() {
    return current ? *current : calc_or_none();
}

std::unique_ptr<SpreadsheetApp> attach() {
    return backend().attach();
}

} // namespace spreadsheet
