#include "collect/excel_interface.h"

#include "collect/collect_state.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/spreadsheet/spreadsheet.h"
#include "platform/ui/message_box.h"

#include <QCheckBox>
#include <QPointer>

namespace {

QPointer<QCheckBox> output_box;
QMetaObject::Connection output_box_ticked;

void untick_output() {
    if (output_box) output_box->setChecked(false);
}

// The module's one place for the row-limit notice: once until the box is ticked again.
void tell_row_limit() {
    if (collect.excel_row_limit_told) return;
    collect.excel_row_limit_told = true;
    ui::MsgBox("The row limit of the Excel sheet was reached: readings with a record ID of 32767 or "
               "more are stored but not copied to Excel.");
}

} // namespace

void excel_set_output_box(QCheckBox* box) {
    QObject::disconnect(output_box_ticked);
    output_box = box;
    if (box)
        output_box_ticked = QObject::connect(box, &QCheckBox::toggled, box, [](bool ticked) {
            if (ticked) collect.excel_row_limit_told = false;
        });
}

void excel_set_row_for_record(int64_t id) {
    collect.excel_row = (id >= 0 && id < kExcelLastRow) ? static_cast<int16_t>(id + 1) : kExcelNoRow;
}

void excel_log_reading(int16_t scale) {
    if (collect.excel_row < 0) {
        tell_row_limit();
        return;
    }
    // The caller's record ID; before any caller set the row, 0.
    const int record_id = collect.excel_row > 0 ? collect.excel_row - 1 : 0;

    std::unique_ptr<spreadsheet::SpreadsheetApp> app = spreadsheet::attach();
    if (!app) {
        untick_output();
        ui::MsgBox("Please open Microsoft Excel");
        return;
    }
    const std::optional<int> workbooks = app->workbook_count();
    if (workbooks && *workbooks == 0) {
        untick_output();
        ui::MsgBox("Please open a spreedsheet in Microsoft Excel");
    }
    // Let go of the sheet before the application: declared after it.
    std::unique_ptr<spreadsheet::Worksheet> sheet = app->first_workbook_active_sheet();

    if (sheet) {
        sheet->set_text(1, 1, "ScaleID");
        sheet->set_text(1, 2, "Reading");
        sheet->set_text(1, 3, "Time");
        sheet->set_text(1, 4, "Date");
        sheet->set_text(1, 5, "ID");
    }
    if (collect.excel_row == 0) collect.excel_row = 2;
    const int row = collect.excel_row;
    if (sheet) {
        const QDateTime now = wclock::Now();
        if (scale >= 0 && scale < kScaleSlots) {
            sheet->set_text(row, 1, links.scale_name[scale]);
            sheet->set_text(row, 2, QString::fromLatin1(links.scale_reading[scale]));
        }
        sheet->set_time(row, 3, now.time());
        sheet->set_date(row, 4, now.date());
        sheet->set_number(row, 5, record_id);
    }
    collect.excel_row = row < kExcelLastRow ? static_cast<int16_t>(row + 1) : kExcelNoRow;
}
