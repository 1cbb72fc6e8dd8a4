#include "app/win/network_runner.h"

#include "mail/win/mail_dialog.h"
#include "mqtt/win/mqtt_dialog.h"
#include "res/resource.h"
#include "win/clock.h"

#include <algorithm>

namespace {

// Differs between runs of the program, for the messages' ids.
std::uint64_t runSeed() {
    return static_cast<std::uint64_t>(utcMs()) * 65537u ^ GetCurrentProcessId();
}

} // namespace

CNetworkRunner::CNetworkRunner(std::function<HWND()> owner, AppSettings& settings, CAlarmRunner& alarms)
    : owner_(std::move(owner)), settings_(settings), alarms_(alarms), mail_(runSeed()) {}

void CNetworkRunner::start() {
    mqtt_.start(owner_(), settings_.mqtt);
    if (settings_.mail.enabled)
        applyMail();
}

void CNetworkRunner::onReading(const CurrentReading& reading, bool lineGood, bool linkUp) {
    mqtt_.updateState(reading, linkUp);
    if (mailWanted())
        carryOut(mail_.onReading(reading, lineGood, clockNow()));
}

void CNetworkRunner::onAlarmPlan(const AlarmPlan& plan) {
    mqtt_.updateAlarm(mqttAlarmOf(alarms_.settings().enabled, plan));
    if (mailWanted())
        carryOut(mail_.onAlarmPlan(plan, alarms_.settings(), clockNow()));
}

bool CNetworkRunner::onMessage(UINT message) {
    if (message == WM_MAIL_SENT)
        sent();
    return message == WM_MQTT_STATUS || message == WM_MAIL_SENT;
}

bool CNetworkRunner::onTimer(UINT_PTR id) {
    if (id != IDT_MAIL_TICK)
        return false;
    carryOut(mail_.tick(clockNow()));
    return true;
}

bool CNetworkRunner::onCommand(int id, const CurrentReading& reading) {
    if (id == ID_SETTINGS_MQTT) {
        if (runMqttDialog(owner_(), settings_.mqtt, settings_.portNumber)) {
            mqtt_.start(owner_(), settings_.mqtt);
            if (settings_.mail.enabled) // the messages name the station as the publisher does
                applyMail();
        }
        return true;
    }
    if (id == ID_SETTINGS_MAIL) {
        if (runMailDialog(owner_(), settings_.mail, {station(), reading, alarms_.settings()}))
            applyMail();
        return true;
    }
    return false;
}

void CNetworkRunner::stop() {
    mqtt_.stop(MqttStop::ProgramClose);
    sender_.cancel();
    KillTimer(owner_(), IDT_MAIL_TICK);
}

std::string CNetworkRunner::statusText() const {
    return mqtt_.statusText() + mail_.statusText();
}

// Switched off, the schedule gives up what waits (each a line in the event file) and the delivery under way ends.
void CNetworkRunner::applyMail() {
    if (!settings_.mail.enabled)
        sender_.cancel();
    carryOut(mail_.applySettings(settings_.mail, station(), clockNow()));
}

void CNetworkRunner::carryOut(const MailPlan& plan) {
    if (!plan.records.empty()) {
        std::vector<AlarmEventLog::LineText> lines;
        for (const MailRecord& record : plan.records)
            lines.push_back([record](char separator) { return mailEventLine(record, separator); });
        alarms_.writeLines(lines);
    }
    if (plan.deliver && !sender_.send(owner_(), settings_.mail, *plan.deliver))
        return carryOut(mail_.delivered(plan.deliver->id, CMailSender::failedToStart(*plan.deliver), clockNow()));
    // The timer runs while anything may come due; with e-mail off and nothing waiting there is none.
    const HWND owner = owner_();
    if (mailWanted()) {
        const std::int64_t delayMs =
            std::clamp<std::int64_t>(plan.nextTickMs - monotonicMs(), 0, MailSchedule::kIdleTickMs);
        SetTimer(owner, IDT_MAIL_TICK, static_cast<UINT>(delayMs), nullptr);
    } else {
        KillTimer(owner, IDT_MAIL_TICK);
    }
}

void CNetworkRunner::sent() {
    if (const auto result = sender_.takeOutcome())
        carryOut(mail_.delivered(result->first, result->second, clockNow()));
}

// The messages name the station as the publisher does; a station that does not publish takes the name the MQTT
// dialog would propose.
std::string CNetworkRunner::station() const {
    return mqttStationOf(settings_.mqtt, settings_.portNumber);
}
