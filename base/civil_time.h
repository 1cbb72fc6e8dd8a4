#pragma once

#include <cstdint>

// A local wall-clock time, as the recordings, the event file and the texts carry it: no time zone, no daylight
// saving, what the clock said.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Local time counted in seconds from 1970-01-01 00:00:00 of the same clock (proleptic Gregorian calendar), and back.
std::int64_t civilSeconds(const LocalTime& time);
LocalTime civilTime(std::int64_t seconds);

// a / b rounded toward minus infinity.
constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
