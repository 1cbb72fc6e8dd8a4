#pragma once

#include "alarm/alarm_dispatch.h"
#include "alarm/alarm_monitor.h"
#include "dde/win/dde_service.h"
#include "display/win/value_display.h"
#include "recording/recording_settings.h"

#include <windows.h>

#include <functional>
#include <string>

// The Win32 side of the alarms: carries out what the AlarmMonitor plans. It writes the event file (CreateFileW),
// starts the action (CreateProcessW), repeats the sound, runs the main window's alarm timers, paints the displays in
// the alarm colours, serves the DDE item "Alarm" and greys the acknowledgement command; the status line takes its
// texts. The settings are the main window's, which the application loads and saves.
class CAlarmRunner {
public:
    CAlarmRunner(std::function<HWND()> owner, AlarmSettings& settings, const RecordingSettings& recording,
                 CValueDisplay& temperature, CValueDisplay& humidity, CDdeService& dde,
                 std::function<void()> statusChanged);

    // Initialisation, with the settings as loaded.
    void start();
    // Every reading update, after the current reading was filled.
    void onReading(const CurrentReading& reading, bool lineGood);
    // IDT_ALARM_TICK and IDT_ALARM_SOUND; false for any other timer.
    bool onTimer(UINT_PTR id);
    // The menu command and the click on the status line.
    void acknowledge();
    // "Ustawienia → Alarmy...".
    void onSettingsCommand();
    // The program closes: no more ticks or sounds.
    void stop();

    // What the status line says (UTF-8): the active alarms, and what could not be carried out.
    const std::string& statusText() const { return plan_.status; }
    std::string problemText() const { return dispatch_.problemText(); }

private:
    AlarmClock clock() const;
    void applySettings(const AlarmSettings& before);
    void carryOut(AlarmPlan plan);
    void startActions(const std::vector<ActionStart>& starts);
    void showPlan();

    std::function<HWND()> owner_;
    AlarmSettings& settings_;
    const RecordingSettings& recording_;
    CValueDisplay& temperature_;
    CValueDisplay& humidity_;
    CDdeService& dde_;
    std::function<void()> statusChanged_;
    AlarmMonitor monitor_;
    AlarmDispatch dispatch_;
    AlarmPlan plan_;
    bool sounding_ = false;
};
