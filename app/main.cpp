#include <QApplication>

#include "app/startup.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Weyvane");
    QApplication::setOrganizationName("Weyvane");
    if (!Main()) return 0;
    return QApplication::exec();
}
