#pragma once
// The shell: the program's main window, an MDI parent in which the scale screen, the Setup
// dialog, the slave windows and the other child windows open. Its placement is kept in the
// per-user settings store, section "Settings".
#include <QString>

#include "platform/ui/form.h"

class QAction;
class QLabel;
class QMdiArea;
class QMenuBar;
class QStatusBar;
class QTimer;
class QToolBar;

class frmMain : public ui::Form {
    Q_OBJECT
public:
    frmMain();

    // Menu bar: four commands, none with a submenu.
    QMenuBar* menuBar = nullptr;
    QAction* m_ars = nullptr;
    QAction* mnu_setups = nullptr;
    QAction* mnuHelpAbout = nullptr;
    QAction* m_exit = nullptr;

    QToolBar* tbToolBar = nullptr; // hidden
    QMdiArea* mdiArea = nullptr;
    QStatusBar* sbStatusBar = nullptr;
    QLabel* sbStatus = nullptr;
    QLabel* sbDate = nullptr;
    QLabel* sbTime = nullptr;

    void m_ars_Click();
    void mnu_setups_Click();
    void mnuHelpAbout_Click();
    void m_exit_Click();
    // Runs when the shell is finally released at the end of the run: closes every FTDI handle.
    void MDIForm_Terminate();

    // The four-line refusal of "Scale Configurations" while the scale screen is set up.
    static QString setup_refusal_text();

protected:
    void build() override;
    // Restores the stored placement.
    void Form_Load() override;
    // Unloads the child windows, then stores the placement unless minimized.
    void Form_Unload(int& cancel) override;

private:
    void update_clock();
    QTimer* clock_timer_ = nullptr;
    bool built_ = false;
};

// The shell, built on first use; it lives for the whole run.
frmMain& main_form();

// Shows the scale screen modeless inside the shell.
void show_scale_screen();
// Shows the Setup dialog modeless inside the shell.
void show_setup();
// Ends the program at once, running no unload handler.
void end_program();
