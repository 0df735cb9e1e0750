// The shell: menus, status bar, stored placement, the refusal of "Scale Configurations" while the
// scale screen is set up, and the ways the program ends.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

#include "app/frmMain.h"
#include "app/module_state.h"
#include "core/core_state.h"
#include "core/forms.h"
#include "core/frmAbout.h"
#include "core/getdatapath.h"
#include "links/links_state.h"
#include "platform/settings/settings.h"
#include "platform/ui/message_box.h"
#include "platform/ui/modal.h"
#include "platform/ui/twips.h"
#include "setup/SD_Setting.h"
#include "setup/Setup.h"
#include "setup/setup_state.h"
#include "tests/support/temp_database.h"
#include "tests/support/test_main.h"

namespace {

QStringList stored_placement() {
    QStringList out;
    for (const char* key : {"MainLeft", "MainTop", "MainWidth", "MainHeight"})
        out.append(settings::GetSetting("Settings", key, "missing"));
    return out;
}

void store(const QStringList& values) {
    const char* keys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};
    for (int i = 0; i < 4; ++i)
        settings::SaveSetting("Settings", keys[i], values[i]);
}

QMdiSubWindow* child_titled(const QString& title) {
    for (QMdiSubWindow* sub : main_form().mdiArea->subWindowList())
        if (sub->widget()->windowTitle() == title && sub->isVisible()) return sub;
    return nullptr;
}

} // namespace

class TestShell : public QObject {
    Q_OBJECT

    ui::UiRecorder rec;
    std::unique_ptr<testsupport::TempDatabase> db;

private slots:
    void init() {
        reset_module_state();
        rec = ui::UiRecorder();
        ui::set_backend(&rec);
        QSettings(QSettings::IniFormat, QSettings::UserScope, "Weyvane", "Weyvane").clear();
        db = std::make_unique<testsupport::TempDatabase>();
        QVERIFY(db->ok());
        core.conn_str = db->conn_str;
        core.conn_str_a = db->conn_str;
    }

    void cleanup() {
        if (main_form().Loaded()) main_form().Unload();
        reset_module_state();
    }

    void menus_toolbar_and_status_bar() {
        frmMain& f = main_form();
        f.Show();
        QCOMPARE(f.windowTitle(), QString("Weyvane"));
        QStringList captions;
        for (QAction* a : f.menuBar->actions()) {
            captions.append(a->text());
            QVERIFY(a->menu() == nullptr);
        }
        QCOMPARE(captions, (QStringList{"Activate Remote Screen", "Scale Configurations", "&About", "Exit"}));
        QVERIFY(!f.tbToolBar->isVisible());
        QVERIFY(f.sbStatusBar->isVisible());
        QCOMPARE(f.sbStatus->text(), QString("Status"));
        QVERIFY(!f.sbDate->text().isEmpty());
        QVERIFY(!f.sbTime->text().isEmpty());
        QCOMPARE(ui::mdi_area(), f.mdiArea);
    }

    void placement_restored_data() {
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("nothing stored")
            << QStringList{} << QRect(ui::px(1000), ui::px(1000), ui::px(6500), ui::px(6500));
        QTest::newRow("stored values")
            << QStringList{"1500", "3000", "9000", "7500"} << QRect(100, 200, 600, 500);
        QTest::newRow("single-precision text")
            << QStringList{"1500.5", "3000", "9000", "7500"} << QRect(100, 200, 600, 500);
        QTest::newRow("not a number")
            << QStringList{"abc", "3000", "", "7500"} << QRect(ui::px(1000), 200, ui::px(6500), 500);
    }
    void placement_restored() {
        QFETCH(QStringList, stored);
        QFETCH(QRect, expected);
        if (!stored.isEmpty()) store(stored);
        main_form().Load();
        QCOMPARE(QRect(main_form().pos(), main_form().size()), expected);
    }

    void placement_stored_on_close() {
        frmMain& f = main_form();
        f.Show();
        f.move(100, 120);
        f.resize(500, 400);
        f.close();
        QVERIFY(!f.Loaded());
        QCOMPARE(stored_placement(), (QStringList{"1500", "1800", "7500", "6000"}));
        // Read back as stored.
        f.Load();
        QCOMPARE(QRect(f.pos(), f.size()), QRect(100, 120, 500, 400));
    }

    void placement_kept_when_minimized() {
        store({"2000", "2100", "8000", "7000"});
        frmMain& f = main_form();
        f.Show();
        f.showMinimized();
        QVERIFY(f.isMinimized());
        f.close();
        QVERIFY(!f.Loaded());
        QCOMPARE(stored_placement(), (QStringList{"2000", "2100", "8000", "7000"}));
        f.setWindowState(Qt::WindowNoState);
    }

    void exit_stores_nothing_and_closes_devices() {
        store({"2000", "2100", "8000", "7000"});
        frmMain& f = main_form();
        f.Show();
        f.move(300, 300);
        links.scale_count = 0;
        links.usb_handle = 0x1234;
        f.m_exit->trigger();
        QCOMPARE(links.usb_handle, 0u);
        QCOMPARE(stored_placement(), (QStringList{"2000", "2100", "8000", "7000"}));
        QVERIFY(f.Loaded());
    }

    void closing_shell_ends_program() {
        frmMain& f = main_form();
        f.Show();
        // The scale screen's start-up opens the serial link: no device of the machine.
        settings::SaveSetting("Ports", "COM1", db->folder + "/no-such-port");
        f.m_ars->trigger();
        QMdiSubWindow* screen = child_titled("Remote Screen");
        QVERIFY(screen);
        auto* screen_form = qobject_cast<ui::Form*>(screen->widget());
        QVERIFY(screen_form && screen_form->Loaded());
        links.scale_count = 0;
        links.usb_handle = 0x1234;

        QTimer::singleShot(0, &f, [&f] { f.close(); });
        QTimer guard; // keeps a broken quit from hanging the run
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        guard.start(20000);
        QCOMPARE(QCoreApplication::exec(), 0);

        QVERIFY(!f.Loaded());
        QVERIFY(!screen_form->Loaded());
        QCOMPARE(stored_placement().size(), 4);
        QVERIFY(!stored_placement().contains("missing"));
        // The termination closed the devices.
        QCOMPARE(links.usb_handle, 0u);
    }

    void modal_about_box_holds_back_the_shell() {
        frmMain& f = main_form();
        f.Show();
        f.resize(ui::px(6500), ui::px(6500));
        const auto click_menu = [&f](QAction* a) {
            QTest::mouseClick(f.menuBar, Qt::LeftButton, {}, f.menuBar->actionGeometry(a).center());
        };
        bool ran = false;
        // The about box opens through the menu; the next timer fires inside its loop.
        QTimer::singleShot(0, &f, [&] { click_menu(f.mnuHelpAbout); });
        QTimer::singleShot(0, &f, [&] {
            const QList<QWidget*> modal = ui::modal_windows();
            QVERIFY(modal.size() == 1 && modal[0]->isVisible());
            QCOMPARE(modal[0]->windowTitle(), QString("About Weyvane"));
            // The shell's menus do nothing while the about box is open.
            click_menu(f.mnu_setups);
            click_menu(f.m_ars);
            QVERIFY(!child_titled("Setup"));
            QVERIFY(!child_titled("Remote Screen"));
            QVERIFY(rec.boxes.isEmpty());
            ran = true;
            // Closing the shell still ends the program.
            f.close();
        });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        guard.start(20000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(ran);
        // The about box ended its loop and closed with the shell.
        QVERIFY(ui::modal_windows().isEmpty());
        for (QWidget* w : QApplication::topLevelWidgets())
            QVERIFY(!(w->windowTitle() == "About Weyvane" && w->isVisible()));
        QVERIFY(!f.Loaded());
    }

    // A message box open over the screen, the about box or the chooser: the window system
    // holds back no close request of the shell (a box modal to it would), and closing the
    // shell ends the program.
    void close_box_works_under_message_boxes_data() {
        QTest::addColumn<QString>("over");
        QTest::addColumn<QString>("text");
        QTest::newRow("refusal over the screen") << "screen"
                                                 << "This form can not be loaded";
        QTest::newRow("about box") << "about"
                                   << "System Information Is Unavailable At This Time";
        QTest::newRow("chooser") << "chooser"
                                 << "That path is not correct.";
    }
    void close_box_works_under_message_boxes() {
        QFETCH(QString, over);
        QFETCH(QString, text);
        ui::set_backend(nullptr);
        frmMain& f = main_form();
        f.Show();
        QTimer::singleShot(0, &f, [&] {
            if (over == "screen") {
                core.scale_screen_active = true;
                f.mnu_setups->trigger();
            } else if (over == "about") {
                QTimer::singleShot(0, &f, [] { about_form().cmdSysInfo->click(); });
                f.mnuHelpAbout->trigger();
            } else {
                QTimer::singleShot(0, &f, [] { getdatapath_form().Command1->click(); });
                getdatapath_form().Show(true);
            }
        });
        QString seen;
        bool held_back = true;
        QTimer watch;
        watch.setInterval(10);
        connect(&watch, &QTimer::timeout, &f, [&] {
            const QList<QWidget*> modal = ui::modal_windows();
            auto* box = modal.isEmpty() ? nullptr : qobject_cast<QMessageBox*>(modal.last());
            if (!box || !box->isVisible()) return;
            watch.stop();
            seen = box->text();
            held_back = QGuiApplication::modalWindow() != nullptr;
            f.close();
        });
        watch.start();
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        guard.start(20000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY2(seen.contains(text), qPrintable(seen));
        QVERIFY(!held_back);
        QVERIFY(!f.Loaded());
        QVERIFY(ui::modal_windows().isEmpty());
    }

    // Enter presses the focused (or default) button and Escape the dialog's Cancel, in Setup
    // and in the two dialogs it opens; a click on Setup afterwards is not lost.
    void dialog_keys_data() {
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("on_cancel");
        QTest::addColumn<bool>("takes_choice");
        QTest::newRow("Setup: Escape in a box") << "Setup" << int(Qt::Key_Escape) << false << false;
        QTest::newRow("Setup: Enter on Cancel") << "Setup" << int(Qt::Key_Return) << true << false;
        QTest::newRow("chooser: Escape in the folder list")
            << "chooser" << int(Qt::Key_Escape) << false << false;
        QTest::newRow("chooser: Enter on Cancel") << "chooser" << int(Qt::Key_Enter) << true << false;
        QTest::newRow("SD_Setting: Enter in the drive list") << "SD" << int(Qt::Key_Return) << false << true;
        QTest::newRow("SD_Setting: Escape") << "SD" << int(Qt::Key_Escape) << false << false;
    }
    void dialog_keys() {
        QFETCH(QString, dialog);
        QFETCH(int, key);
        QFETCH(bool, on_cancel);
        QFETCH(bool, takes_choice);
        frmMain& f = main_form();
        f.Show();
        QCOMPARE(db->exec("INSERT INTO ScaleCFG (sctype, NetID, Description, Active) "
                          "VALUES ('RS485', 130, 'SCALE RS485', 1)"),
                 QString());
        f.mnu_setups->trigger();
        Setup& s = setup_form();
        QVERIFY(s.Loaded());

        ui::Form* form = &s;
        QPushButton* opener = nullptr;
        if (dialog == "chooser") {
            form = &getdatapath_form();
            opener = s.btn_datapath;
        } else if (dialog == "SD") {
            form = &sd_setting_form();
            opener = s.cmd_Setup;
        }
        QObject scope; // no timer of this test outlives it
        QString choice;
        QString before;
        bool pressed = false;
        const auto press = [&] {
            QWidget* target = nullptr;
            if (dialog == "Setup")
                target = on_cancel ? static_cast<QWidget*>(s.Cancel) : s.txt_netpolltime;
            else if (dialog == "chooser")
                target =
                    on_cancel ? static_cast<QWidget*>(getdatapath_form().Command2) : getdatapath_form().Dir1;
            else
                target = on_cancel ? static_cast<QWidget*>(sd_setting_form().cmd_Cancel)
                                   : sd_setting_form().Drive1;
            if (dialog == "SD") {
                choice = sd_setting_form().Drive();
                before = setup_state.sd_drive;
            }
            target->setFocus();
            QTest::keyClick(target, Qt::Key(key));
            pressed = true;
        };
        if (!opener) {
            press();
        } else {
            QTimer::singleShot(0, &scope, press);
            // A key that does nothing leaves the dialog open: it is closed for the test to go on.
            QTimer::singleShot(5000, &scope, [form] {
                if (form->Loaded()) form->Unload();
            });
            opener->click();
        }
        QVERIFY(pressed);
        QVERIFY(!form->Loaded());
        QVERIFY(!form->frame()->isVisible());
        if (dialog == "chooser") QCOMPARE(rec.texts(), QStringList{"Cancel changes and exit. Are you sure?"});
        if (dialog == "SD") QCOMPARE(setup_state.sd_drive, takes_choice ? choice : before);
        if (form == &s) return;

        // The next click on Setup does what it should.
        QVERIFY(s.Loaded());
        const bool was = s.chk_enbcol->isChecked();
        QTest::mouseClick(s.chk_enbcol, Qt::LeftButton, {}, QPoint(6, s.chk_enbcol->height() / 2));
        QCOMPARE(s.chk_enbcol->isChecked(), !was);
    }

    // At the first-start size the Setup dialog is larger than the MDI area: it opens with its
    // top-left corner in view, and scroll bars reach the rest.
    void large_child_reachable_at_first_start_size() {
        frmMain& f = main_form();
        f.Show();
        QCOMPARE(f.size(), QSize(ui::px(6500), ui::px(6500)));
        QCOMPARE(db->exec("INSERT INTO ScaleCFG (sctype, NetID, Description, Active) "
                          "VALUES ('RS485', 130, 'SCALE RS485', 1)"),
                 QString());
        f.mnu_setups->trigger();
        QMdiSubWindow* setup = child_titled("Setup");
        QVERIFY(setup);
        QVERIFY(setup->width() > f.mdiArea->viewport()->width());
        QVERIFY(setup->x() >= 0 && setup->y() >= 0);
        QVERIFY(setup->x() < f.mdiArea->viewport()->width() && setup->y() < f.mdiArea->viewport()->height());
        QVERIFY(f.mdiArea->horizontalScrollBar()->isVisible());
        QVERIFY(f.mdiArea->verticalScrollBar()->isVisible());
        // Scrolled to the end, the dialog's right edge comes into view.
        f.mdiArea->horizontalScrollBar()->setValue(f.mdiArea->horizontalScrollBar()->maximum());
        QVERIFY(setup->geometry().right() <= f.mdiArea->viewport()->width());
        qobject_cast<ui::Form*>(setup->widget())->Unload();
    }

    void setup_refused_while_scale_screen_active() {
        frmMain& f = main_form();
        f.Show();
        core.scale_screen_active = true;
        f.mnu_setups->trigger();
        QCOMPARE(rec.boxes.size(), 1);
        QCOMPARE(rec.boxes[0].text,
                 QString(" This form can not be loaded while the scale screen is activated.\r"
                         "Use the EXIT button on the scale screen to shut it down, then open the \r"
                         "communications screen to make your changes, save them and\r"
                         "then reload the scale screen to activate the changes"));
        QCOMPARE(rec.boxes[0].buttons, int(ui::vbOKOnly));
        QVERIFY(!child_titled("Setup"));

        // Once the screen is shut down the dialog opens and the settings row is read again.
        core.scale_screen_active = false;
        core.comm_type.clear();
        // With a scale record in place the dialog has nothing to tell.
        QCOMPARE(db->exec("INSERT INTO ScaleCFG (sctype, NetID, Description, Active) "
                          "VALUES ('RS485', 130, 'SCALE RS485', 1)"),
                 QString());
        f.mnu_setups->trigger();
        QCOMPARE(rec.boxes.size(), 1);
        QVERIFY(child_titled("Setup"));
        QVERIFY(!core.comm_type.isEmpty());
    }
};

WEYVANE_TEST_MAIN(TestShell)
#include "test_shell.moc"
