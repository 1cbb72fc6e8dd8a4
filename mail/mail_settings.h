#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How the connection to the mail server is protected: STARTTLS on the plain port, TLS from the first byte, or none
// (then no login is ever sent).
enum class MailSecurity { StartTls, Tls, None };

// The e-mail notifications' options, section MAIL of the settings file. The defaults are the member initialisers
// here and nowhere else; boundMailSettings brings what a hand-edited file may hold into the ranges the schedule and
// the session work with.
struct MailSettings {
    bool enabled = false;
    std::string server; // a name or an address literal, UTF-8
    int port = 587;     // message submission
    MailSecurity security = MailSecurity::StartTls;
    std::string user;              // empty: no login
    std::string password;          // plain text in memory only, never in the settings file
    std::string protectedPassword; // what the settings file keeps: the password encrypted for the Windows user
    std::string from;              // the sender's address
    std::string to;                // the recipients' addresses as the user wrote them, separated by commas
    bool sendStart = true;
    bool sendEnd = true;
    bool sendAck = true;
    int reminderMinutes = 0;           // while an alarm waits for its acknowledgement; 0: no reminders
    std::optional<int> dailyAtMinutes; // the daily message's local time, minutes after midnight; none: no message

    bool operator==(const MailSettings& other) const;
    bool operator!=(const MailSettings& other) const { return !(*this == other); }
};

inline constexpr const char* kMailSection = "MAIL";

inline constexpr int kMinMailPort = 1;
inline constexpr int kMaxMailPort = 65535;
inline constexpr int kMaxMailReminderMinutes = 1440; // beyond a day the daily message says it anyway
inline constexpr int kMinutesPerDay = 1440;
inline constexpr std::size_t kMaxMailServerLength = 253;     // the longest DNS name
inline constexpr std::size_t kMaxMailCredentialLength = 256; // user name and password each
inline constexpr std::size_t kMaxMailAddressLength = 254;    // what fits in SMTP's 256-octet path with its brackets
inline constexpr std::size_t kMaxMailLocalPartLength = 64;
inline constexpr std::size_t kMaxMailRecipientsLength = 4096;
inline constexpr std::size_t kMaxMailRecipients = 20; // a notification list, not a mailing list

// The settings file's words for SECURITY: "STARTTLS", "TLS", "NONE". Reading ignores case and blanks; anything
// else is none, and the key then keeps its default.
const char* mailSecurityText(MailSecurity security);
std::optional<MailSecurity> parseMailSecurity(const std::string& text);

// DAILY_AT: "HH:MM" (the hour may have one digit when read); empty for none. A text that is no time of day is none.
std::string dailyAtText(const std::optional<int>& minutes);
std::optional<int> parseDailyAt(const std::string& text);

// A practical check of one address, not the whole of RFC 5322: a dot-atom local part of at most 64 characters, '@',
// and a domain of letters, digits and hyphens in dot-separated labels (one label is enough: a relay on the local
// network may take it), ASCII only, 254 characters at most. Quoted local parts, comments, address literals and
// international addresses are refused: nothing in the notification path needs them, and each would need the
// server's support (SMTPUTF8) that a plain address never does.
bool isValidMailAddress(std::string_view address);

// The recipients of the TO text: split at commas, blanks around each trimmed, empty pieces skipped (a trailing
// comma is harmless), repeats dropped. `invalid` holds the pieces that are no address, for the dialog to name.
struct MailRecipients {
    std::vector<std::string> addresses;
    std::vector<std::string> invalid;
};
MailRecipients parseMailRecipients(std::string_view text);

// Brings every value into its range: a port outside 1..65535 becomes the default, reminder minutes the nearest
// bound, a daily time outside the day none; the server and the sender lose blanks around them, over-long texts are
// cut (never inside a UTF-8 character).
void boundMailSettings(MailSettings& settings);
