#include "mail/mail_settings.h"

#include "base/ascii_text.h"
#include "base/cp1250.h"

#include <algorithm>
#include <cstdio>

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c);
}

// RFC 5322's atext: what a dot-atom's atoms are made of.
bool isAtomChar(char c) {
    return isLetterOrDigit(c) || std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

bool isDotAtom(std::string_view text) {
    if (text.empty() || text.front() == '.' || text.back() == '.' || text.find("..") != std::string_view::npos)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '.' || isAtomChar(c); });
}

// Labels of a host name: 1 to 63 letters, digits and hyphens, neither starting nor ending with a hyphen.
bool isDomain(std::string_view text) {
    constexpr std::size_t kMaxLabelLength = 63;
    if (text.empty())
        return false;
    for (std::size_t start = 0;;) {
        const std::size_t dot = text.find('.', start);
        const std::string_view label = text.substr(start, dot == std::string_view::npos ? dot : dot - start);
        if (label.empty() || label.size() > kMaxLabelLength || label.front() == '-' || label.back() == '-' ||
            !std::all_of(label.begin(), label.end(), [](char c) { return isLetterOrDigit(c) || c == '-'; }))
            return false;
        if (dot == std::string_view::npos)
            return true;
        start = dot + 1;
    }
}

} // namespace

bool MailSettings::operator==(const MailSettings& other) const {
    return enabled == other.enabled && server == other.server && port == other.port && security == other.security &&
           user == other.user && password == other.password && from == other.from && to == other.to &&
           sendStart == other.sendStart && sendEnd == other.sendEnd && sendAck == other.sendAck &&
           reminderMinutes == other.reminderMinutes && dailyAtMinutes == other.dailyAtMinutes;
}

const char* mailSecurityText(MailSecurity security) {
    switch (security) {
    case MailSecurity::Tls:
        return "TLS";
    case MailSecurity::None:
        return "NONE";
    default:
        return "STARTTLS";
    }
}

std::optional<MailSecurity> parseMailSecurity(const std::string& text) {
    const std::string word = asciiUpper(trimBlanks(text));
    for (const MailSecurity security : {MailSecurity::StartTls, MailSecurity::Tls, MailSecurity::None}) {
        if (word == mailSecurityText(security))
            return security;
    }
    return std::nullopt;
}

std::string dailyAtText(const std::optional<int>& minutes) {
    if (!minutes || *minutes < 0 || *minutes >= kMinutesPerDay)
        return "";
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", *minutes / 60, *minutes % 60);
    return text;
}

std::optional<int> parseDailyAt(const std::string& text) {
    const std::string_view time = trimBlanks(text);
    const std::size_t colon = time.find(':');
    if (colon != 1 && colon != 2)
        return std::nullopt;
    const std::string_view hours = time.substr(0, colon);
    const std::string_view minutes = time.substr(colon + 1);
    if (minutes.size() != 2 || !std::all_of(hours.begin(), hours.end(), isDigit) ||
        !std::all_of(minutes.begin(), minutes.end(), isDigit))
        return std::nullopt;
    const int h = std::stoi(std::string(hours));
    const int m = std::stoi(std::string(minutes));
    if (h > 23 || m > 59)
        return std::nullopt;
    return h * 60 + m;
}

bool isValidMailAddress(std::string_view address) {
    const std::size_t at = address.rfind('@');
    if (at == std::string_view::npos || address.size() > kMaxMailAddressLength)
        return false;
    const std::string_view local = address.substr(0, at);
    return local.size() <= kMaxMailLocalPartLength && isDotAtom(local) && isDomain(address.substr(at + 1));
}

MailRecipients parseMailRecipients(std::string_view text) {
    MailRecipients recipients;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t comma = text.find(',', start);
        if (comma == std::string_view::npos)
            comma = text.size();
        const std::string piece(trimBlanks(text.substr(start, comma - start)));
        start = comma + 1;
        if (piece.empty())
            continue;
        std::vector<std::string>& list = isValidMailAddress(piece) ? recipients.addresses : recipients.invalid;
        if (std::find(list.begin(), list.end(), piece) == list.end())
            list.push_back(piece);
    }
    return recipients;
}

// The dialog asks for what the schedule and the session would otherwise only find out when an alarm needs them.
void boundMailSettings(MailSettings& settings) {
    const MailSettings defaults;
    if (settings.port < kMinMailPort || settings.port > kMaxMailPort)
        settings.port = defaults.port;
    settings.reminderMinutes = std::clamp(settings.reminderMinutes, 0, kMaxMailReminderMinutes);
    if (settings.dailyAtMinutes && (*settings.dailyAtMinutes < 0 || *settings.dailyAtMinutes >= kMinutesPerDay))
        settings.dailyAtMinutes.reset();
    // Blanks around a name or an address are only what a hand-edited file or a paste leaves.
    settings.server = std::string(trimBlanks(settings.server));
    settings.from = std::string(trimBlanks(settings.from));
    cutUtf8(settings.server, kMaxMailServerLength);
    cutUtf8(settings.user, kMaxMailCredentialLength);
    cutUtf8(settings.password, kMaxMailCredentialLength);
    cutUtf8(settings.from, kMaxMailAddressLength);
    cutUtf8(settings.to, kMaxMailRecipientsLength);
}
