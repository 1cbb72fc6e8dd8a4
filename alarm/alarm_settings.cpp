#include "alarm/alarm_settings.h"

#include "display/value_text.h"

#include <algorithm>
#include <cstdint>
#include <utility>

namespace {

constexpr const char* kKeyNames[kAlarmKeyCount] = {
    "ENABLED",      "TEMP_LOW", "TEMP_HIGH", "RH_LOW",     "RH_HIGH",          "DELAY",      "HYSTERESIS",
    "LINK_MINUTES", "SOUND",    "ACTION",    "EVENT_FILE", "BACKGROUND_ALARM", "TEXT_ALARM",
};

// Far above every bound, yet far from overflowing when multiplied by ten once more.
constexpr std::int64_t kSaturation = 1000000000000000LL;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The text without the blanks around it: a value read from the file keeps the blank before a comment.
std::string trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// Reads a sign, then digits, saturating, from `text` at `i`; false when no digit follows.
bool readDigits(const std::string& text, std::size_t& i, std::int64_t& value) {
    const std::size_t first = i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = std::min(kSaturation, value * 10 + (text[i] - '0'));
    return i > first;
}

bool readSign(const std::string& text, std::size_t& i) {
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        return text[i++] == '-';
    return false;
}

// A whole number: an optional sign and digits, nothing else but blanks around them.
std::optional<std::int64_t> parseWhole(const std::string& raw) {
    const std::string text = trimmed(raw);
    std::size_t i = 0;
    const bool negative = readSign(text, i);
    std::int64_t value = 0;
    if (!readDigits(text, i, value) || i != text.size())
        return std::nullopt;
    return negative ? -value : value;
}

int clamped(std::int64_t value, int low, int high) {
    return static_cast<int>(std::clamp<std::int64_t>(value, low, high));
}

// The limit a key names; for const and writable settings alike.
template <typename Settings> auto& limitOf(Settings& settings, AlarmKey key) {
    const bool temperature = key == AlarmKey::TemperatureLow || key == AlarmKey::TemperatureHigh;
    auto& limits = settings.limits[temperature ? AlarmTemperature : AlarmHumidity];
    return key == AlarmKey::TemperatureHigh || key == AlarmKey::HumidityHigh ? limits.highTenths : limits.lowTenths;
}

std::string flagText(bool flag) {
    return flag ? "1" : "0";
}

void readFlag(bool& flag, const std::string& text) {
    if (const auto value = parseWhole(text))
        flag = *value != 0;
}

// Colours follow the other colour settings: any 32-bit number, a negative one wrapped as the store's look-up does.
void readColour(std::uint32_t& colour, const std::string& text) {
    if (const auto value = parseWhole(text))
        colour = static_cast<std::uint32_t>(*value);
}

} // namespace

const char* alarmKeyName(AlarmKey key) {
    const int index = static_cast<int>(key);
    return index >= 0 && index < kAlarmKeyCount ? kKeyNames[index] : "";
}

std::optional<int> parseTenths(const std::string& raw) {
    const std::string text = trimmed(raw);
    std::size_t i = 0;
    const bool negative = readSign(text, i);
    std::int64_t whole = 0;
    bool digits = readDigits(text, i, whole);
    std::int64_t tenths = whole * 10;
    if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
        ++i;
        // Decided on the digits themselves, so that 0.25 rounds to 0.3 as written, not as a double holds it.
        std::size_t place = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++place) {
            digits = true;
            if (place == 0)
                tenths += text[i] - '0';
            else if (place == 1 && text[i] >= '5')
                tenths += 1;
        }
    }
    if (!digits || i != text.size() || tenths > kMaxAlarmLimitTenths)
        return std::nullopt;
    return static_cast<int>(negative ? -tenths : tenths);
}

std::optional<std::int64_t> parseWholeNumber(const std::string& text) {
    return parseWhole(text);
}

std::string tenthsText(int tenths) {
    return truncateToTenth(tenths / 10.0);
}

std::string alarmKeyText(const AlarmSettings& settings, AlarmKey key) {
    switch (key) {
    case AlarmKey::Enabled:
        return flagText(settings.enabled);
    case AlarmKey::TemperatureLow:
    case AlarmKey::TemperatureHigh:
    case AlarmKey::HumidityLow:
    case AlarmKey::HumidityHigh: {
        const std::optional<int>& limit = limitOf(settings, key);
        return limit ? tenthsText(*limit) : "";
    }
    case AlarmKey::Delay:
        return std::to_string(settings.delaySeconds);
    case AlarmKey::Hysteresis:
        return tenthsText(settings.hysteresisTenths);
    case AlarmKey::LinkMinutes:
        return std::to_string(settings.linkMinutes);
    case AlarmKey::Sound:
        return flagText(settings.sound);
    case AlarmKey::Action:
        return settings.actionPath;
    case AlarmKey::EventFile:
        return settings.eventFileName;
    case AlarmKey::BackgroundColour:
        return std::to_string(settings.backgroundColour);
    case AlarmKey::TextColour:
        return std::to_string(settings.textColour);
    }
    return {};
}

void readAlarmKey(AlarmSettings& settings, AlarmKey key, const std::string& text) {
    switch (key) {
    case AlarmKey::Enabled:
        readFlag(settings.enabled, text);
        break;
    case AlarmKey::TemperatureLow:
    case AlarmKey::TemperatureHigh:
    case AlarmKey::HumidityLow:
    case AlarmKey::HumidityHigh: {
        // No limit is the default, so an unreadable or absurd limit simply means none.
        limitOf(settings, key) = parseTenths(text);
        break;
    }
    case AlarmKey::Delay:
        if (const auto seconds = parseWhole(text))
            settings.delaySeconds = clamped(*seconds, 0, kMaxAlarmDelaySeconds);
        break;
    case AlarmKey::Hysteresis:
        if (const auto tenths = parseTenths(text))
            settings.hysteresisTenths = clamped(*tenths, 0, kMaxAlarmHysteresisTenths);
        break;
    case AlarmKey::LinkMinutes:
        if (const auto minutes = parseWhole(text))
            settings.linkMinutes = clamped(*minutes, 0, kMaxAlarmLinkMinutes);
        break;
    case AlarmKey::Sound:
        readFlag(settings.sound, text);
        break;
    case AlarmKey::Action:
    case AlarmKey::EventFile:
        // A zero byte would end the name for the system anyway.
        (key == AlarmKey::Action ? settings.actionPath : settings.eventFileName) = text.substr(0, text.find('\0'));
        break;
    case AlarmKey::BackgroundColour:
        readColour(settings.backgroundColour, text);
        break;
    case AlarmKey::TextColour:
        readColour(settings.textColour, text);
        break;
    }
}

// Swapping keeps both limits watched: dropping one would silently end the watch on that side.
void boundAlarmSettings(AlarmSettings& settings) {
    for (AlarmLimits& limits : settings.limits) {
        if (limits.lowTenths && limits.highTenths && *limits.lowTenths > *limits.highTenths)
            std::swap(limits.lowTenths, limits.highTenths);
    }
    settings.delaySeconds = std::clamp(settings.delaySeconds, 0, kMaxAlarmDelaySeconds);
    settings.hysteresisTenths = std::clamp(settings.hysteresisTenths, 0, kMaxAlarmHysteresisTenths);
    settings.linkMinutes = std::clamp(settings.linkMinutes, 0, kMaxAlarmLinkMinutes);
}

bool differsFromDefaults(const AlarmSettings& settings) {
    const AlarmSettings defaults;
    for (int i = 0; i < kAlarmKeyCount; ++i) {
        const auto key = static_cast<AlarmKey>(i);
        if (alarmKeyText(settings, key) != alarmKeyText(defaults, key))
            return true;
    }
    return false;
}
