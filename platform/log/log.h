#pragma once
// Logging categories for tracing a fault on site. All are off by default, so the user sees
// nothing of them; switch them on with QT_LOGGING_RULES, for example
//   QT_LOGGING_RULES="weyvane.*=true" ./weyvane
//   QT_LOGGING_RULES="weyvane.links.debug=true;weyvane.db=true" ./weyvane
//   weyvane.links  frames sent to the scales, replies taken or dropped by the receive scans
//   weyvane.ftdi   FTDI calls that did not return FT_OK
//   weyvane.db     database steps that failed
//   weyvane.dde    remote commands received and their runs
#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcLinks)
Q_DECLARE_LOGGING_CATEGORY(lcFtdi)
Q_DECLARE_LOGGING_CATEGORY(lcDb)
Q_DECLARE_LOGGING_CATEGORY(lcDde)
