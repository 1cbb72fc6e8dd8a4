#pragma once

#include "alarm/alarm_events.h"
#include "alarm/alarm_settings.h"
#include "protocol/current_reading.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The alarms: decided from the readings and the time, carried out by the window (status line, display colours,
// sound, event file, action, DDE item).

// The time of every input: a monotonic clock for the delay and the durations (it never steps), and the local
// wall-clock time that the texts show.
struct AlarmClock {
    std::int64_t monotonicMs = 0;
    LocalTime local;
};

struct AlarmReading {
    QuantityReading quantity[2]; // by AlarmQuantity; valid() when there is a value that is not flagged
    bool lineGood = false;       // the update followed a good line (not a bad one or a watchdog expiry)
};

// What the window does after an input, in this order: write the events to the event file and start the action
// for each Start and End; append `status` to the status line; show `alarmColours` displays in the alarm colours;
// keep the sound repeating while `sound`; advise the DDE item "Alarm" of each topic when its text changed.
struct AlarmPlan {
    std::vector<AlarmEvent> events;
    std::vector<ActiveAlarm> active;       // in AlarmKind order
    std::string status;                    // UTF-8; empty while no alarm is active
    std::string dde[2];                    // Windows-1250, by DDE topic: "OK" or the topic's alarms
    bool alarmColours[2] = {false, false}; // by AlarmQuantity
    bool sound = false;
    bool acknowledgeable = false; // an active alarm waits for its acknowledgement
};

class AlarmMonitor {
public:
    explicit AlarmMonitor(const AlarmSettings& settings = {});

    // New settings (the dialog's OK). An active alarm whose limit (or minutes) changed or that was switched off
    // ends; the others go on.
    AlarmPlan applySettings(const AlarmSettings& settings, const AlarmClock& clock);
    // Every reading update: after each line and each watchdog expiry.
    AlarmPlan onReading(const AlarmReading& reading, const AlarmClock& clock);
    // A timer tick (a second or so): the link alarm starts on time when nothing arrives at all.
    AlarmPlan onTick(const AlarmClock& clock);
    // The user acknowledged: the sound stops; the alarms stay until their conditions end.
    AlarmPlan acknowledge(const AlarmClock& clock);

    const AlarmSettings& settings() const { return settings_; }

private:
    struct State {
        bool pending = false; // value alarms: beyond the limit, the delay running
        bool active = false;
        bool acknowledged = false;
        std::int64_t sinceMs = 0; // the onset
        LocalTime since;
        double extreme = 0;
        int limit = 0; // what the alarm started with
    };

    void begin(const AlarmClock& clock);
    void watchQuantity(int quantity, const QuantityReading& reading, const AlarmClock& clock);
    void watchLink(const AlarmClock& clock);
    void raise(AlarmKind kind, int limit, const AlarmClock& clock);
    void emit(AlarmEventType type, AlarmKind kind, const AlarmClock& clock);
    void end(AlarmKind kind, const AlarmClock& clock);
    AlarmPlan plan(const AlarmClock& clock);

    State& state(AlarmKind kind) { return states_[static_cast<int>(kind)]; }

    AlarmSettings settings_;
    State states_[kAlarmKindCount];
    bool begun_ = false;
    std::int64_t lastGoodMs_ = 0; // the last good reading, or the first input
    LocalTime lastGood_;
    std::vector<AlarmEvent> events_; // of the input being handled
};

// The limit (tenths) that `settings` sets for a value alarm's kind; none for the link alarm and unset limits.
std::optional<int> alarmLimit(const AlarmSettings& settings, AlarmKind kind);
