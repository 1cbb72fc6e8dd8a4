#include "plot/time_zone.h"

#include "base/civil_time.h"

#include <algorithm>

namespace {

constexpr std::int64_t kDay = 86400;

std::int64_t startOfYear(int year) {
    return civilSeconds({year, 1, 1, 0, 0, 0});
}

bool validDate(const ZoneChangeDate& date) {
    return date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= (date.year == 0 ? 5 : 31) &&
           date.weekday >= 0 && date.weekday <= 6;
}

// The local moment of a change in `year`.
std::int64_t changeLocal(const ZoneChangeDate& date, int year) {
    int day = date.day;
    if (date.year == 0) {
        const std::int64_t first = civilSeconds({year, date.month, 1, 0, 0, 0});
        const int weekday = static_cast<int>(floorDiv(first, kDay) + 4 - floorDiv(floorDiv(first, kDay) + 4, 7) * 7);
        const int next = date.month == 12 ? 1 : date.month + 1;
        const std::int64_t length =
            (civilSeconds({date.month == 12 ? year + 1 : year, next, 1, 0, 0, 0}) - first) / kDay;
        day = 1 + (date.weekday - weekday + 7) % 7 + 7 * (date.day - 1);
        while (day > length)
            day -= 7;
    }
    return civilSeconds({year, date.month, day, 0, 0, 0}) + date.hour * 3600 + date.minute * 60 + date.second;
}

// The offset in force on 1 January: daylight time when the zone's daylight saving time spans the turn of the year.
std::int64_t januaryOffset(const ZoneYear& rules, int year) {
    const bool daylight = rules.daylight && validDate(rules.toDaylight) && validDate(rules.toStandard) &&
                          changeLocal(rules.toDaylight, year) > changeLocal(rules.toStandard, year);
    return 60 * static_cast<std::int64_t>(daylight ? rules.daylightMinutes : rules.standardMinutes);
}

} // namespace

ZoneYear centralEuropeanRules(int) {
    ZoneYear rules;
    rules.standardMinutes = 60;
    rules.daylight = true;
    rules.daylightMinutes = 120;
    rules.toDaylight = {0, 3, 5, 0, 2, 0, 0};
    rules.toStandard = {0, 10, 5, 0, 3, 0, 0};
    return rules;
}

const ZoneYear& CTimeZone::rulesOf(int year) const {
    auto found = yearRules_.find(year);
    if (found == yearRules_.end())
        found = yearRules_.emplace(year, rules_(year)).first;
    return found->second;
}

namespace {

// The changes within a year from its offset on 1 January, ending with `offset` set to the one in force at its end.
template <typename Change>
void addYearChanges(const ZoneYear& rules, int year, std::int64_t& offset, std::vector<Change>* changes) {
    if (!rules.daylight || !validDate(rules.toDaylight) || !validDate(rules.toStandard))
        return;
    const std::int64_t standard = 60 * static_cast<std::int64_t>(rules.standardMinutes);
    const std::int64_t daylight = 60 * static_cast<std::int64_t>(rules.daylightMinutes);
    Change inYear[2] = {{changeLocal(rules.toDaylight, year) - standard, standard, daylight},
                        {changeLocal(rules.toStandard, year) - daylight, daylight, standard}};
    if (inYear[1].at < inYear[0].at)
        std::swap(inYear[0], inYear[1]);
    for (Change& change : inYear) {
        change.before = offset;
        if (change.after != offset && changes)
            changes->push_back(change);
        offset = change.after;
    }
}

} // namespace

// Each year's changes come from its own rules and those of the year before (whose last offset may differ from
// this year's first), so the years asked for need not be contiguous: a stray record of the year 9999 costs two
// years' rules, not eight thousand.
const std::vector<CTimeZone::Change>& CTimeZone::changesOf(int year, std::int64_t& before) const {
    auto found = years_.find(year);
    if (found == years_.end()) {
        Year entry;
        const ZoneYear& previous = rulesOf(year - 1);
        std::int64_t offset = januaryOffset(previous, year - 1);
        addYearChanges<Change>(previous, year - 1, offset, nullptr);
        entry.before = offset;
        const ZoneYear& rules = rulesOf(year);
        const std::int64_t january = januaryOffset(rules, year);
        if (january != offset)
            entry.changes.push_back({startOfYear(year) - offset, offset, january});
        offset = january;
        addYearChanges(rules, year, offset, &entry.changes);
        found = years_.emplace(year, std::move(entry)).first;
    }
    before = found->second.before;
    return found->second.changes;
}

CTimeZone::Window CTimeZone::window(int year) const {
    Window result;
    std::int64_t before = 0;
    for (int y = year - 1; y <= year + 1; ++y) {
        const auto& changes = changesOf(y, before);
        if (y == year - 1)
            result.initial = before;
        result.changes.insert(result.changes.end(), changes.begin(), changes.end());
    }
    return result;
}

std::int64_t CTimeZone::offsetAt(std::int64_t absolute) const {
    if (!rules_)
        return 0;
    std::lock_guard<std::mutex> hold(lock_);
    const Window near = window(civilTime(absolute).year);
    const auto after = std::upper_bound(near.changes.begin(), near.changes.end(), absolute,
                                        [](std::int64_t t, const Change& change) { return t < change.at; });
    return after == near.changes.begin() ? near.initial : (after - 1)->after;
}

ZoneCandidates CTimeZone::candidates(std::int64_t local) const {
    ZoneCandidates result;
    if (!rules_) {
        result.count = 1;
        result.time[0] = local;
        return result;
    }
    std::lock_guard<std::mutex> hold(lock_);
    const Window near = window(civilTime(local).year);
    // Each segment between two changes has one offset; `local` means an absolute time in every segment that
    // holds local - offset.
    std::int64_t offset = near.initial;
    std::int64_t segmentStart = INT64_MIN;
    for (std::size_t i = 0; i <= near.changes.size(); ++i) {
        const std::int64_t segmentEnd = i == near.changes.size() ? INT64_MAX : near.changes[i].at;
        const std::int64_t absolute = local - offset;
        if (absolute >= segmentStart && absolute < segmentEnd && result.count < 2)
            result.time[result.count++] = absolute;
        if (i == near.changes.size())
            break;
        segmentStart = segmentEnd;
        offset = near.changes[i].after;
    }
    return result;
}

ZoneStretch CTimeZone::stretchAt(std::int64_t local) const {
    if (!rules_)
        return {INT64_MIN, INT64_MAX, 0};
    const ZoneCandidates found = candidates(local);
    if (found.count != 1)
        return {local, local, 0};
    std::lock_guard<std::mutex> hold(lock_);
    const int year = civilTime(local).year;
    const Window near = window(year);
    const auto after = std::upper_bound(near.changes.begin(), near.changes.end(), found.time[0],
                                        [](std::int64_t t, const Change& change) { return t < change.at; });
    // Within the year of `local`, whose neighbours' changes are known; the local times that a neighbouring
    // segment also reaches are left out.
    ZoneStretch stretch{startOfYear(year), startOfYear(year + 1), local - found.time[0]};
    if (after != near.changes.begin()) {
        const Change& change = *(after - 1);
        stretch.from = std::max(stretch.from, change.at + std::max(change.before, change.after));
    }
    if (after != near.changes.end())
        stretch.to = std::min(stretch.to, after->at + std::min(after->before, after->after));
    if (local < stretch.from || local >= stretch.to)
        return {local, local, 0};
    return stretch;
}

std::int64_t CTimeZone::firstAt(std::int64_t local) const {
    const ZoneCandidates found = candidates(local);
    if (found.count > 0)
        return found.time[0];
    // Skipped: the first local time after it comes at the change, which lies within an hour or so.
    std::int64_t low = local - 2 * kDay, high = local + 2 * kDay;
    while (high - low > 1) {
        const std::int64_t middle = low + (high - low) / 2;
        (toLocal(middle) > local ? high : low) = middle;
    }
    return high;
}

std::int64_t CTimeZone::lastAt(std::int64_t local) const {
    const ZoneCandidates found = candidates(local);
    return found.count > 0 ? found.time[found.count - 1] : firstAt(local) - 1;
}

// Outside the stretch of the last stamp the zone is asked, and a stamp of one meaning gives the next stretch. Of the
// two meanings of a time the clock shows twice, the one nearest to where the recording's last step forward would
// bring the record before it: the change's repeated hour then follows the first hour whatever the interval, a gap
// over the change stays a gap, and a clock set back by hand by a few minutes stays a few minutes back, in the offset
// of the records before it. A record never stands on the time of the one before it: that is the other meaning.
std::int64_t CTimeResolver::resolveAnew(std::int64_t local) {
    const ZoneCandidates found = zone_->candidates(local);
    if (found.count == 1) {
        stretch_ = zone_->stretchAt(local);
        return found.time[0];
    }
    if (found.count == 0) {
        // A clock that was not put forward: the offset before the change holds.
        const std::int64_t change = zone_->firstAt(local);
        return local - zone_->offsetAt(change - 1);
    }
    if (!havePrevious_)
        return found.time[0];
    const std::int64_t expected = previous_ + lastStep_;
    const auto distance = [&](std::int64_t t) {
        return t == previous_ ? INT64_MAX : (t > expected ? t - expected : expected - t);
    };
    return distance(found.time[1]) <= distance(found.time[0]) ? found.time[1] : found.time[0];
}

std::int64_t CTimeResolver::resolveWithin(std::int64_t local, std::int64_t from, std::int64_t to) {
    if (local >= stretch_.from && local < stretch_.to)
        return local - stretch_.offset;
    const ZoneCandidates found = zone_->candidates(local);
    if (found.count == 1)
        stretch_ = zone_->stretchAt(local);
    if (found.count == 2 && found.time[1] >= from && found.time[1] < to)
        return found.time[1];
    if (found.count > 0)
        return found.time[0];
    return local - zone_->offsetAt(zone_->firstAt(local) - 1);
}
