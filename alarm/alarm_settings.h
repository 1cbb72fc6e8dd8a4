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

inline constexpr int kMaxAlarmDelaySeconds = 86400;    // a day
inline constexpr int kMaxAlarmHysteresisTenths = 1000; // 100.0
inline constexpr int kMaxAlarmLinkMinutes = 10080;     // a week

// The checks that span keys, once every key is read: a lower limit above the upper one is taken as the two swapped,
// and every number is brought within its bounds.
void boundAlarmSettings(AlarmSettings& settings);
