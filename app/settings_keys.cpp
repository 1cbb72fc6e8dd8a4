#include "app/settings_keys.h"

#include <cstdint>
#include <string>

namespace {

using A = AppSettings;
using D = DisplayLooks;
using L = DisplayLook;
using R = RecordingSettings;
using M = AlarmSettings;
using Q = MqttSettings;
using E = MailSettings;

template <typename Codec, auto... Path>
SettingEntry<AppSettings> entry(const char* section, const char* key, const char* group = nullptr) {
    return settingEntry<AppSettings, Codec, Path...>(section, key, group);
}

// The alarm keys read leniently within their bounds; the whole section is one optional group, so a user who never
// sets up alarms keeps the 29 keys of the file as they are.
std::vector<SettingEntry<AppSettings>> alarmEntries() {
    const char* s = kAlarmSection;
    constexpr int T = AlarmTemperature, H = AlarmHumidity;
    return {
        entry<LenientSwitchCodec, &A::alarm, &M::enabled>(s, "ENABLED", s),
        entry<OptionalTenthsCodec, &A::alarm, &M::limits, T, &AlarmLimits::lowTenths>(s, "TEMP_LOW", s),
        entry<OptionalTenthsCodec, &A::alarm, &M::limits, T, &AlarmLimits::highTenths>(s, "TEMP_HIGH", s),
        entry<OptionalTenthsCodec, &A::alarm, &M::limits, H, &AlarmLimits::lowTenths>(s, "RH_LOW", s),
        entry<OptionalTenthsCodec, &A::alarm, &M::limits, H, &AlarmLimits::highTenths>(s, "RH_HIGH", s),
        entry<BoundedIntCodec<0, kMaxAlarmDelaySeconds>, &A::alarm, &M::delaySeconds>(s, "DELAY", s),
        entry<BoundedTenthsCodec<0, kMaxAlarmHysteresisTenths>, &A::alarm, &M::hysteresisTenths>(s, "HYSTERESIS", s),
        entry<BoundedIntCodec<0, kMaxAlarmLinkMinutes>, &A::alarm, &M::linkMinutes>(s, "LINK_MINUTES", s),
        entry<LenientSwitchCodec, &A::alarm, &M::sound>(s, "SOUND", s),
        entry<TextCodec<0>, &A::alarm, &M::actionPath>(s, "ACTION", s),
        entry<TextCodec<0>, &A::alarm, &M::eventFileName>(s, "EVENT_FILE", s),
        entry<LenientUIntCodec, &A::alarm, &M::backgroundColour>(s, "BACKGROUND_ALARM", s),
        entry<LenientUIntCodec, &A::alarm, &M::textColour>(s, "TEXT_ALARM", s),
    };
}

// The publisher's keys, one optional group like the alarms'. The password is kept encrypted for the Windows user;
// the program decrypts it after loading.
std::vector<SettingEntry<AppSettings>> mqttEntries() {
    const char* s = "MQTT";
    return {
        entry<LenientSwitchCodec, &A::mqtt, &Q::enabled>(s, "ENABLED", s),
        entry<Utf8TextCodec<kMaxMqttHostLength>, &A::mqtt, &Q::host>(s, "HOST", s),
        entry<BoundedIntCodec<kMinMqttPort, kMaxMqttPort>, &A::mqtt, &Q::port>(s, "PORT", s),
        entry<Utf8TextCodec<kMaxMqttStationLength>, &A::mqtt, &Q::station>(s, "STATION", s),
        entry<Utf8TextCodec<kMaxMqttCredentialLength>, &A::mqtt, &Q::user>(s, "USER", s),
        entry<TextCodec<0>, &A::mqtt, &Q::protectedPassword>(s, "PASSWORD", s),
        entry<BoundedIntCodec<kMinMqttKeepAliveSeconds, kMaxMqttKeepAliveSeconds>, &A::mqtt, &Q::keepAliveSeconds>(
            s, "KEEPALIVE", s),
        entry<BoundedIntCodec<0, kMaxMqttRecordIntervalSeconds>, &A::mqtt, &Q::recordIntervalSeconds>(
            s, "RECORD_INTERVAL", s),
        entry<LenientSwitchCodec, &A::mqtt, &Q::discovery>(s, "DISCOVERY", s),
        entry<LenientSwitchCodec, &A::mqtt, &Q::tls>(s, "TLS", s),
    };
}

// SECURITY: a word the file may spell in any case; anything else keeps the default.
struct MailSecurityCodec {
    using Value = MailSecurity;
    static Value read(const std::string& text, Value fallback) { return parseMailSecurity(text).value_or(fallback); }
    static std::string write(Value value, const std::string*) { return mailSecurityText(value); }
};

// DAILY_AT: "HH:MM", empty for no daily message.
struct DailyAtCodec {
    using Value = std::optional<int>;
    static Value read(const std::string& text, const Value&) { return parseDailyAt(text); }
    static std::string write(const Value& value, const std::string*) { return dailyAtText(value); }
};

// The e-mail notifications' keys, one optional group; the password kept as the publisher's is.
std::vector<SettingEntry<AppSettings>> mailEntries() {
    const char* s = kMailSection;
    return {
        entry<LenientSwitchCodec, &A::mail, &E::enabled>(s, "ENABLED", s),
        entry<Utf8TextCodec<kMaxMailServerLength>, &A::mail, &E::server>(s, "SERVER", s),
        entry<BoundedIntCodec<kMinMailPort, kMaxMailPort>, &A::mail, &E::port>(s, "PORT", s),
        entry<MailSecurityCodec, &A::mail, &E::security>(s, "SECURITY", s),
        entry<Utf8TextCodec<kMaxMailCredentialLength>, &A::mail, &E::user>(s, "USER", s),
        entry<TextCodec<0>, &A::mail, &E::protectedPassword>(s, "PASSWORD", s),
        entry<Utf8TextCodec<kMaxMailAddressLength>, &A::mail, &E::from>(s, "FROM", s),
        entry<Utf8TextCodec<kMaxMailRecipientsLength>, &A::mail, &E::to>(s, "TO", s),
        entry<LenientSwitchCodec, &A::mail, &E::sendStart>(s, "SEND_START", s),
        entry<LenientSwitchCodec, &A::mail, &E::sendEnd>(s, "SEND_END", s),
        entry<LenientSwitchCodec, &A::mail, &E::sendAck>(s, "SEND_ACK", s),
        entry<BoundedIntCodec<0, kMaxMailReminderMinutes>, &A::mail, &E::reminderMinutes>(s, "REMINDER_MINUTES", s),
        entry<DailyAtCodec, &A::mail, &E::dailyAtMinutes>(s, "DAILY_AT", s),
    };
}

std::vector<SettingEntry<AppSettings>> buildTable() {
    constexpr auto T = &D::temperature, H = &D::humidity;
    std::vector<SettingEntry<AppSettings>> table = {
        entry<UIntCodec, &A::displays, T, &L::backgroundColour>("TEMP", "BACKGROUND_TEMP"),
        entry<UIntCodec, &A::displays, T, &L::textColour>("TEMP", "TEXT_TEMP"),
        entry<IntCodec, &A::displays, T, &L::fontHeight>("TEMP", "FONT_HEIGHT_TEMP"),
        entry<TextCodec<kFaceNameLength>, &A::displays, T, &L::fontName>("TEMP", "FONT_NAME_TEMP"),
        entry<ByteCodec, &A::displays, T, &L::fontItalic>("TEMP", "FONT_ITALIC_TEMP"),
        entry<IntCodec, &A::displays, T, &L::fontWeight>("TEMP", "FONT_WEIGHT_TEMP"),
        entry<UIntCodec, &A::displays, H, &L::backgroundColour>("RH", "BACKGROUND_RH"),
        entry<UIntCodec, &A::displays, H, &L::textColour>("RH", "TEXT_RH"),
        entry<IntCodec, &A::displays, H, &L::fontHeight>("RH", "FONT_HEIGHT_RH"),
        entry<TextCodec<kFaceNameLength>, &A::displays, H, &L::fontName>("RH", "FONT_NAME_RH"),
        entry<ByteCodec, &A::displays, H, &L::fontItalic>("RH", "FONT_ITALIC_RH"),
        entry<IntCodec, &A::displays, H, &L::fontWeight>("RH", "FONT_WEIGHT_RH"),
        entry<IntCodec, &A::portNumber>("GENERAL", "PORT_NR"),
        entry<IntCodec, &A::windowRect, &WindowRect::top>("GENERAL", "WINDOW_TOP"),
        entry<IntCodec, &A::windowRect, &WindowRect::bottom>("GENERAL", "WINDOW_BOTTOM"),
        entry<IntCodec, &A::windowRect, &WindowRect::left>("GENERAL", "WINDOW_LEFT"),
        entry<IntCodec, &A::windowRect, &WindowRect::right>("GENERAL", "WINDOW_RIGHT"),
        entry<TextCodec<0>, &A::recording, &R::textFileName>("LOG", "FILE_NAME"),
        entry<TextCodec<0>, &A::recording, &R::binaryFileName>("LOG", "FILE_NAME_BIN"),
        entry<IntCodec, &A::recording, &R::textEnabled>("LOG", "FILE_LOG"),
        entry<IntCodec, &A::recording, &R::binaryEnabled>("LOG", "FILE_LOG_BIN"),
        entry<IntCodec, &A::recording, &R::separator>("LOG", "FILE_SEP_FORMAT"),
        entry<IntCodec, &A::recording, &R::intervalSeconds>("LOG", "FILE_INTERVAL"),
        entry<IntCodec, &A::recording, &R::recordTemperature>("LOG", "FILE_TEMP"),
        entry<IntCodec, &A::recording, &R::recordHumidity>("LOG", "FILE_RH"),
        entry<KeptSwitchCodec, &A::topmost>("GENERAL", "TOPMOST"),
        entry<IntCodec, &A::recording, &R::commentEnabled>("LOG", "FILE_CHECK_COMMENT"),
        entry<IntCodec, &A::recording, &R::commentSerialNumber>("LOG", "FILE_CHECK_COMMENT_SN"),
        entry<KeptSwitchCodec, &A::showInfoAtStart>("GENERAL", "SHOW_ADV"),
        entry<SwitchCodec, &A::recording, &R::decimalComma>("LOG", "FILE_DECIMAL_COMMA", "FILE_DECIMAL_COMMA"),
    };
    for (const auto& feature : {alarmEntries(), mqttEntries(), mailEntries()})
        table.insert(table.end(), feature.begin(), feature.end());
    return table;
}

} // namespace

const std::vector<SettingEntry<AppSettings>>& settingsTable() {
    static const std::vector<SettingEntry<AppSettings>> table = buildTable();
    return table;
}

void loadSettings(const CSettingsStore& store, AppSettings& settings) {
    loadSettingsTable(store, settingsTable(), settings);
    boundAlarmSettings(settings.alarm);
    boundMailSettings(settings.mail);
}

// The rectangle is corrected on the way out only, so the caller's values stay as they are.
void saveSettings(CSettingsStore& store, const AppSettings& settings, int screenWidth, int screenHeight) {
    AppSettings values = settings;
    values.windowRect = correctWindowRect(values.windowRect, screenWidth, screenHeight);
    saveSettingsTable(store, settingsTable(), values);
}

namespace {

// The file may hold any 32-bit numbers; the shift is done in 64 bits and wrapped back, as 32-bit arithmetic
// would, instead of overflowing a signed int.
int wrapToInt(std::int64_t value) {
    return static_cast<int>(static_cast<std::uint32_t>(value));
}

} // namespace

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
