#pragma once
// The one-instance forms of the application core. Each is built on first use and lives for the
// whole run; the about box and the chooser are owned by the shell, which registers itself here
// when it is built (the shell lives above the core and opens every form).
class QWidget;
class frmAbout;
class getdatapath;

// The shell's window, parent of the core's forms; null until the shell is built.
void set_shell_window(QWidget* shell);
QWidget* shell_window();

frmAbout& about_form();
// The data-folder chooser; show it modal with getdatapath_form().Show(true).
getdatapath& getdatapath_form();
