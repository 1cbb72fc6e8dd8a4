#include "base/civil_time.h"

#include <cstdio>

namespace {

constexpr std::int64_t kDay = 86400;

// Days from 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = floorDiv(y, 400);
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = floorDiv(z, 146097);
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

} // namespace

std::int64_t civilSeconds(const LocalTime& time) {
    return daysFromCivil(time.year, time.month, time.day) * kDay + time.hour * 3600 + time.minute * 60 + time.second;
}

LocalTime civilTime(std::int64_t seconds) {
    LocalTime time;
    const std::int64_t days = floorDiv(seconds, kDay);
    civilFromDays(days, time.year, time.month, time.day);
    const std::int64_t rest = seconds - days * kDay;
    time.hour = static_cast<int>(rest / 3600);
    time.minute = static_cast<int>(rest / 60 % 60);
    time.second = static_cast<int>(rest % 60);
    return time;
}

std::string localTimeText(const LocalTime& time) {
    char text[80];
    std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d:%02d", time.year, time.month, time.day, time.hour,
                  time.minute, time.second);
    return text;
}

std::int64_t localSeconds(const WallTime& time) {
    return floorDiv(time.utcMs, 1000) + std::int64_t{time.utcOffsetMinutes} * 60;
}

std::string utcOffsetText(int minutes, const char* separator) {
    const int magnitude = minutes < 0 ? -minutes : minutes;
    char text[16];
    std::snprintf(text, sizeof text, "%c%02d%s%02d", minutes < 0 ? '-' : '+', magnitude / 60, separator,
                  magnitude % 60);
    return text;
}
