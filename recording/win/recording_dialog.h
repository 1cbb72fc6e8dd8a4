#pragma once

#include "recording/recording_settings.h"

#include <windows.h>

// "Rejestracja do pliku": edits a copy of the recording settings and writes it back into `settings` only when the
// user ends the dialog with OK; returns true then.
bool runRecordingDialog(HWND owner, RecordingSettings& settings);
