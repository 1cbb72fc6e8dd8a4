#include "alarm/alarm_dispatch.h"

#include "alarm/alarm_action.h"
#include "alarm/alarm_fields.h"
#include "alarm/alarm_texts.h"
#include "base/cp1250.h"

#include <algorithm>
#include <utility>

AlarmDispatch::AlarmDispatch(AlarmEventLog::Opener open, std::string programPath)
    : eventLog_(std::move(open)), programPath_(std::move(programPath)) {}

std::vector<ActionStart> AlarmDispatch::deliver(const std::vector<AlarmEvent>& events, const AlarmSettings& settings,
                                                char separator) {
    follow(settings);
    eventLog_.write(events, separator);
    std::vector<ActionStart> starts;
    for (const AlarmEvent& event : events)
        route(event, starts);
    return starts;
}

// Everything runs only while alarms are on: off, no event file is named.
std::vector<ActionStart> AlarmDispatch::deliverSettings(const std::vector<AlarmEvent>& events,
                                                        const AlarmSettings& before, const AlarmSettings& after,
                                                        char separator) {
    std::vector<AlarmEvent> ends, others;
    for (const AlarmEvent& event : events)
        (event.type == AlarmEventType::End ? ends : others).push_back(event);
    std::vector<ActionStart> starts = deliver(ends, before, separator);
    eventLog_.setFile(after.enabled ? eventFilePath(cp1250ToUtf8(after.eventFileName), programPath_) : std::string());
    for (ActionStart& start : deliver(others, after, separator))
        starts.push_back(std::move(start));
    return starts;
}

// The failure said is the program's that the settings name: another program has not failed yet, and none is said
// while no program is due (alarms off, or no program set).
void AlarmDispatch::follow(const AlarmSettings& settings) {
    const std::string program = settings.enabled ? cp1250ToUtf8(settings.actionPath) : std::string();
    if (program != currentProgram_)
        actionFailed_ = false;
    currentProgram_ = program;
}

// A start goes to the program the settings name now (follow), and its end to the same program whatever they name later.
void AlarmDispatch::route(const AlarmEvent& event, std::vector<ActionStart>& starts) {
    std::string& program = programOf_[static_cast<int>(event.kind)];
    if (event.type == AlarmEventType::Start)
        program = currentProgram_;
    if (event.type == AlarmEventType::Acknowledged || program.empty())
        return;
    const ActionStart start{program, commandLine(program, alarmActionArguments(event)), programFolder(program)};
    if (event.type == AlarmEventType::End)
        program.clear();
    if (isFullProgramPath(start.program))
        starts.push_back(start);
    else
        actionStarted(start, false);
}

void AlarmDispatch::actionStarted(const ActionStart& start, bool started) {
    if (start.program == currentProgram_)
        actionFailed_ = !started;
}

std::string AlarmDispatch::problemText() const {
    return alarmProblemText(actionFailed_, eventLog_.problem());
}

std::string programFolder(const std::string& programPath) {
    const auto separator = [](char c) { return c == '\\' || c == '/'; };
    const auto slash = std::find_if(programPath.rbegin(), programPath.rend(), separator).base();
    if (slash == programPath.begin())
        return {};
    // "C:\x.exe", and "\\server\share\x.exe", whose share is a root as a drive is.
    const auto before = static_cast<std::size_t>(slash - programPath.begin()) - 1;
    const bool driveRoot = before == 2 && programPath[1] == ':';
    const bool shareRoot = before > 1 && separator(programPath[0]) && separator(programPath[1]) &&
                           std::count_if(programPath.begin(), slash - 1, separator) == 3;
    return programPath.substr(0, driveRoot || shareRoot ? before + 1 : before);
}
