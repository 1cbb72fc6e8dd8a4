#include "alarm/win/alarm_runner.h"

#include "alarm/alarm_action.h"
#include "alarm/alarm_fields.h"
#include "alarm/alarm_texts.h"
#include "alarm/win/alarm_dialog.h"
#include "base/cp1250.h"
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
      humidity_(humidity), dde_(dde), statusChanged_(std::move(statusChanged)), eventLog_(openEventFile) {}

// The monotonic clock for the delay and the durations: a wall clock that is set (daylight saving, a time server)
// must neither start nor end an alarm.
AlarmClock CAlarmRunner::clock() const {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {static_cast<std::int64_t>(GetTickCount64()),
            {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond}};
}

void CAlarmRunner::start() {
    applySettings();
}

// The end of an alarm that the new settings remove goes into the file its start went to; the file then follows the
// settings. Everything runs only while alarms are on: off, the program opens no event file and starts no timer.
void CAlarmRunner::applySettings() {
    carryOut(monitor_.applySettings(settings_, clock()));
    const HWND owner = owner_();
    const std::string name = cp1250ToUtf8(settings_.eventFileName);
    eventLog_.setFile(settings_.enabled ? eventFilePath(name, narrow(modulePath())) : std::string());
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
    eventLog_.retry();
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
    const bool actionChanged = edited.actionPath != settings_.actionPath;
    settings_ = edited;
    // A program that could not be started is said until one starts; another program has not failed yet.
    if (actionChanged)
        actionFailed_ = false;
    applySettings();
}

void CAlarmRunner::stop() {
    const HWND owner = owner_();
    KillTimer(owner, IDT_ALARM_TICK);
    KillTimer(owner, IDT_ALARM_SOUND);
    sounding_ = false;
}

std::string CAlarmRunner::problemText() const {
    return alarmProblemText(actionFailed_, eventLog_.problem());
}

// The event file first, then the action: a script that reads the file finds the event it was started for.
void CAlarmRunner::carryOut(AlarmPlan plan) {
    eventLog_.write(plan.events, separatorChar(recording_.separator));
    for (const AlarmEvent& event : plan.events) {
        if (event.type != AlarmEventType::Acknowledged && !settings_.actionPath.empty())
            actionFailed_ = !startAction(event);
    }
    plan_ = std::move(plan);
    showPlan();
}

// The full path is the application name, so the system never looks the program up, in the current folder or
// anywhere else, and no shell reads the command line. The program starts in its own folder, where a script keeps
// its files, without a console window on a station that nobody watches, and is not waited for.
bool CAlarmRunner::startAction(const AlarmEvent& event) const {
    if (!isFullProgramPath(settings_.actionPath))
        return false;
    const std::string program = cp1250ToUtf8(settings_.actionPath);
    const std::wstring application = widen(program);
    std::wstring line = widen(commandLine(program, alarmActionArguments(event)));
    const std::wstring folder = application.substr(0, application.find_last_of(L"\\/"));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        folder.c_str(), &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
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
