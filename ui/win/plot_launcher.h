#pragma once

#include "recording/recording_settings.h"

#include <windows.h>

// "Uruchom Plot": starts the Plot.exe beside this program (never one found by name in the current folder), with
// the live binary recording file when there is one; says so when it is missing.
void launchPlot(HWND owner, const RecordingSettings& recording);
