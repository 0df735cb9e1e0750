// The spreadsheet layer without its Calc plugin: whatever keeps the plugin from loading, the layer
// answers that no application is running, as on a machine without the office.
#include "app/module_state.h"
#include "platform/spreadsheet/calc_plugin.h"
#include "platform/spreadsheet/spreadsheet.h"
#include "tests/support/test_main.h"

#include <QLibraryInfo>
#include <QTemporaryDir>

class TestSpreadsheetPlugin : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void cleanup() { reset_module_state(); }

    void no_application_without_a_loadable_plugin_data() {
        QTest::addColumn<QString>("plugin");
        QTest::newRow("no plugin") << QString();
        QTest::newRow("not a library") << QString("garbage\x7f"
                                                  "ELF\n");
        // A real library that lacks the entry point.
        QTest::newRow("no entry point")
            << QLibraryInfo::path(QLibraryInfo::LibrariesPath) + "/libQt6Core.so.6";
    }
    void no_application_without_a_loadable_plugin() {
        QFETCH(QString, plugin);
        QVERIFY(dir.isValid());
        const QString folder = dir.path() + "/" + QTest::currentDataTag();
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + "/" + spreadsheet::kCalcPluginFile;
        if (plugin.startsWith('/')) {
            QVERIFY(QFile::link(plugin, file));
        } else if (!plugin.isEmpty()) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(plugin.toLatin1());
        }
        spreadsheet::set_plugin_folder(folder);
        QVERIFY(!spreadsheet::attach());
        QVERIFY(!spreadsheet::attach()); // and again, once the failed load is known
    }
};

WEYVANE_TEST_MAIN(TestSpreadsheetPlugin)
#include "test_spreadsheet_plugin.moc"
