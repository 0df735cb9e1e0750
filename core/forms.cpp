#include "core/forms.h"

#include "core/frmAbout.h"
#include "core/frmMain.h"
#include "core/getdatapath.h"

// The forms are never deleted while the program runs: code that goes on after an unload stays
// safe, and the window system takes them down with the application.
frmMain& main_form() {
    static frmMain* f = new frmMain();
    return *f;
}

frmAbout& about_form() {
    static frmAbout* f = new frmAbout(&main_form());
    return *f;
}

getdatapath& getdatapath_form() {
    static getdatapath* f = new getdatapath(&main_form());
    return *f;
}
