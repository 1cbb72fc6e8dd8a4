#pragma once

#include "mail/mail_settings.h"

#include <string>

// What the e-mail dialog decides without a window: the text each edit box shows, whether what the user typed can be
// kept, and whether the settings together can work. Texts are UTF-8.

enum class MailField { Server, Port, User, Password, From, To, ReminderMinutes, DailyAt };

std::string mailFieldText(const MailSettings& settings, MailField field);
// Takes what the user typed for `field` into `settings`; returns the message that refuses it, empty when taken.
std::string takeMailField(MailSettings& settings, MailField field, const std::string& typed);

// Once every field is taken, for settings that are switched on (or a test message): the message that refuses
// them, one sentence, with the field to correct; empty when they can be used.
std::string checkMailSettings(const MailSettings& settings, MailField& field);

// The port field after the security was switched from `before` to `after`: the standard port of one (587, 465, 25)
// for the other's, anything else kept.
std::string portAfterSecuritySwitch(const std::string& typed, MailSecurity before, MailSecurity after);
