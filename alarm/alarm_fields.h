#pragma once

#include "alarm/alarm_settings.h"

#include <string>

// What the alarm dialog decides without a window: the text each edit box shows, whether what the user typed can be
// kept, and where the event file goes. Texts are UTF-8.

// The dialog's edit boxes.
enum class AlarmKey : int {
    TemperatureLow,
    TemperatureHigh,
    HumidityLow,
    HumidityHigh,
    Delay,
    Hysteresis,
    LinkMinutes,
    Action,
    EventFile,
};

// The text of the edit box for `key`: as the settings file holds it ("25.0", "" for no limit, whole seconds and
// minutes, "0.5"), the paths in UTF-8.
std::string alarmFieldText(const AlarmSettings& settings, AlarmKey key);

// Takes what the user typed for `key` into `settings`; returns the message that refuses it, empty when it was taken.
// Stricter than the settings file's reading, which brings a value to its bound or drops it: what OK keeps is what
// was typed.
std::string takeAlarmField(AlarmSettings& settings, AlarmKey key, const std::string& typed);

// Once every field is taken: the message that refuses a lower limit above the upper one, with the key of the field
// to correct; empty when the limits are in order.
std::string checkAlarmLimits(const AlarmSettings& settings, AlarmKey& key);

// The event file's path: a relative name lies beside the program (`programPath` is the program's own path), a full
// or drive-relative one is kept as it is; empty for no name.
std::string eventFilePath(const std::string& name, const std::string& programPath);
