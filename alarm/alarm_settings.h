#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The alarm options, persisted in section ALARM. Everything is off by default; limits and the hysteresis are held
// in tenths of the quantity's unit, so that they compare and round-trip exactly.

enum AlarmQuantity : int { AlarmTemperature = 0, AlarmHumidity = 1 };

struct AlarmLimits {
    std::optional<int> lowTenths;
    std::optional<int> highTenths;
};

struct AlarmSettings {
    bool enabled = false;
    AlarmLimits limits[2]; // by AlarmQuantity
    int delaySeconds = 60;
    int hysteresisTenths = 5; // in the unit of each quantity: 0.5 °C, 0.5 %
    int linkMinutes = 0;      // 0: no alarm for a missing reading
    bool sound = false;
    std::string actionPath;                    // Windows-1250, as the settings file holds it; a full path or nothing
    std::string eventFileName;                 // Windows-1250; empty: no event file
    std::uint32_t backgroundColour = 0x0000FF; // COLORREF: red
    std::uint32_t textColour = 0xFFFFFF;       // white
};

inline constexpr const char* kAlarmSection = "ALARM";

// The keys of section ALARM, in the order in which they are read and written.
enum class AlarmKey : int {
    Enabled,
    TemperatureLow,
    TemperatureHigh,
    HumidityLow,
    HumidityHigh,
    Delay,
    Hysteresis,
    LinkMinutes,
    Sound,
    Action,
    EventFile,
    BackgroundColour,
    TextColour,
};
inline constexpr int kAlarmKeyCount = 13;

inline constexpr int kMaxAlarmDelaySeconds = 86400;    // a day
inline constexpr int kMaxAlarmHysteresisTenths = 1000; // 100.0
inline constexpr int kMaxAlarmLinkMinutes = 10080;     // a week
inline constexpr int kMaxAlarmLimitTenths = 99999;     // limits lie within -9999.9 .. 9999.9

// "ENABLED", "TEMP_LOW", ... "BACKGROUND_ALARM", "TEXT_ALARM".
const char* alarmKeyName(AlarmKey key);

// The key's value as the settings file holds it: 0/1, "25.0" or "" for no limit, whole seconds and minutes,
// "0.5", the paths as they are, colours in unsigned decimal.
std::string alarmKeyText(const AlarmSettings& settings, AlarmKey key);

// Reads one key's value into `settings`. Never fails: a value that is not a number of the key's kind leaves the
// default in place (no limit, for the limits), one outside the key's range is brought to its nearest bound.
// Call boundAlarmSettings once every key is read.
void readAlarmKey(AlarmSettings& settings, AlarmKey key, const std::string& text);

// The checks that span keys: a lower limit above the upper one is taken as the two swapped.
void boundAlarmSettings(AlarmSettings& settings);

// Whether any key's text differs from the default's. The section is written only when it does, or when the file
// holds it already (so that setting everything back to the defaults reaches the file too).
bool differsFromDefaults(const AlarmSettings& settings);

// A decimal number (a point, or a comma as typed on a Polish keyboard) in tenths, rounded half away from zero;
// none for anything else (the empty text included) and for numbers beyond kMaxAlarmLimitTenths either way.
std::optional<int> parseTenths(const std::string& text);
// "25.0", "-0.5": one decimal.
std::string tenthsText(int tenths);
// A whole number: an optional sign and digits, blanks around them allowed; none for anything else. Numbers too
// large for any key saturate far beyond every bound.
std::optional<std::int64_t> parseWholeNumber(const std::string& text);
