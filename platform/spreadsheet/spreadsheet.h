#pragma once
// Automation of a running spreadsheet application: attach to it (none running is an answer, not an
// error), count its open workbooks, take the first workbook's active sheet as a worksheet and set
// the values of its cells. Every object here is short-lived: a caller attaches, does its steps and
// lets go again, and no connection is kept between two attachments.
//
// The real backend drives a running LibreOffice Calc over UNO. It lives in a plugin library beside
// the program, loaded the first time an application is asked for; without it (or without the
// office it needs) no application is running. Tests install a recorder (spreadsheet_recorder.h)
// with set_backend().
#include <QDate>
#include <QString>
#include <QTime>
#include <memory>
#include <optional>

namespace spreadsheet {

// A worksheet, addressed by row and column numbered from 1. Every setter answers whether the
// value was written; a cell that cannot be written (protected sheet, busy application, lost
// connection) keeps its value.
class Worksheet {
public:
    virtual ~Worksheet() = default;
    virtual bool set_text(int row, int col, const QString& text) = 0;
    // Date and time-of-day values, shown in the sheet as a date and as a time.
    virtual bool set_date(int row, int col, QDate date) = 0;
    virtual bool set_time(int row, int col, QTime time) = 0;
    virtual bool set_number(int row, int col, int value) = 0;
};

// The running application while attached. Letting go of it detaches; a worksheet taken from it
// must be let go of first.
class SpreadsheetApp {
public:
    virtual ~SpreadsheetApp() = default;
    // The number of open workbooks; empty when the application could not be asked.
    virtual std::optional<int> workbook_count() = 0;
    // The active sheet of the first open workbook; null when there is no workbook or its active
    // sheet is not a worksheet.
    virtual std::unique_ptr<Worksheet> first_workbook_active_sheet() = 0;
};

class Backend {
public:
    virtual ~Backend() = default;
    // Attaches to the running application; null when none is running or it cannot be reached.
    virtual std::unique_ptr<SpreadsheetApp> attach() = 0;
};

// Installs a backend for attach(); nullptr returns to the real one (LibreOffice Calc).
void set_backend(Backend* backend);
// The folder the Calc plugin is loaded from, from the next attach on; empty: the program's folder.
void set_plugin_folder(const QString& folder);
Backend& backend();

// Attaches through the installed backend.
std::unique_ptr<SpreadsheetApp> attach();

} // namespace spreadsheet
