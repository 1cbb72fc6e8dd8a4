#pragma once

#include "alarm/alarm_events.h"
#include "alarm/alarm_settings.h"
#include "mqtt/mqtt_payloads.h"
#include "protocol/current_reading.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The notification messages as RFC 5322 bytes: headers, a subject in UTF-8 encoded words (RFC 2047), and a UTF-8
// text body in quoted-printable, with the alarms in the status line's words and the values as the displays show
// them.

enum class MailKind { AlarmStart, AlarmEnd, Acknowledged, Reminder, Daily, Test };

// The lowest and the highest valid value of one quantity over a period, and when each was first reached.
struct MailExtremes {
    bool any = false;
    QuantityReading low, high;
    LocalTime lowAt, highAt;
};

// What the daily message reports: the period since the last one, the good readings in it, the extremes.
struct MailDaySummary {
    LocalTime from, to;
    std::uint64_t readings = 0;
    MailExtremes quantity[2]; // by AlarmQuantity
};

// What one message says.
struct MailContent {
    MailKind kind = MailKind::Test;
    std::string station;
    ActiveAlarm alarm;               // AlarmStart, AlarmEnd, Acknowledged: the alarm the message tells of
    AlarmEvent event;                // the same: the monitor's event (AlarmEnd: its extreme and duration)
    std::vector<ActiveAlarm> active; // the active alarms when it was written (Reminder: names those that wait)
    CurrentReading reading;          // the values when it was written
    AlarmSettings alarms;            // the limits
    MailDaySummary day;              // Daily
};

// Who writes it, to whom and when.
struct MailHeader {
    std::string from;
    std::vector<std::string> to;
    WallTime time;
    std::string messageId; // with its angle brackets (mailMessageId)
};

// The subject and the body (UTF-8, CR LF lines) before encoding; `now` is when the message is written.
std::string mailSubject(const MailContent& content, const LocalTime& now);
std::string mailBody(const MailContent& content, const LocalTime& now);

// The whole message: CR LF lines of at most 78 characters (an address longer than a line alone excepted), 7-bit.
std::string composeMailMessage(const MailHeader& header, const MailContent& content);

// "Thu, 05 Mar 2026 14:03:27 +0100": RFC 5322 3.3, the local time with its offset.
std::string mailDateText(const WallTime& time);

// "<hx350.pc01-com3.1772719407000.7.2a@firma.pl>": unique without randomness, from the station, the moment, a
// counter of this run's messages and a seed that differs between runs (the process's start, its id), on the
// sender's domain.
std::string mailMessageId(const std::string& station, const std::string& from, std::int64_t utcMs,
                          std::uint64_t counter, std::uint64_t seed);

// A header field of unstructured text as UTF-8 encoded words ("Subject: =?UTF-8?Q?...?="), folded so that no word
// is longer than 75 characters, no line longer than 76 (RFC 2047 2) and no character is split between words.
std::string encodedHeader(std::string_view name, std::string_view text);

// Text with CR LF or LF lines as quoted-printable (RFC 2045 6.7): CR LF lines of at most 76 characters.
std::string quotedPrintable(std::string_view text);
