#pragma once

#include "protocol/reading_record.h"
#include "recording/recording_status.h"

#include <string>

// The status line text (UTF-8) for the last reading, the link state and the recording.
std::string composeStatusText(const ReadingRecord& record, int linkUp, const RecordingStatus& recording);
