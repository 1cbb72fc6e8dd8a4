#pragma once

#include "alarm/alarm_settings.h"
#include "base/dpi_scale.h"
#include "base/settings_store.h"
#include "recording/recording_settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

// The persisted look of one value display.
struct DisplaySettings {
    std::uint32_t backgroundColour = 0;
    std::uint32_t textColour = 0;
    int fontHeight = 60;
    std::string fontName = "Arial"; // at most 31 bytes (ANSI)
    std::uint8_t fontItalic = 0;
    int fontWeight = 0;
};

// The persisted values, carried between the settings file and their holders (the main window, its displays and its
// recording settings). Initial values are the holders' own: they apply when the file cannot be opened.
struct AppSettings {
    DisplaySettings temperature{0xFFE4CA, 0x804000};
    DisplaySettings humidity{0xFFDAB8, 0x643200};
    int portNumber = 0;
    WindowRect windowRect;
    RecordingSettings recording;
    int topmost = 0;
    int showInfoAtStart = 1;
    AlarmSettings alarm;
};

// Alarm: a key of section ALARM, whose text form the alarm settings define.
enum class SettingType { UInt, Int, String, Alarm };

// One key of the alarm settings.
struct AlarmField {
    AlarmSettings* settings;
    AlarmKey key;
};

// The holder of one setting inside AppSettings: a uint setting lives in a uint32, an int setting in an int or,
// for the one-byte italic flags, in a uint8, or for a switch in a bool, a string setting in a string, an alarm
// setting in the alarm settings.
using SettingField = std::variant<std::uint32_t*, int*, std::uint8_t*, bool*, std::string*, AlarmField>;

struct SettingKey {
    const char* section;
    const char* key;
    SettingType type;
    std::int64_t defaultNumber;          // UInt and Int
    const char* defaultText;             // String (Alarm: the default settings' text)
    SettingField (*field)(AppSettings&); // where loading puts the value and saving takes it from
    std::size_t maxLength;               // String: longest value the holder keeps (0 = no limit)
    // Null for the 29 keys written at every exit. A key of a feature beyond them names its group (one key, or a
    // whole section of them): the group is written once one of its keys is in the file or differs from its
    // default, and not at all before, so the file of a user who never sets it stays as it was.
    const char* optionalGroup = nullptr;
};

inline constexpr int kSettingCount = 30 + kAlarmKeyCount;
// The keys in the order in which they are read and written.
extern const SettingKey kSettingKeys[kSettingCount];

inline constexpr const char* kSettingsFileName = "hx350cfg.ini";

// Reads every setting in table order, each with its default, into `settings`.
void loadSettings(const CSettingsStore& store, AppSettings& settings);
// Writes settings 1 to 13, corrects the window rectangle for a screen of screenWidth x screenHeight, then writes
// the rest in table order, the optional groups only as their rule says.
void saveSettings(CSettingsStore& store, const AppSettings& settings, int screenWidth, int screenHeight);

WindowRect correctWindowRect(WindowRect rect, int screenWidth, int screenHeight);
