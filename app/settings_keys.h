#pragma once

#include "alarm/alarm_settings.h"
#include "base/dpi_scale.h"
#include "base/settings_store.h"
#include "base/settings_table.h"
#include "display/display_look.h"
#include "mail/mail_settings.h"
#include "mqtt/mqtt_settings.h"
#include "recording/recording_settings.h"

#include <vector>

// Everything hx350cfg.ini keeps, where the program uses it: the main window, its displays, its recording and its
// alarms work on these members, which the settings file is loaded into at start and written from at exit. The
// initial values are the defaults that absent keys take.
struct AppSettings {
    DisplayLooks displays;
    int portNumber = 0;    // the COM port opened at start; 0 or less: none
    WindowRect windowRect; // 96-DPI units
    RecordingSettings recording;
    bool topmost = false;
    bool showInfoAtStart = true;
    AlarmSettings alarm;
    MqttSettings mqtt;
    MailSettings mail;
};

// The keys in the order in which they are read and written: the 29 of every exit, then those of the features
// beyond them, each feature's keys an optional group.
const std::vector<SettingEntry<AppSettings>>& settingsTable();

inline constexpr const char* kSettingsFileName = "hx350cfg.ini";

// Reads every setting in table order, each with its default, into `settings`.
void loadSettings(const CSettingsStore& store, AppSettings& settings);
// Writes the settings in table order, with the window rectangle corrected for a screen of screenWidth x
// screenHeight, the optional groups only as their rule says.
void saveSettings(CSettingsStore& store, const AppSettings& settings, int screenWidth, int screenHeight);

WindowRect correctWindowRect(WindowRect rect, int screenWidth, int screenHeight);
