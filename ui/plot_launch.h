#pragma once

#include "recording/recording_settings.h"

#include <string>

// Starting the grapher: always the Plot.exe beside this program, never one found elsewhere by name. Paths are
// UTF-8.

// The grapher's full path from this program's own full path.
std::string plotPath(const std::string& programPath);

// The grapher's command line: its quoted path, then the binary recording file (quoted) while binary recording is
// on and names a file, so that the grapher shows the live recording.
std::string plotCommandLine(const std::string& plotPathUtf8, const RecordingSettings& recording);
