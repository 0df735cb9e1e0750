#include "platform/spreadsheet/spreadsheet_recorder.h"

namespace spreadsheet {

namespace {

class RecordedSheet : public Worksheet {
public:
    explicit RecordedSheet(SpreadsheetRecorder& rec) : rec_(rec) { ++rec_.sheets_alive; }
    ~RecordedSheet() override { --rec_.sheets_alive; }

    bool set_text(int row, int col, const QString& text) override { return put(row, col, text); }
    bool set_date(int row, int col, QDate date) override { return put(row, col, date); }
    bool set_time(int row, int col, QTime time) override { return put(row, col, time); }
    bool set_number(int row, int col, int value) override { return put(row, col, value); }

private:
    bool put(int row, int col, const QVariant& value) {
        if (rec_.sheet_protected || row < 1 || col < 1) return false;
        rec_.cells[{row, col}] = value;
        rec_.writes.append({row, col, value});
        return true;
    }
    SpreadsheetRecorder& rec_;
};

class RecordedApp : public SpreadsheetApp {
public:
    explicit RecordedApp(SpreadsheetRecorder& rec) : rec_(rec) { ++rec_.apps_alive; }
    ~RecordedApp() override { --rec_.apps_alive; }

    std::optional<int> workbook_count() override {
        if (rec_.count_fails) return std::nullopt;
        return rec_.workbooks;
    }
    std::unique_ptr<Worksheet> first_workbook_active_sheet() override {
        if (rec_.workbooks <= 0 || !rec_.active_sheet_is_worksheet) return nullptr;
        return std::make_unique<RecordedSheet>(rec_);
    }

private:
    SpreadsheetRecorder& rec_;
};

} // namespace

QList<QVariant> SpreadsheetRecorder::row_values(int row, int cols) const {
    QList<QVariant> values;
    for (int col = 1; col <= cols; ++col)
        values.append(cell(row, col));
    return values;
}

std::unique_ptr<SpreadsheetApp> SpreadsheetRecorder::attach() {
    if (!running) return nullptr;
    ++attaches;
    return std::make_unique<RecordedApp>(*this);
}

} // namespace spreadsheet
