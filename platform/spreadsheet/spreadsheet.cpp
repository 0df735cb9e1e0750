#include "platform/spreadsheet/spreadsheet.h"

#include "platform/spreadsheet/calc_plugin.h"

#include <QCoreApplication>
#include <QFile>
#include <dlfcn.h>

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
// libraries that it brings keep threads and state of their own. Every symbol is bound at once, so
// that a plugin whose office is missing or incomplete fails here and not in the middle of a copy.
Backend* load_calc() {
    const QString folder = plugin_folder.isEmpty() ? QCoreApplication::applicationDirPath() : plugin_folder;
    const QString file = folder + "/" + kCalcPluginFile;
    void* library = ::dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    void* entry = library ? ::dlsym(library, kCalcPluginEntry) : nullptr;
    if (!entry) {
        const char* why = ::dlerror();
        qWarning("Spreadsheet output is not available: %s", why ? why : qPrintable(file));
        if (library) ::dlclose(library);
        return nullptr;
    }
    return reinterpret_cast<CalcPluginEntry>(entry)();
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
