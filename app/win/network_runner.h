#pragma once

#include "alarm/win/alarm_runner.h"
#include "app/settings_keys.h"
#include "mail/mail_schedule.h"
#include "mail/win/mail_sender.h"
#include "mqtt/win/mqtt_client.h"

#include <windows.h>

#include <functional>
#include <string>

// The features that reach beyond the computer, beside the main window: the MQTT publisher and the e-mail
// notifications. The window feeds them its reading updates and alarm plans and hands over their messages, timer and
// menu commands; each does its network work on a thread of its own, so nothing here waits for the network. Until
// the user switches a feature on, it has no thread, timer or socket.
class CNetworkRunner {
public:
    CNetworkRunner(std::function<HWND()> owner, AppSettings& settings, CAlarmRunner& alarms);

    // Initialisation, with the settings as loaded.
    void start();
    // Every reading update, after the current reading was filled and before its alarm plan: `lineGood` after a good
    // line, `linkUp` the link's state.
    void onReading(const CurrentReading& reading, bool lineGood, bool linkUp);
    // Every alarm plan, the reading update's included.
    void onAlarmPlan(const AlarmPlan& plan);
    // WM_MQTT_STATUS, WM_MAIL_SENT and IDT_MAIL_TICK; true when it was one of them (the status line may then read
    // otherwise).
    bool onMessage(UINT message);
    bool onTimer(UINT_PTR id);
    // The menu's MQTT and e-mail commands; true when it was one of them.
    bool onCommand(int id, const CurrentReading& reading);
    // The program closes: the broker hears "offline", a delivery under way is dropped.
    void stop();

    // UTF-8, for the end of the status line; empty while all is well.
    std::string statusText() const;

private:
    void applyMail();
    void carryOut(const MailPlan& plan);
    void sent();
    // E-mail is on, or messages still wait in the schedule.
    bool mailWanted() const { return settings_.mail.enabled || mail_.queued() > 0; }
    std::string station() const;

    std::function<HWND()> owner_;
    AppSettings& settings_;
    CAlarmRunner& alarms_;
    CMqttClient mqtt_;
    MailSchedule mail_;
    CMailSender sender_;
};
