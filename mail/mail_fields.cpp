#include "mail/mail_fields.h"

#include "base/ascii_text.h"
#include "base/cp1250.h"
#include "base/number_format.h"

namespace {

int standardPort(MailSecurity security) {
    switch (security) {
    case MailSecurity::StartTls:
        return 587; // message submission
    case MailSecurity::Tls:
        return 465; // submission over TLS
    case MailSecurity::None:
        break;
    }
    return 25; // a relay inside the company
}

} // namespace

std::string mailFieldText(const MailSettings& settings, MailField field) {
    switch (field) {
    case MailField::Server:
        return settings.server;
    case MailField::Port:
        return std::to_string(settings.port);
    case MailField::User:
        return settings.user;
    case MailField::Password:
        return settings.password;
    case MailField::From:
        return settings.from;
    case MailField::To:
        return settings.to;
    case MailField::ReminderMinutes:
        return std::to_string(settings.reminderMinutes);
    case MailField::DailyAt:
        return dailyAtText(settings.dailyAtMinutes);
    }
    return {};
}

std::string takeMailField(MailSettings& settings, MailField field, const std::string& typed) {
    switch (field) {
    case MailField::Port:
        return takeWholeNumber(settings.port, typed, kMinMailPort, kMaxMailPort,
                               "Port serwera poczty musi być liczbą od 1 do 65535.");
    case MailField::ReminderMinutes:
        return takeWholeNumber(settings.reminderMinutes, typed, 0, kMaxMailReminderMinutes,
                               "Przypomnienie musi być liczbą minut od 0 (bez przypomnień) do 1440.");
    case MailField::DailyAt: {
        const std::optional<int> minutes = parseDailyAt(typed);
        if (!minutes && !trimBlanks(typed).empty())
            return "Godzinę wiadomości dziennej podaj jako GG:MM, na przykład 07:30, albo zostaw pole puste.";
        settings.dailyAtMinutes = minutes;
        return {};
    }
    default:
        break;
    }
    // The settings file keeps its texts in Windows-1250, so a text it cannot hold is refused rather than changed.
    if (!cp1250Storable(typed))
        return "Pole zawiera znaki, których nie można zapisać w pliku ustawień.";
    switch (field) {
    case MailField::Server:
        // Blanks around a name or an address are only what a paste leaves.
        settings.server = trimBlanks(typed);
        break;
    case MailField::User:
        settings.user = typed;
        break;
    case MailField::Password:
        settings.password = typed;
        break;
    case MailField::From:
        settings.from = trimBlanks(typed);
        break;
    default:
        settings.to = typed;
        break;
    }
    return {};
}

std::string checkMailSettings(const MailSettings& settings, MailField& field) {
    field = MailField::Server;
    if (settings.server.empty())
        return "Podaj nazwę lub adres serwera poczty.";
    if (settings.server.size() > kMaxMailServerLength)
        return "Nazwa serwera poczty jest za długa.";
    field = MailField::User;
    if (settings.security == MailSecurity::None && !settings.user.empty())
        return "Logowanie bez szyfrowania jest wyłączone: wybierz STARTTLS lub TLS albo usuń nazwę użytkownika.";
    if (settings.user.size() > kMaxMailCredentialLength || settings.password.size() > kMaxMailCredentialLength)
        return "Nazwa użytkownika i hasło mogą mieć najwyżej 256 bajtów.";
    field = MailField::From;
    if (!isValidMailAddress(settings.from))
        return "Adres nadawcy jest nieprawidłowy.";
    field = MailField::To;
    if (settings.to.size() > kMaxMailRecipientsLength)
        return "Lista odbiorców jest za długa.";
    const MailRecipients recipients = parseMailRecipients(settings.to);
    if (!recipients.invalid.empty())
        return "Adres odbiorcy jest nieprawidłowy: " + recipients.invalid.front() + ".";
    if (recipients.addresses.empty())
        return "Podaj co najmniej jeden adres odbiorcy.";
    if (recipients.addresses.size() > kMaxMailRecipients)
        return "Odbiorców może być najwyżej " + std::to_string(kMaxMailRecipients) + ".";
    return {};
}

std::string portAfterSecuritySwitch(const std::string& typed, MailSecurity before, MailSecurity after) {
    return typed == std::to_string(standardPort(before)) ? std::to_string(standardPort(after)) : typed;
}
