#include "core/forms.h"

#include <QPointer>

#include "core/frmAbout.h"
#include "core/getdatapath.h"

namespace {
QPointer<QWidget> the_shell;
}

void set_shell_window(QWidget* shell) {
    the_shell = shell;
}

QWidget* shell_window() {
    return the_shell;
}

// The forms are never deleted while the program runs: code that goes on after an unload stays
// safe, and the window system takes them down with the application.
frmAbout& about_form() {
    static frmAbout* f = new frmAbout(shell_window());
    return *f;
}

getdatapath& getdatapath_form() {
    static getdatapath* f = new getdatapath(shell_window());
    return *f;
}
