#pragma once

#include "plot/day_profile.h"
#include "plot/summary.h"
#include "plot/time_zone.h"

#include <cstdint>
#include <string_view>
#include <vector>

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

// Dew point and absolute humidity of the values met lately: consecutive records mostly repeat them, and a
// logarithm and an exponential a record would cost a tenth of the reading. The table is small enough to stay in the
// processor's first-level cache beside the rest of the reading (at 40 kB it was not, and perf put its look-up first
// among the lines of a record's counting).
class CMoistAirCache {
public:
    MoistAir of(const Sample& sample);

private:
    // No tenths are INT32_MIN (values are held at ±(2^31 - 1)): an entry of that temperature is empty.
    struct Entry {
        std::int32_t temperature = INT32_MIN, humidity = 0;
        double dewPoint = 0, absoluteHumidity = 0;
        bool valid = false;
    };
    Entry entries_[512];
};

// The reading of one file (or one part of it, from a record boundary `base` on) into a summary, the file's span
// index and its day profiles, fed in chunks. It keeps only constant state besides them, so a growing file is fed
// its new bytes.
class CFileScan {
public:
    CFileScan(CSummary& summary, std::uint64_t base, const CTimeZone& zone);
    CFileScan(const CFileScan&) = delete;
    CFileScan& operator=(const CFileScan&) = delete;

    void feed(std::string_view bytes);
    // Takes over what `earlier` read, the part of the file that ends where this one began (its summary is merged
    // by the caller); this scan then stands for the file from its start.
    void prepend(CFileScan& earlier);
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
    // Every step between consecutive records, for the recording interval.
    const CStepCounts& steps() const { return steps_; }
    bool haveTimes() const { return haveTimes_; }
    std::int64_t firstTime() const { return firstTime_; }
    std::int64_t lastTime() const { return lastTime_; }
    std::int64_t minTime() const { return minTime_; }
    std::int64_t maxTime() const { return maxTime_; }
    // The day profiles (by day) hold every record's time but the newest one's, which `durations` gives.
    const std::vector<DayProfile>& days() const { return days_; }
    const CRecordDurations& durations() const { return durations_; }

private:
    // Inlined by force into both ways a record is read, as GCC kept it a call.
    [[gnu::always_inline]] inline void take(std::uint64_t offset, const HxgRecord& record);
    // Inlined by force into the reading of each record, as GCC kept it a call.
    [[gnu::always_inline]] inline void noteTime(std::int64_t time);
    DayProfile& dayOf(std::int64_t day) { return current_ && current_->day == day ? *current_ : findDay(day); }
    DayProfile& findDay(std::int64_t day);
    void addTime(const Sample& sample, std::int64_t seconds);
    void flushWindows();

    CSummary* summary_;
    std::uint64_t base_;
    CTimeResolver resolver_;
    CHxgScanner scanner_;
    CHxgParser parser_;
    std::uint64_t earlierValid_ = 0;
    std::uint64_t earlierDamaged_ = 0;
    std::vector<FileSpan> spans_;
    bool ordered_ = true;
    bool haveTimes_ = false;
    std::int64_t firstTime_ = 0, lastTime_ = 0, minTime_ = 0, maxTime_ = 0;
    std::int64_t smallestStep_ = 0;
    CStepCounts steps_;
    std::vector<DayProfile> days_;
    DayProfile* current_ = nullptr; // the day found last
    CRecordDurations durations_;
    CMoistAirCache air_;
    // The minute of the last record's stamp, its local time and its local day: a file has some sixty records a
    // minute, and the calendar arithmetic is done once for them.
    bool haveMinute_ = false;
    LocalTime minute_;
    std::int64_t minuteLocal_ = 0;
    std::int64_t minuteDay_ = 0;
    std::int64_t lastDay_ = 0; // the local day of the last record
    CValueWindow temperatureWindow_;
    CValueWindow humidityWindow_;
};
