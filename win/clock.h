#pragma once

#include "base/civil_time.h"

#include <cstdint>

// The clocks of the programs: the local wall clock, which texts and records show; the same clock in UTC
// milliseconds from 1970, on which recording ticks fall, and with the offset the system applies now (daylight saving
// time included), as the network's texts carry it; and a monotonic one in milliseconds, which measures delays and
// durations and never steps when the wall clock is set.
LocalTime localNow();
std::int64_t utcMs();
WallTime wallNow();
std::int64_t monotonicMs();
// The monotonic and the wall clock read together, for a network feature's session.
ClockReading clockNow();
