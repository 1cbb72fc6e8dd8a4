#pragma once

#include "base/civil_time.h"
#include "plot/time_zone.h"

#include <cstdint>
#include <string>
#include <vector>

// Times of the grapher: civilSeconds() of a record's stamp is its local time, which CTimeZone turns into absolute
// time.

// "2024.03.05 14:07:09", the stamp of the text recording file.
std::string formatStamp(std::int64_t seconds);
// The local stamp of absolute time `absolute`; in an hour that the clock shows twice, with its offset from UTC
// ("2026.10.25 02:30:00 UTC+01:00"), so that the two are told apart.
std::string zoneStamp(const CTimeZone& zone, std::int64_t absolute);

// One labelled mark of the time axis. `context` names the larger unit (the date below a time of day, the year below
// a month) on the first mark and wherever that unit changes; empty elsewhere.
struct TimeTick {
    std::int64_t time = 0;
    std::string label;
    std::string context;
};

// Marks for the visible range [t0, t1] (absolute) drawn `width` pixels wide, at least `labelWidth` pixels apart: the
// step is the smallest of 1 s ... 30 min, 1 ... 12 h, 1 day, 2 days, 1 week, 1, 2, 3, 6 months, 1 ... 100 years
// that leaves room for the labels, and marks fall on whole steps of the local clock or calendar (twice on an hour
// that the clock repeats).
std::vector<TimeTick> timeTicks(const CTimeZone& zone, double t0, double t1, int width, int labelWidth);

struct ValueTick {
    double value = 0;
    std::string label;
};

// Marks of a value axis over [low, high] drawn `height` pixels high, at least `spacing` pixels apart, on whole
// multiples of 1, 2 or 5 times a power of ten, with as many decimals as the step needs.
std::vector<ValueTick> valueTicks(double low, double high, int height, int spacing);
