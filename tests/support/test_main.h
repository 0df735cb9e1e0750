#pragma once
// Entry point shared by the test programs: every run gets its own temporary configuration and
// runtime folders, so the settings store and the instance lock never touch the user's files
// and test programs running side by side never see each other.
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

namespace testsupport {
inline int run_tests(int argc, char** argv, QObject* tests) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_RUNTIME_DIR", (home.path() + "/runtime").toUtf8());
    QDir().mkpath(home.path() + "/config");
    QDir().mkpath(home.path() + "/runtime");
    QFile::setPermissions(home.path() + "/runtime",
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Weyvane");
    QApplication::setOrganizationName("Weyvane");
    return QTest::qExec(tests, argc, argv);
}
} // namespace testsupport

#define WEYVANE_TEST_MAIN(TestClass)                                                                         \
    int main(int argc, char** argv) {                                                                        \
        TestClass tc;                                                                                        \
        return testsupport::run_tests(argc, argv, &tc);                                                      \
    }
