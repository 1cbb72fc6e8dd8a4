#pragma once

#include "protocol/reading_record.h"

#include <string>

// The status line text (UTF-8) for the last reading, the link state and the recording timer.
std::string composeStatusText(const ReadingRecord& record, int linkUp, bool recordingTimerRunning,
                              int intervalSeconds);
