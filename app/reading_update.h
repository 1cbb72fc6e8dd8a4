#pragma once

#include "protocol/reading_record.h"

// What one display is told by a reading update, applied in this order:
// twoDecimalPlaces (when >= 0), blinking, then setValue(value) or setNoData.
struct DisplayFeed {
    int twoDecimalPlaces = -1; // -1: left as it is
    int blinking = 1;
    bool noData = true;
    double value = 0;
};

enum class DdeAction { None, Stop, StopThenStart };

struct ReadingUpdatePlan {
    bool relayout = false;           // link state or layout kind changed: re-run the layout,
    bool humidityVisible = true;     // then show or hide the humidity display,
    DdeAction dde = DdeAction::None; // then stop (and restart) the DDE service
    int ddeSerialNumber = 0;         // with this serial number (StopThenStart only)
    DisplayFeed temperature;
    DisplayFeed humidity;
};

// The main window's link and layout memory between reading updates.
struct ReadingUpdateState {
    int linkUp = 0;
    int layoutIsThermoHygro = -1; // -1 so that the first update always lays out
    bool ddeStartFailed = false;  // set by the window when a planned start failed
};

// Decides everything a reading update does; updates `state`. The window applies the plan, recomposes the status
// line between the DDE step and the display feed, and posts the DDE advise at the end.
ReadingUpdatePlan planReadingUpdate(ReadingUpdateState& state, const ReadingRecord& record, int linkUp);
