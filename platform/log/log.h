#pragma once
// Logging categories for tracing a fault on site. All are off by default, so the user sees
// nothing of them; switch them on with QT_LOGGING_RULES, for example
//   QT_LOGGING_RULES="weyvane.*=true" ./weyvane
//   QT_LOGGING_RULES="weyvane.links.debug=true;weyvane.db=true" ./weyvane
//   weyvane.links  frames sent to the scales, replies taken or dropped by the receive scans
//   weyvane.ftdi   FTDI calls that did not return FT_OK
//   weyvane.db     database steps that failed
//   weyvane.dde    remote commands received and their runs
#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QString>
#include <cstdint>

Q_DECLARE_LOGGING_CATEGORY(lcLinks)
Q_DECLARE_LOGGING_CATEGORY(lcFtdi)
Q_DECLARE_LOGGING_CATEGORY(lcDb)
Q_DECLARE_LOGGING_CATEGORY(lcDde)

namespace wlog {

// Bytes as readable text, in double quotes: printable ASCII as it is, CR, LF and tab as \r, \n,
// \t, a quote or backslash escaped, every other byte as \xNN (always two digits).
QString bytes(const QByteArray& b);
// The writes of one frame, each as bytes() gives it, separated by spaces.
QString writes(const QList<QByteArray>& w);
// An FTDI status by its name and number, for example "FT_IO_ERROR (4)".
QString ft_status(uint32_t status);
// True for FT_OK; any other status is written to weyvane.ftdi as a warning that names the call.
bool ft_ok(uint32_t status, const char* call);

} // namespace wlog
