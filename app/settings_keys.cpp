#include "app/settings_keys.h"

#include <cstring>
#include <type_traits>

namespace {

// Accessors that give each table entry its holder; the table is then the only list of keys, for loading and
// saving alike.
template <auto Member> SettingField field(AppSettings& settings) {
    return &(settings.*Member);
}

template <auto Holder, auto Member> SettingField subfield(AppSettings& settings) {
    return &(settings.*Holder.*Member);
}

template <AlarmKey Key> SettingField alarmField(AppSettings& settings) {
    return AlarmField{&settings.alarm, Key};
}

// The alarm keys take their names and text forms from the alarm settings; the whole section is one optional group,
// so a user who never sets up alarms keeps the 29 keys of the file as they are.
template <AlarmKey Key> SettingKey alarmKey() {
    return {kAlarmSection, alarmKeyName(Key), SettingType::Alarm, 0, "", alarmField<Key>, 0, kAlarmSection};
}

// The font description keeps a face name in 32 bytes with its terminating zero.
constexpr std::size_t kFaceNameLength = 31;

// Settings 1 to 13 are written before the window rectangle is corrected, the rest after it.
constexpr int kSettingsBeforeWindowRect = 13;

using T = AppSettings;
using D = DisplaySettings;
using R = RecordingSettings;

} // namespace

const SettingKey kSettingKeys[kSettingCount] = {
    {"TEMP", "BACKGROUND_TEMP", SettingType::UInt, 16770250, "", subfield<&T::temperature, &D::backgroundColour>, 0},
    {"TEMP", "TEXT_TEMP", SettingType::UInt, 8404992, "", subfield<&T::temperature, &D::textColour>, 0},
    {"TEMP", "FONT_HEIGHT_TEMP", SettingType::Int, 60, "", subfield<&T::temperature, &D::fontHeight>, 0},
    {"TEMP", "FONT_NAME_TEMP", SettingType::String, 0, "Arial", subfield<&T::temperature, &D::fontName>,
     kFaceNameLength},
    {"TEMP", "FONT_ITALIC_TEMP", SettingType::Int, 0, "", subfield<&T::temperature, &D::fontItalic>, 0},
    {"TEMP", "FONT_WEIGHT_TEMP", SettingType::Int, 0, "", subfield<&T::temperature, &D::fontWeight>, 0},
    {"RH", "BACKGROUND_RH", SettingType::UInt, 16767672, "", subfield<&T::humidity, &D::backgroundColour>, 0},
    {"RH", "TEXT_RH", SettingType::UInt, 6566400, "", subfield<&T::humidity, &D::textColour>, 0},
    {"RH", "FONT_HEIGHT_RH", SettingType::Int, 60, "", subfield<&T::humidity, &D::fontHeight>, 0},
    {"RH", "FONT_NAME_RH", SettingType::String, 0, "Arial", subfield<&T::humidity, &D::fontName>, kFaceNameLength},
    {"RH", "FONT_ITALIC_RH", SettingType::Int, 0, "", subfield<&T::humidity, &D::fontItalic>, 0},
    {"RH", "FONT_WEIGHT_RH", SettingType::Int, 0, "", subfield<&T::humidity, &D::fontWeight>, 0},
    {"GENERAL", "PORT_NR", SettingType::Int, 0, "", field<&T::portNumber>, 0},
    {"GENERAL", "WINDOW_TOP", SettingType::Int, 100, "", subfield<&T::windowRect, &WindowRect::top>, 0},
    {"GENERAL", "WINDOW_BOTTOM", SettingType::Int, 500, "", subfield<&T::windowRect, &WindowRect::bottom>, 0},
    {"GENERAL", "WINDOW_LEFT", SettingType::Int, 100, "", subfield<&T::windowRect, &WindowRect::left>, 0},
    {"GENERAL", "WINDOW_RIGHT", SettingType::Int, 700, "", subfield<&T::windowRect, &WindowRect::right>, 0},
    {"LOG", "FILE_NAME", SettingType::String, 0, "", subfield<&T::recording, &R::textFileName>, 0},
    {"LOG", "FILE_NAME_BIN", SettingType::String, 0, "", subfield<&T::recording, &R::binaryFileName>, 0},
    {"LOG", "FILE_LOG", SettingType::Int, 0, "", subfield<&T::recording, &R::textEnabled>, 0},
    {"LOG", "FILE_LOG_BIN", SettingType::Int, 0, "", subfield<&T::recording, &R::binaryEnabled>, 0},
    {"LOG", "FILE_SEP_FORMAT", SettingType::Int, 0, "", subfield<&T::recording, &R::separator>, 0},
    {"LOG", "FILE_INTERVAL", SettingType::Int, 60, "", subfield<&T::recording, &R::intervalSeconds>, 0},
    {"LOG", "FILE_TEMP", SettingType::Int, 1, "", subfield<&T::recording, &R::recordTemperature>, 0},
    {"LOG", "FILE_RH", SettingType::Int, 1, "", subfield<&T::recording, &R::recordHumidity>, 0},
    {"GENERAL", "TOPMOST", SettingType::Int, 0, "", field<&T::topmost>, 0},
    {"LOG", "FILE_CHECK_COMMENT", SettingType::Int, 0, "", subfield<&T::recording, &R::commentEnabled>, 0},
    {"LOG", "FILE_CHECK_COMMENT_SN", SettingType::Int, 0, "", subfield<&T::recording, &R::commentSerialNumber>, 0},
    {"GENERAL", "SHOW_ADV", SettingType::Int, 1, "", field<&T::showInfoAtStart>, 0},
    {"LOG", "FILE_DECIMAL_COMMA", SettingType::Int, 0, "", subfield<&T::recording, &R::decimalComma>, 0,
     "FILE_DECIMAL_COMMA"},
    alarmKey<AlarmKey::Enabled>(),
    alarmKey<AlarmKey::TemperatureLow>(),
    alarmKey<AlarmKey::TemperatureHigh>(),
    alarmKey<AlarmKey::HumidityLow>(),
    alarmKey<AlarmKey::HumidityHigh>(),
    alarmKey<AlarmKey::Delay>(),
    alarmKey<AlarmKey::Hysteresis>(),
    alarmKey<AlarmKey::LinkMinutes>(),
    alarmKey<AlarmKey::Sound>(),
    alarmKey<AlarmKey::Action>(),
    alarmKey<AlarmKey::EventFile>(),
    alarmKey<AlarmKey::BackgroundColour>(),
    alarmKey<AlarmKey::TextColour>(),
};

namespace {

std::string defaultAlarmText(AlarmKey key) {
    return alarmKeyText(AlarmSettings{}, key);
}

void loadSetting(const CSettingsStore& store, const SettingKey& entry, AppSettings& settings) {
    const SettingField holder = entry.field(settings);
    switch (entry.type) {
    case SettingType::UInt:
        *std::get<std::uint32_t*>(holder) =
            store.getUInt(entry.section, entry.key, static_cast<std::uint32_t>(entry.defaultNumber));
        break;
    case SettingType::Int: {
        const std::int32_t value =
            store.getInt(entry.section, entry.key, static_cast<std::int32_t>(entry.defaultNumber));
        // A one-byte holder (the italic flag) keeps the low 8 bits: 257 reads as 1.
        if (std::uint8_t* const* byte = std::get_if<std::uint8_t*>(&holder))
            **byte = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) & 0xFFu);
        else if (bool* const* flag = std::get_if<bool*>(&holder))
            **flag = value != 0;
        else
            *std::get<int*>(holder) = value;
        break;
    }
    case SettingType::String: {
        std::string value = store.getString(entry.section, entry.key, entry.defaultText);
        if (entry.maxLength != 0) {
            // The holder is a zero-terminated field: a stored zero byte ends the name as well. Windows-1250 is
            // single-byte, so cutting at a byte count never splits a character.
            value = value.substr(0, value.find('\0'));
            if (value.size() > entry.maxLength)
                value.resize(entry.maxLength);
        }
        *std::get<std::string*>(holder) = std::move(value);
        break;
    }
    case SettingType::Alarm: {
        const AlarmField alarm = std::get<AlarmField>(holder);
        readAlarmKey(*alarm.settings, alarm.key,
                     store.getString(entry.section, entry.key, defaultAlarmText(alarm.key)));
        break;
    }
    }
}

// The value of a numeric holder as the file writes it.
std::int64_t numberOf(const SettingField& holder) {
    return std::visit(
        [](auto value) -> std::int64_t {
            if constexpr (std::is_same_v<decltype(value), std::string*> || std::is_same_v<decltype(value), AlarmField>)
                return 0;
            else
                return static_cast<std::int64_t>(*value);
        },
        holder);
}

bool holdsDefault(const SettingKey& entry, AppSettings& settings) {
    const SettingField holder = entry.field(settings);
    if (entry.type == SettingType::String)
        return *std::get<std::string*>(holder) == entry.defaultText;
    if (entry.type == SettingType::Alarm) {
        const AlarmField alarm = std::get<AlarmField>(holder);
        return alarmKeyText(*alarm.settings, alarm.key) == defaultAlarmText(alarm.key);
    }
    return numberOf(holder) == entry.defaultNumber;
}

bool optionalGroupWritten(const CSettingsStore& store, const char* group, AppSettings& settings) {
    for (const SettingKey& entry : kSettingKeys) {
        if (entry.optionalGroup != nullptr && std::strcmp(entry.optionalGroup, group) == 0 &&
            (store.contains(entry.section, entry.key) || !holdsDefault(entry, settings)))
            return true;
    }
    return false;
}

void saveSetting(CSettingsStore& store, const SettingKey& entry, AppSettings& settings) {
    const SettingField holder = entry.field(settings);
    switch (entry.type) {
    case SettingType::UInt:
        store.setUInt(entry.section, entry.key, *std::get<std::uint32_t*>(holder));
        break;
    case SettingType::Int:
        store.setInt(entry.section, entry.key, static_cast<std::int32_t>(numberOf(holder)));
        break;
    case SettingType::String:
        store.setString(entry.section, entry.key, *std::get<std::string*>(holder));
        break;
    case SettingType::Alarm: {
        const AlarmField alarm = std::get<AlarmField>(holder);
        store.setString(entry.section, entry.key, alarmKeyText(*alarm.settings, alarm.key));
        break;
    }
    }
}

// The file may hold any 32-bit numbers; the shift is done in 64 bits and wrapped back, as 32-bit arithmetic
// would, instead of overflowing a signed int.
int wrapToInt(std::int64_t value) {
    return static_cast<int>(static_cast<std::uint32_t>(value));
}

} // namespace

void loadSettings(const CSettingsStore& store, AppSettings& settings) {
    for (const SettingKey& entry : kSettingKeys)
        loadSetting(store, entry, settings);
    boundAlarmSettings(settings.alarm);
}

void saveSettings(CSettingsStore& store, const AppSettings& settings, int screenWidth, int screenHeight) {
    // The accessors hand out writable holders, and the rectangle is corrected on the way out only: both call for
    // a copy rather than touching the caller's values.
    AppSettings values = settings;
    for (int i = 0; i < kSettingCount; ++i) {
        if (i == kSettingsBeforeWindowRect)
            values.windowRect = correctWindowRect(values.windowRect, screenWidth, screenHeight);
        const SettingKey& entry = kSettingKeys[i];
        if (entry.optionalGroup == nullptr || optionalGroupWritten(store, entry.optionalGroup, values))
            saveSetting(store, entry, values);
    }
}

// Pulls a window that hangs more than 10 pixels off the primary screen back onto it, keeping its size: a window
// on a monitor left of or above the primary would otherwise be saved with a negative width or height and open as
// a sliver. The later steps see what the earlier ones left.
WindowRect correctWindowRect(WindowRect rect, int screenWidth, int screenHeight) {
    const std::int64_t width = screenWidth;
    const std::int64_t height = screenHeight;
    if (rect.right > width + 10) {
        rect.left = wrapToInt(rect.left + (width - rect.right));
        rect.right = screenWidth;
    }
    if (rect.bottom > height + 10) {
        rect.top = wrapToInt(rect.top + (height - rect.bottom));
        rect.bottom = screenHeight;
    }
    if (rect.top < -10) {
        rect.bottom = wrapToInt(std::int64_t{rect.bottom} - rect.top);
        rect.top = 0;
    }
    if (rect.left < -10) {
        rect.right = wrapToInt(std::int64_t{rect.right} - rect.left);
        rect.left = 0;
    }
    return rect;
}
