#pragma once

#include "alarm/alarm_dispatch.h"
#include "alarm/alarm_monitor.h"
#include "recording/recording_settings.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// The Win32 side of the alarms that is not on screen: the monitor's inputs with the clock, the main window's alarm
// timers, the sound, and the events' lines in the event file (CreateFileW) and their programs (CreateProcessW).
// Every input returns the monitor's plan, which the main window applies with the reading (the display colours,
// the DDE item "Alarm", the acknowledgement command, the status line). The events wait until carryOutEvents:
// writing and flushing a file, or starting a program, must not keep the serial worker waiting for the window.
// The settings are the main window's, which the application loads and saves.
class CAlarmRunner {
public:
    CAlarmRunner(std::function<HWND()> owner, AlarmSettings& settings, const RecordingSettings& recording);

    // Initialisation, with the settings as loaded.
    AlarmPlan start();
    // Every reading update, after the current reading was filled.
    AlarmPlan onReading(const CurrentReading& reading, bool lineGood);
    // IDT_ALARM_TICK and IDT_ALARM_SOUND: the plan of a tick, none for the sound and for any other timer.
    std::optional<AlarmPlan> onTimer(UINT_PTR id);
    // The menu command and the click on the status line.
    AlarmPlan acknowledge();
    // "Ustawienia → Alarmy...": the plan of the new settings, none when the dialog was cancelled.
    std::optional<AlarmPlan> onSettingsCommand();
    // The program closes: no more ticks or sounds.
    void stop();
    // Writes the events of the plans returned so far into the event file and starts their programs.
    void carryOutEvents();
    // Lines of other parts of the program (the e-mail notifications) for the event file, when there is one.
    void writeLines(const std::vector<AlarmEventLog::LineText>& lines);

    const AlarmSettings& settings() const { return settings_; }
    // What the status line says of what could not be carried out (UTF-8).
    std::string problemText() const { return dispatch_.problemText(); }

private:
    AlarmClock clock() const;
    AlarmPlan take(AlarmPlan plan);
    AlarmPlan applySettings(const AlarmSettings& before);
    void startActions(const std::vector<ActionStart>& starts);

    std::function<HWND()> owner_;
    AlarmSettings& settings_;
    const RecordingSettings& recording_;
    AlarmMonitor monitor_;
    AlarmDispatch dispatch_;
    std::vector<AlarmEvent> waiting_; // events of the plans returned, not yet carried out
    bool sounding_ = false;
};
