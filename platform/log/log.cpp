#include "platform/log/log.h"

// Messages below QtCriticalMsg are off unless QT_LOGGING_RULES switches them on.
Q_LOGGING_CATEGORY(lcLinks, "weyvane.links", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcFtdi, "weyvane.ftdi", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcDb, "weyvane.db", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcDde, "weyvane.dde", QtCriticalMsg)
