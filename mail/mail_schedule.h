#pragma once

#include "alarm/alarm_monitor.h"
#include "mail/mail_message.h"
#include "mail/mail_settings.h"
#include "mail/smtp_session.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// What to send when: the messages of the alarms' events, the reminders and the daily message, composed when they
// arise and delivered one at a time from a bounded queue, with a back-off while the server cannot be reached.

// A message sent or given up, as a line of the alarm event file (mailEventLine).
struct MailRecord {
    bool sent = false;
    MailKind kind = MailKind::Test;
    bool aboutAlarm = false; // AlarmStart, AlarmEnd, Acknowledged, Reminder: `alarm` names it
    ActiveAlarm alarm;
    std::vector<std::string> recipients;
    std::string reason;          // given up: why (UTF-8)
    LocalTime time;              // when it was sent or given up
    std::int64_t durationMs = 0; // aboutAlarm: since the alarm's onset
};

// A message for the worker to deliver with a session of its own.
struct MailDelivery {
    std::uint64_t id = 0;
    SmtpMessage message;
};

// What the window does after an input: hand `deliver` to the worker (nothing else is being delivered then), write
// `records` to the alarm event file when there is one, take the status text when `statusChanged`, and call tick()
// at `nextTickMs` at the latest.
struct MailPlan {
    std::optional<MailDelivery> deliver;
    std::vector<MailRecord> records;
    bool statusChanged = false;
    std::int64_t nextTickMs = 0; // monotonic
};

// The e-mail notifications of one station. The window feeds it every reading update (onReading, then
// onAlarmPlan with the monitor's plan), its timer and the worker's outcomes, and carries out the plans.
//
// - Start, end and acknowledgement messages as the settings choose, one per event of the monitor.
// - A reminder every reminderMinutes while an alarm waits for its acknowledgement, naming the alarms that wait;
//   it stops once none waits, and a reminder still queued then is withdrawn, since it would no longer be true. A
//   newer reminder replaces one still queued.
// - The daily message at dailyAtMinutes when the local clock reaches that time while the program runs: a program
//   that was not running then sends none for that day (the missing message is what tells of a silent station),
//   a clock set forward over it sends one, never one for each day skipped, and a clock set back does not repeat
//   it. It reports the period since the last one (or since the start), with the extremes of the good readings.
// - The queue holds kMaxQueued messages; beyond that the oldest reminder goes, else the oldest other message: a
//   person reading the mail after an outage wants the newest state, and the event file keeps every event.
// - A delivery that fails for now is tried again after kMinBackoffMs, doubling to kMaxBackoffMs, and the back-off
//   starts again after a message went through; messages keep their order and are given up only when the server
//   refuses them for good, or when the notifications are switched off. A message keeps the recipients and the
//   bytes it was composed with.
class MailSchedule {
public:
    static constexpr std::size_t kMaxQueued = 50; // more than a person reads, at a few kilobytes each
    static constexpr std::int64_t kMinBackoffMs = 60000;
    static constexpr std::int64_t kMaxBackoffMs = 900000;
    static constexpr std::int64_t kIdleTickMs = 60000; // when nothing is due sooner

    // `seed` differs between runs of the program, for the messages' ids.
    explicit MailSchedule(std::uint64_t seed);

    // The settings and the station that names the messages. Switched off, every waiting message is given up.
    MailPlan applySettings(const MailSettings& settings, const std::string& station, const ClockReading& clock);
    // Every reading update: `lineGood` after a good line (not a bad one or a watchdog expiry).
    MailPlan onReading(const CurrentReading& reading, bool lineGood, const ClockReading& clock);
    // The alarm monitor's plan after every input, with the settings it works with.
    MailPlan onAlarmPlan(const AlarmPlan& plan, const AlarmSettings& alarms, const ClockReading& clock);
    MailPlan tick(const ClockReading& clock);
    // The worker's outcome for the delivery `id`.
    MailPlan delivered(std::uint64_t id, const SmtpOutcome& outcome, const ClockReading& clock);

    // UTF-8, for the end of the status line, ending with a blank: "E-mail: nie można wysłać powiadomienia (…). "
    // since a delivery failed, until one goes through or the server's settings change; empty otherwise.
    const std::string& statusText() const { return status_; }
    std::size_t queued() const { return queue_.size(); }

private:
    struct Queued {
        std::uint64_t id = 0;
        MailKind kind = MailKind::Test;
        bool aboutAlarm = false;
        ActiveAlarm alarm;
        std::int64_t onsetMs = 0;
        SmtpMessage message;
        bool inFlight = false;
    };

    void begin();
    MailPlan finish(const ClockReading& clock);
    void enqueue(const MailContent& content, const ActiveAlarm* alarm, const ClockReading& clock);
    void record(const Queued& item, bool sent, std::vector<std::string> recipients, std::string reason,
                const ClockReading& clock);
    void giveUpAll(const std::string& reason, const ClockReading& clock);
    void withdrawReminders();
    void sendDaily(const ClockReading& clock);
    std::optional<std::int64_t> nextDaily(std::int64_t localSeconds) const;
    MailContent content(MailKind kind) const;

    std::uint64_t seed_;
    MailSettings settings_;
    std::string station_;
    MailPlan plan_;
    std::string problem_;
    std::string status_;

    std::deque<Queued> queue_;
    std::uint64_t nextId_ = 1;
    std::int64_t backoffMs_ = kMinBackoffMs;
    std::int64_t retryAtMs_ = 0;

    CurrentReading reading_;
    AlarmSettings alarms_;
    std::vector<ActiveAlarm> active_;
    std::int64_t onsetMs_[kAlarmKindCount] = {};
    std::optional<std::int64_t> reminderDueMs_;

    std::optional<std::int64_t> dailyDue_;     // local seconds (civilSeconds) of the next daily message
    std::optional<std::int64_t> lastDailyDay_; // the local day (days since 1970) of the last one
    MailDaySummary day_;
};

// A message sent or given up as a line of the alarm event file (Windows-1250, CR LF), in its six columns: the
// time; the event "e-mail (początek) wysłany do a@x.pl b@y.pl" or "e-mail (koniec) niewysłany do a@x.pl: why"
// (the kind in the event words of the alarm lines, the recipients separated by blanks); the alarm and its limit as
// the alarm's own lines name them (empty for the daily message); no extreme; the time since the alarm's onset.
// The free texts lose the separators and line ends, so the columns stay a table.
std::string mailEventLine(const MailRecord& record, char separator);

// The status line's piece for a delivery that failed: "E-mail: nie można wysłać powiadomienia (reason). ".
std::string mailProblemText(const std::string& reason);

// The station's name as the messages use it: letters, digits, '-' and '_' (as the MQTT publisher's), "hx350" for
// an empty one.
std::string mailStationName(const std::string& station);

// The dialog's test message, composed as the notifications are, to go at once with a session of its own.
SmtpMessage mailTestMessage(const MailSettings& settings, const std::string& station, const CurrentReading& reading,
                            const AlarmSettings& alarms, const WallTime& time, std::uint64_t seed);
// What the dialog says when the test message's session ends (UTF-8).
std::string mailTestResultText(const SmtpOutcome& outcome);
