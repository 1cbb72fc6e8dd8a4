#pragma once

#include "alarm/alarm_events.h"
#include "alarm/alarm_settings.h"
#include "recording/recording_status.h"

#include <string>
#include <vector>

// The alarms' texts: the status line, the DDE item, the event file and the action's arguments. Values are shown
// as the displays show them without units, cut to tenths.

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
