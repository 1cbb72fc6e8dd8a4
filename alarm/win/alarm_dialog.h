#pragma once

#include "alarm/alarm_settings.h"

#include <windows.h>

// "Alarmy": edits a copy of the alarm settings and writes it back into `settings` only when the user ends the dialog
// with OK and every field could be kept; returns true then.
bool runAlarmDialog(HWND owner, AlarmSettings& settings);
