#pragma once
// The PC's time zone as the program asks for it: the zone's Windows standard name ("Pacific
// Standard Time", taken from QTimeZone::ianaIdToWindowsId of the system zone, which follows TZ)
// and whether standard or daylight time is in force now.
#include <QDateTime>
#include <QString>

namespace tzinfo {

enum ZoneState {
    TIME_ZONE_ID_INVALID = -1, // no usable system zone
    TIME_ZONE_ID_UNKNOWN = 0,  // the zone has no daylight-saving rule
    TIME_ZONE_ID_STANDARD = 1, // standard time is in force
    TIME_ZONE_ID_DAYLIGHT = 2, // daylight time is in force
};

struct TimeZoneInformation {
    int bias = 0;          // minutes to add to local standard time to get UTC
    QString standard_name; // e.g. "Central Standard Time"
    QString daylight_name; // e.g. "Central Daylight Time"; empty without a daylight rule
    int daylight_bias = 0; // extra minutes while daylight time is in force (e.g. -60)
};

// Fills `info` for the system time zone and returns the zone state; on TIME_ZONE_ID_INVALID
// `info` is left empty.
int GetTimeZoneInformation(TimeZoneInformation& info);

// The moment GetTimeZoneInformation takes as "now"; an invalid value returns to the clock.
void set_now(const QDateTime& now);

} // namespace tzinfo
