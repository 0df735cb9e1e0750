#pragma once
// Excel_Interface: copies a logged reading as one row into the active sheet of the first workbook
// of the running spreadsheet application. The program never starts the application and never
// opens or saves a workbook.
//
// Sheet layout: row 1 holds the headings "ScaleID", "Reading", "Time", "Date", "ID" (written on
// every call); row excel_row holds the slot's display name, its latest reading, the time of day,
// the date and the record ID.
#include <cstdint>

class QCheckBox;

// Rows above this cannot be addressed by the 16-bit excel_row.
constexpr int kExcelLastRow = 32767;
// excel_row for a record that has no row on the sheet.
constexpr int16_t kExcelNoRow = -1;

// The scale screen hands over its "Excel Output" box, which excel_log_reading unticks when the
// spreadsheet cannot take the row. nullptr: no box.
void excel_set_output_box(QCheckBox* box);

// Sets excel_row for the datacol record the caller has just stored: its ID + 1. A record whose ID
// is 32767 or more has no row (excel_row becomes kExcelNoRow); it stays stored in datacol.
void excel_set_row_for_record(int64_t id);

// Writes the headings and row excel_row for slot `scale` (0 to 10) of the per-scale table, then
// adds 1 to excel_row. Failures are ignored step by step. With no application running, or one
// without a workbook, it unticks "Excel Output" and tells the user.
void excel_log_reading(int16_t scale);
