#pragma once

#include "protocol/reading_record.h"
#include "recording/recording_status.h"

#include <string>

// What the status line says besides the reading: the recording, and faults that nobody may be there to click
// away, so they stay in the line until they are mended.
struct StatusNotes {
    RecordingStatus recording;
    int unavailablePort = 0;        // a port that went away or has not appeared yet; 0 when none
    bool ddeFailed = false;         // the DDE service could not be started; tried again at the next good line
    std::string alarms = {};        // the active alarms (UTF-8), after the reading's and the recording's texts
    std::string alarmProblems = {}; // what the alarms could not carry out (UTF-8)
    std::string network = {};       // what the network features could not do (UTF-8), at the end
};

// The status line text (UTF-8) for the last reading, the link state and the notes.
std::string composeStatusText(const ReadingRecord& record, bool linkUp, const StatusNotes& notes);
