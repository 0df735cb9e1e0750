#include "platform/log/log.h"

#include "platform/ftdi/ftdi.h"

#include <QStringList>
#include <utility>

// Messages below QtCriticalMsg are off unless QT_LOGGING_RULES switches them on.
Q_LOGGING_CATEGORY(lcLinks, "weyvane.links", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcFtdi, "weyvane.ftdi", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcDb, "weyvane.db", QtCriticalMsg)
Q_LOGGING_CATEGORY(lcDde, "weyvane.dde", QtCriticalMsg)

namespace wlog {

QString bytes(const QByteArray& b) {
    static const char hex[] = "0123456789abcdef";
    QString out;
    out.reserve(b.size() + 2);
    out += u'"';
    for (const char ch : b) {
        const auto c = static_cast<uint8_t>(ch);
        switch (c) {
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '"':
            out += QLatin1String("\\\"");
            break;
        case '\\':
            out += QLatin1String("\\\\");
            break;
        default:
            if (c >= 0x20 && c < 0x7f) {
                out += QLatin1Char(static_cast<char>(c));
            } else {
                out += QLatin1String("\\x");
                out += QLatin1Char(hex[c >> 4]);
                out += QLatin1Char(hex[c & 0xf]);
            }
        }
    }
    out += u'"';
    return out;
}

QString writes(const QList<QByteArray>& w) {
    QStringList parts;
    for (const QByteArray& b : w)
        parts << bytes(b);
    return parts.join(u' ');
}

QString ft_status(uint32_t status) {
    static const std::pair<uint32_t, const char*> names[] = {
        {ftdi::FT_OK, "FT_OK"},
        {ftdi::FT_INVALID_HANDLE, "FT_INVALID_HANDLE"},
        {ftdi::FT_DEVICE_NOT_FOUND, "FT_DEVICE_NOT_FOUND"},
        {ftdi::FT_DEVICE_NOT_OPENED, "FT_DEVICE_NOT_OPENED"},
        {ftdi::FT_IO_ERROR, "FT_IO_ERROR"},
        {ftdi::FT_INVALID_PARAMETER, "FT_INVALID_PARAMETER"},
        {ftdi::FT_INVALID_BAUD_RATE, "FT_INVALID_BAUD_RATE"},
        {ftdi::FT_OTHER_ERROR, "FT_OTHER_ERROR"},
        {ftdi::FT_FUNCTION_MISSING, "FT_FUNCTION_MISSING"},
    };
    for (const auto& [value, name] : names)
        if (value == status) return QStringLiteral("%1 (%2)").arg(QLatin1String(name)).arg(status);
    return QStringLiteral("status %1").arg(status);
}

bool ft_ok(uint32_t status, const char* call) {
    if (status == ftdi::FT_OK) return true;
    qCWarning(lcFtdi).noquote() << call << "failed:" << ft_status(status);
    return false;
}

} // namespace wlog
