#pragma once
// Test double of the spreadsheet application: an application that is or is not running, with or
// without workbooks, whose first workbook's active sheet keeps every value written to it and
// records every write in order.
#include "platform/spreadsheet/spreadsheet.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QVariant>

namespace spreadsheet {

class SpreadsheetRecorder : public Backend {
public:
    struct Write {
        int row;
        int col;
        QVariant value; // QString, QDate, QTime or int
    };

    // Set up by the test.
    bool running = true;
    int workbooks = 1;
    bool count_fails = false; // asking for the workbook count fails
    bool active_sheet_is_worksheet = true;
    bool sheet_protected = false; // every cell write fails

    // The first workbook's active sheet: (row, column) -> value. A test may fill it beforehand.
    QMap<QPair<int, int>, QVariant> cells;
    // Every write that reached the sheet, in order.
    QList<Write> writes;

    // Attachments made, and those still held (application and worksheet objects alive).
    int attaches = 0;
    int apps_alive = 0;
    int sheets_alive = 0;

    QVariant cell(int row, int col) const { return cells.value({row, col}); }
    QList<QVariant> row_values(int row, int cols = 5) const;

    std::unique_ptr<SpreadsheetApp> attach() override;
};

} // namespace spreadsheet
