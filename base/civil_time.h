#pragma once

#include <cstdint>
#include <string>

// A local wall-clock time, as the recordings, the event file and the texts carry it: no time zone, no daylight
// saving, what the clock said.
struct LocalTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Local time counted in seconds from 1970-01-01 00:00:00 of the same clock (proleptic Gregorian calendar), and back.
std::int64_t civilSeconds(const LocalTime& time);
LocalTime civilTime(std::int64_t seconds);

// "2026.10.25 02:30:00": the time as the recordings, the event file and the texts write it.
std::string localTimeText(const LocalTime& time);

// A moment of the wall clock as the network's texts carry it: UTC milliseconds since 1970 and the local offset from
// UTC then, in minutes.
struct WallTime {
    std::int64_t utcMs = 0;
    int utcOffsetMinutes = 0;
};

// The time of a network feature's every input: a monotonic clock for the timeouts, the back-offs and the schedules'
// waits (it never steps), and the wall clock that the texts' times show.
struct ClockReading {
    std::int64_t monotonicMs = 0;
    WallTime wall;
};

// The local time of `time` in civilSeconds' count.
std::int64_t localSeconds(const WallTime& time);
// The offset from UTC as "+01:00" (`separator` ":") or "-0230" (`separator` "").
std::string utcOffsetText(int minutes, const char* separator);

// a / b rounded toward minus infinity.
constexpr std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}
