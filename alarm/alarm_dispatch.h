#pragma once

#include "alarm/alarm_event_log.h"
#include "alarm/alarm_monitor.h"

#include <string>
#include <vector>

// A program to start for an alarm's event, as the window starts it (UTF-8): the full path, the command line, and the
// folder it starts in.
struct ActionStart {
    std::string program;
    std::string commandLine;
    std::string folder;
};

// Where the alarms' events go: every event into the event file, and each start and end to the action program. An
// alarm's end goes to the program its start went to, whatever the settings say by then, so a script that heard
// "start" always hears its "end" and a program set later never hears an end without a start. The window starts
// the programs this returns and says how each start went.
class AlarmDispatch {
public:
    // `programPath`: the monitoring program's own path (UTF-8), beside which a relative event file lies.
    AlarmDispatch(AlarmEventLog::Opener open, std::string programPath);

    // The events of a reading, a tick or an acknowledgement, under the settings in force.
    std::vector<ActionStart> deliver(const std::vector<AlarmEvent>& events, const AlarmSettings& settings,
                                     char separator);
    // The events of new settings: the ends of the alarms they remove go into the file the settings before named;
    // the file then follows the new settings, which any start comes under.
    std::vector<ActionStart> deliverSettings(const std::vector<AlarmEvent>& events, const AlarmSettings& before,
                                             const AlarmSettings& after, char separator);
    // How the start of a program went: the program the settings name is said while it cannot be started.
    void actionStarted(const ActionStart& start, bool started);
    // Lines of other parts of the program for the event file of the settings in force, when there is one.
    void note(const std::vector<AlarmEventLog::LineText>& lines, char separator) { eventLog_.write(lines, separator); }
    // The tick: the event file is tried again.
    void retry() { eventLog_.retry(); }

    // The status line's note on what could not be carried out (UTF-8).
    std::string problemText() const;

private:
    void follow(const AlarmSettings& settings);
    void route(const AlarmEvent& event, std::vector<ActionStart>& starts);

    AlarmEventLog eventLog_;
    std::string programPath_;
    std::string programOf_[kAlarmKindCount]; // the program an active alarm's start went to
    std::string currentProgram_;             // the program the settings name while alarms are on
    bool actionFailed_ = false;
};

// The folder a program starts in: its own, with the separator kept at a drive's or share's root ("C:\"), where
// "C:" alone would mean the drive's current folder.
std::string programFolder(const std::string& programPath);
