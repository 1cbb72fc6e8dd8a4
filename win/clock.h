#pragma once

#include "base/civil_time.h"

#include <cstdint>

// The clocks of the programs: the local wall clock, which texts and records show; the same clock in UTC
// milliseconds from 1970, with the offset the system applies now (daylight saving time included), on which
// recording ticks fall and which the network's texts carry; and a monotonic one in milliseconds, which measures
// delays and durations and never steps when the wall clock is set.
LocalTime localNow();
std::int64_t utcMs();
int utcOffsetMinutes();
std::int64_t monotonicMs();
