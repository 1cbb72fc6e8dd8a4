#pragma once

#include "protocol/current_reading.h"
#include "protocol/reading_record.h"

enum class DdeAction { None, Stop, StopThenStart };

struct ReadingUpdatePlan {
    bool relayout = false;           // link state or layout kind changed: re-run the layout,
    bool humidityVisible = true;     // then show or hide the humidity display,
    DdeAction dde = DdeAction::None; // then stop (and restart) the DDE service
    int ddeSerialNumber = 0;         // with this serial number (StopThenStart only)
};

// The main window's link and layout memory between reading updates.
struct ReadingUpdateState {
    bool linkUp = false;
    int layoutIsThermoHygro = -1; // 1 or 0 for the kind of the last layout; -1 so that the first update lays out
    bool ddeStartFailed = false;  // set by the window when a planned start failed
};

// Decides everything a reading update does: fills `reading` from the record and the link state, updates `state`
// and returns what the window does. The window applies the plan, recomposes the status line, has the displays
// paint the reading and posts the DDE advise at the end.
ReadingUpdatePlan planReadingUpdate(ReadingUpdateState& state, const ReadingRecord& record, bool linkUp,
                                    CurrentReading& reading);
