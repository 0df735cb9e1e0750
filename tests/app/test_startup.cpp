// Start-up: single instance, compaction of the program folder's database, cfg.txt, the data
// folder chooser when the database is missing, and the connection strings.
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLockFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <sys/stat.h>

#include "app/frmMain.h"
#include "app/module_state.h"
#include "app/startup.h"
#include "core/cfg_file.h"
#include "core/core_state.h"
#include "core/forms.h"
#include "core/getdatapath.h"
#include "platform/instance/instance.h"
#include "platform/ui/message_box.h"
#include "tests/support/permissions.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

namespace {

const QString kPrefix = QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0; Data Source=");
const QString kNotFound = QStringLiteral(
    "The datafile ZQDATA.MDB was not found at the configured datapath. Please press OK and select one now");

QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void write_all(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

bool has_text(const ui::UiRecorder& rec, const QString& part) {
    for (const QString& t : rec.texts())
        if (t.contains(part)) return true;
    return false;
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

    ui::UiRecorder rec;
    std::unique_ptr<testsupport::TempDatabase> app; // the program's folder

    QString cfg_file() const { return app->folder + "/cfg.txt"; }

private slots:
    void init() {
        reset_module_state();
        rec = ui::UiRecorder();
        ui::set_backend(&rec);
        app = std::make_unique<testsupport::TempDatabase>();
        QVERIFY(app->ok());
        core.app_path_override = app->folder;
    }

    void cleanup() {
        if (main_form().Loaded()) main_form().Unload();
        reset_module_state();
        app.reset();
    }

    void second_instance_touches_nothing() {
        instance::release();
        const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        QLockFile other(dir + "/weyvane.lock");
        QVERIFY(other.tryLock(0));
        const QByteArray before = read_all(app->path());

        QVERIFY(!Main());

        QCOMPARE(rec.beeps, 1);
        QCOMPARE(rec.texts(),
                 QStringList{"There is already a previous instance of the Weyvane program running."});
        QCOMPARE(rec.boxes[0].buttons, int(ui::vbOKOnly));
        QVERIFY(rec.pointers.isEmpty());
        QVERIFY(!QFile::exists(cfg_file()));
        QCOMPARE(read_all(app->path()), before);
        QVERIFY(core.main_form == nullptr);
        QVERIFY(core.conn_str.isEmpty());
    }

    void first_start_compacts_and_creates_cfg() {
        // Readings stored before the start are all there after the compaction.
        QCOMPARE(app->exec("INSERT INTO datacol (ScaleID, Reading) VALUES ('S1', '10.5 kg');"
                           "INSERT INTO datacol (ScaleID, Reading) VALUES ('S2', '11.0 kg')"),
                 QString());
        const int readings = app->scalar("SELECT COUNT(*) FROM datacol").toInt();
        QVERIFY(readings >= 2);

        QVERIFY(Main());

        QVERIFY(rec.boxes.isEmpty());
        QCOMPARE(rec.pointers, (QList<int>{ui::vbHourglass, ui::vbDefault}));
        QCOMPARE(read_all(cfg_file()), app->folder.toUtf8() + "\r\n");
        QCOMPARE(core.data_path, app->folder);
        QCOMPARE(core.conn_str, kPrefix + app->folder + "\\zqdata.mdb");
        QCOMPARE(core.conn_str_a, core.conn_str);
        QVERIFY(!QFile::exists(app->folder + "/temp.mdb"));
        QCOMPARE(app->scalar("SELECT COUNT(*) FROM datacol").toInt(), readings);
        QCOMPARE(app->scalar("SELECT Reading FROM datacol WHERE ScaleID = 'S2'").toString(), "11.0 kg");
        QVERIFY(core.main_form == &main_form());
        QVERIFY(main_form().isVisible());
        QVERIFY(!core.scale_screen_active);
    }

    void leftover_temp_is_removed() {
        write_all(app->folder + "/temp.mdb", "left from a crash");
        write_all(app->folder + "/temp.mdb-journal", "stale");
        QVERIFY(Main());
        QVERIFY(!QFile::exists(app->folder + "/temp.mdb"));
        QVERIFY(!QFile::exists(app->folder + "/temp.mdb-journal"));
        QVERIFY(app->scalar("SELECT COUNT(*) FROM syscfg").toInt() >= 1);
    }

    void failed_compaction_keeps_original_data() {
        QTest::addColumn<QString>("damage");
        QTest::newRow("not a database") << "garbage";
        QTest::newRow("temp.mdb cannot be removed") << "temp-folder";
        QTest::newRow("write-protected") << "read-only";
    }
    void failed_compaction_keeps_original() {
        QFETCH(QString, damage);
        testsupport::PermissionsBind bind;
        if (damage == "garbage") {
            write_all(app->path(), QByteArray("this is not a database file").repeated(100));
        } else if (damage == "read-only") {
            QVERIFY(QFile::setPermissions(app->path(), QFile::ReadOwner));
        } else {
            QVERIFY(QDir().mkpath(app->folder + "/temp.mdb/inside"));
        }
        const QByteArray before = read_all(app->path());

        QVERIFY(Main() || damage == "garbage"); // a damaged database may stop the settings row

        QCOMPARE(read_all(app->path()), before);
        QVERIFY(has_text(rec, "The database " + app->path() + " could not be compacted"));
        if (damage == "read-only")
            QVERIFY2(has_text(rec, "(the file is write-protected)"), qPrintable(rec.texts().join('|')));
        QCOMPARE(rec.pointers, (QList<int>{ui::vbHourglass, ui::vbDefault}));
        // Start-up went on past the compaction.
        QVERIFY(main_form().isVisible());
        QCOMPARE(read_all(cfg_file()), app->folder.toUtf8() + "\r\n");
        if (damage == "garbage")
            QVERIFY(!QFile::exists(app->folder + "/temp.mdb"));
        else
            QCOMPARE(core.conn_str, kPrefix + app->folder + "\\zqdata.mdb");
    }

    void no_database_in_program_folder() {
        testsupport::TempDatabase data;
        QVERIFY(data.ok());
        QVERIFY(QFile::remove(app->path()));
        QVERIFY(write_cfg(data.folder));

        QVERIFY(Main());

        QCOMPARE(rec.texts(), QStringList{"Could not open " + app->folder + "/zqdata.mdb"});
        QVERIFY(rec.pointers.isEmpty());
        QCOMPARE(core.data_path, data.folder);
        QCOMPARE(core.conn_str, kPrefix + data.folder + "\\zqdata.mdb");
    }

    void cfg_field_in_quotes() {
        testsupport::TempDatabase data;
        QVERIFY(data.ok());
        write_all(cfg_file(), "\"" + data.folder.toUtf8() + "\"\r\n");
        QVERIFY(Main());
        QCOMPARE(core.data_path, data.folder);
        QVERIFY(rec.boxes.isEmpty());
    }

    void missing_database_asks_for_folder() {
        testsupport::TempDatabase data;
        QVERIFY(data.ok());
        QTemporaryDir empty;
        QVERIFY(write_cfg(empty.path()));
        rec.on_box = [&](const ui::UiRecorder::Box& box) {
            if (box.text != kNotFound) return;
            // Acts in the chooser once it is open: first a folder without the file, then the good one.
            QTimer::singleShot(0, [&] {
                getdatapath& chooser = getdatapath_form();
                QVERIFY(chooser.isVisible());
                QVERIFY(chooser.Label1->text().isEmpty());
                chooser.Dir1->setPath(empty.path());
                chooser.Command1_Click();
                QVERIFY(chooser.isVisible());
                chooser.Dir1->setPath(data.folder);
                chooser.Command1_Click();
            });
        };

        QVERIFY(Main());

        QCOMPARE(rec.texts(), (QStringList{kNotFound, "That path is not correct. Please select the drive and "
                                                      "directory where zqdata.mdb is located."}));
        QVERIFY(!getdatapath_form().isVisible());
        QCOMPARE(read_all(cfg_file()), data.folder.toUtf8() + "\r\n");
        QCOMPARE(core.data_path, data.folder);
        QCOMPARE(core.conn_str, kPrefix + data.folder + "\\zqdata.mdb");
        QCOMPARE(core.conn_str_a, core.conn_str);
    }

    void chooser_cancelled_ends_program() {
        QTemporaryDir empty;
        QVERIFY(write_cfg(empty.path()));
        rec.on_box = [&](const ui::UiRecorder::Box& box) {
            if (box.text == kNotFound) QTimer::singleShot(0, [] { getdatapath_form().Command2_Click(); });
        };

        QVERIFY(!Main());

        QCOMPARE(rec.boxes.size(), 3);
        QCOMPARE(rec.boxes[1].caption, QString("Cancel Changes"));
        QVERIFY(rec.boxes[2].text.contains(empty.path()));
        QVERIFY(rec.boxes[2].text.contains("end"));
        QCOMPARE(read_all(cfg_file()), empty.path().toUtf8() + "\r\n");
        QVERIFY(core.conn_str.isEmpty());
    }

    // The shell closed while the start-up tells that the data file is missing: the program
    // ends there, the chooser never opens and cfg.txt stays as it was.
    void shell_closed_under_missing_database_message() {
        QTemporaryDir empty;
        QVERIFY(write_cfg(empty.path()));
        bool chooser_opened = false;
        QObject scope; // no timer of this test outlives it
        rec.on_box = [&](const ui::UiRecorder::Box& box) {
            if (box.text != kNotFound) return;
            main_form().close();
            // A chooser opened all the same is closed for the test to go on.
            QTimer::singleShot(0, &scope, [&] {
                chooser_opened = getdatapath_form().isVisible();
                if (getdatapath_form().Loaded()) getdatapath_form().Unload();
            });
        };

        QVERIFY(!Main());

        QVERIFY(!main_form().Loaded());
        QVERIFY(!chooser_opened);
        QCOMPARE(rec.texts(), QStringList{kNotFound});
        QCOMPARE(read_all(cfg_file()), empty.path().toUtf8() + "\r\n");
    }

    void database_name_in_other_case() {
        testsupport::TempDatabase data;
        QVERIFY(data.ok());
        QVERIFY(QFile::rename(data.path(), data.folder + "/ZQDATA.MDB"));
        QVERIFY(write_cfg(data.folder));
        QVERIFY(Main());
        QVERIFY(rec.boxes.isEmpty());
        // The file is reached under the name it has on disk.
        QCOMPARE(core.conn_str, kPrefix + data.folder + "\\ZQDATA.MDB");
        QVERIFY(!core.comm_type.isEmpty());
    }

    // A folder whose name holds ";" and "\\" is taken by the chooser and then used as the data
    // folder through the connection string.
    void data_folder_with_separators_in_name() {
        QTemporaryDir base;
        const QString folder = base.path() + "/da;ta\\site";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(QStringLiteral(WEYVANE_BIN_DIR) + "/zqdata.mdb", folder + "/zqdata.mdb"));
        QFile::setPermissions(folder + "/zqdata.mdb", QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(QFile::remove(app->path()));
        QVERIFY(write_cfg(base.path()));
        rec.on_box = [&](const ui::UiRecorder::Box& box) {
            if (box.text != kNotFound) return;
            QTimer::singleShot(0, [&] {
                getdatapath_form().Dir1->setPath(folder);
                getdatapath_form().Command1_Click();
                if (getdatapath_form().Loaded()) getdatapath_form().Unload(); // refused
            });
        };

        QVERIFY(Main());

        QCOMPARE(rec.texts(), (QStringList{"Could not open " + app->path(), kNotFound}));
        QCOMPARE(core.data_path, folder);
        QCOMPARE(core.conn_str, kPrefix + folder + "\\zqdata.mdb");
        // The settings row was read from the file in that folder.
        QCOMPARE(core.comm_type, QString("RS232"));
        QCOMPARE(core.comm_port, int16_t(1));
    }

    // A settings row that cannot be used leaves the delivered settings for what could not be
    // used, after one message that names each value, the value taken instead, and only advice
    // that works; what could be read is taken.
    void unreadable_settings_take_delivered_values_data() {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("comm_type");
        QTest::addColumn<int>("comm_port");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("setup_advice");
        QTest::newRow("commtype null") << "UPDATE syscfg SET commtype=NULL, commport='2'"
                                       << "RS232" << 2 << "RS232 for commtype" << true;
        QTest::newRow("commtype empty") << "UPDATE syscfg SET commtype=''"
                                        << "RS232" << 1 << "RS232 for commtype" << true;
        // A link type that no link knows is named and taken: no link is opened for it.
        QTest::newRow("commtype Serial")
            << "UPDATE syscfg SET commtype='Serial', commport='2'"
            << "Serial" << 2 << "\"Serial\". The scale screen opens no link" << true;
        QTest::newRow("commtype lower case") << "UPDATE syscfg SET commtype='rs232'"
                                             << "rs232" << 1 << "\"rs232\"" << true;
        QTest::newRow("commport word") << "UPDATE syscfg SET commtype='USB485', commport='COM2'"
                                       << "USB485" << 1 << "1 for commport" << true;
        QTest::newRow("tagblz word") << "UPDATE syscfg SET tagblz='x'"
                                     << "RS232" << 1 << "0 for tagblz" << false;
        QTest::newRow("row missing") << "DELETE FROM syscfg"
                                     << "RS232" << 1 << "missing" << false;
    }
    void unreadable_settings_take_delivered_values() {
        QFETCH(QString, sql);
        QFETCH(QString, comm_type);
        QFETCH(int, comm_port);
        QFETCH(QString, told);
        QFETCH(bool, setup_advice);
        QCOMPARE(app->exec(sql), QString());
        core.comm_type = "left from before";

        QVERIFY(Main());

        QCOMPARE(rec.boxes.size(), 1);
        QVERIFY2(rec.boxes[0].text.contains(told), qPrintable(rec.boxes[0].text));
        QCOMPARE(rec.boxes[0].text.contains("Scale Configurations"), setup_advice);
        QCOMPARE(core.comm_type, comm_type);
        QCOMPARE(core.comm_port, int16_t(comm_port));
        QCOMPARE(core.rf_net_id, QString("0"));
        QCOMPARE(core.net_poll_time, 0.33);
        QVERIFY(main_form().Loaded());
    }

    // Files that hold no usable database end start-up with one message, and stay as they were.
    void unusable_database_file_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("told");
        QTest::newRow("zero bytes") << "empty"
                                    << "is empty";
        QTest::newRow("write-protected folder") << "folder"
                                                << "must be allowed to write in that folder";
    }
    void unusable_database_file() {
        QFETCH(QString, kind);
        QFETCH(QString, told);
        if (kind == "empty") write_all(app->path(), QByteArray());
        QVERIFY(write_cfg(app->folder));
        const QByteArray before = read_all(app->path());
        const QFile::Permissions writable = QFile::permissions(app->folder);
        bool ended = false;
        {
            testsupport::PermissionsBind bind;
            if (kind == "folder")
                QVERIFY(QFile::setPermissions(app->folder, QFile::ReadOwner | QFile::ExeOwner));
            ended = !Main();
            QFile::setPermissions(app->folder, writable);
        }
        QVERIFY(ended);
        QVERIFY2(rec.boxes.size() == 1, qPrintable(rec.texts().join('|')));
        QVERIFY2(rec.boxes[0].text.contains(told), qPrintable(rec.boxes[0].text));
        QCOMPARE(read_all(app->path()), before);
        QVERIFY(!QFile::exists(app->folder + "/temp.mdb"));
        QVERIFY(!QFile::exists(app->path() + "-wal"));
    }

    // A data folder whose name the connection string cannot carry is refused at start-up as the
    // chooser refuses it, and the chooser is offered.
    void cfg_folder_name_not_usable() {
        testsupport::TempDatabase data;
        QVERIFY(data.ok());
        const QString folder = app->folder + "/x; Mode=1";
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(QFile::copy(app->path(), folder + "/zqdata.mdb"));
        QVERIFY(write_cfg(folder));
        rec.on_box = [&](const ui::UiRecorder::Box& box) {
            if (!box.text.contains("cannot be used")) return;
            QTimer::singleShot(0, [&] {
                getdatapath_form().Dir1->setPath(data.folder);
                getdatapath_form().Command1_Click();
                if (getdatapath_form().Loaded()) getdatapath_form().Unload();
            });
        };

        QVERIFY(Main());

        QVERIFY2(rec.boxes.size() == 1 && rec.boxes[0].text.contains(folder),
                 qPrintable(rec.texts().join('|')));
        QCOMPARE(core.conn_str, kPrefix + data.folder + "\\zqdata.mdb");
    }

    void program_folder_database_in_other_case_is_compacted() {
        QVERIFY(QFile::rename(app->path(), app->folder + "/ZqData.Mdb"));
        QVERIFY(Main());
        QCOMPARE(rec.pointers, (QList<int>{ui::vbHourglass, ui::vbDefault}));
        QVERIFY(rec.boxes.isEmpty());
        QVERIFY(QFile::exists(app->folder + "/ZqData.Mdb"));
        QVERIFY(!QFile::exists(app->folder + "/temp.mdb"));
        QCOMPARE(core.conn_str, kPrefix + app->folder + "\\ZqData.Mdb");
    }

    void cfg_neither_readable_nor_creatable() {
        QVERIFY(QDir().mkpath(cfg_file() + "/blocked"));
        QVERIFY(!Main());
        QVERIFY(has_text(rec, cfg_file()));
        QVERIFY(core.conn_str.isEmpty());
    }

    void compaction_with_side_files_data() {
        QTest::addColumn<QString>("side");
        QTest::addColumn<bool>("compacted");
        QTest::newRow("log left by a killed writer") << "killed writer" << true;
        QTest::newRow("stale shared-memory file") << "stale shm" << true;
        QTest::newRow("another program still writing") << "open writer" << false;
        QTest::newRow("another program holding it, log played in") << "idle holder" << false;
        QTest::newRow("another program inside a transaction") << "open transaction" << false;
    }
    // Readings in the write-ahead log beside the database are never lost: they are in the
    // compacted copy, or, while another program holds the file open, the file is left as it was
    // and what that program commits afterwards lands in it.
    void compaction_with_side_files() {
        QFETCH(QString, side);
        QFETCH(bool, compacted);
        const QString wal = app->path() + "-wal";
        const QString shm = app->path() + "-shm";
        const QString writer_name = "side-files-writer";
        {
            QSqlDatabase writer = QSqlDatabase::addDatabase("QSQLITE", writer_name);
            writer.setDatabaseName(app->path());
            QVERIFY(writer.open());
            QSqlQuery q(writer);
            QVERIFY(q.exec("PRAGMA journal_mode = WAL") && q.next());
            QCOMPARE(q.value(0).toString(), QString("wal"));
            QVERIFY(q.exec("PRAGMA wal_autocheckpoint = 0"));
            for (int i = 0; i < 3; ++i)
                QVERIFY(q.exec(
                    QString("INSERT INTO datacol (ScaleID, Reading) VALUES ('S%1', 'in the log')").arg(i)));
            if (side == "idle holder") QVERIFY(q.exec("PRAGMA wal_checkpoint(TRUNCATE)"));
            if (side == "open transaction")
                QVERIFY(q.exec("BEGIN") &&
                        q.exec("INSERT INTO datacol (ScaleID, Reading) VALUES ('T', 'after')"));
        }
        QVERIFY(QFileInfo(wal).size() > 0 || side == "idle holder");
        if (side == "killed writer") {
            // What a killed process leaves: the file and its log as they stood, nobody holding them.
            QTemporaryDir keep;
            QVERIFY(QFile::copy(app->path(), keep.path() + "/db") && QFile::copy(wal, keep.path() + "/wal"));
            QSqlDatabase::removeDatabase(writer_name);
            QVERIFY(!QFile::exists(wal)); // the clean close played the log into the file
            QVERIFY(QFile::remove(app->path()));
            QVERIFY(QFile::copy(keep.path() + "/db", app->path()) && QFile::copy(keep.path() + "/wal", wal));
        } else if (side == "stale shm") {
            QSqlDatabase::removeDatabase(writer_name);
            write_all(shm, QByteArray(32768, '\x5a'));
        }
        const auto inode = [&] {
            struct stat st {};
            return ::stat(QFile::encodeName(app->path()).constData(), &st) == 0 ? st.st_ino : ino_t(0);
        };
        const auto before = inode();
        QString error;
        bool in_use = false;
        QCOMPARE(compact_database(app->folder, &error, &in_use), compacted);
        QVERIFY(!QFile::exists(app->folder + "/temp.mdb"));
        if (compacted) {
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QVERIFY(!in_use);
            // The compacted file holds the readings by itself: no log is left to play into it.
            QVERIFY(QFileInfo(wal).size() == 0);
        } else {
            QVERIFY(in_use);
            QVERIFY(error.contains("open in another program"));
            QCOMPARE(inode(), before);
            // The other program's work after the start is in the file the program uses.
            {
                QSqlQuery q(QSqlDatabase::database(writer_name, false));
                if (side == "open transaction")
                    QVERIFY(q.exec("COMMIT"));
                else
                    QVERIFY(q.exec("INSERT INTO datacol (ScaleID, Reading) VALUES ('T', 'after')"));
            }
            QSqlDatabase::removeDatabase(writer_name);
            QCOMPARE(app->scalar("SELECT COUNT(*) FROM datacol WHERE Reading = 'after'").toInt(), 1);
        }
        QCOMPARE(app->scalar("SELECT COUNT(*) FROM datacol WHERE Reading = 'in the log'").toInt(), 3);
        QCOMPARE(app->scalar("PRAGMA integrity_check").toString(), QString("ok"));
    }

    void compact_database_replaces_only_whole_copy() {
        QString error;
        QVERIFY(compact_database(app->folder, &error));
        QVERIFY(error.isEmpty());
        QVERIFY(!QFile::exists(app->folder + "/temp.mdb"));
        QVERIFY(app->scalar("SELECT COUNT(*) FROM syscfg").toInt() >= 1);

        // Without a database there is nothing to compact, and nothing appears.
        QTemporaryDir empty;
        QVERIFY(!compact_database(empty.path(), &error));
        QVERIFY(!error.isEmpty());
        QVERIFY(QDir(empty.path()).isEmpty());
    }
};

WEYVANE_TEST_MAIN(TestStartup)
#include "test_startup.moc"
