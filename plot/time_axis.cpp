#include "plot/time_axis.h"

#include "base/number_format.h"

#include <cmath>
#include <cstdio>

namespace {

constexpr std::int64_t kDay = 86400;

std::string twoDigits(int a, char sep, int b) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d%c%02d", a, sep, b);
    return text;
}

const char* const kMonths[12] = {"sty", "lut", "mar", "kwi", "maj", "cze", "lip", "sie", "wrz", "paź", "lis", "gru"};

// Steps below a month, in seconds; a week starts on Monday.
constexpr std::int64_t kSecondSteps[] = {1,   2,    5,    10,   15,    30,    60,    120,  300,      600,
                                         900, 1800, 3600, 7200, 10800, 21600, 43200, kDay, 2 * kDay, 7 * kDay};
constexpr int kMonthSteps[] = {1, 2, 3, 6, 12, 24, 60, 120, 240, 600, 1200};

enum class Unit { Second, Minute, Day, Month, Year };

TimeTick makeTick(std::int64_t t, std::int64_t local, Unit unit, const LocalTime& previous, bool first) {
    TimeTick tick;
    tick.time = t;
    const LocalTime lt = civilTime(local);
    char date[32];
    switch (unit) {
    case Unit::Second:
    case Unit::Minute:
        tick.label = twoDigits(lt.hour, ':', lt.minute);
        if (unit == Unit::Second) {
            std::snprintf(date, sizeof date, ":%02d", lt.second);
            tick.label += date;
        }
        if (first || lt.day != previous.day || lt.month != previous.month || lt.year != previous.year) {
            std::snprintf(date, sizeof date, "%02d.%02d.%04d", lt.day, lt.month, lt.year);
            tick.context = date;
        }
        break;
    case Unit::Day:
        tick.label = twoDigits(lt.day, '.', lt.month);
        if (first || lt.year != previous.year)
            tick.context = std::to_string(lt.year);
        break;
    case Unit::Month:
        tick.label = kMonths[lt.month - 1];
        if (first || lt.year != previous.year)
            tick.context = std::to_string(lt.year);
        break;
    case Unit::Year:
        tick.label = std::to_string(lt.year);
        break;
    }
    return tick;
}

} // namespace

std::string formatStamp(std::int64_t seconds) {
    return localTimeText(civilTime(seconds));
}

std::string zoneStamp(const CTimeZone& zone, std::int64_t absolute) {
    const std::int64_t offset = zone.offsetAt(absolute);
    std::string stamp = formatStamp(absolute + offset);
    if (zone.candidates(absolute + offset).count == 2) {
        const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
        char text[48];
        std::snprintf(text, sizeof text, " UTC%c%02lld:%02lld", offset < 0 ? '-' : '+',
                      static_cast<long long>(minutes / 60), static_cast<long long>(minutes % 60));
        stamp += text;
    }
    return stamp;
}

std::vector<TimeTick> timeTicks(const CTimeZone& zone, double t0, double t1, int width, int labelWidth) {
    std::vector<TimeTick> ticks;
    if (!(t1 > t0) || width <= 0 || labelWidth <= 0)
        return ticks;
    const double wanted = (t1 - t0) * labelWidth / width;
    const auto first = static_cast<std::int64_t>(std::ceil(t0));
    const auto last = static_cast<std::int64_t>(std::floor(t1));
    LocalTime previous;

    for (const std::int64_t step : kSecondSteps) {
        if (step < wanted)
            continue;
        const Unit unit = step < 60 ? Unit::Second : step < kDay ? Unit::Minute : Unit::Day;
        // A week starts on Monday: 1970-01-05 is one, four days after the count's start.
        const std::int64_t phase = step == 7 * kDay ? 4 * kDay : 0;
        // The next whole step of the local clock after each mark; where the clock changes on the way, the search
        // goes on from there with the new offset.
        for (std::int64_t t = first; t <= last;) {
            const std::int64_t local = zone.toLocal(t);
            const std::int64_t next = floorDiv(local - phase + step - 1, step) * step + phase;
            std::int64_t at = t + (next - local);
            if (at > last)
                break;
            if (zone.toLocal(at) != next) {
                // The clock went forward on the way: the mark lies that much earlier (the 12:00 of a 23-hour
                // day). Otherwise the time does not exist or comes again later; the search goes on from `at`.
                const std::int64_t earlier = at - (zone.toLocal(at) - next);
                if (earlier < t || earlier >= at || zone.toLocal(earlier) != next) {
                    t = at;
                    continue;
                }
                at = earlier;
            }
            ticks.push_back(makeTick(at, next, unit, previous, ticks.empty()));
            previous = civilTime(next);
            t = at + 1;
        }
        return ticks;
    }
    for (const int months : kMonthSteps) {
        if (months * 30.44 * kDay < wanted && months != kMonthSteps[std::size(kMonthSteps) - 1])
            continue;
        const Unit unit = months < 12 ? Unit::Month : Unit::Year;
        const LocalTime start = civilTime(zone.toLocal(first));
        std::int64_t index = static_cast<std::int64_t>(start.year) * 12 + start.month - 1;
        index = floorDiv(index + months - 1, months) * months;
        for (;; index += months) {
            LocalTime at;
            at.year = static_cast<int>(floorDiv(index, 12));
            at.month = static_cast<int>(index - floorDiv(index, 12) * 12) + 1;
            at.day = 1;
            const std::int64_t local = civilSeconds(at);
            const std::int64_t t = zone.firstAt(local);
            if (t < first)
                continue;
            if (t > last)
                break;
            ticks.push_back(makeTick(t, local, unit, previous, ticks.empty()));
            previous = at;
        }
        break;
    }
    return ticks;
}

std::vector<ValueTick> valueTicks(double low, double high, int height, int spacing) {
    std::vector<ValueTick> ticks;
    if (!(high > low) || height <= 0 || spacing <= 0)
        return ticks;
    const double wanted = (high - low) * spacing / height;
    double power = std::pow(10.0, std::floor(std::log10(wanted)));
    int decimals = std::max(0, static_cast<int>(-std::floor(std::log10(wanted))));
    double step = power;
    for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
        step = factor * power;
        if (step >= wanted)
            break;
    }
    if (step >= 10 * power)
        decimals = std::max(0, decimals - 1);
    // Counting whole steps keeps the labels free of accumulated error (0.30000000000000004).
    for (auto i = static_cast<long long>(std::ceil(low / step)); i * step <= high + step * 1e-9; ++i) {
        const double value = static_cast<double>(i) * step;
        ticks.push_back({value, formatFixed(value == 0 ? 0.0 : value, decimals)});
    }
    return ticks;
}
