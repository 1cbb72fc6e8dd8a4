#include "plot/summary.h"

#include "base/civil_time.h"
#include "plot/moist_air.h"
#include "plot/time_axis.h"

#include <algorithm>

namespace {

CSummary::Level::const_iterator lowerBound(const CSummary::Level& level, std::int64_t index) {
    return std::lower_bound(level.begin(), level.end(), index,
                            [](const Bucket& bucket, std::int64_t i) { return bucket.index < i; });
}

} // namespace

Sample sampleOf(const HxgRecord& record, std::int64_t time) {
    return sampleOf(record, civilSeconds(record.time), time);
}

MoistAir moistAirOf(const Sample& sample) {
    MoistAir air;
    const double temperature = sample.temperature / 10.0, humidity = sample.humidity / 10.0;
    if (sample.hasTemperature && sample.hasHumidity && moistAirDefined(temperature, humidity)) {
        air.valid = true;
        air.dewPoint = dewPoint(temperature, humidity);
        air.absoluteHumidity = absoluteHumidity(temperature, humidity);
    }
    return air;
}

void Aggregate::merge(const Aggregate& other) {
    if (other.count == 0)
        return;
    if (other.min < min || (other.min == min && other.minAt < minAt)) {
        min = other.min;
        minAt = other.minAt;
    }
    if (other.max > max || (other.max == max && other.maxAt < maxAt)) {
        max = other.max;
        maxAt = other.maxAt;
    }
    count += other.count;
    sum += other.sum;
    squares += other.squares;
}

void MoistAirAggregate::merge(const MoistAirAggregate& other) {
    if (other.count == 0)
        return;
    dewMin = count ? std::min(dewMin, other.dewMin) : other.dewMin;
    dewMax = count ? std::max(dewMax, other.dewMax) : other.dewMax;
    absoluteMin = count ? std::min(absoluteMin, other.absoluteMin) : other.absoluteMin;
    absoluteMax = count ? std::max(absoluteMax, other.absoluteMax) : other.absoluteMax;
    count += other.count;
    dewSum += other.dewSum;
    absoluteSum += other.absoluteSum;
}

void Bucket::merge(const Bucket& other) {
    if (other.records == 0)
        return;
    if (records == 0) {
        const std::int64_t keep = index;
        *this = other;
        index = keep;
        return;
    }
    std::int64_t step = 0;
    if (last <= other.first)
        step = other.first - last;
    else if (other.last <= first)
        step = first - other.last;
    longestStep = std::max(
        {longestStep, other.longestStep, static_cast<std::uint32_t>(std::min<std::int64_t>(step, UINT32_MAX))});
    first = std::min(first, other.first);
    last = std::max(last, other.last);
    records += other.records;
    temperature.merge(other.temperature);
    humidity.merge(other.humidity);
    moistAir.merge(other.moistAir);
}

void CSummary::addNew(const Sample& sample, const MoistAir& air, std::int64_t index) {
    Bucket bucket;
    bucket.index = index;
    bucket.add(sample, air);
    addBucket(bucket);
}

void CSummary::markDirty(std::size_t position) {
    dirtyFrom_ = dirty_ ? std::min(dirtyFrom_, position) : position;
    dirty_ = true;
}

void CSummary::noteNewestChanged() {
    if (newestChanged_)
        markDirty(levels_[0].size() - 1);
    newestChanged_ = false;
}

// Records nearly always come in time order, so the common case is the last bucket or a new one after it.
void CSummary::addBucket(const Bucket& bucket) {
    noteNewestChanged();
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
    markDirty(position);
}

void CSummary::merge(const CSummary& other) {
    for (const Bucket& bucket : other.levels_[0])
        addBucket(bucket);
}

// Only the parents from the first changed bucket on are rebuilt: for a growing file that is one bucket a level.
void CSummary::refresh() {
    noteNewestChanged();
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
        // Multiplied, not shifted: the minutes before 1970 have negative indices.
        auto child = lowerBound(children, parentIndex * (std::int64_t{1} << kFanoutBits));
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
// 14 buckets a level. The left ends are taken on the way up and the right ones on the way down, so the buckets are
// merged in time order and the steps between them are the steps between consecutive records.
Bucket CSummary::combine(std::int64_t b0, std::int64_t b1) const {
    Bucket result;
    std::int64_t first = b0;
    std::int64_t last = b1 + 1;
    const std::int64_t fanout = std::int64_t{1} << kFanoutBits;
    struct Part {
        int level;
        std::int64_t first, last;
    };
    Part right[kLevels];
    int rights = 0;
    for (int n = 0; n < kLevels && first < last; ++n) {
        const std::int64_t alignedFirst = floorDiv(first + fanout - 1, fanout) * fanout;
        const std::int64_t alignedLast = floorDiv(last, fanout) * fanout;
        if (n == kLevels - 1 || alignedFirst >= alignedLast) {
            addLevelRange(n, first, last, result);
            break;
        }
        addLevelRange(n, first, alignedFirst, result);
        right[rights++] = {n, alignedLast, last};
        first = alignedFirst / fanout;
        last = alignedLast / fanout;
    }
    while (rights > 0) {
        const Part& part = right[--rights];
        addLevelRange(part.level, part.first, part.last, result);
    }
    return result;
}

bool CSummary::lastBefore(std::int64_t b, std::int64_t& time) const {
    const auto& level0 = levels_[0];
    const auto at = lowerBound(level0, b);
    if (at == level0.begin())
        return false;
    time = (at - 1)->last;
    return true;
}

bool CSummary::firstAfter(std::int64_t b, std::int64_t& time) const {
    const auto& level0 = levels_[0];
    const auto at = lowerBound(level0, b + 1);
    if (at == level0.end())
        return false;
    time = at->first;
    return true;
}

void CSummary::compact() {
    for (auto& level : levels_)
        level.shrink_to_fit();
}

std::size_t CSummary::memoryBytes() const {
    std::size_t bytes = 0;
    for (const auto& level : levels_)
        bytes += level.size() * sizeof(Bucket);
    return bytes;
}
