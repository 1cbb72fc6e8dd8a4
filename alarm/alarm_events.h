#pragma once

#include "base/civil_time.h"

#include <cstdint>

// The alarms' kinds and events, as the monitor decides them and the texts say them.

// At most one alarm of each kind is active; a quantity is never below and above at once.
enum class AlarmKind : int { TemperatureBelow, TemperatureAbove, HumidityBelow, HumidityAbove, Link };
inline constexpr int kAlarmKindCount = 5;

enum class AlarmEventType { Start, End, Acknowledged };

// One line of the event file; Start and End also start the action.
struct AlarmEvent {
    AlarmEventType type = AlarmEventType::Start;
    AlarmKind kind = AlarmKind::Link;
    int limit = 0;               // tenths of the quantity's unit; minutes for the link alarm
    double extreme = 0;          // value alarms: the farthest valid value beyond the limit since the onset
    std::int64_t durationMs = 0; // since the onset: the first value beyond the limit, or the last good reading
    LocalTime time;              // when the event happened
};

// An active alarm as the texts show it.
struct ActiveAlarm {
    AlarmKind kind = AlarmKind::Link;
    int limit = 0;
    bool acknowledged = false;
    LocalTime since; // the onset, as the wall clock showed it then
};
