#include "plot/file_scan.h"

#include "plot/time_axis.h"

#include <algorithm>

std::size_t findRecordStart(std::string_view bytes, std::size_t from) {
    for (std::size_t at = std::max<std::size_t>(from, 5); at <= bytes.size(); ++at) {
        if (static_cast<unsigned char>(bytes[at - 3]) == kHxgStoredMarker &&
            static_cast<unsigned char>(bytes[at - 4]) != kHxgStoredMarker &&
            static_cast<unsigned char>(bytes[at - 5]) != kHxgStoredMarker) {
            return at;
        }
    }
    return bytes.size();
}

MoistAir CMoistAirCache::of(const Sample& sample) {
    if (!sample.hasTemperature || !sample.hasHumidity)
        return {};
    const auto slot =
        (static_cast<std::uint32_t>(sample.temperature) * 40503u + static_cast<std::uint32_t>(sample.humidity)) %
        (sizeof entries_ / sizeof entries_[0]);
    Entry& entry = entries_[slot];
    if (entry.temperature != sample.temperature || entry.humidity != sample.humidity) {
        const MoistAir air = moistAirOf(sample);
        entry.temperature = sample.temperature;
        entry.humidity = sample.humidity;
        entry.dewPoint = air.dewPoint;
        entry.absoluteHumidity = air.absoluteHumidity;
        entry.valid = air.valid;
    }
    MoistAir air;
    air.valid = entry.valid;
    air.dewPoint = entry.dewPoint;
    air.absoluteHumidity = entry.absoluteHumidity;
    return air;
}

CFileScan::CFileScan(CSummary& summary, std::uint64_t base, const CTimeZone& zone)
    : summary_(&summary), base_(base), resolver_(zone), scanner_(nullptr), durations_(base > 0) {}

DayProfile& CFileScan::findDay(std::int64_t day) {
    auto at = std::lower_bound(days_.begin(), days_.end(), day,
                               [](const DayProfile& profile, std::int64_t d) { return profile.day < d; });
    if (at == days_.end() || at->day != day) {
        // The profiles move.
        flushWindows();
        DayProfile added;
        added.day = day;
        at = days_.insert(at, std::move(added));
    }
    current_ = &*at;
    return *current_;
}

void CFileScan::flushWindows() {
    temperatureWindow_.flush();
    humidityWindow_.flush();
}

void CFileScan::addTime(const Sample& sample, std::int64_t seconds) {
    if (!sample.hasTemperature && !sample.hasHumidity)
        return;
    DayProfile& day = dayOf(localDayOf(sample.local()));
    if (sample.hasTemperature)
        day.temperature.addTime(sample.temperature, seconds);
    if (sample.hasHumidity)
        day.humidity.addTime(sample.humidity, seconds);
}

inline void CFileScan::noteTime(std::int64_t time) {
    if (!haveTimes_) {
        haveTimes_ = true;
        firstTime_ = lastTime_ = minTime_ = maxTime_ = time;
        return;
    }
    const std::int64_t step = time - lastTime_;
    if (step > 0 && (smallestStep_ == 0 || step < smallestStep_))
        smallestStep_ = step;
    steps_.note(step);
    lastTime_ = time;
    minTime_ = std::min(minTime_, time);
    maxTime_ = std::max(maxTime_, time);
}

inline void CFileScan::take(std::uint64_t offset, const HxgRecord& record) {
    const LocalTime& stamp = record.time;
    if (!haveMinute_ || stamp.minute != minute_.minute || stamp.hour != minute_.hour || stamp.day != minute_.day ||
        stamp.month != minute_.month || stamp.year != minute_.year) {
        haveMinute_ = true;
        minute_ = stamp;
        minuteLocal_ = civilSeconds({stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, 0});
        minuteDay_ = localDayOf(minuteLocal_);
    }
    const std::int64_t local = minuteLocal_ + stamp.second;
    const Sample sample = sampleOf(record, local, resolver_.resolve(local));
    summary_->add(sample, air_.of(sample));
    const std::int64_t bucket = bucketOf(sample.time);
    if (spans_.empty() || spans_.back().bucket != bucket) {
        if (!spans_.empty() && bucket < spans_.back().bucket)
            ordered_ = false;
        spans_.push_back({bucket, base_ + offset});
    }
    if (sample.hasTemperature || sample.hasHumidity) {
        DayProfile& day = dayOf(minuteDay_);
        if (sample.hasTemperature)
            day.temperature.addValue(sample.temperature, sample.time, temperatureWindow_);
        if (sample.hasHumidity)
            day.humidity.addValue(sample.humidity, sample.time, humidityWindow_);
    }
    // What the durations hand out here is the record before this one.
    durations_.feed(sample, [this](const Sample& done, std::int64_t seconds) {
        if (!done.hasTemperature && !done.hasHumidity)
            return;
        DayProfile& day = dayOf(lastDay_);
        if (done.hasTemperature)
            day.temperature.addTime(done.temperature, seconds, temperatureWindow_);
        if (done.hasHumidity)
            day.humidity.addTime(done.humidity, seconds, humidityWindow_);
    });
    lastDay_ = minuteDay_;
    noteTime(sample.time);
}

// Records laid out as the one before are recognised where they start, without a search for their ends.
void CFileScan::feed(std::string_view bytes) {
    scanner_.feedRecords(
        bytes,
        [this](std::uint64_t offset, std::string_view rest) {
            HxgRecord record;
            const std::size_t length = parser_.parseKnown(rest, record);
            if (length > 0)
                take(offset, record);
            return length;
        },
        [this](std::uint64_t offset, std::uint64_t, std::string_view stored) {
            HxgRecord record;
            if (!parser_.parse(stored, record))
                return false;
            take(offset, record);
            return true;
        });
    flushWindows();
}

void CFileScan::prepend(CFileScan& earlier) {
    flushWindows();
    earlier.flushWindows();
    earlierValid_ += earlier.validCount();
    earlierDamaged_ += earlier.damagedCount();
    std::vector<FileSpan> spans = earlier.spans_;
    auto mine = spans_.begin();
    // The earlier part's last span runs on to this part's first entry; one of the same bucket adds nothing.
    if (!spans.empty() && mine != spans_.end() && mine->bucket == spans.back().bucket)
        ++mine;
    if (!spans.empty() && mine != spans_.end() && mine->bucket < spans.back().bucket)
        ordered_ = false;
    ordered_ = ordered_ && earlier.ordered_;
    spans.insert(spans.end(), mine, spans_.end());
    spans_ = std::move(spans);

    // Day profiles: a day on both sides of the seam is joined, with the step across it.
    std::vector<DayProfile> days = std::move(earlier.days_);
    for (DayProfile& day : days_) {
        const auto at = std::lower_bound(days.begin(), days.end(), day.day,
                                         [](const DayProfile& profile, std::int64_t d) { return profile.day < d; });
        if (at != days.end() && at->day == day.day)
            at->merge(day);
        else
            days.insert(at, std::move(day));
    }
    days_ = std::move(days);
    current_ = nullptr;
    durations_.follow(earlier.durations_, [this](const Sample& done, std::int64_t seconds) { addTime(done, seconds); });
    steps_.merge(earlier.steps_);

    if (!earlier.haveTimes_)
        return;
    if (!haveTimes_) {
        haveTimes_ = true;
        firstTime_ = earlier.firstTime_;
        lastTime_ = earlier.lastTime_;
        minTime_ = earlier.minTime_;
        maxTime_ = earlier.maxTime_;
        smallestStep_ = earlier.smallestStep_;
        // The durations now end at the earlier part's last record, whose time the next record's gives.
        lastDay_ = earlier.lastDay_;
        return;
    }
    steps_.note(firstTime_ - earlier.lastTime_);
    for (const std::int64_t step : {earlier.smallestStep_, firstTime_ - earlier.lastTime_}) {
        if (step > 0 && (smallestStep_ == 0 || step < smallestStep_))
            smallestStep_ = step;
    }
    firstTime_ = earlier.firstTime_;
    minTime_ = std::min(minTime_, earlier.minTime_);
    maxTime_ = std::max(maxTime_, earlier.maxTime_);
}
