#pragma once
// The one-instance forms of the application core. Each is built on first use and lives for the
// whole run; the about box and the chooser are owned by the shell.
class frmMain;
class frmAbout;
class getdatapath;

frmMain& main_form();
frmAbout& about_form();
// The data-folder chooser; show it modal with getdatapath_form().Show(true).
getdatapath& getdatapath_form();
