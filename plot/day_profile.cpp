#include "plot/day_profile.h"

#include "base/civil_time.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::int64_t kDay = 86400;
// Steps of so many different lengths mean no regular interval; more are not kept.
constexpr std::size_t kMaxStepLengths = 256;

bool past(std::int32_t value, std::int32_t limit, bool above) {
    return above ? std::int64_t{value} * 10 > limit : std::int64_t{value} * 10 < limit;
}

} // namespace

std::int64_t localDayOf(std::int64_t local) {
    return floorDiv(local, kDay);
}

// Readings drift: the value wanted is mostly the last one or a few places from it, so those are looked at first.
ValueTime& CQuantityProfile::entry(std::int32_t value) {
    const std::size_t size = values_.size();
    if (hint_ < size) {
        const std::int32_t at = values_[hint_].value;
        if (at == value)
            return values_[hint_];
        const std::size_t from = at < value ? hint_ + 1 : (hint_ >= 8 ? hint_ - 8 : 0);
        const std::size_t to = at < value ? std::min(size, hint_ + 9) : hint_;
        for (std::size_t i = from; i < to; ++i) {
            if (values_[i].value == value) {
                hint_ = i;
                return values_[i];
            }
        }
    }
    const auto at = std::lower_bound(values_.begin(), values_.end(), value,
                                     [](const ValueTime& entry, std::int32_t v) { return entry.value < v; });
    hint_ = static_cast<std::size_t>(at - values_.begin());
    if (at == values_.end() || at->value != value) {
        ValueTime added;
        added.value = value;
        values_.insert(at, added);
    }
    return values_[hint_];
}

void CQuantityProfile::addTime(std::int32_t value, std::int64_t seconds) {
    entry(value).seconds += seconds;
}

void CQuantityProfile::addStep(std::int32_t from, std::int32_t to) {
    addStep(from, to, [this](std::int32_t v) -> ValueTime& { return entry(v); });
}

void CQuantityProfile::addValue(std::int32_t value, std::int64_t time) {
    follow(value, time, [this](std::int32_t v) -> ValueTime& { return entry(v); });
}

void CValueWindow::flush() {
    if (!profile_)
        return;
    for (std::int64_t slot = 0; slot < kSize; ++slot) {
        if (!used_[slot])
            continue;
        ValueTime& entry = profile_->entry(static_cast<std::int32_t>(low_ + slot));
        entry.rises += slots_[slot].rises;
        entry.falls += slots_[slot].falls;
        entry.seconds += slots_[slot].seconds;
        slots_[slot] = ValueTime{};
        used_[slot] = false;
    }
    profile_ = nullptr;
}

void CQuantityProfile::merge(const CQuantityProfile& other) {
    if (!other.any_)
        return;
    if (!any_) {
        *this = other;
        return;
    }
    std::vector<ValueTime> merged;
    merged.reserve(values_.size() + other.values_.size());
    auto a = values_.begin();
    auto b = other.values_.begin();
    while (a != values_.end() || b != other.values_.end()) {
        if (b == other.values_.end() || (a != values_.end() && a->value < b->value)) {
            merged.push_back(*a++);
        } else if (a == values_.end() || b->value < a->value) {
            merged.push_back(*b++);
        } else {
            ValueTime sum = *a++;
            sum.rises += b->rises;
            sum.falls += b->falls;
            sum.seconds += b->seconds;
            ++b;
            merged.push_back(sum);
        }
    }
    values_ = std::move(merged);
    hint_ = 0;
    if (lastTime_ <= other.firstTime_) {
        addStep(last_, other.first_);
        last_ = other.last_;
        lastTime_ = other.lastTime_;
    } else if (other.lastTime_ <= firstTime_) {
        addStep(other.last_, first_);
        first_ = other.first_;
        firstTime_ = other.firstTime_;
    } else {
        // Interleaved (files that overlap in time): no step joins them.
        if (other.firstTime_ < firstTime_) {
            first_ = other.first_;
            firstTime_ = other.firstTime_;
        }
        if (other.lastTime_ > lastTime_) {
            last_ = other.last_;
            lastTime_ = other.lastTime_;
        }
    }
}

std::int64_t CQuantityProfile::secondsAbove(std::int32_t limit) const {
    std::int64_t seconds = 0;
    for (const ValueTime& entry : values_)
        seconds += past(entry.value, limit, true) ? entry.seconds : 0;
    return seconds;
}

std::int64_t CQuantityProfile::secondsBelow(std::int32_t limit) const {
    std::int64_t seconds = 0;
    for (const ValueTime& entry : values_)
        seconds += past(entry.value, limit, false) ? entry.seconds : 0;
    return seconds;
}

// A rise from a to b passes the upper limit when 10 a <= limit < 10 b: the +1 at a counts and the -1 at b does not.
std::uint32_t CQuantityProfile::excursionsAbove(std::int32_t limit) const {
    std::int64_t count = any_ && past(first_, limit, true) ? 1 : 0;
    for (const ValueTime& entry : values_)
        count += past(entry.value, limit, true) ? 0 : entry.rises;
    return static_cast<std::uint32_t>(std::max<std::int64_t>(0, count));
}

// A fall from a to b passes the lower limit when 10 b < limit <= 10 a.
std::uint32_t CQuantityProfile::excursionsBelow(std::int32_t limit) const {
    std::int64_t count = any_ && past(first_, limit, false) ? 1 : 0;
    for (const ValueTime& entry : values_)
        count += past(entry.value, limit, false) ? entry.falls : 0;
    return static_cast<std::uint32_t>(std::max<std::int64_t>(0, count));
}

// MKT = (ΔH/R) / -ln(sum(t_i exp(-ΔH/(R T_i))) / sum(t_i)), in kelvin. The exponentials are taken relative to the
// warmest value's, so that no sum underflows however large ΔH is.
bool CQuantityProfile::meanKinetic(double activation, double& celsius) const {
    double total = 0, warmest = 0;
    for (const ValueTime& entry : values_) {
        if (entry.seconds > 0) {
            total += static_cast<double>(entry.seconds);
            warmest = entry.value / 10.0 + 273.15;
        }
    }
    if (total <= 0 || !(activation > 0))
        return false;
    double sum = 0;
    for (const ValueTime& entry : values_) {
        if (entry.seconds > 0) {
            const double kelvin = entry.value / 10.0 + 273.15;
            sum += static_cast<double>(entry.seconds) * std::exp(activation * (1 / warmest - 1 / kelvin));
        }
    }
    celsius = activation / (activation / warmest - std::log(sum / total)) - 273.15;
    return std::isfinite(celsius);
}

void DayProfile::merge(const DayProfile& other) {
    temperature.merge(other.temperature);
    humidity.merge(other.humidity);
}

bool CRecordDurations::pending(Sample& sample, std::int64_t& seconds) const {
    if (!haveLast_ || (holding_ && !haveHeld_))
        return false;
    sample = last_;
    seconds = durationOf(haveIn_, in_, false, 0);
    return true;
}

void CStepCounts::count(std::int64_t step, std::uint64_t times) {
    for (auto& entry : counts_) {
        if (entry.first == step) {
            entry.second += times;
            return;
        }
    }
    if (counts_.size() < kMaxStepLengths)
        counts_.push_back({step, times});
}

void CStepCounts::merge(const CStepCounts& other) {
    for (const auto& entry : other.counts_)
        count(entry.first, entry.second);
    if (other.runCount_ > 0)
        count(other.runStep_, other.runCount_);
}

std::int64_t CStepCounts::mostCommon() const {
    std::int64_t best = 0;
    std::uint64_t bestCount = 0;
    const auto consider = [&](std::int64_t step, std::uint64_t times) {
        if (times > bestCount || (times == bestCount && step < best)) {
            best = step;
            bestCount = times;
        }
    };
    for (const auto& entry : counts_)
        consider(entry.first, entry.second + (entry.first == runStep_ ? runCount_ : 0));
    const bool runCounted =
        std::any_of(counts_.begin(), counts_.end(), [this](const auto& entry) { return entry.first == runStep_; });
    if (runCount_ > 0 && !runCounted)
        consider(runStep_, runCount_);
    return best;
}
