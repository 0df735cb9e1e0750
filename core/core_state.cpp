#include "core/core_state.h"

#include <QCoreApplication>

CoreState core;

void reset_core_state() {
    core = CoreState();
}

QString app_path() {
    if (!core.app_path_override.isEmpty()) return core.app_path_override;
    return QCoreApplication::applicationDirPath();
}
