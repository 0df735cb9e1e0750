#include "core/startup.h"

#include <QMainWindow>

bool Main() {
    static QMainWindow w;
    w.setWindowTitle("Weyvane");
    w.show();
    return true;
}
