#pragma once

#include "alarm/alarm_monitor.h"
#include "protocol/current_reading.h"
#include "protocol/reading_record.h"

enum class DdeAction { None, Stop, StopThenStart };

// Everything a reading update changes, which the window carries out in this order, in one place: the layout, the DDE
// service, the alarms' colours, DDE item and acknowledgement, the status line (with the alarms' words), then the
// displays paint the reading and DDE advises it. The alarms' events go to their file and programs afterwards.
struct ReadingUpdatePlan {
    bool relayout = false;           // link state or layout kind changed: re-run the layout,
    bool humidityVisible = true;     // then show or hide the humidity display,
    DdeAction dde = DdeAction::None; // then stop (and restart) the DDE service
    int ddeSerialNumber = 0;         // with this serial number (StopThenStart only)
    AlarmPlan alarm;                 // what the alarm monitor made of the reading
};

// The main window's link and layout memory between reading updates.
struct ReadingUpdateState {
    bool linkUp = false;
    int layoutIsThermoHygro = -1; // 1 or 0 for the kind of the last layout; -1 so that the first update lays out
    bool ddeStartFailed = false;  // set by the window when a planned start failed
};

// Decides the reading's part of an update: fills `reading` from the record and the link state, updates `state` and
// returns the layout and DDE part of the plan; the window adds the alarm monitor's plan for the same reading.
ReadingUpdatePlan planReadingUpdate(ReadingUpdateState& state, const ReadingRecord& record, bool linkUp,
                                    CurrentReading& reading);
