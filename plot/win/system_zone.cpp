#include "plot/win/system_zone.h"

#include <windows.h>

namespace {

ZoneChangeDate changeDate(const SYSTEMTIME& date) {
    return {date.wYear, date.wMonth, date.wDay, date.wDayOfWeek, date.wHour, date.wMinute, date.wSecond};
}

// A year the system has no answer for takes the rules in force now.
ZoneYear rulesOf(int year) {
    TIME_ZONE_INFORMATION info{};
    const bool known =
        year >= 1601 && year <= 30827 && GetTimeZoneInformationForYear(static_cast<USHORT>(year), nullptr, &info);
    ZoneYear rules;
    if (!known && GetTimeZoneInformation(&info) == TIME_ZONE_ID_INVALID)
        return rules;
    rules.standardMinutes = -(info.Bias + info.StandardBias);
    rules.daylightMinutes = -(info.Bias + info.DaylightBias);
    rules.daylight = info.DaylightDate.wMonth != 0 && info.StandardDate.wMonth != 0;
    rules.toDaylight = changeDate(info.DaylightDate);
    rules.toStandard = changeDate(info.StandardDate);
    return rules;
}

} // namespace

const CTimeZone& systemZone() {
    static const CTimeZone zone(rulesOf);
    return zone;
}
