#pragma once

#include "plot/summary.h"

#include <cstdint>
#include <vector>

// One value of a quantity within a stretch of records: how long the records carrying it lasted, and where the
// steps between consecutive values start and end at it, so that excursions past any limit can be counted later.
struct ValueTime {
    std::int32_t value = 0;
    std::int32_t rises = 0; // +1 where a rise starts at this value, -1 where one ends
    std::int32_t falls = 0; // +1 where a fall ends at this value, -1 where one starts
    std::int64_t seconds = 0;
};

// What a stretch of one quantity's values (a calendar day, or the records read for a part of one) holds beyond
// the summary: the time spent at each value, which gives the mean kinetic temperature for any activation energy
// and the time past any limit, and the steps between consecutive values, which give the excursions past any
// limit. Limits are in hundredths (a limit may have two decimals, values have one).
class CValueWindow;

class CQuantityProfile {
public:
    void addTime(std::int32_t value, std::int64_t seconds);
    // The next value in the order of the readings (file order); it is paired with the one before.
    void addValue(std::int32_t value, std::int64_t time);
    // The same, counted in `window` until it is flushed.
    void addTime(std::int32_t value, std::int64_t seconds, CValueWindow& window);
    void addValue(std::int32_t value, std::int64_t time, CValueWindow& window);
    // Joins another stretch: the step between the two is counted when one follows the other.
    void merge(const CQuantityProfile& other);

    bool any() const { return any_; }
    const std::vector<ValueTime>& values() const { return values_; }
    std::int64_t secondsAbove(std::int32_t limit) const;
    std::int64_t secondsBelow(std::int32_t limit) const;
    // A stretch that starts past the limit counts as one excursion.
    std::uint32_t excursionsAbove(std::int32_t limit) const;
    std::uint32_t excursionsBelow(std::int32_t limit) const;
    // In °C, each value weighted by its time; false when no time is known. `activation` is ΔH / R in kelvin.
    bool meanKinetic(double activation, double& celsius) const;

private:
    friend class CValueWindow;
    ValueTime& entry(std::int32_t value);
    // `at(value)` gives the counts of a value.
    template <typename At> static void addStep(std::int32_t from, std::int32_t to, At&& at);
    template <typename At> void follow(std::int32_t value, std::int64_t time, At&& at);
    void addStep(std::int32_t from, std::int32_t to);

    std::vector<ValueTime> values_; // by value
    std::size_t hint_ = 0;          // consecutive readings mostly share or neighbour a value
    bool any_ = false;
    std::int32_t first_ = 0, last_ = 0;
    std::int64_t firstTime_ = 0, lastTime_ = 0;
};

// The counts of one profile's values near the recent ones, in an array indexed by value, where a count is an
// addition instead of a search of the profile's sorted values (six searches a record were a sixth of the reading of a
// large file). They reach the profile in one pass when flushed, which counting for another profile or a value far
// from these does first; the profile's figures are the same, as counts are sums. A profile must not move or be read
// while the window holds counts of it.
class CValueWindow {
public:
    CValueWindow() = default;
    CValueWindow(const CValueWindow&) = delete;
    CValueWindow& operator=(const CValueWindow&) = delete;

    ValueTime& at(CQuantityProfile& profile, std::int32_t value) {
        std::int64_t slot = std::int64_t{value} - low_;
        if (&profile != profile_ || slot < 0 || slot >= kSize) {
            flush();
            profile_ = &profile;
            low_ = std::int64_t{value} - kSize / 2;
            slot = kSize / 2;
        }
        used_[slot] = true;
        return slots_[slot];
    }
    void flush();

private:
    static constexpr std::int64_t kSize = 256; // 25.6 °C or % either way

    CQuantityProfile* profile_ = nullptr;
    std::int64_t low_ = 0;
    ValueTime slots_[kSize] = {};
    bool used_[kSize] = {};
};

// Inline, as these are counted for every record of a file.

inline void CQuantityProfile::addTime(std::int32_t value, std::int64_t seconds, CValueWindow& window) {
    window.at(*this, value).seconds += seconds;
}

// A step from a to b counts at both.
template <typename At> void CQuantityProfile::addStep(std::int32_t from, std::int32_t to, At&& at) {
    if (from < to) {
        ++at(from).rises;
        --at(to).rises;
    } else if (from > to) {
        ++at(to).falls;
        --at(from).falls;
    }
}

// The first value has an entry of its own even before any time. Inlined by force: GCC kept it a call, whose entry
// and exit cost as much as its counting, twice a record.
template <typename At>
[[gnu::always_inline]] inline void CQuantityProfile::follow(std::int32_t value, std::int64_t time, At&& at) {
    if (!any_) {
        any_ = true;
        first_ = value;
        firstTime_ = time;
        at(value);
    } else {
        addStep(last_, value, at);
    }
    last_ = value;
    lastTime_ = time;
}

inline void CQuantityProfile::addValue(std::int32_t value, std::int64_t time, CValueWindow& window) {
    follow(value, time, [this, &window](std::int32_t v) -> ValueTime& { return window.at(*this, v); });
}

// The profiles of one local calendar day (days from 1970-01-01).
struct DayProfile {
    std::int64_t day = 0;
    CQuantityProfile temperature;
    CQuantityProfile humidity;

    void merge(const DayProfile& other);
};

std::int64_t localDayOf(std::int64_t local);

// The time each record of a file stands for: until the next record of the file; before a gap (a step more than
// three times the one before it) as long as the step before it; nothing when the next record is not later (a clock
// set back); the newest record, as long as the step before it. Fed the file's records in file order, it hands out
// each record once the next one is known. One that starts a part of a file read on its own (`holdFirst`) keeps its
// first record until the part before it is joined.
class CRecordDurations {
public:
    explicit CRecordDurations(bool holdFirst) : holding_(holdFirst) {}

    template <typename Emit> void feed(const Sample& sample, Emit&& emit) {
        if (!haveLast_) {
            haveLast_ = true;
            last_ = sample;
            return;
        }
        const std::int64_t out = sample.time - last_.time;
        if (holding_ && !haveHeld_) {
            haveHeld_ = true;
            held_ = last_;
            heldOut_ = out;
        } else {
            emit(last_, durationOf(haveIn_, in_, true, out));
        }
        haveIn_ = true;
        in_ = out;
        last_ = sample;
    }
    // Joins the part of the file that ends where this one begins: the records on both sides of the seam.
    template <typename Emit> void follow(const CRecordDurations& earlier, Emit&& emit) {
        if (!haveLast_) {
            *this = earlier;
            return;
        }
        const Sample& first = haveHeld_ ? held_ : last_;
        if (earlier.haveLast_) {
            const std::int64_t seam = first.time - earlier.last_.time;
            emit(earlier.last_, durationOf(earlier.haveIn_, earlier.in_, true, seam));
            if (haveHeld_)
                emit(held_, durationOf(true, seam, true, heldOut_));
            else {
                haveIn_ = true;
                in_ = seam;
            }
        } else if (haveHeld_) {
            emit(held_, durationOf(false, 0, true, heldOut_));
        }
        holding_ = haveHeld_ = false;
    }
    // The newest record and the time it stands for while it is the newest.
    bool pending(Sample& sample, std::int64_t& seconds) const;

    static std::int64_t durationOf(bool haveIn, std::int64_t in, bool haveOut, std::int64_t out) {
        if (!haveOut)
            return haveIn && in > 0 ? in : 0;
        if (out <= 0)
            return 0;
        if (haveIn && in > 0 && out > 3 * in)
            return in;
        return out;
    }

private:
    bool haveLast_ = false;
    Sample last_;
    bool haveIn_ = false;
    std::int64_t in_ = 0;
    bool holding_;
    bool haveHeld_ = false;
    Sample held_;
    std::int64_t heldOut_ = 0;
};

// The recording interval of a file: its most common step between records.
class CStepCounts {
public:
    void note(std::int64_t step) {
        if (step <= 0)
            return;
        if (step != runStep_ && runCount_ > 0) {
            count(runStep_, runCount_);
            runCount_ = 0;
        }
        runStep_ = step;
        ++runCount_;
    }
    void merge(const CStepCounts& other);
    std::int64_t mostCommon() const;

private:
    void count(std::int64_t step, std::uint64_t times);

    std::vector<std::pair<std::int64_t, std::uint64_t>> counts_;
    // Steps come in long runs of the same value: counted here before they reach the list.
    std::int64_t runStep_ = 0;
    std::uint64_t runCount_ = 0;
};
