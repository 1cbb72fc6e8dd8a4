#include "alarm/win/alarm_runner.h"

#include "alarm/win/alarm_dialog.h"
#include "recording/record_format.h"
#include "recording/win/recording_host.h"
#include "res/resource.h"
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

CAlarmRunner::CAlarmRunner(std::function<HWND()> owner, AlarmSettings& settings, const RecordingSettings& recording,
                           CValueDisplay& temperature, CValueDisplay& humidity, CDdeService& dde,
                           std::function<void()> statusChanged)
    : owner_(std::move(owner)), settings_(settings), recording_(recording), temperature_(temperature),
      humidity_(humidity), dde_(dde), statusChanged_(std::move(statusChanged)),
      dispatch_(openEventFile, narrow(modulePath())) {}

// The monotonic clock for the delay and the durations: a wall clock that is set (daylight saving, a time server)
// must neither start nor end an alarm.
AlarmClock CAlarmRunner::clock() const {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {static_cast<std::int64_t>(GetTickCount64()),
            {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond}};
}

void CAlarmRunner::start() {
    applySettings(AlarmSettings());
}

// Everything runs only while alarms are on: off, the program opens no event file and starts no timer.
void CAlarmRunner::applySettings(const AlarmSettings& before) {
    AlarmPlan plan = monitor_.applySettings(settings_, clock());
    startActions(dispatch_.deliverSettings(plan.events, before, settings_, separatorChar(recording_.separator)));
    plan_ = std::move(plan);
    showPlan();
    const HWND owner = owner_();
    if (settings_.enabled)
        SetTimer(owner, IDT_ALARM_TICK, kTickPeriodMs, nullptr);
    else
        KillTimer(owner, IDT_ALARM_TICK);
    statusChanged_();
}

void CAlarmRunner::onReading(const CurrentReading& reading, bool lineGood) {
    carryOut(monitor_.onReading({{reading.temperature, reading.humidity}, lineGood}, clock()));
}

bool CAlarmRunner::onTimer(UINT_PTR id) {
    if (id == IDT_ALARM_SOUND) {
        beep();
        return true;
    }
    if (id != IDT_ALARM_TICK)
        return false;
    dispatch_.retry();
    carryOut(monitor_.onTick(clock()));
    return true;
}

void CAlarmRunner::acknowledge() {
    carryOut(monitor_.acknowledge(clock()));
}

void CAlarmRunner::onSettingsCommand() {
    AlarmSettings edited = settings_;
    if (!runAlarmDialog(owner_(), edited))
        return;
    const AlarmSettings before = settings_;
    settings_ = edited;
    applySettings(before);
}

void CAlarmRunner::stop() {
    const HWND owner = owner_();
    KillTimer(owner, IDT_ALARM_TICK);
    KillTimer(owner, IDT_ALARM_SOUND);
    sounding_ = false;
}

// The event file first, then the action: a script that reads the file finds the event it was started for.
void CAlarmRunner::carryOut(AlarmPlan plan) {
    startActions(dispatch_.deliver(plan.events, settings_, separatorChar(recording_.separator)));
    plan_ = std::move(plan);
    showPlan();
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

void CAlarmRunner::showPlan() {
    temperature_.setAlarmColours(plan_.alarmColours[AlarmTemperature], settings_.backgroundColour,
                                 settings_.textColour);
    humidity_.setAlarmColours(plan_.alarmColours[AlarmHumidity], settings_.backgroundColour, settings_.textColour);
    dde_.setAlarm(settings_.enabled, plan_.dde);
    const HWND owner = owner_();
    EnableMenuItem(GetMenu(owner), ID_ALARM_ACKNOWLEDGE,
                   MF_BYCOMMAND | (plan_.acknowledgeable ? MF_ENABLED : MF_GRAYED));
    if (plan_.sound && !sounding_) {
        beep();
        SetTimer(owner, IDT_ALARM_SOUND, kSoundPeriodMs, nullptr);
    } else if (!plan_.sound && sounding_) {
        KillTimer(owner, IDT_ALARM_SOUND);
    }
    sounding_ = plan_.sound;
    statusChanged_();
}
