#include "alarm/alarm_texts.h"

#include "base/cp1250.h"
#include "base/number_format.h"
#include "display/value_text.h"

#include <cstdio>

namespace {

constexpr const char* kCrLf = "\r\n";

bool isTemperature(AlarmKind kind) {
    return kind == AlarmKind::TemperatureBelow || kind == AlarmKind::TemperatureAbove;
}

bool concerns(AlarmKind kind, int topic) {
    if (kind == AlarmKind::Link)
        return true;
    return isTemperature(kind) == (topic == AlarmTemperature);
}

bool sameDay(const LocalTime& a, const LocalTime& b) {
    return a.year == b.year && a.month == b.month && a.day == b.day;
}

// One alarm, ending with ". " but without the blank that separates it from the next piece.
std::string piece(const ActiveAlarm& alarm, const LocalTime& now) {
    return (alarm.acknowledged ? "ALARM (potwierdzony): " : "ALARM: ") + alarmDescription(alarm.kind, alarm.limit) +
           alarmSinceText(alarm.since, now) + ".";
}

} // namespace

const char* alarmName(AlarmKind kind) {
    switch (kind) {
    case AlarmKind::TemperatureBelow:
        return "temperatura poniżej";
    case AlarmKind::TemperatureAbove:
        return "temperatura powyżej";
    case AlarmKind::HumidityBelow:
        return "wilgotność poniżej";
    case AlarmKind::HumidityAbove:
        return "wilgotność powyżej";
    default:
        return "brak prawidłowego pomiaru";
    }
}

std::string alarmLimitText(AlarmKind kind, int limit) {
    return kind == AlarmKind::Link ? std::to_string(limit) : tenthsText(limit);
}

std::string alarmDescription(AlarmKind kind, int limit) {
    if (kind == AlarmKind::Link)
        return alarmName(kind);
    return std::string(alarmName(kind)) + " " + tenthsText(limit) + (isTemperature(kind) ? " °C" : " %");
}

std::string alarmSinceText(const LocalTime& since, const LocalTime& now) {
    char text[80];
    if (sameDay(since, now))
        std::snprintf(text, sizeof text, " od %02d:%02d", since.hour, since.minute);
    else
        std::snprintf(text, sizeof text, " od %04d.%02d.%02d %02d:%02d", since.year, since.month, since.day, since.hour,
                      since.minute);
    return text;
}

std::string alarmDurationText(std::int64_t durationMs) {
    const long long seconds = durationMs / 1000;
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", seconds / 3600, seconds % 3600 / 60, seconds % 60);
    return text;
}

std::string alarmStatusText(const std::vector<ActiveAlarm>& active, const LocalTime& now) {
    std::string text;
    for (const ActiveAlarm& alarm : active)
        text += piece(alarm, now) + " ";
    return text;
}

// The DDE service runs only while the link is up, so the link alarm reaches a client only in the moment the
// service is started again; the item names it all the same, to say the same as the status line.
std::string alarmDdeText(const std::vector<ActiveAlarm>& active, int topic, const LocalTime& now) {
    std::string text;
    for (const ActiveAlarm& alarm : active) {
        if (!concerns(alarm.kind, topic))
            continue;
        if (!text.empty())
            text += " ";
        text += piece(alarm, now);
    }
    return text.empty() ? "OK" : utf8ToCp1250(text);
}

std::string alarmEventHeader(char separator) {
    const std::string s(1, separator);
    return utf8ToCp1250("Data i Godzina" + s + "Zdarzenie" + s + "Alarm" + s + "Granica" + s + "Wartość skrajna" + s +
                        "Czas trwania") +
           kCrLf;
}

// Numbers without units, as in the text recording, so that a spreadsheet reads them; the link alarm's limit is
// in minutes and it has no extreme.
std::string alarmEventLine(const AlarmEvent& event, char separator) {
    const char* what = event.type == AlarmEventType::Start ? "początek"
                       : event.type == AlarmEventType::End ? "koniec"
                                                           : "potwierdzenie";
    const std::string s(1, separator);
    const std::string extreme = event.kind == AlarmKind::Link ? "" : truncateToTenth(event.extreme);
    return utf8ToCp1250(localTimeText(event.time) + s + what + s + alarmName(event.kind) + s +
                        alarmLimitText(event.kind, event.limit) + s + extreme + s +
                        alarmDurationText(event.durationMs)) +
           kCrLf;
}

// Plain ASCII words: a script reads them whatever code page its console has.
std::vector<std::string> alarmActionArguments(const AlarmEvent& event) {
    if (event.type == AlarmEventType::Acknowledged)
        return {};
    const char* quantity = event.kind == AlarmKind::Link ? "link"
                           : isTemperature(event.kind)   ? "temperature"
                                                         : "humidity";
    const std::string value =
        event.kind == AlarmKind::Link ? std::to_string(event.durationMs / 60000) : truncateToTenth(event.extreme);
    return {event.type == AlarmEventType::Start ? "start" : "end", quantity, alarmLimitText(event.kind, event.limit),
            value, localTimeText(event.time)};
}

std::string alarmProblemText(bool actionFailed, FileProblem eventFile) {
    std::string text = actionFailed ? "Nie można uruchomić programu alarmowego. " : "";
    if (eventFile == FileProblem::Unavailable)
        text += "Plik zdarzeń alarmowych jest niedostępny. ";
    else if (eventFile == FileProblem::WriteFailed)
        text += "Błąd zapisu do pliku zdarzeń alarmowych. ";
    else if (eventFile == FileProblem::FlushFailed)
        text += "Błąd zapisu na dysk pliku zdarzeń alarmowych. ";
    return text;
}
