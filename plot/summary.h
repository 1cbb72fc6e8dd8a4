#pragma once

#include "recording/hxg_reader.h"

#include <cstdint>
#include <limits>
#include <vector>

// A record as the grapher keeps it: seconds of local time and both values in tenths (the file stores exactly one
// decimal, so tenths are exact).
struct Sample {
    std::int64_t time = 0;
    bool hasTemperature = false;
    bool hasHumidity = false;
    std::int32_t temperature = 0;
    std::int32_t humidity = 0;
};

Sample sampleOf(const HxgRecord& record);

// Minimum, maximum, count and sum of one quantity's values in tenths.
struct Aggregate {
    std::int32_t min = std::numeric_limits<std::int32_t>::max();
    std::int32_t max = std::numeric_limits<std::int32_t>::min();
    std::uint32_t count = 0;
    std::int64_t sum = 0;

    void add(std::int32_t value);
    void merge(const Aggregate& other);
};

// The records of one fixed stretch of time. `records` counts them all, with or without values, so that a stretch
// whose records carry no value is told apart from one without records.
struct Bucket {
    std::int64_t index = 0;
    std::uint32_t records = 0;
    Aggregate temperature;
    Aggregate humidity;

    void add(const Sample& sample);
    void merge(const Bucket& other);
};

// The finest stretch of the summary. Finer views read the few records they show from the file again.
constexpr std::int64_t kBucketSeconds = 60;
constexpr int kFanoutBits = 3; // each level's buckets span 8 of the level below
constexpr int kLevels = 8;     // the coarsest spans 60 s * 8^7, about 4 years

std::int64_t bucketOf(std::int64_t time);

// Min/max/sum pyramid over fixed time buckets, built in one pass in any record order. Level 0 holds one bucket per
// minute that has records; level L one per 8^L minutes. Only buckets with records exist, so weeks without records
// cost nothing. Upper levels are brought up to date from the first changed level-0 bucket on.
class CSummary {
public:
    void add(const Sample& sample);
    // Adds every bucket of `other` (a summary of other records, such as another part of the same file).
    void merge(const CSummary& other);
    // Brings the upper levels up to date; queries of upper levels need it after adds.
    void refresh();

    const std::vector<Bucket>& level(int n) const { return levels_[static_cast<std::size_t>(n)]; }
    std::int64_t seconds(int n) const { return kBucketSeconds << (kFanoutBits * n); }
    // Index range [first, last) of level n's buckets that start within [t0, t1).
    std::pair<std::size_t, std::size_t> range(int n, std::int64_t t0, std::int64_t t1) const;
    // The buckets of level 0 from `b0` to `b1` (indices, inclusive) combined through the coarsest levels that fit.
    Bucket combine(std::int64_t b0, std::int64_t b1) const;
    std::size_t memoryBytes() const;
    bool empty() const { return levels_[0].empty(); }

private:
    void addBucket(const Bucket& bucket);
    void addLevelRange(int n, std::int64_t first, std::int64_t last, Bucket& into) const;

    std::vector<Bucket> levels_[kLevels];
    std::size_t dirtyFrom_ = 0; // level-0 position from which the upper levels are stale
    bool dirty_ = false;
};

// Where the records of one level-0 bucket start in a file: a new entry wherever a record's bucket differs from
// the one before, so each entry's records run up to the next entry.
struct FileSpan {
    std::int64_t bucket = 0;
    std::uint64_t offset = 0;
};

// The first position at or after `from` in `bytes` (which start at a record boundary or anywhere) where the
// sequential reading of a whole file is certain to begin a record: the stored marker three bytes before it, and no
// marker in the two bytes before that (which would make it a check byte). Returns bytes.size() when none is found.
std::size_t findRecordStart(std::string_view bytes, std::size_t from);

// The reading of one file (or one part of it, from a record boundary `base` on) into a summary and the file's
// span index, fed in chunks. It keeps only the scanner's constant state, so a growing file is fed its new bytes.
class CFileScan {
public:
    CFileScan(CSummary& summary, std::uint64_t base);
    CFileScan(const CFileScan&) = delete;
    CFileScan& operator=(const CFileScan&) = delete;

    void feed(std::string_view bytes) { scanner_.feed(bytes); }
    // Takes over what `earlier` read, the part of the file that ends where this one began (its summary is merged
    // by the caller); this scan then stands for the file from its start.
    void prepend(const CFileScan& earlier);
    // Points this scan at another summary (after its part's summary was merged into it).
    void setSummary(CSummary& summary) { summary_ = &summary; }

    std::uint64_t validCount() const { return scanner_.validCount() + earlierValid_; }
    std::uint64_t damagedCount() const { return scanner_.damagedCount() + earlierDamaged_; }
    // File offset up to which bytes have been fed, and up to which whole records lie.
    std::uint64_t fedTo() const { return base_ + scanner_.bytesFed(); }
    std::uint64_t recordsEnd() const { return fedTo() - scanner_.pendingBytes(); }
    const std::vector<FileSpan>& spans() const { return spans_; }
    bool ordered() const { return ordered_; }
    // Smallest positive step between consecutive records, 0 while there is none.
    std::int64_t smallestStep() const { return smallestStep_; }
    bool haveTimes() const { return haveTimes_; }
    std::int64_t firstTime() const { return firstTime_; }
    std::int64_t lastTime() const { return lastTime_; }
    std::int64_t minTime() const { return minTime_; }
    std::int64_t maxTime() const { return maxTime_; }

private:
    void take(const HxgEntry& entry);
    void noteTime(std::int64_t time);

    CSummary* summary_;
    std::uint64_t base_;
    CHxgScanner scanner_;
    std::uint64_t earlierValid_ = 0;
    std::uint64_t earlierDamaged_ = 0;
    std::vector<FileSpan> spans_;
    bool ordered_ = true;
    bool haveTimes_ = false;
    std::int64_t firstTime_ = 0, lastTime_ = 0, minTime_ = 0, maxTime_ = 0;
    std::int64_t smallestStep_ = 0;
};
