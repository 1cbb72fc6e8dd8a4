#include "mail/mail_schedule.h"

#include "alarm/alarm_texts.h"
#include "base/civil_time.h"
#include "base/cp1250.h"
#include "mqtt/mqtt_settings.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::int64_t kMsPerSecond = 1000;
constexpr std::int64_t kMsPerMinute = 60000;
constexpr std::int64_t kSecondsPerDay = 86400;

LocalTime localTime(const ClockReading& clock) {
    return civilTime(localSeconds(clock.wall));
}

bool anyWaiting(const std::vector<ActiveAlarm>& active) {
    return std::any_of(active.begin(), active.end(), [](const ActiveAlarm& a) { return !a.acknowledged; });
}

bool isReminder(MailKind kind) {
    return kind == MailKind::Reminder;
}

// The settings that decide where and how a message goes: a change there deserves a new attempt at once.
bool sameServer(const MailSettings& a, const MailSettings& b) {
    return a.server == b.server && a.port == b.port && a.security == b.security && a.user == b.user &&
           a.password == b.password && a.from == b.from;
}

const char* kindWord(MailKind kind) {
    switch (kind) {
    case MailKind::AlarmStart:
        return "początek";
    case MailKind::AlarmEnd:
        return "koniec";
    case MailKind::Acknowledged:
        return "potwierdzenie";
    case MailKind::Reminder:
        return "przypomnienie";
    case MailKind::Daily:
        return "raport dzienny";
    default:
        return "wiadomość próbna";
    }
}

// What may stand in a column of the event file: no separator of any kind and no line end.
std::string columnText(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == ',' || c == ';' || c == '\r' || c == '\n')
            c = ' ';
    }
    return text;
}

void widen(MailExtremes& extremes, const QuantityReading& value, const LocalTime& at) {
    if (!extremes.any || value.rawValue < extremes.low.rawValue) {
        extremes.low = value;
        extremes.lowAt = at;
    }
    if (!extremes.any || value.rawValue > extremes.high.rawValue) {
        extremes.high = value;
        extremes.highAt = at;
    }
    extremes.any = true;
}

} // namespace

std::string mailEventLine(const MailRecord& record, char separator) {
    std::string recipients;
    for (const std::string& recipient : record.recipients)
        recipients += (recipients.empty() ? "" : " ") + recipient;
    std::string event = std::string("e-mail (") + kindWord(record.kind) + ") " +
                        (record.sent ? "wysłany do " : "niewysłany do ") + recipients;
    if (!record.sent && !record.reason.empty())
        event += ": " + record.reason;
    const std::string s(1, separator);
    const std::string alarm = record.aboutAlarm ? alarmName(record.alarm.kind) : "";
    const std::string limit = record.aboutAlarm ? alarmLimitText(record.alarm.kind, record.alarm.limit) : "";
    const std::string duration = record.aboutAlarm ? alarmDurationText(record.durationMs) : "";
    return utf8ToCp1250(localTimeText(record.time) + s + columnText(event) + s + alarm + s + limit + s + s + duration) +
           "\r\n";
}

std::string mailProblemText(const std::string& reason) {
    return "E-mail: nie można wysłać powiadomienia (" + reason + "). ";
}

// The station names the sender and the message ids, where only the station's own characters may stand; the
// publisher's rule makes any other text one.
std::string mailStationName(const std::string& station) {
    MqttSettings settings;
    settings.station = station;
    boundMqttSettings(settings);
    return settings.station;
}

SmtpMessage mailTestMessage(const MailSettings& settings, const std::string& station, const CurrentReading& reading,
                            const AlarmSettings& alarms, const WallTime& time, std::uint64_t seed) {
    MailContent content;
    content.kind = MailKind::Test;
    content.station = mailStationName(station);
    content.reading = reading;
    content.alarms = alarms;
    MailHeader header;
    header.from = settings.from;
    header.to = parseMailRecipients(settings.to).addresses;
    header.time = time;
    header.messageId = mailMessageId(content.station, settings.from, time.utcMs, 0, seed);
    return {settings.from, header.to, composeMailMessage(header, content)};
}

// The dialog does not try again: a failure for now and one for good read alike.
std::string mailTestResultText(const SmtpOutcome& outcome) {
    std::string text;
    if (!outcome.delivered.empty()) {
        text = "Wiadomość próbna została wysłana";
        if (!outcome.complete()) {
            for (std::size_t i = 0; i < outcome.delivered.size(); ++i)
                text += (i == 0 ? " do " : ", ") + outcome.delivered[i];
        }
        text += ". Serwer odpowiedział: " + outcome.reply + ".";
    }
    std::vector<SmtpFailure> failures = outcome.givenUp;
    if (!outcome.retry.recipients.empty())
        failures.push_back(outcome.retry);
    for (const SmtpFailure& failure : failures)
        text += (text.empty() ? "" : " ") + std::string("Nie można wysłać wiadomości próbnej: ") + failure.reason + ".";
    return text;
}

MailSchedule::MailSchedule(std::uint64_t seed) : seed_(seed) {}

MailPlan MailSchedule::applySettings(const MailSettings& settings, const std::string& station,
                                     const ClockReading& clock) {
    begin();
    MailSettings next = settings;
    boundMailSettings(next);
    const MailSettings before = std::exchange(settings_, next);
    station_ = mailStationName(station);
    if (!next.enabled) {
        giveUpAll("powiadomienia e-mail wyłączone", clock);
        reminderDueMs_.reset();
        dailyDue_.reset();
        problem_.clear();
        return finish(clock);
    }
    if (!before.enabled || !sameServer(before, next)) {
        backoffMs_ = kMinBackoffMs;
        retryAtMs_ = clock.monotonicMs;
        problem_.clear();
    }
    if (!before.enabled || before.reminderMinutes != next.reminderMinutes)
        reminderDueMs_.reset();
    if (anyWaiting(active_) && next.reminderMinutes > 0 && !reminderDueMs_)
        reminderDueMs_ = clock.monotonicMs + next.reminderMinutes * kMsPerMinute;
    if (!before.enabled || before.dailyAtMinutes != next.dailyAtMinutes)
        dailyDue_ = nextDaily(localSeconds(clock.wall));
    if (!before.enabled) {
        day_ = MailDaySummary{};
        day_.from = localTime(clock);
    }
    return finish(clock);
}

MailPlan MailSchedule::onReading(const CurrentReading& reading, bool lineGood, const ClockReading& clock) {
    begin();
    reading_ = reading;
    if (!settings_.enabled || !lineGood)
        return finish(clock);
    const QuantityReading* values[2] = {&reading.temperature, &reading.humidity};
    const LocalTime now = localTime(clock);
    bool any = false;
    for (int q = 0; q < 2; ++q) {
        if (values[q]->valid()) {
            widen(day_.quantity[q], *values[q], now);
            any = true;
        }
    }
    if (any)
        ++day_.readings;
    return finish(clock);
}

// Onsets are kept while the notifications are off too, so that a reminder after they are switched on still says
// how long its alarm has lasted.
MailPlan MailSchedule::onAlarmPlan(const AlarmPlan& plan, const AlarmSettings& alarms, const ClockReading& clock) {
    begin();
    alarms_ = alarms;
    for (const AlarmEvent& event : plan.events) {
        if (event.type == AlarmEventType::Start)
            onsetMs_[static_cast<int>(event.kind)] = clock.monotonicMs - event.durationMs;
    }
    if (!settings_.enabled) {
        active_ = plan.active;
        return finish(clock);
    }
    for (const AlarmEvent& event : plan.events) {
        // The onset as the status line shows it: from the plan while the alarm is active, from the one before once
        // it has ended.
        const std::vector<ActiveAlarm>& known = event.type == AlarmEventType::End ? active_ : plan.active;
        const auto found =
            std::find_if(known.begin(), known.end(), [&](const ActiveAlarm& a) { return a.kind == event.kind; });
        const ActiveAlarm alarm =
            found != known.end() ? *found : ActiveAlarm{event.kind, event.limit, false, event.time};
        const MailKind mailKind = event.type == AlarmEventType::Start ? MailKind::AlarmStart
                                  : event.type == AlarmEventType::End ? MailKind::AlarmEnd
                                                                      : MailKind::Acknowledged;
        const bool wanted = event.type == AlarmEventType::Start ? settings_.sendStart
                            : event.type == AlarmEventType::End ? settings_.sendEnd
                                                                : settings_.sendAck;
        if (!wanted)
            continue;
        MailContent message = content(mailKind);
        message.active = plan.active;
        message.alarm = alarm;
        message.event = event;
        enqueue(message, &alarm, clock);
    }
    active_ = plan.active;
    if (!anyWaiting(active_)) {
        reminderDueMs_.reset();
        withdrawReminders();
    } else if (!reminderDueMs_ && settings_.reminderMinutes > 0) {
        reminderDueMs_ = clock.monotonicMs + settings_.reminderMinutes * kMsPerMinute;
    }
    return finish(clock);
}

MailPlan MailSchedule::tick(const ClockReading& clock) {
    begin();
    if (!settings_.enabled)
        return finish(clock);
    if (reminderDueMs_ && clock.monotonicMs >= *reminderDueMs_) {
        reminderDueMs_ = clock.monotonicMs + settings_.reminderMinutes * kMsPerMinute;
        MailContent message = content(MailKind::Reminder);
        message.active = active_;
        const auto first =
            std::find_if(active_.begin(), active_.end(), [](const ActiveAlarm& a) { return !a.acknowledged; });
        if (first != active_.end())
            enqueue(message, &*first, clock);
    }
    if (dailyDue_) {
        const std::int64_t now = localSeconds(clock.wall);
        // Due more than a day ahead: the clock was set back; the time of day decides again, but never for the day
        // that had its message.
        if (*dailyDue_ - now > kSecondsPerDay)
            dailyDue_ = nextDaily(now);
        else if (now >= *dailyDue_)
            sendDaily(clock);
    }
    return finish(clock);
}

MailPlan MailSchedule::delivered(std::uint64_t id, const SmtpOutcome& outcome, const ClockReading& clock) {
    begin();
    const auto item =
        std::find_if(queue_.begin(), queue_.end(), [id](const Queued& q) { return q.id == id && q.inFlight; });
    if (item == queue_.end())
        return finish(clock);
    item->inFlight = false;
    if (!outcome.delivered.empty())
        record(*item, true, outcome.delivered, "", clock);
    for (const SmtpFailure& failure : outcome.givenUp) {
        record(*item, false, failure.recipients, failure.reason, clock);
        problem_ = failure.reason;
    }
    if (!outcome.retry.recipients.empty()) {
        item->message.recipients = outcome.retry.recipients;
        problem_ = outcome.retry.reason;
        retryAtMs_ = clock.monotonicMs + backoffMs_;
        backoffMs_ = std::min(backoffMs_ * 2, kMaxBackoffMs);
        return finish(clock);
    }
    // The server answered to the end: the next message goes at once, with a fresh back-off.
    queue_.erase(item);
    backoffMs_ = kMinBackoffMs;
    retryAtMs_ = clock.monotonicMs;
    if (outcome.complete() && !outcome.delivered.empty())
        problem_.clear();
    return finish(clock);
}

void MailSchedule::begin() {
    plan_ = MailPlan{};
}

MailPlan MailSchedule::finish(const ClockReading& clock) {
    const std::int64_t now = clock.monotonicMs;
    const bool inFlight = std::any_of(queue_.begin(), queue_.end(), [](const Queued& q) { return q.inFlight; });
    if (settings_.enabled && !inFlight && !queue_.empty() && now >= retryAtMs_) {
        queue_.front().inFlight = true;
        plan_.deliver = MailDelivery{queue_.front().id, queue_.front().message};
    }
    std::string status = problem_.empty() ? std::string() : mailProblemText(problem_);
    if (status != status_) {
        status_ = std::move(status);
        plan_.statusChanged = true;
    }
    std::int64_t next = now + kIdleTickMs;
    if (settings_.enabled) {
        if (!inFlight && !plan_.deliver && !queue_.empty())
            next = std::min(next, retryAtMs_);
        if (reminderDueMs_)
            next = std::min(next, *reminderDueMs_);
        if (dailyDue_)
            next =
                std::min(next, now + std::max<std::int64_t>(0, *dailyDue_ - localSeconds(clock.wall)) * kMsPerSecond);
    }
    plan_.nextTickMs = std::max(next, now);
    return plan_;
}

void MailSchedule::enqueue(const MailContent& message, const ActiveAlarm* alarm, const ClockReading& clock) {
    Queued item;
    item.id = nextId_++;
    item.kind = message.kind;
    item.aboutAlarm = alarm != nullptr;
    if (alarm) {
        item.alarm = *alarm;
        item.onsetMs = onsetMs_[static_cast<int>(alarm->kind)];
    }
    const MailRecipients recipients = parseMailRecipients(settings_.to);
    MailHeader header;
    header.from = settings_.from;
    header.to = recipients.addresses;
    if (header.to.size() > kMaxMailRecipients)
        header.to.resize(kMaxMailRecipients);
    header.time = clock.wall;
    header.messageId = mailMessageId(station_, settings_.from, clock.wall.utcMs, item.id, seed_);
    item.message = {settings_.from, header.to, composeMailMessage(header, message)};
    // Hand-edited settings the dialog would refuse: nothing can go, and that is said.
    if (!isValidMailAddress(settings_.from) || header.to.empty()) {
        const std::string reason =
            header.to.empty() ? "brak prawidłowego adresu odbiorcy" : "nieprawidłowy adres nadawcy";
        record(item, false, header.to, reason, clock);
        problem_ = reason;
        return;
    }
    if (isReminder(item.kind))
        withdrawReminders();
    queue_.push_back(std::move(item));
    if (queue_.size() <= kMaxQueued)
        return;
    auto victim =
        std::find_if(queue_.begin(), queue_.end(), [](const Queued& q) { return !q.inFlight && isReminder(q.kind); });
    if (victim == queue_.end())
        victim = std::find_if(queue_.begin(), queue_.end(), [](const Queued& q) { return !q.inFlight; });
    record(*victim, false, victim->message.recipients, "kolejka wiadomości pełna", clock);
    queue_.erase(victim);
}

void MailSchedule::record(const Queued& item, bool sent, std::vector<std::string> recipients, std::string reason,
                          const ClockReading& clock) {
    MailRecord line;
    line.sent = sent;
    line.kind = item.kind;
    line.aboutAlarm = item.aboutAlarm;
    line.alarm = item.alarm;
    line.recipients = std::move(recipients);
    line.reason = std::move(reason);
    line.time = localTime(clock);
    line.durationMs = item.aboutAlarm ? std::max<std::int64_t>(0, clock.monotonicMs - item.onsetMs) : 0;
    plan_.records.push_back(std::move(line));
}

void MailSchedule::giveUpAll(const std::string& reason, const ClockReading& clock) {
    for (const Queued& item : queue_)
        record(item, false, item.message.recipients, reason, clock);
    queue_.clear();
}

void MailSchedule::withdrawReminders() {
    queue_.erase(
        std::remove_if(queue_.begin(), queue_.end(), [](const Queued& q) { return !q.inFlight && isReminder(q.kind); }),
        queue_.end());
}

void MailSchedule::sendDaily(const ClockReading& clock) {
    const std::int64_t now = localSeconds(clock.wall);
    MailContent message = content(MailKind::Daily);
    message.active = active_;
    day_.to = civilTime(now);
    message.day = day_;
    day_ = MailDaySummary{};
    day_.from = civilTime(now);
    lastDailyDay_ = floorDiv(now, kSecondsPerDay);
    dailyDue_ = nextDaily(now);
    enqueue(message, nullptr, clock);
}

// The first moment at the daily time after `now` (local seconds): a program started at that very second waits for
// the next day, as one started a minute later does.
std::optional<std::int64_t> MailSchedule::nextDaily(std::int64_t now) const {
    if (!settings_.dailyAtMinutes)
        return std::nullopt;
    const std::int64_t day = floorDiv(now, kSecondsPerDay);
    const std::int64_t today = day * kSecondsPerDay + *settings_.dailyAtMinutes * 60;
    const std::int64_t due = today > now ? today : today + kSecondsPerDay;
    return lastDailyDay_ && floorDiv(due, kSecondsPerDay) == *lastDailyDay_ ? due + kSecondsPerDay : due;
}

MailContent MailSchedule::content(MailKind kind) const {
    MailContent message;
    message.kind = kind;
    message.station = station_;
    message.reading = reading_;
    message.alarms = alarms_;
    return message;
}
