#pragma once

#include "alarm/alarm_settings.h"
#include "mail/mail_settings.h"
#include "protocol/current_reading.h"

#include <windows.h>

#include <string>

// What the dialog's test message is composed from: the station's name and the window's reading and alarms now.
struct MailTestInputs {
    std::string station;
    CurrentReading reading;
    AlarmSettings alarms;
};

// "Ustawienia → Powiadomienia e-mail...": the notifications' settings; true on OK, with the result in `settings` (a
// new password also encrypted for the settings file). "Wyślij wiadomość próbną" sends a test message with the
// settings as typed, on a thread of its own while the dialog stays usable, and says in a box what the server
// answered.
bool runMailDialog(HWND owner, MailSettings& settings, const MailTestInputs& test);
