#pragma once

#include "alarm/alarm_events.h"
#include "alarm/alarm_settings.h"
#include "recording/recording_status.h"

#include <cstdint>
#include <string>
#include <vector>

// The alarms' texts: the status line, the DDE item, the event file and the action's arguments. Values are shown
// as the displays show them without units, cut to tenths.

// The pieces the texts below are made of, for the other notifications (e-mail) to say the same words.
// "temperatura powyżej", "brak prawidłowego pomiaru".
const char* alarmName(AlarmKind kind);
// The limit as the event file writes it: "25.0", or the link alarm's whole minutes.
std::string alarmLimitText(AlarmKind kind, int limit);
// "temperatura powyżej 25.0 °C"; the link alarm's name alone.
std::string alarmDescription(AlarmKind kind, int limit);
// " od 14:03", or " od 2024.03.04 23:58" when the onset is not on `now`'s day.
std::string alarmSinceText(const LocalTime& since, const LocalTime& now);
// "00:27:13"; hours beyond 99 take more digits.
std::string alarmDurationText(std::int64_t durationMs);

// What follows the status line's other texts (UTF-8): one piece per active alarm, for example
// "ALARM: temperatura powyżej 25.0 °C od 14:03. "; the onset's date is added when it is not `now`'s day.
std::string alarmStatusText(const std::vector<ActiveAlarm>& active, const LocalTime& now);

// The DDE item "Alarm" of a topic (Windows-1250): "OK", or the pieces of the alarms of that topic's quantity and of
// the link alarm, without the final blank.
std::string alarmDdeText(const std::vector<ActiveAlarm>& active, int topic, const LocalTime& now);

// The event file's first line (Windows-1250, CR LF), written when the file is empty.
std::string alarmEventHeader(char separator);
// One event as a line of the event file (Windows-1250, CR LF): time, event, alarm, limit, extreme, duration.
std::string alarmEventLine(const AlarmEvent& event, char separator);

// The action's arguments for a Start or End event (UTF-8): "start" or "end", "temperature", "humidity" or
// "link", the limit, the value (the extreme, or the whole minutes without a reading), the local time. Empty for an
// acknowledgement, which starts no action.
std::vector<std::string> alarmActionArguments(const AlarmEvent& event);

// The status line's note on what the window could not carry out (UTF-8), said until it works again.
std::string alarmProblemText(bool actionFailed, FileProblem eventFile);
