#include "mail/mail_message.h"

#include "alarm/alarm_monitor.h"
#include "alarm/alarm_texts.h"
#include "base/civil_time.h"
#include "display/value_text.h"

#include <cstdio>

namespace {

constexpr const char* kCrLf = "\r\n";
constexpr std::size_t kMaxHeaderLine = 78;      // RFC 5322 2.1.1
constexpr std::size_t kMaxEncodedLine = 76;     // RFC 2047 2: a line that holds encoded words
constexpr std::size_t kMaxEncodedWord = 75;     // RFC 2047 2
constexpr std::size_t kMaxQuotedPrintable = 76; // RFC 2045 6.7 (5)
constexpr const char* kWordStart = "=?UTF-8?Q?";
constexpr const char* kWordEnd = "?=";

// The main window's displays: the temperature in °C and the humidity in %, both with their units.
const QuantityView kViews[2] = {{DegreesCelsius, DegreesCelsius, true}, {Percent, Percent, true}};
const char* const kQuantityNames[2] = {"Temperatura", "Wilgotność"};

LocalTime localTimeOf(const WallTime& time) {
    return civilTime(localSeconds(time));
}

std::string hexByte(unsigned char byte) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    return {'=', kDigits[byte >> 4], kDigits[byte & 0x0F]};
}

std::string valueText(const QuantityReading& reading, int quantity) {
    if (reading.noData)
        return "??? (brak pomiaru)";
    std::string text = displayText(reading, kViews[quantity]);
    if (reading.flagged)
        text += " (błąd wartości)";
    return text;
}

std::string headline(const MailContent& content) {
    const std::string station = "HX350, stacja " + content.station + ": ";
    switch (content.kind) {
    case MailKind::AlarmStart:
        return station + "początek alarmu.";
    case MailKind::AlarmEnd:
        return station + "koniec alarmu.";
    case MailKind::Acknowledged:
        return station + "alarm potwierdzony.";
    case MailKind::Reminder:
        return station + "przypomnienie: alarm czeka na potwierdzenie.";
    case MailKind::Daily:
        return station + "raport dzienny. Stacja działa.";
    default:
        return station + "wiadomość próbna. Powiadomienia e-mail działają.";
    }
}

std::vector<ActiveAlarm> waiting(const std::vector<ActiveAlarm>& active) {
    std::vector<ActiveAlarm> alarms;
    for (const ActiveAlarm& alarm : active) {
        if (!alarm.acknowledged)
            alarms.push_back(alarm);
    }
    return alarms;
}

// The alarm pieces as the status line says them, one a line, each with its final period.
std::string alarmLines(const std::vector<ActiveAlarm>& alarms, const LocalTime& now) {
    std::string text;
    for (const ActiveAlarm& alarm : alarms) {
        std::string piece = alarmStatusText({alarm}, now);
        piece.pop_back(); // the blank that separates pieces in the status line
        text += piece + kCrLf;
    }
    return text;
}

std::string extremeText(const QuantityReading& value, const LocalTime& at, int quantity) {
    return displayText(value, kViews[quantity]) + " (" + localTimeText(at) + ")";
}

std::string eventLines(const MailContent& content, const LocalTime& now) {
    switch (content.kind) {
    case MailKind::AlarmStart:
    case MailKind::Acknowledged:
        return alarmLines({content.alarm}, now);
    case MailKind::AlarmEnd: {
        std::string text = "Koniec: " + alarmDescription(content.alarm.kind, content.alarm.limit) +
                           alarmSinceText(content.alarm.since, now) + "." + kCrLf;
        if (content.alarm.kind != AlarmKind::Link) {
            const int quantity =
                content.alarm.kind == AlarmKind::TemperatureBelow || content.alarm.kind == AlarmKind::TemperatureAbove
                    ? AlarmTemperature
                    : AlarmHumidity;
            QuantityReading extreme;
            extreme.rawValue = content.event.extreme;
            extreme.noData = false;
            text += "Wartość skrajna: " + displayText(extreme, kViews[quantity]) + kCrLf;
        }
        return text + "Czas trwania: " + alarmDurationText(content.event.durationMs) + kCrLf;
    }
    case MailKind::Reminder:
        return alarmLines(waiting(content.active), now);
    case MailKind::Daily: {
        const MailDaySummary& day = content.day;
        std::string text = "Okres: od " + localTimeText(day.from) + " do " + localTimeText(day.to) + kCrLf +
                           "Prawidłowe pomiary: " + std::to_string(day.readings) + kCrLf;
        for (int q = 0; q < 2; ++q) {
            const MailExtremes& e = day.quantity[q];
            text += std::string(kQuantityNames[q]) + ": ";
            text += e.any ? "najniższa " + extremeText(e.low, e.lowAt, q) + ", najwyższa " +
                                extremeText(e.high, e.highAt, q)
                          : std::string("brak pomiarów");
            text += kCrLf;
        }
        return text;
    }
    default:
        return "";
    }
}

std::string alarmSettingsLines(const AlarmSettings& settings) {
    if (!settings.enabled)
        return std::string("Alarmy są wyłączone.") + kCrLf;
    std::string text = std::string("Ustawione alarmy:") + kCrLf;
    bool any = false;
    for (const AlarmKind kind : {AlarmKind::TemperatureBelow, AlarmKind::TemperatureAbove, AlarmKind::HumidityBelow,
                                 AlarmKind::HumidityAbove}) {
        if (const std::optional<int> limit = alarmLimit(settings, kind)) {
            text += alarmDescription(kind, *limit) + kCrLf;
            any = true;
        }
    }
    if (settings.linkMinutes > 0) {
        text +=
            std::string(alarmName(AlarmKind::Link)) + " przez " + std::to_string(settings.linkMinutes) + " min" + kCrLf;
        any = true;
    }
    return any ? text : std::string("Alarmy są włączone, bez granic.") + kCrLf;
}

// Q encoding (RFC 2047 4.2) of one character: printable ASCII but '=', '?' and '_' as itself, the blank as '_',
// every other byte (each byte of a UTF-8 sequence) as =XX.
std::string qEncoded(std::string_view character) {
    const auto byte = static_cast<unsigned char>(character.front());
    if (character.size() == 1 && byte == ' ')
        return "_";
    if (character.size() == 1 && byte > 0x20 && byte < 0x7F && byte != '=' && byte != '?' && byte != '_')
        return std::string(1, static_cast<char>(byte));
    std::string out;
    for (const char c : character)
        out += hexByte(static_cast<unsigned char>(c));
    return out;
}

// The length of the UTF-8 character at `i` as its lead byte says, cut at the text's end; 1 for a stray byte.
std::size_t characterLength(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::size_t n = 1;
    while (n < length && i + n < text.size() && (static_cast<unsigned char>(text[i + n]) & 0xC0) == 0x80)
        ++n;
    return n;
}

// "To: a@x.pl, b@y.pl", folded after a comma where the line would grow past the limit.
std::string addressHeader(std::string_view name, const std::vector<std::string>& addresses) {
    std::string out = std::string(name) + ":";
    std::size_t lineLength = out.size();
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        const std::string item = addresses[i] + (i + 1 < addresses.size() ? "," : "");
        if (i > 0 && lineLength + 1 + item.size() > kMaxHeaderLine) {
            out += kCrLf;
            lineLength = 0;
        }
        out += " " + item;
        lineLength += 1 + item.size();
    }
    return out + kCrLf;
}

std::string domainOf(const std::string& address) {
    const std::size_t at = address.rfind('@');
    return at == std::string::npos ? std::string("localhost") : address.substr(at + 1);
}

} // namespace

std::string mailSubject(const MailContent& content, const LocalTime& now) {
    const std::string prefix = "HX350 " + content.station + ": ";
    const auto described = [&](const ActiveAlarm& alarm) {
        return alarmDescription(alarm.kind, alarm.limit) + alarmSinceText(alarm.since, now);
    };
    switch (content.kind) {
    case MailKind::AlarmStart:
        return prefix + "ALARM " + described(content.alarm);
    case MailKind::AlarmEnd:
        return prefix + "koniec alarmu " + described(content.alarm);
    case MailKind::Acknowledged:
        return prefix + "ALARM (potwierdzony) " + described(content.alarm);
    case MailKind::Reminder: {
        std::string text = prefix + "przypomnienie:";
        for (const ActiveAlarm& alarm : waiting(content.active))
            text += (text.back() == ':' ? " ALARM " : ", ALARM ") + described(alarm);
        return text;
    }
    case MailKind::Daily: {
        char date[32];
        std::snprintf(date, sizeof date, "%04d.%02d.%02d", now.year, now.month, now.day);
        return prefix + "raport dzienny " + date;
    }
    default:
        return prefix + "wiadomość próbna";
    }
}

std::string mailBody(const MailContent& content, const LocalTime& now) {
    std::string text = headline(content) + kCrLf + kCrLf;
    const std::string event = eventLines(content, now);
    if (!event.empty())
        text += event + kCrLf;
    for (int q = 0; q < 2; ++q) {
        const QuantityReading& reading = q == AlarmTemperature ? content.reading.temperature : content.reading.humidity;
        text += std::string(kQuantityNames[q]) + ": " + valueText(reading, q) + kCrLf;
    }
    text += "Czas: " + localTimeText(now) + kCrLf + kCrLf;
    if (content.alarms.enabled) {
        text += content.active.empty() ? std::string("Aktywne alarmy: brak.") + kCrLf
                                       : std::string("Aktywne alarmy:") + kCrLf + alarmLines(content.active, now);
        text += kCrLf;
    }
    return text + alarmSettingsLines(content.alarms);
}

// Quoted-printable rather than 8-bit or base64: the text is mostly ASCII, so it stays readable in the raw message,
// it needs no 8BITMIME from the server (any relay passes it unchanged), and it is a third the size of base64.
std::string composeMailMessage(const MailHeader& header, const MailContent& content) {
    const LocalTime now = localTimeOf(header.time);
    return "Date: " + mailDateText(header.time) + kCrLf + "From: HX350 " + content.station + " <" + header.from + ">" +
           kCrLf + addressHeader("To", header.to) + "Message-ID: " + header.messageId + kCrLf +
           encodedHeader("Subject", mailSubject(content, now)) + "MIME-Version: 1.0" + kCrLf +
           "Content-Type: text/plain; charset=UTF-8" + kCrLf + "Content-Transfer-Encoding: quoted-printable" + kCrLf +
           // RFC 3834: an absence notice or other automatic answer must not reply to a notification.
           "Auto-Submitted: auto-generated" + kCrLf + kCrLf + quotedPrintable(mailBody(content, now));
}

std::string mailDateText(const WallTime& time) {
    static constexpr const char* kDays[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"}; // 1970-01-01: Thu
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::int64_t seconds = localSeconds(time);
    const LocalTime t = civilTime(seconds);
    const std::int64_t day = floorDiv(seconds, 86400);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d ", kDays[(day % 7 + 7) % 7], t.day,
                  kMonths[(t.month - 1) % 12], t.year, t.hour, t.minute, t.second);
    return text + utcOffsetText(time.utcOffsetMinutes, "");
}

std::string mailMessageId(const std::string& station, const std::string& from, std::int64_t utcMs,
                          std::uint64_t counter, std::uint64_t seed) {
    char seedText[32];
    std::snprintf(seedText, sizeof seedText, "%llx", static_cast<unsigned long long>(seed));
    return "<hx350." + station + "." + std::to_string(utcMs) + "." + std::to_string(counter) + "." + seedText + "@" +
           domainOf(from) + ">";
}

std::string encodedHeader(std::string_view name, std::string_view text) {
    const std::size_t wordOverhead = std::string_view(kWordStart).size() + std::string_view(kWordEnd).size();
    std::string out = std::string(name) + ": ";
    std::size_t lineStart = 0;
    std::string word;
    const auto close = [&] {
        out += kWordStart + word + kWordEnd;
        word.clear();
    };
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = characterLength(text, i);
        const std::string encoded = qEncoded(text.substr(i, length));
        i += length;
        const std::size_t lineSoFar = out.size() - lineStart;
        if (!word.empty() && (lineSoFar + wordOverhead + word.size() + encoded.size() > kMaxEncodedLine ||
                              wordOverhead + word.size() + encoded.size() > kMaxEncodedWord)) {
            close();
            out += kCrLf;
            lineStart = out.size();
            out += " ";
        }
        word += encoded;
    }
    if (!word.empty() || text.empty())
        close();
    return out + kCrLf;
}

// A blank or tab at a line's end is encoded, since transports may strip it; a soft break "=" never splits an =XX.
std::string quotedPrintable(std::string_view text) {
    std::string out;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        start = next;
        std::string current;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const auto byte = static_cast<unsigned char>(line[i]);
            const bool last = i + 1 == line.size();
            const bool literal = (byte >= 33 && byte <= 126 && byte != '=') || ((byte == ' ' || byte == '\t') && !last);
            const std::string token = literal ? std::string(1, static_cast<char>(byte)) : hexByte(byte);
            // Room for the soft break's "=" unless this is the line's last token.
            if (current.size() + token.size() > kMaxQuotedPrintable - (last ? 0 : 1)) {
                out += current + "=" + kCrLf;
                current.clear();
            }
            current += token;
        }
        out += current + kCrLf;
    }
    return out;
}
