#include "alarm/alarm_monitor.h"

#include "alarm/alarm_texts.h"

#include <algorithm>
#include <cmath>

namespace {

AlarmKind kindOf(int quantity, bool above) {
    if (quantity == AlarmTemperature)
        return above ? AlarmKind::TemperatureAbove : AlarmKind::TemperatureBelow;
    return above ? AlarmKind::HumidityAbove : AlarmKind::HumidityBelow;
}

bool isAbove(AlarmKind kind) {
    return kind == AlarmKind::TemperatureAbove || kind == AlarmKind::HumidityAbove;
}

// The readings are whole tenths or hundredths computed in floating point (252 x 0.1 is a little above 25.2), so
// they are compared with the limits as a whole number of hundredths: 25.2 is then exactly at a limit of 25.2,
// not above it.
std::int64_t hundredths(double value) {
    return static_cast<std::int64_t>(std::nearbyint(std::clamp(value, -1e12, 1e12) * 100.0));
}

// Negative when the monotonic clock went back, which it must not; the delay then simply runs from there.
std::int64_t elapsed(std::int64_t sinceMs, std::int64_t nowMs) {
    return std::max<std::int64_t>(0, nowMs - sinceMs);
}

// The limit an alarm kind is watched with: none while alarms are off or the kind is not set up.
std::optional<int> watchedLimit(const AlarmSettings& settings, AlarmKind kind) {
    if (!settings.enabled)
        return std::nullopt;
    if (kind == AlarmKind::Link)
        return settings.linkMinutes > 0 ? std::optional<int>(settings.linkMinutes) : std::nullopt;
    return alarmLimit(settings, kind);
}

} // namespace

std::optional<int> alarmLimit(const AlarmSettings& settings, AlarmKind kind) {
    switch (kind) {
    case AlarmKind::TemperatureBelow:
        return settings.limits[AlarmTemperature].lowTenths;
    case AlarmKind::TemperatureAbove:
        return settings.limits[AlarmTemperature].highTenths;
    case AlarmKind::HumidityBelow:
        return settings.limits[AlarmHumidity].lowTenths;
    case AlarmKind::HumidityAbove:
        return settings.limits[AlarmHumidity].highTenths;
    default:
        return std::nullopt;
    }
}

AlarmMonitor::AlarmMonitor(const AlarmSettings& settings) : settings_(settings) {
    boundAlarmSettings(settings_);
}

// The link alarm counts from the first input when no good reading has come yet: a program started without its
// instrument raises it after the set minutes too.
void AlarmMonitor::begin(const AlarmClock& clock) {
    events_.clear();
    if (begun_)
        return;
    begun_ = true;
    lastGoodMs_ = clock.monotonicMs;
    lastGood_ = clock.local;
}

// An alarm stays only while it is watched with the limit it started with: its texts and its end event name that
// limit. A delay that was running for a changed limit starts again.
AlarmPlan AlarmMonitor::applySettings(const AlarmSettings& settings, const AlarmClock& clock) {
    begin(clock);
    AlarmSettings next = settings;
    boundAlarmSettings(next);
    for (int i = 0; i < kAlarmKindCount; ++i) {
        const auto kind = static_cast<AlarmKind>(i);
        State& s = state(kind);
        const std::optional<int> before = watchedLimit(settings_, kind);
        const std::optional<int> after = watchedLimit(next, kind);
        if (s.active && after != s.limit)
            end(kind, clock);
        else if (s.pending && after != before)
            s = State{};
    }
    settings_ = next;
    watchLink(clock);
    return plan(clock);
}

AlarmPlan AlarmMonitor::onReading(const AlarmReading& reading, const AlarmClock& clock) {
    begin(clock);
    // A line whose every value is flagged tells nothing about the climate: for the link alarm it is no reading.
    const bool good =
        reading.lineGood && (reading.quantity[AlarmTemperature].valid() || reading.quantity[AlarmHumidity].valid());
    if (good) {
        lastGoodMs_ = clock.monotonicMs;
        lastGood_ = clock.local;
        if (state(AlarmKind::Link).active)
            end(AlarmKind::Link, clock);
    }
    if (settings_.enabled) {
        watchQuantity(AlarmTemperature, reading.quantity[AlarmTemperature], clock);
        watchQuantity(AlarmHumidity, reading.quantity[AlarmHumidity], clock);
    }
    watchLink(clock);
    return plan(clock);
}

AlarmPlan AlarmMonitor::onTick(const AlarmClock& clock) {
    begin(clock);
    watchLink(clock);
    return plan(clock);
}

AlarmPlan AlarmMonitor::acknowledge(const AlarmClock& clock) {
    begin(clock);
    for (int i = 0; i < kAlarmKindCount; ++i) {
        const auto kind = static_cast<AlarmKind>(i);
        State& s = state(kind);
        if (s.active && !s.acknowledged) {
            s.acknowledged = true;
            emit(AlarmEventType::Acknowledged, kind, clock);
        }
    }
    return plan(clock);
}

// Only valid values count: a flagged or missing one neither starts nor ends an alarm, nor breaks a running delay.
// Ends are decided before starts, so that a value that jumps from above the upper limit to below the lower one
// ends the first alarm before the second one's events follow.
void AlarmMonitor::watchQuantity(int quantity, const QuantityReading& reading, const AlarmClock& clock) {
    if (!reading.valid() || !std::isfinite(reading.rawValue))
        return;
    const std::int64_t value = hundredths(reading.rawValue);
    const std::int64_t hysteresis = std::int64_t{settings_.hysteresisTenths} * 10;
    auto beyond = [&](AlarmKind kind) {
        const std::optional<int> limit = alarmLimit(settings_, kind);
        return limit && (isAbove(kind) ? value > *limit * 10 : value < *limit * 10);
    };
    for (const bool above : {false, true}) {
        const AlarmKind kind = kindOf(quantity, above);
        State& s = state(kind);
        if (!s.active)
            continue;
        s.extreme = above ? std::max(s.extreme, reading.rawValue) : std::min(s.extreme, reading.rawValue);
        const std::int64_t limit = std::int64_t{s.limit} * 10;
        const bool inside = above ? value <= limit - hysteresis : value >= limit + hysteresis;
        // With a hysteresis wider than the gap between the limits the value can pass the other limit first.
        if (inside || beyond(kindOf(quantity, !above)))
            end(kind, clock);
    }
    for (const bool above : {false, true}) {
        const AlarmKind kind = kindOf(quantity, above);
        State& s = state(kind);
        if (s.active)
            continue;
        if (!beyond(kind)) {
            s = State{};
            continue;
        }
        if (!s.pending) {
            s.pending = true;
            s.sinceMs = clock.monotonicMs;
            s.since = clock.local;
            s.extreme = reading.rawValue;
        }
        s.extreme = above ? std::max(s.extreme, reading.rawValue) : std::min(s.extreme, reading.rawValue);
        if (elapsed(s.sinceMs, clock.monotonicMs) >= std::int64_t{settings_.delaySeconds} * 1000)
            raise(kind, *alarmLimit(settings_, kind), clock);
    }
}

void AlarmMonitor::watchLink(const AlarmClock& clock) {
    State& s = state(AlarmKind::Link);
    const std::optional<int> minutes = watchedLimit(settings_, AlarmKind::Link);
    if (s.active || !minutes || elapsed(lastGoodMs_, clock.monotonicMs) < std::int64_t{*minutes} * 60000)
        return;
    s.sinceMs = lastGoodMs_;
    s.since = lastGood_;
    raise(AlarmKind::Link, *minutes, clock);
}

void AlarmMonitor::raise(AlarmKind kind, int limit, const AlarmClock& clock) {
    State& s = state(kind);
    s.pending = false;
    s.active = true;
    s.acknowledged = false;
    s.limit = limit;
    emit(AlarmEventType::Start, kind, clock);
}

void AlarmMonitor::emit(AlarmEventType type, AlarmKind kind, const AlarmClock& clock) {
    const State& s = state(kind);
    AlarmEvent event;
    event.type = type;
    event.kind = kind;
    event.limit = s.limit;
    event.extreme = s.extreme;
    event.durationMs = elapsed(s.sinceMs, clock.monotonicMs);
    event.time = clock.local;
    events_.push_back(event);
}

void AlarmMonitor::end(AlarmKind kind, const AlarmClock& clock) {
    emit(AlarmEventType::End, kind, clock);
    state(kind) = State{};
}

AlarmPlan AlarmMonitor::plan(const AlarmClock& clock) {
    AlarmPlan plan;
    plan.events = std::move(events_);
    events_.clear();
    for (int i = 0; i < kAlarmKindCount; ++i) {
        const auto kind = static_cast<AlarmKind>(i);
        const State& s = state(kind);
        if (!s.active)
            continue;
        plan.active.push_back(ActiveAlarm{kind, s.limit, s.acknowledged, s.since});
        plan.acknowledgeable = plan.acknowledgeable || !s.acknowledged;
        plan.sound = plan.sound || (settings_.sound && !s.acknowledged);
        // A missing reading concerns both displays.
        const bool link = kind == AlarmKind::Link;
        const bool temperature = kind == AlarmKind::TemperatureBelow || kind == AlarmKind::TemperatureAbove;
        const bool humidity = kind == AlarmKind::HumidityBelow || kind == AlarmKind::HumidityAbove;
        plan.alarmColours[AlarmTemperature] = plan.alarmColours[AlarmTemperature] || link || temperature;
        plan.alarmColours[AlarmHumidity] = plan.alarmColours[AlarmHumidity] || link || humidity;
    }
    plan.status = alarmStatusText(plan.active, clock.local);
    plan.dde[AlarmTemperature] = alarmDdeText(plan.active, AlarmTemperature, clock.local);
    plan.dde[AlarmHumidity] = alarmDdeText(plan.active, AlarmHumidity, clock.local);
    return plan;
}
