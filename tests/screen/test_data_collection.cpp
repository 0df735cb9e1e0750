// The scale screen's "Data Collection" panel against a copy of the delivered database: what lands
// in datacol, what the grid and its title show, what is copied to the recording spreadsheet and
// what the user is told.
#include "app/module_state.h"
#include "collect/collect_state.h"
#include "core/core_state.h"
#include "links/links_state.h"
#include "platform/clock/clock.h"
#include "platform/db/data_control.h"
#include "platform/spreadsheet/spreadsheet_recorder.h"
#include "platform/ui/message_box.h"
#include "screen/form1.h"
#include "tests/support/full_disk.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

#include <QProcess>
#include <QThread>
#include <csignal>
#include <cstdio>
#include <memory>

namespace {

const QDate kToday(2026, 3, 14);
const char* kSelect = "select ID,ScaleID,Reading,Date,Time from datacol";
const char* kChildDbEnv = "WEYVANE_DATACOL_KILL_CHILD";
const char* kClearQuestion =
    "This action will completely clear all of the saved data.\rDo you wish to proceed?";

void set_clock(QTime t, QDate d = kToday) {
    wclock::use_fake(t.msecsSinceStartOfDay() / 1000.0, 0.001, d);
}

// Binds the screen's grid to a database, as the screen's start-up does.
void bind_screen(const QString& conn_str) {
    form1& f = Form1();
    core.conn_str = conn_str;
    core.conn_str_a = conn_str;
    f.data2->setConnectionString(conn_str);
    f.data2->setRecordSource(kSelect);
    f.data2->Refresh();
}

// Lists scales in the scale list and the per-scale table: address, name, reading.
struct Scale {
    int addr;
    QString name;
    QByteArray reading;
};
void list_scales(const QList<Scale>& scales, int selected = 0) {
    form1& f = Form1();
    f.Combo1->clear();
    for (int i = 0; i < scales.size(); ++i) {
        links.scale_addr[i] = scales[i].addr;
        links.scale_name[i] = scales[i].name;
        links.scale_reading[i] = scales[i].reading;
        f.Combo1->addItem(scales[i].name);
    }
    links.scale_count = static_cast<int16_t>(scales.size());
    f.Combo1->setCurrentIndex(scales.isEmpty() ? -1 : selected);
}

// The child of the kill test: stores one reading with "Save Current", says so, then waits to be
// killed.
[[noreturn]] void run_kill_child(const QString& conn_str) {
    bind_screen(conn_str);
    list_scales({{130, "Bay 1", "  1250.5 kg"}});
    Form1().btn_LogData_Click();
    std::fputs(Form1().data2->Recordset()->RecordCount() == 1 ? "stored\n" : "failed\n", stdout);
    std::fflush(stdout);
    for (;;)
        QThread::msleep(100);
}

} // namespace

class TestDataCollection : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDatabase> db;
    std::unique_ptr<ui::UiRecorder> user;
    std::unique_ptr<spreadsheet::SpreadsheetRecorder> sheet;

    form1& f() { return Form1(); }

    QVariant field(int id, const QString& column) {
        return db->scalar(QStringLiteral("SELECT \"%1\" FROM datacol WHERE ID = %2").arg(column).arg(id));
    }
    int rows() { return db->scalar("SELECT COUNT(*) FROM datacol").toInt(); }
    QString grid(int row, int col) {
        QAbstractItemModel* m = f().DataGrid1->model();
        return m->data(m->index(row, col)).toString();
    }
    // The ID column of the grid, top to bottom.
    QList<int> grid_ids() {
        QList<int> ids;
        for (int r = 0; r < f().DataGrid1->model()->rowCount(); ++r)
            ids << grid(r, 0).toInt();
        return ids;
    }
    void add_scalecfg(const QString& values) {
        QCOMPARE(
            db->exec("INSERT INTO ScaleCFG (sctype, NetID, \"Poll Active\", \"Poll Time\") VALUES " + values),
            QString());
    }
    // A trigger that makes the database refuse the records that match `when`.
    bool refuse_inserts(const QString& when, const QString& why) {
        bool ok = false;
        {
            QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "refuse");
            raw.setDatabaseName(db->path());
            ok = raw.open() && QSqlQuery(raw).exec("CREATE TRIGGER refuse BEFORE INSERT ON datacol WHEN " +
                                                   when + " BEGIN SELECT RAISE(ABORT, '" + why + "'); END");
            raw.close();
        }
        QSqlDatabase::removeDatabase("refuse");
        return ok;
    }
    // Stops the armed timers' own ticks; the tests deliver every tick with fire().
    void hold_timers() {
        for (ui::FormTimer* t : f().Timer5)
            t->setInterval(0);
    }
    QList<int> armed_limits() {
        QList<int> limits;
        for (int n = 0; n < 10; ++n) {
            if (!f().Timer5[n]->Enabled()) continue;
            if (f().Timer5[n]->Interval() != 950) return {-1000};
            limits << collect.datacol_limit[n];
        }
        return limits;
    }

private slots:
    void initTestCase() {
        if (qEnvironmentVariableIsSet(kChildDbEnv)) run_kill_child(qEnvironmentVariable(kChildDbEnv));
    }

    void init() {
        reset_module_state();
        set_clock(QTime(13, 45, 30));
        db = std::make_unique<testsupport::TempDatabase>();
        QVERIFY(db->ok());
        QCOMPARE(db->exec("DELETE FROM datacol; DELETE FROM ScaleCFG"), QString());
        user = std::make_unique<ui::UiRecorder>();
        ui::set_backend(user.get());
        sheet = std::make_unique<spreadsheet::SpreadsheetRecorder>();
        spreadsheet::set_backend(sheet.get());
        for (ui::FormTimer* t : f().Timer5) {
            t->setEnabled(false);
            t->setInterval(0);
        }
        f().opt_ID->setChecked(true);
        f().chk_Excel->setChecked(false);
        f().Label20->setText("Data Collection");
        bind_screen(db->conn_str);
    }
    void cleanup() {
        f().Check1->setChecked(false);
        // Let go of the database copy before it is removed.
        f().data2->setConnectionString(QString());
        f().data2->Refresh();
        f().scaleConfigRS->setConnectionString(QString());
        f().scaleConfigRS->Refresh();
        reset_module_state();
        db.reset();
    }

    void grid_shows_the_collected_columns() {
        QCOMPARE(db->exec("INSERT INTO datacol (ScaleID, Reading, Time, Date) VALUES ('130', '5.0', "
                          "'08:00:00', '2026-01-01')"),
                 QString());
        f().sortdatacol();
        QAbstractItemModel* m = f().DataGrid1->model();
        QStringList headers;
        for (int c = 0; c < m->columnCount(); ++c)
            headers << m->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(headers, QStringList({"ID", "ScaleID", "Reading", "Date", "Time"}));
        QCOMPARE(grid(0, 3), QString("2026-01-01"));
        QCOMPARE(grid(0, 4), QString("08:00:00"));
        QCOMPARE(f().Label20->text(), QString("Data Collection - 1 Readings"));
    }

    void save_all_stores_every_listed_scale_data() {
        QTest::addColumn<bool>("excel");
        QTest::newRow("without Excel") << false;
        QTest::newRow("with Excel") << true;
    }
    void save_all_stores_every_listed_scale() {
        QFETCH(bool, excel);
        // Nine readings already collected, so the title counts twelve afterwards.
        for (int i = 0; i < 9; ++i)
            QCOMPARE(db->exec("INSERT INTO datacol (ScaleID, Reading) VALUES ('1', 'x')"), QString());
        f().data2->Refresh();
        f().chk_Excel->setChecked(excel);
        list_scales({{130, "Bay 1", "  1250.5 kg"}, {131, "Bay 2", ""}, {200, "Hopper", "   -2.0 lb"}});

        f().btn_dataLogAll_Click();

        QCOMPARE(rows(), 12);
        const QStringList ids{"130", "131", "200"};
        const QList<QVariant> readings{QString("  1250.5 kg"), QVariant(), QString("   -2.0 lb")};
        for (int k = 0; k < 3; ++k) {
            const int id = 10 + k;
            QCOMPARE(field(id, "ScaleID").toString(), ids[k]);
            QCOMPARE(field(id, "Reading").isNull(), readings[k].isNull());
            QCOMPARE(field(id, "Reading").toString(), readings[k].toString());
            QCOMPARE(field(id, "Time").toString(), QString("13:45:30"));
            QCOMPARE(field(id, "Date").toString(), QString("2026-03-14"));
            QVERIFY(field(id, "Group").isNull());
            QVERIFY(field(id, "TagID").isNull());
        }
        QCOMPARE(f().Label20->text(), QString("Data Collection - 12 Readings"));
        QCOMPARE(f().DataGrid1->model()->rowCount(), 12);
        QCOMPARE(grid(11, 1), QString("200"));

        if (excel) {
            // Each record in the row after its ID, with the scale's name in column A.
            QCOMPARE(sheet->cell(11, 1).toString(), QString("Bay 1"));
            QCOMPARE(sheet->cell(11, 5).toInt(), 10);
            QCOMPARE(sheet->cell(12, 1).toString(), QString("Bay 2"));
            QCOMPARE(sheet->cell(12, 2).toString(), QString());
            QCOMPARE(sheet->cell(13, 1).toString(), QString("Hopper"));
            QCOMPARE(sheet->cell(13, 5).toInt(), 12);
            QCOMPARE(collect.excel_row, 14);
        } else {
            QCOMPARE(sheet->attaches, 0);
        }
        QVERIFY(user->boxes.isEmpty());
    }

    void save_current_data() {
        QTest::addColumn<QByteArray>("reading");
        QTest::addColumn<bool>("listed");
        QTest::addColumn<bool>("stored");
        QTest::newRow("reading") << QByteArray("  12.5 kg G") << true << true;
        QTest::newRow("empty reading") << QByteArray() << true << false;
        QTest::newRow("empty scale list") << QByteArray("  12.5 kg G") << false << false;
    }
    void save_current() {
        QFETCH(QByteArray, reading);
        QFETCH(bool, listed);
        QFETCH(bool, stored);
        f().chk_Excel->setChecked(true);
        list_scales({{129, "Bay 1", "1.0"}, {140, "Bay 2", reading}}, 1);
        if (!listed) {
            f().Combo1->clear();
            links.scale_reading[0] = reading;
        }

        f().btn_LogData_Click();

        QCOMPARE(rows(), stored ? 1 : 0);
        QVERIFY(user->boxes.isEmpty());
        if (!stored) {
            QCOMPARE(sheet->attaches, 0);
            QCOMPARE(sheet->writes.size(), 0);
            return;
        }
        QCOMPARE(field(1, "ScaleID").toString(), QString("140"));
        QCOMPARE(field(1, "Reading").toString(), QString::fromLatin1(reading));
        QCOMPARE(sheet->cell(2, 1).toString(), QString("Bay 2"));
        QCOMPARE(sheet->cell(2, 5).toInt(), 1);
        QCOMPARE(f().Label20->text(), QString("Data Collection - 1 Readings"));
    }

    void sort_options_data() {
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QList<int>>("ids");
        const QString q(kSelect);
        QTest::newRow("Weight, as text") << 0 << q + " order by Reading, date,time" << QList<int>{2, 1, 4, 3};
        QTest::newRow("Scale ID") << 1 << q + " order by scaleid, date,time" << QList<int>{2, 3, 4, 1};
        QTest::newRow("Dat/Time") << 2 << q + " order by date,time" << QList<int>{4, 3, 1, 2};
        QTest::newRow("ID") << 3 << q + " order by ID,date,time" << QList<int>{1, 2, 3, 4};
        QTest::newRow("none selected") << -1 << q << QList<int>{1, 2, 3, 4};
    }
    void sort_options() {
        QFETCH(int, option);
        QFETCH(QString, source);
        QFETCH(QList<int>, ids);
        QCOMPARE(
            db->exec("INSERT INTO datacol (ScaleID, Reading, Time, Date) VALUES "
                     "('131', '9.0', '10:00:00', '2026-01-02'), ('129', '10.5', '09:00:00', '2026-01-03'), "
                     "('130', '9.5', '08:00:00', '2026-01-01'), ('131', '9.5', '09:00:00', '2025-12-31')"),
            QString());
        QRadioButton* options[] = {f().opt_grp, f().opt_desc, f().opt_datetime, f().opt_ID};
        if (option < 0) {
            for (QRadioButton* o : options) {
                o->setAutoExclusive(false);
                o->setChecked(false);
                o->setAutoExclusive(true);
            }
        } else {
            options[option]->setChecked(true);
        }
        f().sortdatacol();
        QCOMPARE(f().data2->RecordSource(), source);
        QCOMPARE(grid_ids(), ids);
        QVERIFY(user->boxes.isEmpty());
    }

    void readings_sort_by_date_and_time_as_taken() {
        // Stored out of order across a day boundary and across the hour 9 -> 10.
        list_scales({{130, "Bay 1", "1.0"}});
        set_clock(QTime(9, 0, 0), kToday.addDays(1));
        f().btn_LogData_Click();
        set_clock(QTime(10, 0, 0), kToday);
        f().btn_LogData_Click();
        set_clock(QTime(9, 30, 5), kToday);
        f().btn_LogData_Click();
        f().opt_datetime->setChecked(true);
        f().sortdatacol();
        QCOMPARE(grid_ids(), QList<int>({3, 2, 1}));
        QCOMPARE(grid(0, 4), QString("09:30:05"));
        QCOMPARE(grid(0, 3), QString("2026-03-14"));
    }

    void clear_list_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("left");
        QTest::newRow("Yes") << int(ui::vbYes) << 0;
        QTest::newRow("No") << int(ui::vbNo) << 2;
    }
    void clear_list() {
        QFETCH(int, answer);
        QFETCH(int, left);
        list_scales({{130, "Bay 1", "1.0"}});
        f().btn_LogData_Click();
        f().btn_LogData_Click();
        user->answers = {answer};

        f().Command2_Click();

        QCOMPARE(user->beeps, 1);
        QCOMPARE(user->boxes.size(), 1);
        QCOMPARE(user->boxes[0].text, QString(kClearQuestion));
        QCOMPARE(user->boxes[0].buttons, int(ui::vbYesNo));
        QCOMPARE(rows(), left);
        QCOMPARE(f().DataGrid1->model()->rowCount(), left);
        QCOMPARE(f().Label20->text(), QString("Data Collection - %1 Readings").arg(left));
    }

    void enabled_box_arms_the_timers_data() {
        QTest::addColumn<QString>("records");
        QTest::addColumn<QList<int>>("limits");
        QTest::newRow("NetID 127 and empty Poll Active arm nothing")
            << "('RS485', 127, 1, 2), ('RS485', 130, NULL, 3), ('RS485', 131, 1, 4)" << QList<int>{4};
        QTest::newRow("Poll Active no") << "('RS485', 130, 0, 1)" << QList<int>{};
        QTest::newRow("RS232 records left out")
            << "('RS232', 140, 1, 1), ('USB485', 141, 1, 2)" << QList<int>{2};
        QTest::newRow("in NetID order") << "('RS485', 200, 1, 7), ('RS485', 150, 1, 5)" << QList<int>{5, 7};
        QTest::newRow("no Poll Time counts 0, halves to even")
            << "('RS485', 130, 1, NULL), ('RS485', 131, 1, 2.5), ('RS485', 132, 1, 3.5), ('RS485', 133, 1, "
               "4.6)"
            << QList<int>{0, 2, 4, 5};
    }
    void enabled_box_arms_the_timers() {
        QFETCH(QString, records);
        QFETCH(QList<int>, limits);
        add_scalecfg(records);
        links.cur_scale = 2;
        f().Datamsg->setVisible(true);

        f().Check1->setChecked(true);
        QVERIFY(links.datacol_enb[2]);
        QCOMPARE(armed_limits(), limits);
        QVERIFY(user->boxes.isEmpty());

        collect.datacol_count[0] = 3;
        f().Check1->setChecked(false);
        QVERIFY(!links.datacol_enb[2]);
        QVERIFY(f().Datamsg->isHidden());
        for (int n = 0; n < 10; ++n) {
            QVERIFY(!f().Timer5[n]->Enabled());
            QCOMPARE(collect.datacol_count[n], 0);
            QCOMPARE(collect.datacol_limit[n], 0);
        }
    }

    void unloading_the_screen_stops_timed_collection() {
        add_scalecfg("('RS485', 130, 1, 0), ('RS485', 131, 1, 0)");
        f().Check1->setChecked(true);
        QCOMPARE(armed_limits().size(), 2);
        emit f().unloaded();
        for (ui::FormTimer* t : f().Timer5)
            QVERIFY(!t->Enabled());
        QVERIFY(!f().scaleConfigRS->Recordset()->IsOpen());
    }

    void more_than_ten_scales_arm_the_first_ten() {
        QStringList values;
        for (int k = 0; k < 12; ++k)
            values << QString("('RS485', %1, 1, %2)").arg(130 + k).arg(k);
        add_scalecfg(values.join(", "));
        f().Check1->setChecked(true);
        QCOMPARE(armed_limits(), QList<int>({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
        QCOMPARE(user->boxes.size(), 1);
        QVERIFY(user->boxes[0].text.contains("ten"));
    }

    void timer_ticks_data() {
        QTest::addColumn<QString>("poll_time");
        QTest::addColumn<QString>("stored_at"); // 1 where a tick stores a record
        QTest::newRow("Poll Time 0: every tick") << "0"
                                                 << "1111";
        QTest::newRow("Poll Time 4: every fifth tick") << "4"
                                                       << "0000100001";
        QTest::newRow("Poll Time 1") << "1"
                                     << "010101";
    }
    void timer_ticks() {
        QFETCH(QString, poll_time);
        QFETCH(QString, stored_at);
        add_scalecfg("('RS485', 130, 1, 9), ('RS485', 131, 1, " + poll_time + ")");
        // Element 1 logs slot 1, whichever scale that is.
        list_scales({{130, "Bay 1", "1.0"}, {131, "Bay 2", ""}});
        f().Check1->setChecked(true);
        hold_timers();
        f().Label20->setText("Data Collection");

        QString seen;
        for (int tick = 0; tick < stored_at.size(); ++tick) {
            const int before = rows();
            f().Timer5[1]->fire();
            seen += rows() > before ? u'1' : u'0';
        }
        QCOMPARE(seen, stored_at);
        QCOMPARE(rows(), int(stored_at.count(u'1')));
        const int id = db->scalar("SELECT MIN(ID) FROM datacol").toInt();
        QCOMPARE(field(id, "ScaleID").toString(), QString("Bay 2"));
        // An empty reading is stored as the empty text.
        QVERIFY(!field(id, "Reading").isNull());
        QCOMPARE(field(id, "Reading").toString(), QString());
        QCOMPARE(sheet->attaches, 0);
        QVERIFY(user->boxes.isEmpty());
    }

    void data_collect_numbers_the_copy_by_the_stored_record() {
        QCOMPARE(
            db->exec("INSERT INTO datacol (ScaleID, Reading) VALUES ('Bay 9', '99.0'), ('Bay 9', '98.0')"),
            QString());
        f().opt_grp->setChecked(true);
        f().sortdatacol();
        f().chk_Excel->setChecked(true);
        list_scales({{130, "Bay 1", ""}, {131, "Bay 2", " 10.0 kg"}}, 0);

        f().Data_collect();
        QCOMPARE(field(3, "ScaleID").toString(), QString("Bay 1"));
        QVERIFY(field(3, "Reading").isNull());
        f().Combo1->setCurrentIndex(1);
        f().Data_collect();
        QCOMPARE(field(4, "Reading").toString(), QString(" 10.0 kg"));

        // The grid's last record (by reading) is ID 1, yet each copy goes to its own record's row.
        QCOMPARE(sheet->cell(4, 1).toString(), QString("Bay 1"));
        QCOMPARE(sheet->cell(4, 5).toInt(), 3);
        QCOMPARE(sheet->cell(5, 1).toString(), QString("Bay 2"));
        QCOMPARE(sheet->cell(5, 5).toInt(), 4);
        QCOMPARE(f().Label20->text(), QString("Data Collection - 4 Readings"));
    }

    void failing_store_is_reported_data() {
        QTest::addColumn<QString>("operation");
        QTest::newRow("Save All") << "Save All";
        QTest::newRow("Save Current") << "Save Current";
        QTest::newRow("timed collection") << "Timed data collection";
        QTest::newRow("Data_collect") << "Data collection";
    }
    void failing_store_is_reported() {
        QFETCH(QString, operation);
        QVERIFY(refuse_inserts("NEW.ScaleID IN ('131', 'Bay 2')", "datacol refused the record"));
        f().chk_Excel->setChecked(true);
        list_scales({{130, "Bay 1", "1.0"}, {131, "Bay 2", "2.0"}, {132, "Bay 3", "3.0"}}, 1);
        add_scalecfg("('RS485', 130, 1, 0), ('RS485', 131, 1, 0)");

        if (operation == "Save All") {
            f().btn_dataLogAll_Click();
        } else if (operation == "Save Current") {
            f().btn_LogData_Click();
        } else if (operation == "Data collection") {
            f().Data_collect();
        } else {
            f().Check1->setChecked(true);
            hold_timers();
            f().Timer5[1]->fire();
            QVERIFY(!f().Check1->isChecked());
            for (ui::FormTimer* t : f().Timer5)
                QVERIFY(!t->Enabled());
        }

        // Only the record before the failing one is stored, and nothing of the failing one.
        QCOMPARE(db->scalar("SELECT COUNT(*) FROM datacol WHERE ScaleID IN ('131', 'Bay 2')").toInt(), 0);
        QCOMPARE(rows(), operation == "Save All" ? 1 : 0);
        QCOMPARE(sheet->cell(3, 1).toString(), QString());
        if (operation == "Save Current") {
            // Its failures pass quietly.
            QVERIFY(user->boxes.isEmpty());
        } else {
            QCOMPARE(user->boxes.size(), 1);
            QVERIFY2(user->boxes[0].text.startsWith(operation), qPrintable(user->boxes[0].text));
            QVERIFY2(user->boxes[0].text.contains("datacol refused the record"),
                     qPrintable(user->boxes[0].text));
        }

        // The recordset is not left in the middle of a record: the next reading stores normally.
        f().Combo1->setCurrentIndex(2);
        f().btn_LogData_Click();
        QCOMPARE(db->scalar("SELECT COUNT(*) FROM datacol WHERE ScaleID = '132'").toInt(), 1);
    }

    // A full disk is told as such, with its cure, not as a broken database.
    void full_disk_is_told_with_its_cure() {
        f().data2->setConnectionString(QString());
        f().data2->Refresh();
        // The disk fills while the collected readings are open.
        testsupport::FullDisk disk(*db, false);
        bind_screen(db->conn_str);
        if (!disk.fill()) QSKIP(disk.why());
        list_scales({{130, "Bay 1", "1.0"}});
        f().btn_dataLogAll_Click();
        QVERIFY2(user->boxes.size() == 1, qPrintable(user->texts().join('|')));
        QVERIFY2(user->boxes[0].text.contains("is full. The database is not damaged: free space"),
                 qPrintable(user->boxes[0].text));
        f().data2->setConnectionString(QString());
        f().data2->Refresh();
    }

    void clear_list_failure_is_reported() {
        list_scales({{130, "Bay 1", "1.0"}});
        f().btn_LogData_Click();
        core.conn_str_a = "Provider=Microsoft.Jet.OLEDB.4.0; Data Source=" + db->folder + "\\missing.mdb";
        f().Command2_Click();
        QCOMPARE(user->boxes.size(), 2);
        QVERIFY(user->boxes[1].text.startsWith("Clear List"));
        QCOMPARE(rows(), 1);
        QCOMPARE(f().Label20->text(), QString("Data Collection - 1 Readings"));
    }

    void stored_reading_survives_a_killed_process() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildDbEnv, db->conn_str);
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {"grid_shows_the_collected_columns"});
        QVERIFY(child.waitForStarted());
        QByteArray said;
        while (!said.contains("stored\n") && !said.contains("failed\n") && child.waitForReadyRead(60000))
            said += child.readAllStandardOutput();
        QVERIFY2(said.contains("stored\n"), said.constData());
        QCOMPARE(::kill(static_cast<pid_t>(child.processId()), SIGKILL), 0);
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        QCOMPARE(rows(), 1);
        QCOMPARE(field(1, "ScaleID").toString(), QString("130"));
        QCOMPARE(field(1, "Reading").toString(), QString("  1250.5 kg"));
    }
};

WEYVANE_TEST_MAIN(TestDataCollection)
#include "test_data_collection.moc"
