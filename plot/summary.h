#pragma once

#include "base/civil_time.h"
#include "recording/hxg_reader.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <limits>
#include <vector>

// A record as the grapher keeps it: absolute seconds (see CTimeZone), the local time its stamp gave, and both
// values in tenths (the file stores exactly one decimal, so tenths are exact).
struct Sample {
    std::int64_t time = 0;
    std::int32_t temperature = 0;
    std::int32_t humidity = 0;
    std::int32_t offset = 0; // the stamp's local time minus `time`
    bool hasTemperature = false;
    bool hasHumidity = false;

    std::int64_t local() const { return time + offset; }
};

// `time` is the record's absolute time.
Sample sampleOf(const HxgRecord& record, std::int64_t time);
// ... and `local` its stamp's, civilSeconds(record.time). Inline: it is taken for every record of a file.
inline Sample sampleOf(const HxgRecord& record, std::int64_t local, std::int64_t time) {
    Sample sample;
    sample.time = time;
    sample.offset = static_cast<std::int32_t>(local - time);
    sample.hasTemperature = record.hasTemperature;
    sample.hasHumidity = record.hasHumidity;
    sample.temperature = record.hasTemperature ? record.temperatureTenths : 0;
    sample.humidity = record.hasHumidity ? record.humidityTenths : 0;
    return sample;
}

// Dew point and absolute humidity of a record that carries both values in the range where they are defined.
struct MoistAir {
    bool valid = false;
    double dewPoint = 0;
    double absoluteHumidity = 0;
};
MoistAir moistAirOf(const Sample& sample);

// Minimum (with the time it was first reached), maximum (likewise), count, sum and sum of squares of one
// quantity's values in tenths.
struct Aggregate {
    std::int32_t min = std::numeric_limits<std::int32_t>::max();
    std::int32_t max = std::numeric_limits<std::int32_t>::min();
    std::uint32_t count = 0;
    std::int64_t sum = 0;
    double squares = 0;
    std::int64_t minAt = 0;
    std::int64_t maxAt = 0;

    void add(std::int32_t value, std::int64_t time);
    void merge(const Aggregate& other);
};

// The same for the dew point (°C) and the absolute humidity (g/m3), which share their count.
struct MoistAirAggregate {
    std::uint32_t count = 0;
    float dewMin = 0, dewMax = 0, absoluteMin = 0, absoluteMax = 0;
    double dewSum = 0;
    double absoluteSum = 0;

    void add(const MoistAir& air);
    void merge(const MoistAirAggregate& other);
};

// The records of one stretch of time. `records` counts them all, with or without values, so that a stretch
// whose records carry no value is told apart from one without records. `first` and `last` are the times of its
// first and last record, `longestStep` the longest time between two records of it that follow each other.
struct Bucket {
    std::int64_t index = 0;
    std::uint32_t records = 0;
    std::uint32_t longestStep = 0;
    std::int64_t first = 0;
    std::int64_t last = 0;
    Aggregate temperature;
    Aggregate humidity;
    MoistAirAggregate moistAir;

    void add(const Sample& sample) { add(sample, moistAirOf(sample)); }
    void add(const Sample& sample, const MoistAir& air);
    // Buckets merge in time order; one that overlaps this one in time (records of another file) adds no step.
    void merge(const Bucket& other);
};

// Inline, as these are added to for every record of a file.

inline void Aggregate::add(std::int32_t value, std::int64_t time) {
    if (value < min || (value == min && time < minAt)) {
        min = value;
        minAt = time;
    }
    if (value > max || (value == max && time < maxAt)) {
        max = value;
        maxAt = time;
    }
    ++count;
    sum += value;
    squares += static_cast<double>(value) * value;
}

inline void MoistAirAggregate::add(const MoistAir& air) {
    if (!air.valid)
        return;
    const auto dew = static_cast<float>(air.dewPoint), absolute = static_cast<float>(air.absoluteHumidity);
    dewMin = count ? std::min(dewMin, dew) : dew;
    dewMax = count ? std::max(dewMax, dew) : dew;
    absoluteMin = count ? std::min(absoluteMin, absolute) : absolute;
    absoluteMax = count ? std::max(absoluteMax, absolute) : absolute;
    ++count;
    dewSum += air.dewPoint;
    absoluteSum += air.absoluteHumidity;
}

inline void Bucket::add(const Sample& sample, const MoistAir& air) {
    if (records == 0) {
        first = last = sample.time;
    } else if (sample.time >= last) {
        longestStep =
            std::max(longestStep, static_cast<std::uint32_t>(std::min<std::int64_t>(sample.time - last, UINT32_MAX)));
        last = sample.time;
    } else {
        first = std::min(first, sample.time);
    }
    ++records;
    if (sample.hasTemperature)
        temperature.add(sample.temperature, sample.time);
    if (sample.hasHumidity)
        humidity.add(sample.humidity, sample.time);
    moistAir.add(air);
}

// The finest stretch of the summary. Finer views read the few records they show from the file again.
constexpr std::int64_t kBucketSeconds = 60;
constexpr int kFanoutBits = 3; // each level's buckets span 8 of the level below
constexpr int kLevels = 8;     // the coarsest spans 60 s * 8^7, about 4 years

inline std::int64_t bucketOf(std::int64_t time) {
    return floorDiv(time, kBucketSeconds);
}

// Min/max/sum pyramid over fixed time buckets, built in one pass in any record order. Level 0 holds one bucket per
// minute that has records; level L one per 8^L minutes. Only buckets with records exist, so weeks without records
// cost nothing. Upper levels are brought up to date from the first changed level-0 bucket on.
class CSummary {
public:
    // A deque: a year of minutes grows without the copies (and the doubled memory) of a vector's reallocation.
    using Level = std::deque<Bucket>;

    // Records nearly always come in time order: most go into the newest bucket, which is then the first changed.
    void add(const Sample& sample, const MoistAir& air) {
        Level& level0 = levels_[0];
        const std::int64_t index = bucketOf(sample.time);
        if (level0.empty() || level0.back().index != index) {
            addNew(sample, air, index);
            return;
        }
        level0.back().add(sample, air);
        newestChanged_ = true;
    }
    // Adds every bucket of `other` (a summary of other records, such as another part of the same file).
    void merge(const CSummary& other);
    // Brings the upper levels up to date; queries of upper levels need it after adds.
    void refresh();

    const Level& level(int n) const { return levels_[static_cast<std::size_t>(n)]; }
    std::int64_t seconds(int n) const { return kBucketSeconds << (kFanoutBits * n); }
    // Index range [first, last) of level n's buckets that start within [t0, t1).
    std::pair<std::size_t, std::size_t> range(int n, std::int64_t t0, std::int64_t t1) const;
    // The buckets of level 0 from `b0` to `b1` (indices, inclusive) combined, in time order, through the coarsest
    // levels that fit.
    Bucket combine(std::int64_t b0, std::int64_t b1) const;
    // The last record before bucket `b` and the first after it (level 0); false when there is none.
    bool lastBefore(std::int64_t b, std::int64_t& time) const;
    bool firstAfter(std::int64_t b, std::int64_t& time) const;
    std::size_t memoryBytes() const;
    // Gives back what the levels hold beyond their buckets (after a file has been read whole).
    void compact();
    bool empty() const { return levels_[0].empty(); }

private:
    void addNew(const Sample& sample, const MoistAir& air, std::int64_t index);
    void addBucket(const Bucket& bucket);
    void markDirty(std::size_t position);
    void noteNewestChanged();
    void addLevelRange(int n, std::int64_t first, std::int64_t last, Bucket& into) const;

    Level levels_[kLevels];
    std::size_t dirtyFrom_ = 0; // level-0 position from which the upper levels are stale
    bool dirty_ = false;
    // The newest level-0 bucket changed since dirtyFrom_ was last brought up to date: noted per record, where a
    // deque's position of its last element would cost more than the record's counting.
    bool newestChanged_ = false;
};
