#include "alarm/alarm_fields.h"

#include "alarm/alarm_action.h"
#include "base/ascii_text.h"
#include "base/cp1250.h"
#include "base/number_format.h"
#include "recording/recording_choices.h"

namespace {

bool isLimit(AlarmKey key) {
    return key == AlarmKey::TemperatureLow || key == AlarmKey::TemperatureHigh || key == AlarmKey::HumidityLow ||
           key == AlarmKey::HumidityHigh;
}

// The limit a key names; for const and writable settings alike.
template <typename Settings> auto& limitOf(Settings& settings, AlarmKey key) {
    const bool temperature = key == AlarmKey::TemperatureLow || key == AlarmKey::TemperatureHigh;
    auto& limits = settings.limits[temperature ? AlarmTemperature : AlarmHumidity];
    return key == AlarmKey::TemperatureHigh || key == AlarmKey::HumidityHigh ? limits.highTenths : limits.lowTenths;
}

// The settings file keeps the name as Windows-1250 bytes and reads it only up to its last semicolon.
std::string takeName(std::string& name, const std::string& typed) {
    const StorableFileName storable = storableFileName(typed);
    if (storable.problem != FileNameProblem::None)
        return fileNameRefusalText(storable);
    name = storable.cp1250;
    return {};
}

} // namespace

std::string alarmFieldText(const AlarmSettings& settings, AlarmKey key) {
    if (isLimit(key)) {
        const std::optional<int>& limit = limitOf(settings, key);
        return limit ? tenthsText(*limit) : "";
    }
    switch (key) {
    case AlarmKey::Delay:
        return std::to_string(settings.delaySeconds);
    case AlarmKey::Hysteresis:
        return tenthsText(settings.hysteresisTenths);
    case AlarmKey::LinkMinutes:
        return std::to_string(settings.linkMinutes);
    case AlarmKey::Action:
        return cp1250ToUtf8(settings.actionPath);
    case AlarmKey::EventFile:
        return cp1250ToUtf8(settings.eventFileName);
    default:
        return {};
    }
}

std::string takeAlarmField(AlarmSettings& settings, AlarmKey key, const std::string& typed) {
    if (isLimit(key)) {
        // A text that reads as no limit is taken only when it is empty: "abc" or 12345678 must not silently end the
        // watch on that side.
        const std::optional<int> limit = parseTenths(typed);
        if (!limit && !trimBlanks(typed).empty())
            return "Granica musi być liczbą od -9999.9 do 9999.9, na przykład 25.0, albo pozostać pusta.";
        limitOf(settings, key) = limit;
        return {};
    }
    switch (key) {
    case AlarmKey::Delay:
        return takeWholeNumber(settings.delaySeconds, typed, 0, kMaxAlarmDelaySeconds,
                               "Opóźnienie musi być liczbą całkowitą sekund od 0 do 86400.");
    case AlarmKey::Hysteresis: {
        const auto tenths = parseTenths(typed);
        if (!tenths || *tenths < 0 || *tenths > kMaxAlarmHysteresisTenths)
            return "Histereza musi być liczbą od 0.0 do 100.0, na przykład 0.5.";
        settings.hysteresisTenths = *tenths;
        return {};
    }
    case AlarmKey::LinkMinutes:
        return takeWholeNumber(
            settings.linkMinutes, typed, 0, kMaxAlarmLinkMinutes,
            "Czas bez prawidłowego pomiaru musi być liczbą całkowitą minut od 0 (bez alarmu) do 10080.");
    case AlarmKey::Action: {
        std::string path;
        if (std::string refusal = takeName(path, typed); !refusal.empty())
            return refusal;
        // Only a full path is ever started: nothing is looked up in the current folder or along PATH.
        if (!path.empty() && !isFullProgramPath(path))
            return "Program alarmowy trzeba podać pełną ścieżką, na przykład C:\\Alarmy\\powiadom.exe; program nie "
                   "jest szukany w bieżącym folderze.";
        settings.actionPath = path;
        return {};
    }
    case AlarmKey::EventFile:
        return takeName(settings.eventFileName, typed);
    default:
        return {};
    }
}

std::string checkAlarmLimits(const AlarmSettings& settings, AlarmKey& key) {
    const AlarmLimits& temperature = settings.limits[AlarmTemperature];
    const AlarmLimits& humidity = settings.limits[AlarmHumidity];
    if (temperature.lowTenths && temperature.highTenths && *temperature.lowTenths > *temperature.highTenths) {
        key = AlarmKey::TemperatureLow;
        return "Dolna granica temperatury jest większa od górnej.";
    }
    if (humidity.lowTenths && humidity.highTenths && *humidity.lowTenths > *humidity.highTenths) {
        key = AlarmKey::HumidityLow;
        return "Dolna granica wilgotności jest większa od górnej.";
    }
    return {};
}

std::string eventFilePath(const std::string& name, const std::string& programPath) {
    if (name.empty())
        return {};
    const bool drive = name.size() >= 2 && name[1] == ':';
    const bool rooted = name[0] == '\\' || name[0] == '/';
    if (drive || rooted)
        return name;
    const std::size_t slash = programPath.find_last_of("\\/");
    return slash == std::string::npos ? name : programPath.substr(0, slash + 1) + name;
}
