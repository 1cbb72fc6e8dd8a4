#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

// When a zone changes its clock, in the system's terms: with `year` 0, the `day`-th (1 to 4, 5 = the last)
// `weekday` (0 = Sunday) of `month`; otherwise that date. The time is the local time in force before the change.
struct ZoneChangeDate {
    int year = 0;
    int month = 0;
    int day = 0;
    int weekday = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// A zone's rules for one year: local time minus UTC in standard time and, when the zone keeps daylight saving
// time, in daylight time and when that begins and ends.
struct ZoneYear {
    int standardMinutes = 0;
    bool daylight = false;
    int daylightMinutes = 0;
    ZoneChangeDate toDaylight;
    ZoneChangeDate toStandard;
};

using ZoneRules = std::function<ZoneYear(int year)>;

// Central European Time as the system gives it: UTC+1, and UTC+2 from the last Sunday of March at 02:00 to the last
// Sunday of October at 03:00. A zone with fixed rules, where the computer's are not asked for (the tests and the
// benchmark).
ZoneYear centralEuropeanRules(int year);

// Up to two absolute times that one local time stands for, earliest first: none in the hour skipped when the
// clock goes forward, two in the hour repeated when it goes back.
struct ZoneCandidates {
    int count = 0;
    std::int64_t time[2] = {0, 0};
};

// A stretch [from, to) of local time in which every local time means one absolute time, local - offset.
struct ZoneStretch {
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::int64_t offset = 0;
};

// The local time of a zone against absolute time (UTC seconds from 1970, which runs on through the clock's changes).
// The recordings carry local time; the grapher keeps absolute time, so that an hour repeated in autumn follows the
// first and the hour skipped in spring is no gap. A year's rules are asked for when first needed (the system is
// slow to answer), from any thread. Without rules, local time is absolute time.
class CTimeZone {
public:
    CTimeZone() = default;
    explicit CTimeZone(ZoneRules rules) : rules_(std::move(rules)) {}
    CTimeZone(const CTimeZone&) = delete;
    CTimeZone& operator=(const CTimeZone&) = delete;

    // Local time minus absolute time at `absolute`, in seconds.
    std::int64_t offsetAt(std::int64_t absolute) const;
    std::int64_t toLocal(std::int64_t absolute) const { return absolute + offsetAt(absolute); }
    ZoneCandidates candidates(std::int64_t local) const;
    // The stretch of unambiguous local time around `local`; empty (from == to) where `local` is ambiguous or
    // skipped.
    ZoneStretch stretchAt(std::int64_t local) const;
    // The absolute time from which on the clock shows `local` (the first of two; the change for a skipped time),
    // and the last absolute second it shows `local` (the second of two).
    std::int64_t firstAt(std::int64_t local) const;
    std::int64_t lastAt(std::int64_t local) const;

private:
    struct Change {
        std::int64_t at;     // absolute
        std::int64_t before; // offsets, seconds
        std::int64_t after;
    };
    // The changes of the three years around `year`, and the offset in force before the first of them.
    struct Window {
        std::int64_t initial = 0;
        std::vector<Change> changes;
    };
    Window window(int year) const;
    const ZoneYear& rulesOf(int year) const;
    const std::vector<Change>& changesOf(int year, std::int64_t& before) const;

    ZoneRules rules_;
    mutable std::mutex lock_;
    mutable std::map<int, ZoneYear> yearRules_;
    struct Year {
        std::int64_t before = 0;
        std::vector<Change> changes;
    };
    mutable std::map<int, Year> years_;
};

// The absolute times of one file's records, in file order. Within a file the order of the records is the order of
// time, so of the two meanings of a repeated local time the one nearer to where the recording's step leads is
// taken; a clock set back by hand (or by the network) stays a step back.
class CTimeResolver {
public:
    explicit CTimeResolver(const CTimeZone& zone) : zone_(&zone) {}
    // Inline where one meaning is known around the last stamp (all but a few records of a file).
    std::int64_t resolve(std::int64_t local) {
        if (local >= stretch_.from && local < stretch_.to)
            return follow(local - stretch_.offset);
        return follow(resolveAnew(local));
    }
    // The meaning of `local` that falls into [from, to), as the file was read before; the first one when none does.
    std::int64_t resolveWithin(std::int64_t local, std::int64_t from, std::int64_t to);

private:
    std::int64_t resolveAnew(std::int64_t local);
    std::int64_t follow(std::int64_t time) {
        if (havePrevious_ && time > previous_)
            lastStep_ = time - previous_;
        havePrevious_ = true;
        previous_ = time;
        return time;
    }

    const CTimeZone* zone_;
    ZoneStretch stretch_;
    bool havePrevious_ = false;
    std::int64_t previous_ = 0;
    std::int64_t lastStep_ = 0; // the last step forward, 0 before the first
};
