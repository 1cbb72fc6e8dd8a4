#include "alarm/win/alarm_runner.h"

#include "alarm/win/alarm_dialog.h"
#include "recording/record_format.h"
#include "recording/win/recording_file.h"
#include "res/resource.h"
#include "win/clock.h"
#include "win/text.h"

#include <utility>

namespace {

// The missing-reading alarm must start on time when nothing arrives at all, and an event file that could not be
// written is tried again: both need a clock of their own besides the readings.
constexpr UINT kTickPeriodMs = 1000;
// The sound repeats this often until the alarm is acknowledged.
constexpr UINT kSoundPeriodMs = 2000;

std::unique_ptr<RecordingFile> openEventFile(const std::string& utf8Path, bool& existed) {
    return openRecordingFile(widen(utf8Path), existed);
}

// MessageBeep rather than PlaySound: it returns at once while the system plays the sound (the window's thread, which
// takes the serial bytes, never waits for it), it plays the sound the user chose for warnings at the volume set for
// it, it falls back to the speaker's beep on a machine without a sound card, and user32 is linked already.
void beep() {
    MessageBeep(MB_ICONEXCLAMATION);
}

} // namespace

CAlarmRunner::CAlarmRunner(std::function<HWND()> owner, AlarmSettings& settings, const RecordingSettings& recording)
    : owner_(std::move(owner)), settings_(settings), recording_(recording),
      dispatch_(openEventFile, narrow(modulePath())) {}

// The monotonic clock for the delay and the durations: a wall clock that is set (daylight saving, a time server)
// must neither start nor end an alarm.
AlarmClock CAlarmRunner::clock() const {
    return {monotonicMs(), localNow()};
}

AlarmPlan CAlarmRunner::start() {
    return applySettings(AlarmSettings());
}

// The events wait for carryOutEvents; the sound follows the plan at once.
AlarmPlan CAlarmRunner::take(AlarmPlan plan) {
    waiting_.insert(waiting_.end(), plan.events.begin(), plan.events.end());
    const HWND owner = owner_();
    if (plan.sound && !sounding_) {
        beep();
        SetTimer(owner, IDT_ALARM_SOUND, kSoundPeriodMs, nullptr);
    } else if (!plan.sound && sounding_) {
        KillTimer(owner, IDT_ALARM_SOUND);
    }
    sounding_ = plan.sound;
    return plan;
}

// The settings' own events are carried out at once: the ends of the alarms they remove go where their starts went.
// Everything runs only while alarms are on: off, the program opens no event file and starts no timer.
AlarmPlan CAlarmRunner::applySettings(const AlarmSettings& before) {
    AlarmPlan plan = monitor_.applySettings(settings_, clock());
    startActions(dispatch_.deliverSettings(plan.events, before, settings_, separatorChar(recording_.separator)));
    plan.events.clear();
    const HWND owner = owner_();
    if (settings_.enabled)
        SetTimer(owner, IDT_ALARM_TICK, kTickPeriodMs, nullptr);
    else
        KillTimer(owner, IDT_ALARM_TICK);
    return take(std::move(plan));
}

AlarmPlan CAlarmRunner::onReading(const CurrentReading& reading, bool lineGood) {
    return take(monitor_.onReading({{reading.temperature, reading.humidity}, lineGood}, clock()));
}

std::optional<AlarmPlan> CAlarmRunner::onTimer(UINT_PTR id) {
    if (id == IDT_ALARM_SOUND)
        beep();
    if (id != IDT_ALARM_TICK)
        return std::nullopt;
    dispatch_.retry();
    return take(monitor_.onTick(clock()));
}

AlarmPlan CAlarmRunner::acknowledge() {
    return take(monitor_.acknowledge(clock()));
}

std::optional<AlarmPlan> CAlarmRunner::onSettingsCommand() {
    AlarmSettings edited = settings_;
    if (!runAlarmDialog(owner_(), edited))
        return std::nullopt;
    // Events that came while the dialog was open go where the settings they came under say.
    carryOutEvents();
    const AlarmSettings before = settings_;
    settings_ = edited;
    return applySettings(before);
}

void CAlarmRunner::stop() {
    const HWND owner = owner_();
    KillTimer(owner, IDT_ALARM_TICK);
    KillTimer(owner, IDT_ALARM_SOUND);
    sounding_ = false;
}

// The event file first, then the action: a script that reads the file finds the event it was started for.
void CAlarmRunner::carryOutEvents() {
    if (waiting_.empty())
        return;
    const std::vector<AlarmEvent> events = std::move(waiting_);
    waiting_.clear();
    startActions(dispatch_.deliver(events, settings_, separatorChar(recording_.separator)));
}

void CAlarmRunner::writeLines(const std::vector<AlarmEventLog::LineText>& lines) {
    carryOutEvents(); // the alarm's own lines come first
    dispatch_.note(lines, separatorChar(recording_.separator));
}

// The full path is the application name, so the system never looks the program up, in the current folder or
// anywhere else, and no shell reads the command line. The program starts in its own folder, where a script keeps
// its files, without a console window on a station that nobody watches, and is not waited for.
void CAlarmRunner::startActions(const std::vector<ActionStart>& starts) {
    for (const ActionStart& start : starts) {
        const std::wstring application = widen(start.program);
        std::wstring line = widen(start.commandLine);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        const bool started = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                            nullptr, widen(start.folder).c_str(), &startup, &process);
        if (started) {
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        dispatch_.actionStarted(start, started);
    }
}
