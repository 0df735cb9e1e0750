#include "platform/timezone/timezone.h"

#include <QTimeZone>

namespace tzinfo {

namespace {
QDateTime fixed_now;
}

void set_now(const QDateTime& now) {
    fixed_now = now;
}

int GetTimeZoneInformation(TimeZoneInformation& info) {
    info = TimeZoneInformation{};
    const QTimeZone zone = QTimeZone::systemTimeZone();
    if (!zone.isValid()) return TIME_ZONE_ID_INVALID;
    const QString windows = QString::fromLatin1(QTimeZone::ianaIdToWindowsId(zone.id()));
    if (windows.isEmpty()) return TIME_ZONE_ID_INVALID;

    const QDateTime now = fixed_now.isValid() ? fixed_now : QDateTime::currentDateTimeUtc();
    info.standard_name = windows;
    info.bias = -zone.standardTimeOffset(now) / 60;
    // A zone keeps a daylight rule when daylight time falls within the year ahead (a zone that
    // kept daylight time only in the past has none now).
    int dst_offset = 0;
    for (int months = 0; months < 12 && dst_offset == 0; months += 3) {
        const QDateTime at = now.addMonths(months);
        if (zone.isDaylightTime(at)) dst_offset = zone.daylightTimeOffset(at);
    }
    if (dst_offset == 0) return TIME_ZONE_ID_UNKNOWN;

    info.daylight_name = windows;
    info.daylight_name.replace(QStringLiteral("Standard"), QStringLiteral("Daylight"));
    info.daylight_bias = -dst_offset / 60;
    return zone.isDaylightTime(now) ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

} // namespace tzinfo
