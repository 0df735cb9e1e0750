// Excel_Interface against the recording spreadsheet: which cells of which rows are written, what
// the user is told, and when the "Excel Output" box is unticked.
#include "app/module_state.h"
#include "collect/collect_state.h"
#include "collect/excel_interface.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/spreadsheet/spreadsheet_recorder.h"
#include "platform/ui/message_box.h"
#include "tests/support/test_main.h"

#include <QCheckBox>

using spreadsheet::SpreadsheetRecorder;

namespace {
const QDate kToday(2026, 3, 14);
const QTime kNow(13, 45, 30, 250);
const QList<QVariant> kHeadings{"ScaleID", "Reading", "Time", "Date", "ID"};
const char* kNoExcel = "Please open Microsoft Excel";
const char* kNoWorkbook = "Please open a spreedsheet in Microsoft Excel";
} // namespace

class TestExcelInterface : public QObject {
    Q_OBJECT

    SpreadsheetRecorder* sheet = nullptr;
    ui::UiRecorder* user = nullptr;
    QCheckBox* excel_box = nullptr;

    // The rows that received any write.
    QSet<int> written_rows() const {
        QSet<int> rows;
        for (const auto& w : sheet->writes)
            rows.insert(w.row);
        return rows;
    }

private slots:
    void init() {
        reset_module_state();
        links.scale_name[3] = "Bay 3";
        links.scale_reading[3] = QByteArray("  1250.5 kg G \xB0");
        links.scale_name[4] = "Hopper";
        links.scale_reading[4] = QByteArray("   -2.0 lb");
        wclock::use_fake(kNow.msecsSinceStartOfDay() / 1000.0, 0.001, kToday);
        sheet = new SpreadsheetRecorder;
        spreadsheet::set_backend(sheet);
        user = new ui::UiRecorder;
        ui::set_backend(user);
        excel_box = new QCheckBox("Excel Output");
        excel_box->setChecked(true);
        excel_set_output_box(excel_box);
    }
    void cleanup() {
        excel_set_output_box(nullptr);
        delete excel_box;
        reset_module_state();
        delete sheet;
        delete user;
    }

    void record_lands_in_the_row_after_its_id() {
        excel_set_row_for_record(41);
        QCOMPARE(collect.excel_row, 42);
        excel_log_reading(3);

        QCOMPARE(sheet->row_values(1), kHeadings);
        const QList<QVariant> row = sheet->row_values(42);
        QCOMPARE(row[0].toString(), QString("Bay 3"));
        QCOMPARE(row[1].toString(), QString::fromLatin1("  1250.5 kg G \xB0"));
        QCOMPARE(row[2].metaType(), QMetaType::fromType<QTime>());
        QCOMPARE(row[2].toTime(), kNow);
        QCOMPARE(row[3].metaType(), QMetaType::fromType<QDate>());
        QCOMPARE(row[3].toDate(), kToday);
        QCOMPARE(row[4].metaType(), QMetaType::fromType<int>());
        QCOMPARE(row[4].toInt(), 41);
        QCOMPARE(written_rows(), QSet<int>({1, 42}));
        QCOMPARE(sheet->writes.size(), 10);
        QCOMPARE(collect.excel_row, 43);

        QVERIFY(user->boxes.isEmpty());
        QVERIFY(excel_box->isChecked());
        // Attached for the call only.
        QCOMPARE(sheet->attaches, 1);
        QCOMPARE(sheet->apps_alive, 0);
        QCOMPARE(sheet->sheets_alive, 0);
    }

    void consecutive_records_leave_the_rows_between_alone() {
        sheet->cells[{5, 2}] = "typed by the user";
        excel_set_row_for_record(7);
        excel_log_reading(3);
        excel_set_row_for_record(8);
        excel_log_reading(4);

        QCOMPARE(written_rows(), QSet<int>({1, 8, 9}));
        QCOMPARE(sheet->cell(8, 1).toString(), QString("Bay 3"));
        QCOMPARE(sheet->cell(8, 5).toInt(), 7);
        QCOMPARE(sheet->cell(9, 1).toString(), QString("Hopper"));
        QCOMPARE(sheet->cell(9, 2).toString(), QString("   -2.0 lb"));
        QCOMPARE(sheet->cell(9, 5).toInt(), 8);
        QCOMPARE(sheet->cell(5, 2).toString(), QString("typed by the user"));
        QCOMPARE(collect.excel_row, 10);
        QCOMPARE(sheet->attaches, 2);
    }

    void headings_typed_over_are_written_back() {
        sheet->cells[{1, 1}] = "Name";
        sheet->cells[{1, 4}] = 12;
        sheet->cells[{1, 6}] = "Notes";
        excel_set_row_for_record(2);
        excel_log_reading(3);
        QCOMPARE(sheet->row_values(1), kHeadings);
        QCOMPARE(sheet->cell(1, 6).toString(), QString("Notes"));
    }

    void row_never_set_goes_to_row_two() {
        excel_log_reading(3);
        QCOMPARE(sheet->cell(2, 1).toString(), QString("Bay 3"));
        QCOMPARE(sheet->cell(2, 5).toInt(), 0);
        QCOMPARE(collect.excel_row, 3);
    }

    void spreadsheet_that_cannot_take_the_row_data() {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("workbooks");
        QTest::addColumn<QString>("message");
        QTest::newRow("no application") << false << 1 << kNoExcel;
        QTest::newRow("no workbook") << true << 0 << kNoWorkbook;
    }
    void spreadsheet_that_cannot_take_the_row() {
        QFETCH(bool, running);
        QFETCH(int, workbooks);
        QFETCH(QString, message);
        sheet->running = running;
        sheet->workbooks = workbooks;
        excel_set_row_for_record(41);
        excel_log_reading(3);

        QCOMPARE(user->texts(), QStringList{message});
        QCOMPARE(user->boxes[0].buttons, int(ui::vbOKOnly));
        QVERIFY(!excel_box->isChecked());
        QVERIFY(sheet->writes.isEmpty());
        QCOMPARE(sheet->apps_alive, 0);
    }

    void no_box_handed_over_still_tells_the_user() {
        excel_set_output_box(nullptr);
        sheet->running = false;
        excel_log_reading(3);
        QCOMPARE(user->texts(), QStringList{kNoExcel});
        QVERIFY(excel_box->isChecked());
    }

    // A sheet that refuses writes, an active sheet that is no worksheet, an application that does
    // not answer the workbook count: no message, the box stays ticked, the row moves on.
    void other_failures_are_ignored_data() {
        QTest::addColumn<bool>("protect");
        QTest::addColumn<bool>("worksheet");
        QTest::addColumn<bool>("count_fails");
        QTest::addColumn<int>("writes");
        QTest::newRow("protected sheet") << true << true << false << 0;
        QTest::newRow("not a worksheet") << false << false << false << 0;
        QTest::newRow("count fails") << false << true << true << 10;
    }
    void other_failures_are_ignored() {
        QFETCH(bool, protect);
        QFETCH(bool, worksheet);
        QFETCH(bool, count_fails);
        QFETCH(int, writes);
        sheet->sheet_protected = protect;
        sheet->active_sheet_is_worksheet = worksheet;
        sheet->count_fails = count_fails;
        excel_set_row_for_record(20);
        excel_log_reading(3);
        QVERIFY(user->boxes.isEmpty());
        QVERIFY(excel_box->isChecked());
        QCOMPARE(sheet->writes.size(), writes);
        QCOMPARE(collect.excel_row, 22);
        QCOMPARE(sheet->sheets_alive, 0);
    }

    void records_past_the_last_row() {
        excel_set_row_for_record(32766);
        excel_log_reading(3);
        QCOMPARE(sheet->cell(32767, 5).toInt(), 32766);
        QCOMPARE(collect.excel_row, kExcelNoRow);
        QVERIFY(user->boxes.isEmpty());

        sheet->writes.clear();
        const int attaches = sheet->attaches;
        for (int64_t id : {32767, 40000, 70000}) {
            excel_set_row_for_record(id);
            QCOMPARE(collect.excel_row, kExcelNoRow);
            excel_log_reading(3);
        }
        QCOMPARE(user->boxes.size(), 1);
        QVERIFY(user->texts()[0].contains("row limit"));
        QVERIFY(excel_box->isChecked());
        QVERIFY(sheet->writes.isEmpty());
        QCOMPARE(sheet->attaches, attaches);

        // Ticking the box again brings the notice back once.
        excel_box->setChecked(false);
        excel_box->setChecked(true);
        excel_log_reading(3);
        excel_log_reading(3);
        QCOMPARE(user->boxes.size(), 2);
    }
};

WEYVANE_TEST_MAIN(TestExcelInterface)
#include "test_excel_interface.moc"
