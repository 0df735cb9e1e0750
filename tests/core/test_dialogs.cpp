// The about box with its system-information lookup, the registry it reads, and the data-folder
// chooser with its Okay and Cancel rules.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <QtTest>

#include "app/frmMain.h"
#include "app/module_state.h"
#include "core/cfg_file.h"
#include "core/core_state.h"
#include "core/forms.h"
#include "core/frmAbout.h"
#include "core/getdatapath.h"
#include "platform/registry/registry.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/twips.h"
#include "platform/volumes/volumes.h"
#include "tests/support/test_main.h"

using namespace registry;

namespace {

const QString kSysInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
const QString kSysInfoLocKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
const QString kUnavailable = "System Information Is Unavailable At This Time";
const QString kNotCorrect =
    "That path is not correct. Please select the drive and directory where zqdata.mdb is located.";

void touch(const QString& path) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
}

QByteArray read_all(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

    ui::UiRecorder rec;
    std::unique_ptr<QTemporaryDir> tmp; // registry file, program folder and data folders
    QStringList launched;
    bool launch_ok = true;

    QString app() const { return tmp->path() + "/app"; }

private slots:
    void init() {
        reset_module_state();
        rec = ui::UiRecorder();
        ui::set_backend(&rec);
        tmp = std::make_unique<QTemporaryDir>();
        QDir().mkpath(app());
        core.app_path_override = app();
        registry::set_file(tmp->path() + "/registry.json");
        launched.clear();
        launch_ok = true;
        frmAbout::launcher = [this](const QString& program) {
            launched.append(program);
            return launch_ok;
        };
    }

    void cleanup() {
        if (getdatapath_form().Loaded()) getdatapath_form().Unload();
        if (about_form().Loaded()) about_form().Unload();
        reset_module_state();
        tmp.reset();
    }

    // ---- about box ----

    void about_box_from_shell() {
        main_form().Show();
        bool checked = false;
        QTimer::singleShot(0, [&] {
            frmAbout& a = about_form();
            QVERIFY(a.isVisible());
            QCOMPARE(a.windowTitle(), QString("About Weyvane"));
            QCOMPARE(a.size(), QSize(ui::px(6630), ui::px(2730)));
            QCOMPARE(a.Label1[0]->text(), QString("Version %1.%2.%3")
                                              .arg(WEYVANE_VERSION_MAJOR)
                                              .arg(WEYVANE_VERSION_MINOR)
                                              .arg(WEYVANE_VERSION_PATCH));
            const QString contacts = frmAbout::contact_list();
            QCOMPARE(a.lblDisclaimer->text(), QString(contacts).replace('\r', '\n').trimmed());
            QVERIFY(contacts.endsWith('\r'));
            const QStringList lines = contacts.split('\r', Qt::SkipEmptyParts);
            QCOMPARE(lines.size(), 6);
            static const QRegularExpression line_form("^\\S.* \\(Ext \\d+\\)$");
            for (const QString& l : lines)
                QVERIFY2(line_form.match(l).hasMatch(), qPrintable(l));
            const QImage logo = a.Picture1->pixmap().toImage();
            QCOMPARE(logo.size(), QSize(128, 64));
            QCOMPARE(frmAbout::logo().format(), QImage::Format_Mono);
            // Centred on the shell.
            const QPoint d = a.frameGeometry().center() - main_form().frameGeometry().center();
            QVERIFY2(d.manhattanLength() <= 2, qPrintable(QString("%1,%2").arg(d.x()).arg(d.y())));
            checked = true;
            a.cmdOK->click();
        });
        main_form().mnuHelpAbout->trigger();
        QVERIFY(checked);
        QVERIFY(!about_form().Loaded());
        QVERIFY(!about_form().isVisible());
        main_form().Unload();
    }

    // The about box and a message box over it are dialogs to the window manager, without
    // minimise or maximise button, and each gets the keyboard back when the shell is activated
    // again (as when the program is restored after being minimised).
    void boxes_are_dialogs_and_keep_the_keyboard() {
        ui::set_backend(nullptr);
        main_form().Show();
        QStringList checked;
        const auto check = [&checked](QWidget* w) {
            const Qt::WindowFlags f = w->windowFlags();
            QCOMPARE(f & Qt::WindowType_Mask, Qt::Dialog);
            QCOMPARE(f & (Qt::CustomizeWindowHint | Qt::WindowMinMaxButtonsHint), Qt::CustomizeWindowHint);
            QCOMPARE(w->minimumSize(), w->maximumSize());
            main_form().activateWindow();
            QTRY_COMPARE(QApplication::activeWindow(), w);
            checked << w->windowTitle();
        };
        QTimer::singleShot(0, [&] {
            check(&about_form());
            QTimer::singleShot(0, [&] {
                QWidget* box = ui::modal_windows().last();
                check(box);
                box->close();
            });
            about_form().cmdSysInfo->click();
            about_form().cmdOK->click();
        });
        main_form().mnuHelpAbout->trigger();
        QCOMPARE(checked, QStringList({"About Weyvane", "Weyvane"}));
        main_form().Unload();
    }

    void system_info_lookup_data() {
        QTest::addColumn<QString>("path_value");   // "PATH" under the MSINFO key, "-" for none
        QTest::addColumn<QString>("location");     // "MSINFO" under the location key, "-" for none
        QTest::addColumn<bool>("exe_in_location"); // MSINFO32.EXE lies in that folder
        QTest::addColumn<bool>("starts");          // the program starts
        QTest::addColumn<QString>("expected");     // what is started ("" none), "@" the folder's exe
        QTest::addColumn<bool>("message");

        QTest::newRow("nothing registered") << "-"
                                            << "-" << false << true << "" << true;
        QTest::newRow("path registered") << "/usr/bin/sysinfo"
                                         << "-" << false << true << "/usr/bin/sysinfo" << false;
        QTest::newRow("path fails to start") << "/usr/bin/sysinfo"
                                             << "-" << false << false << "/usr/bin/sysinfo" << true;
        QTest::newRow("path empty") << ""
                                    << "-" << false << true << "" << true;
        QTest::newRow("location with tool") << "-"
                                            << "@" << true << true << "@" << false;
        QTest::newRow("location with trailing slash") << "-"
                                                      << "@/" << true << true << "@" << false;
        QTest::newRow("location without tool") << "-"
                                               << "@" << false << true << "" << true;
        QTest::newRow("path wins over location") << "/opt/info"
                                                 << "@" << true << true << "/opt/info" << false;
    }
    void system_info_lookup() {
        QFETCH(QString, path_value);
        QFETCH(QString, location);
        QFETCH(bool, exe_in_location);
        QFETCH(bool, starts);
        QFETCH(QString, expected);
        QFETCH(bool, message);
        const QString folder = tmp->path() + "/tools";
        QDir().mkpath(folder);
        if (exe_in_location) touch(folder + "/MSINFO32.EXE");
        if (path_value != "-") QVERIFY(SetString(HKEY_LOCAL_MACHINE, kSysInfoKey, "PATH", path_value));
        if (location != "-")
            QVERIFY(SetString(HKEY_LOCAL_MACHINE, kSysInfoLocKey, "MSINFO",
                              QString(location).replace("@", folder)));
        launch_ok = starts;

        about_form().Load();
        about_form().cmdSysInfo->click();

        expected.replace("@", folder + "/MSINFO32.EXE");
        QCOMPARE(launched, expected.isEmpty() ? QStringList{} : QStringList{expected});
        QCOMPARE(rec.texts(), message ? QStringList{kUnavailable} : QStringList{});
    }

    void get_key_value_data() {
        QTest::addColumn<int>("type"); // REG_NONE: nothing stored
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("key");  // as asked for
        QTest::addColumn<QString>("name"); // as asked for
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("text");

        QByteArray dword(4, '\0');
        qToLittleEndian<quint32>(0x12345678, dword.data());
        QByteArray five(4, '\0');
        qToLittleEndian<quint32>(5, five.data());
        QTest::newRow("string") << int(REG_SZ) << QByteArray("/usr/bin/tool") << "Software\\Test"
                                << "Value" << true << "/usr/bin/tool";
        QTest::newRow("names in other case") << int(REG_SZ) << QByteArray("x") << "SOFTWARE\\TEST"
                                             << "value" << true << "x";
        QTest::newRow("empty string") << int(REG_SZ) << QByteArray() << "Software\\Test"
                                      << "Value" << true << "";
        QTest::newRow("number, bytes last to first") << int(REG_DWORD) << dword << "Software\\Test"
                                                     << "Value" << true << "&h12345678";
        QTest::newRow("number ending in a zero byte") << int(REG_DWORD) << five << "Software\\Test"
                                                      << "Value" << true << "&h005";
        QTest::newRow("missing key") << int(REG_NONE) << QByteArray() << "Software\\Other"
                                     << "Value" << false << "";
        QTest::newRow("missing value") << int(REG_SZ) << QByteArray("x") << "Software\\Test"
                                       << "Other" << false << "";
        QTest::newRow("longer than the buffer") << int(REG_SZ) << QByteArray(1100, 'a') << "Software\\Test"
                                                << "Value" << false << "";
    }
    void get_key_value() {
        QFETCH(int, type);
        QFETCH(QByteArray, stored);
        QFETCH(QString, key);
        QFETCH(QString, name);
        QFETCH(bool, read);
        QFETCH(QString, text);
        if (type != REG_NONE) {
            HKEY k = 0;
            QCOMPARE(CreateKey(HKEY_LOCAL_MACHINE, "Software\\Test", &k), long(ERROR_SUCCESS));
            QCOMPARE(SetValue(k, "Value", type, stored), long(ERROR_SUCCESS));
            CloseKey(k);
        }
        QString value = "left from before";
        QCOMPARE(frmAbout::GetKeyValue(HKEY_LOCAL_MACHINE, key, name, value), read);
        QCOMPARE(value, text);
    }

    void registry_keys_persist_and_delete() {
        QVERIFY(SetString(HKEY_CLASSES_ROOT, "CLSID\\{A}\\InprocServer32", "", "/lib/x.so"));
        QVERIFY(SetDword(HKEY_CLASSES_ROOT, "CLSID\\{A}\\MiscStatus", "1", 131473));
        QVERIFY(SetString(HKEY_CLASSES_ROOT, "CLSID\\{B}", "", "B"));
        QVERIFY(KeyExists(HKEY_CLASSES_ROOT, "clsid\\{a}"));
        QVERIFY(!KeyExists(HKEY_LOCAL_MACHINE, "CLSID\\{A}"));

        HKEY k = 0;
        QCOMPARE(OpenKey(HKEY_CLASSES_ROOT, "CLSID", KEY_READ, &k), long(ERROR_SUCCESS));
        QStringList subs = SubKeyNames(k);
        subs.sort();
        QCOMPARE(subs, (QStringList{"{A}", "{B}"}));
        int type = 0;
        QByteArray data;
        HKEY misc = 0;
        QCOMPARE(OpenKey(k, "{A}\\MiscStatus", KEY_READ, &misc), long(ERROR_SUCCESS));
        QCOMPARE(QueryValue(misc, "1", &type, &data), long(ERROR_SUCCESS));
        QCOMPARE(type, int(REG_DWORD));
        QCOMPARE(qFromLittleEndian<quint32>(data.constData()), 131473u);
        CloseKey(misc);
        CloseKey(k);

        QCOMPARE(DeleteKey(HKEY_CLASSES_ROOT, "CLSID\\{A}"), long(ERROR_KEY_HAS_CHILDREN));
        QCOMPARE(DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{A}"), long(ERROR_SUCCESS));
        QVERIFY(!KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{A}\\InprocServer32"));
        QVERIFY(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{B}"));
        QCOMPARE(OpenKey(HKEY_CLASSES_ROOT, "CLSID\\{A}", KEY_READ, &k), long(ERROR_FILE_NOT_FOUND));

        // A damaged file reads as an empty registry and is never a crash; it is set aside, and
        // the about box tells the user so.
        QFile f(registry::file());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("{ not json");
        f.close();
        QVERIFY(!KeyExists(HKEY_CLASSES_ROOT, "CLSID\\{B}"));
        QString v;
        QVERIFY(!frmAbout::GetKeyValue(HKEY_LOCAL_MACHINE, kSysInfoKey, "PATH", v));
        QVERIFY(QFile::exists(registry::file() + ".damaged"));
        about_form().Load();
        about_form().cmdSysInfo->click();
        QCOMPARE(rec.texts(),
                 (QStringList{"The registry file " + registry::file() +
                                  " could not be read and was set aside as " + registry::file() + ".damaged.",
                              kUnavailable}));
    }

    // ---- data-folder chooser ----

    void chooser_design() {
        getdatapath& g = getdatapath_form();
        g.Load();
        QCOMPARE(g.windowTitle(), QString("Data File Path"));
        QCOMPARE(g.size(), QSize(ui::px(7545), ui::px(4620)));
        QCOMPARE(g.Label2->text(), QString("Please select the location for the data file ZQDATA.MDB"));
        QCOMPARE(g.Command1->text(), QString("Okay"));
        QCOMPARE(g.Command2->text(), QString("Cancel"));
        QVERIFY(g.Label1->text().isEmpty());
        QCOMPARE(g.Dir1->Path(), QDir::cleanPath(app()));
        QCOMPARE(g.Drive1->itemData(0).toString(), QString("/"));
    }

    void okay_rules_data() {
        QTest::addColumn<QString>("file");   // what the chosen folder holds: a file name, "dir:" a folder
        QTest::addColumn<QString>("choice"); // Label1: "@" the folder, "" nothing chosen
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("data_path");

        QTest::newRow("folder with the database") << "zqdata.mdb"
                                                  << "@" << true << "@";
        QTest::newRow("name in other case") << "ZqData.MDB"
                                            << "@" << true << "@";
        QTest::newRow("trailing slash dropped") << "zqdata.mdb"
                                                << "@/" << true << "@";
        QTest::newRow("folder without the database") << "other.mdb"
                                                     << "@" << false << "@";
        QTest::newRow("a folder named like the database") << "dir:zqdata.mdb"
                                                          << "@" << false << "@";
        QTest::newRow("nothing chosen") << "zqdata.mdb"
                                        << "" << false << "";
    }
    void okay_rules() {
        QFETCH(QString, file);
        QFETCH(QString, choice);
        QFETCH(bool, accepted);
        QFETCH(QString, data_path);
        const QString folder = tmp->path() + "/data";
        QDir().mkpath(folder);
        if (file.startsWith("dir:"))
            QDir().mkpath(folder + "/" + file.mid(4));
        else
            touch(folder + "/" + file);
        QVERIFY(write_cfg("/old/folder"));
        const QByteArray cfg_before = read_all(cfg_path());

        getdatapath& g = getdatapath_form();
        g.Show();
        g.Label1->setText(QString(choice).replace("@", folder));
        g.Command1->click();

        QCOMPARE(core.data_path, QString(data_path).replace("@", folder));
        QCOMPARE(g.Loaded(), !accepted);
        if (accepted) {
            QVERIFY(rec.boxes.isEmpty());
            QCOMPARE(read_all(cfg_path()), folder.toUtf8() + "\r\n");
        } else {
            QCOMPARE(rec.texts(), QStringList{kNotCorrect});
            QCOMPARE(read_all(cfg_path()), cfg_before);
        }
    }

    void cancel_asks_first_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("no keeps the chooser open") << int(ui::vbNo);
        QTest::newRow("yes closes it") << int(ui::vbYes);
    }
    void cancel_asks_first() {
        QFETCH(int, answer);
        QVERIFY(write_cfg("/old/folder"));
        const QString folder = tmp->path() + "/data";
        QDir().mkpath(folder);
        rec.answers = {answer};
        getdatapath& g = getdatapath_form();
        bool acted = false;
        QTimer::singleShot(0, [&] {
            g.Dir1->setPath(folder);
            g.Command2->click();
            acted = true;
            if (g.Loaded()) {
                QCOMPARE(g.Label1->text(), folder); // the choice stays
                g.Unload();
            }
        });
        g.Show(true);
        QVERIFY(acted);
        QCOMPARE(rec.boxes.size(), 1);
        QCOMPARE(rec.boxes[0].text, QString("Cancel changes and exit. Are you sure?"));
        QCOMPARE(rec.boxes[0].caption, QString("Cancel Changes"));
        QCOMPARE(rec.boxes[0].buttons & 7, int(ui::vbYesNo));
        QCOMPARE(read_all(cfg_path()), QByteArray("/old/folder\r\n"));
    }

    void drive_and_folder_lists() {
        const QString drive = tmp->path() + "/card";
        QDir().mkpath(drive + "/readings/2024");
        volumes::set_fake_table(
            {{"/", "root", "ext4", 0}, {drive, "CARD", "vfat", 0}, {"/gone/card", "", "vfat", 0}});
        getdatapath& g = getdatapath_form();
        g.Show();
        QCOMPARE(g.Drive1->count(), 3);

        QVERIFY(g.selectDrive(drive));
        QCOMPARE(g.Dir1->Path(), drive);
        QCOMPARE(g.Label1->text(), drive);
        QVERIFY(rec.boxes.isEmpty());

        // Opening a folder in the list follows it.
        const int row = g.Dir1->indexOfPath(drive + "/readings");
        QVERIFY(row >= 0);
        emit g.Dir1->itemActivated(g.Dir1->item(row));
        QCOMPARE(g.Label1->text(), drive + "/readings");
        QVERIFY(g.Dir1->indexOfPath(drive + "/readings/2024") >= 0);
        QVERIFY(g.Dir1->indexOfPath(drive) >= 0); // the way back up

        // A drive that is not ready is reported; the lists stay where they were.
        QVERIFY(g.selectDrive("/gone/card"));
        QCOMPARE(rec.texts(), QStringList{"The drive /gone/card is not ready."});
        QCOMPARE(g.Drive(), drive);
        QCOMPARE(g.Label1->text(), drive + "/readings");

        // The root folder's "/" is dropped from the stored folder.
        QVERIFY(g.selectDrive("/"));
        QCOMPARE(g.Label1->text(), QString("/"));
        g.Command1->click();
        QCOMPARE(core.data_path, QString(""));
    }
};

WEYVANE_TEST_MAIN(TestDialogs)
#include "test_dialogs.moc"
