#include "plot/summary.h"

#include "plot/time_axis.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr unsigned char kStoredMarker = 0xC0;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

std::int32_t tenths(double value) {
    return static_cast<std::int32_t>(std::llround(value * 10));
}

std::vector<Bucket>::const_iterator lowerBound(const std::vector<Bucket>& level, std::int64_t index) {
    return std::lower_bound(level.begin(), level.end(), index,
                            [](const Bucket& bucket, std::int64_t i) { return bucket.index < i; });
}

} // namespace

Sample sampleOf(const HxgRecord& record) {
    Sample sample;
    sample.time = civilSeconds(record.time);
    sample.hasTemperature = record.hasTemperature;
    sample.hasHumidity = record.hasHumidity;
    sample.temperature = record.hasTemperature ? tenths(record.temperature) : 0;
    sample.humidity = record.hasHumidity ? tenths(record.humidity) : 0;
    return sample;
}

void Aggregate::add(std::int32_t value) {
    min = std::min(min, value);
    max = std::max(max, value);
    ++count;
    sum += value;
}

void Aggregate::merge(const Aggregate& other) {
    min = std::min(min, other.min);
    max = std::max(max, other.max);
    count += other.count;
    sum += other.sum;
}

void Bucket::add(const Sample& sample) {
    ++records;
    if (sample.hasTemperature)
        temperature.add(sample.temperature);
    if (sample.hasHumidity)
        humidity.add(sample.humidity);
}

void Bucket::merge(const Bucket& other) {
    records += other.records;
    temperature.merge(other.temperature);
    humidity.merge(other.humidity);
}

std::int64_t bucketOf(std::int64_t time) {
    return floorDiv(time, kBucketSeconds);
}

void CSummary::add(const Sample& sample) {
    Bucket bucket;
    bucket.index = bucketOf(sample.time);
    bucket.add(sample);
    addBucket(bucket);
}

// Records nearly always come in time order, so the common case is the last bucket or a new one after it.
void CSummary::addBucket(const Bucket& bucket) {
    auto& level0 = levels_[0];
    std::size_t position = level0.size();
    if (!level0.empty() && bucket.index <= level0.back().index)
        position = static_cast<std::size_t>(lowerBound(level0, bucket.index) - level0.begin());
    if (position < level0.size() && level0[position].index == bucket.index)
        level0[position].merge(bucket);
    else if (position == level0.size())
        level0.push_back(bucket);
    else
        level0.insert(level0.begin() + static_cast<std::ptrdiff_t>(position), bucket);
    dirtyFrom_ = dirty_ ? std::min(dirtyFrom_, position) : position;
    dirty_ = true;
}

void CSummary::merge(const CSummary& other) {
    for (const Bucket& bucket : other.levels_[0])
        addBucket(bucket);
}

// Only the parents from the first changed bucket on are rebuilt: for a growing file that is one bucket a level.
void CSummary::refresh() {
    if (!dirty_)
        return;
    std::size_t childFrom = dirtyFrom_;
    for (int n = 1; n < kLevels; ++n) {
        const auto& children = levels_[n - 1];
        auto& parents = levels_[n];
        if (childFrom >= children.size())
            break;
        const std::int64_t parentIndex = children[childFrom].index >> kFanoutBits;
        const auto parentFrom = static_cast<std::size_t>(lowerBound(parents, parentIndex) - parents.begin());
        parents.erase(parents.begin() + static_cast<std::ptrdiff_t>(parentFrom), parents.end());
        auto child = lowerBound(children, parentIndex << kFanoutBits);
        for (; child != children.end(); ++child) {
            const std::int64_t index = child->index >> kFanoutBits;
            if (parents.empty() || parents.back().index != index) {
                Bucket parent;
                parent.index = index;
                parents.push_back(parent);
            }
            parents.back().merge(*child);
        }
        childFrom = parentFrom;
    }
    dirty_ = false;
}

std::pair<std::size_t, std::size_t> CSummary::range(int n, std::int64_t t0, std::int64_t t1) const {
    const auto& level = levels_[n];
    const std::int64_t width = seconds(n);
    const auto first = lowerBound(level, floorDiv(t0 + width - 1, width));
    const auto last = lowerBound(level, floorDiv(t1 + width - 1, width));
    return {static_cast<std::size_t>(first - level.begin()),
            static_cast<std::size_t>(std::max(first, last) - level.begin())};
}

void CSummary::addLevelRange(int n, std::int64_t first, std::int64_t last, Bucket& into) const {
    const auto& level = levels_[n];
    for (auto it = lowerBound(level, first); it != level.end() && it->index < last; ++it)
        into.merge(*it);
}

// Each level takes the ragged ends that its parent cannot cover whole, so a range of any length costs at most
// 14 buckets a level.
Bucket CSummary::combine(std::int64_t b0, std::int64_t b1) const {
    Bucket result;
    std::int64_t first = b0;
    std::int64_t last = b1 + 1;
    const std::int64_t fanout = std::int64_t{1} << kFanoutBits;
    for (int n = 0; n < kLevels && first < last; ++n) {
        const std::int64_t alignedFirst = floorDiv(first + fanout - 1, fanout) * fanout;
        const std::int64_t alignedLast = floorDiv(last, fanout) * fanout;
        if (n == kLevels - 1 || alignedFirst >= alignedLast) {
            addLevelRange(n, first, last, result);
            break;
        }
        addLevelRange(n, first, alignedFirst, result);
        addLevelRange(n, alignedLast, last, result);
        first = alignedFirst / fanout;
        last = alignedLast / fanout;
    }
    return result;
}

std::size_t CSummary::memoryBytes() const {
    std::size_t bytes = 0;
    for (const auto& level : levels_)
        bytes += level.capacity() * sizeof(Bucket);
    return bytes;
}

std::size_t findRecordStart(std::string_view bytes, std::size_t from) {
    for (std::size_t at = std::max<std::size_t>(from, 5); at <= bytes.size(); ++at) {
        if (static_cast<unsigned char>(bytes[at - 3]) == kStoredMarker &&
            static_cast<unsigned char>(bytes[at - 4]) != kStoredMarker &&
            static_cast<unsigned char>(bytes[at - 5]) != kStoredMarker) {
            return at;
        }
    }
    return bytes.size();
}

CFileScan::CFileScan(CSummary& summary, std::uint64_t base)
    : summary_(&summary), base_(base), scanner_([this](const HxgEntry& entry) { take(entry); }) {}

void CFileScan::take(const HxgEntry& entry) {
    if (!entry.valid)
        return;
    const Sample sample = sampleOf(entry.record);
    summary_->add(sample);
    const std::int64_t bucket = bucketOf(sample.time);
    if (spans_.empty() || spans_.back().bucket != bucket) {
        if (!spans_.empty() && bucket < spans_.back().bucket)
            ordered_ = false;
        spans_.push_back({bucket, base_ + entry.offset});
    }
    noteTime(sample.time);
}

void CFileScan::noteTime(std::int64_t time) {
    if (!haveTimes_) {
        haveTimes_ = true;
        firstTime_ = lastTime_ = minTime_ = maxTime_ = time;
        return;
    }
    const std::int64_t step = time - lastTime_;
    if (step > 0 && (smallestStep_ == 0 || step < smallestStep_))
        smallestStep_ = step;
    lastTime_ = time;
    minTime_ = std::min(minTime_, time);
    maxTime_ = std::max(maxTime_, time);
}

void CFileScan::prepend(const CFileScan& earlier) {
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

    if (!earlier.haveTimes_)
        return;
    if (!haveTimes_) {
        haveTimes_ = true;
        firstTime_ = earlier.firstTime_;
        lastTime_ = earlier.lastTime_;
        minTime_ = earlier.minTime_;
        maxTime_ = earlier.maxTime_;
        smallestStep_ = earlier.smallestStep_;
        return;
    }
    for (const std::int64_t step : {earlier.smallestStep_, firstTime_ - earlier.lastTime_}) {
        if (step > 0 && (smallestStep_ == 0 || step < smallestStep_))
            smallestStep_ = step;
    }
    firstTime_ = earlier.firstTime_;
    minTime_ = std::min(minTime_, earlier.minTime_);
    maxTime_ = std::max(maxTime_, earlier.maxTime_);
}
