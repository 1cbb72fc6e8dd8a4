#include "plot/statistics.h"

#include "base/cp1250.h"
#include "base/number_format.h"
#include "plot/time_axis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int32_t kLargestLimit = 1000000; // hundredths

// A stretch of the range: what the summary says of its records, their day profiles, and the nearest records
// outside it, which bound its gaps.
struct Piece {
    Bucket summary;
    DayProfile profile;
    bool haveBefore = false, haveAfter = false;
    std::int64_t before = 0, after = 0;

    void noteBefore(std::int64_t time) {
        before = haveBefore ? std::max(before, time) : time;
        haveBefore = true;
    }
    void noteAfter(std::int64_t time) {
        after = haveAfter ? std::min(after, time) : time;
        haveAfter = true;
    }
    // `later` follows this piece.
    void join(const Piece& later) {
        if (!started) {
            *this = later;
            started = true;
            return;
        }
        summary.merge(later.summary);
        profile.merge(later.profile);
        haveAfter = later.haveAfter;
        after = later.after;
    }
    bool started = false;
};

// The day `day` as its records were summarised, with every file's newest record, which no profile holds yet.
Piece wholeDay(const CPlotModel& model, std::int64_t day, std::int64_t start, std::int64_t end) {
    Piece piece;
    const CSummary& summary = model.summary();
    piece.summary = summary.combine(bucketOf(start), bucketOf(end - 1));
    std::int64_t time = 0;
    if (summary.lastBefore(bucketOf(start), time))
        piece.noteBefore(time);
    if (summary.firstAfter(bucketOf(end - 1), time))
        piece.noteAfter(time);
    piece.profile.day = day;
    for (std::size_t f = 0; f < model.fileCount(); ++f) {
        const auto& days = model.scan(f).days();
        const auto at = std::lower_bound(days.begin(), days.end(), day,
                                         [](const DayProfile& profile, std::int64_t d) { return profile.day < d; });
        DayProfile profile;
        if (at != days.end() && at->day == day)
            profile = *at;
        Sample newest;
        std::int64_t seconds = 0;
        if (model.scan(f).durations().pending(newest, seconds) && localDayOf(newest.local()) == day) {
            if (newest.hasTemperature)
                profile.temperature.addTime(newest.temperature, seconds);
            if (newest.hasHumidity)
                profile.humidity.addTime(newest.humidity, seconds);
        }
        piece.profile.merge(profile);
    }
    return piece;
}

// [a, b] read from the records of every file, with the records next to them for their durations.
bool partOfDay(const CPlotModel& model, std::int64_t a, std::int64_t b, const ByteReader& reader, Piece& piece) {
    const CSummary& summary = model.summary();
    std::int64_t time = 0;
    if (summary.lastBefore(bucketOf(a), time))
        piece.noteBefore(time);
    if (summary.firstAfter(bucketOf(b), time))
        piece.noteAfter(time);
    for (std::size_t f = 0; f < model.fileCount(); ++f) {
        Bucket records;
        DayProfile profile;
        CRecordDurations durations(false);
        const auto addTime = [&](const Sample& sample, std::int64_t seconds) {
            if (sample.time < a || sample.time > b)
                return;
            if (sample.hasTemperature)
                profile.temperature.addTime(sample.temperature, seconds);
            if (sample.hasHumidity)
                profile.humidity.addTime(sample.humidity, seconds);
        };
        const bool read = model.forEachFileRecord(f, a, b, reader, [&](const Sample& sample, bool inRange) {
            if (inRange) {
                records.add(sample);
                if (sample.hasTemperature)
                    profile.temperature.addValue(sample.temperature, sample.time);
                if (sample.hasHumidity)
                    profile.humidity.addValue(sample.humidity, sample.time);
            } else if (sample.time < a) {
                piece.noteBefore(sample.time);
            } else {
                piece.noteAfter(sample.time);
            }
            durations.feed(sample, addTime);
        });
        if (!read)
            return false;
        Sample newest;
        std::int64_t seconds = 0;
        if (durations.pending(newest, seconds))
            addTime(newest, seconds);
        piece.summary.merge(records);
        piece.profile.merge(profile);
    }
    return true;
}

void finishQuantity(QuantityStats& stats, const Aggregate& values, const CQuantityProfile& profile,
                    const Limits& limits) {
    stats.values = values;
    if (values.count > 0) {
        const double mean = static_cast<double>(values.sum) / values.count;
        stats.mean = mean / 10;
        stats.deviation = std::sqrt(std::max(0.0, values.squares / values.count - mean * mean)) / 10;
    }
    if (limits.hasHigh && values.count > 0) {
        stats.haveAbove = true;
        stats.secondsAbove = profile.secondsAbove(limits.high);
        stats.excursionsAbove = profile.excursionsAbove(limits.high);
    }
    if (limits.hasLow && values.count > 0) {
        stats.haveBelow = true;
        stats.secondsBelow = profile.secondsBelow(limits.low);
        stats.excursionsBelow = profile.excursionsBelow(limits.low);
    }
}

RangeStats finish(const CPlotModel& model, const AnalysisSettings& settings, std::int64_t from, std::int64_t to,
                  const Piece& piece) {
    RangeStats stats;
    stats.from = from;
    stats.to = to;
    stats.records = piece.summary.records;
    const std::int64_t interval = model.interval();
    const std::int64_t end = to + 1;
    if (interval > 0 && model.haveData()) {
        // The records due are those the interval puts into the range, within the stretch from the first record to
        // the last, counted from a record of the range (or the nearest one outside it): a range that starts or ends
        // between two records is not owed one at its edges.
        const std::int64_t first = std::max(from, model.firstTime()), last = std::min(to, model.lastTime());
        const bool haveAnchor = stats.records > 0 || piece.haveBefore || piece.haveAfter;
        if (last >= first && haveAnchor) {
            const std::int64_t anchor = stats.records > 0  ? piece.summary.first
                                        : piece.haveBefore ? piece.before
                                                           : piece.after;
            const std::int64_t due = floorDiv(last - anchor, interval) - floorDiv(first - anchor - 1, interval);
            stats.haveCoverage = due > 0;
            if (due > 0)
                stats.coverage = 100.0 * static_cast<double>(stats.records) / static_cast<double>(due);
        }
        std::int64_t longest = 0;
        if (stats.records > 0) {
            longest = piece.summary.longestStep;
            if (piece.haveBefore)
                longest = std::max(longest, piece.summary.first - std::max(piece.before, from));
            if (piece.haveAfter)
                longest = std::max(longest, std::min(piece.after, end) - piece.summary.last);
            stats.haveGap = true;
        } else if (piece.haveBefore && piece.haveAfter) {
            longest = std::min(piece.after, end) - std::max(piece.before, from);
            stats.haveGap = true;
        }
        stats.longestGap = std::max<std::int64_t>(0, longest - interval);
    }
    finishQuantity(stats.temperature, piece.summary.temperature, piece.profile.temperature, settings.temperature);
    finishQuantity(stats.humidity, piece.summary.humidity, piece.profile.humidity, settings.humidity);
    stats.temperature.haveKinetic =
        piece.summary.temperature.count > 0 &&
        piece.profile.temperature.meanKinetic(settings.activation * 1000 / kGasConstant, stats.temperature.kinetic);
    stats.moistAir = piece.summary.moistAir;
    return stats;
}

std::string fixed2(double value) {
    return formatFixed(value, 2);
}

// A number with up to `decimals` decimals (point or comma) as a whole number of its smallest unit; nothing for none.
bool parseDecimal(std::string_view text, int decimals, bool& has, std::int64_t& scaled) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    has = false;
    scaled = 0;
    if (text.empty())
        return true;
    const bool negative = text.front() == '-';
    if (negative || text.front() == '+')
        text.remove_prefix(1);
    std::int64_t value = 0;
    int after = -1, digits = 0;
    for (const char c : text) {
        if ((c == '.' || c == ',') && after < 0) {
            after = 0;
        } else if (c >= '0' && c <= '9' && after < decimals && digits < 12) {
            value = value * 10 + (c - '0');
            ++digits;
            if (after >= 0)
                ++after;
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    for (int d = std::max(after, 0); d < decimals; ++d)
        value *= 10;
    has = true;
    scaled = negative ? -value : value;
    return true;
}

} // namespace

bool parseLimit(std::string_view text, bool& has, std::int32_t& hundredths) {
    std::int64_t value = 0;
    if (!parseDecimal(text, 2, has, value) || value > kLargestLimit || value < -kLargestLimit)
        return false;
    hundredths = static_cast<std::int32_t>(value);
    return true;
}

std::string limitText(bool has, std::int32_t hundredths) {
    if (!has)
        return "";
    const int decimals = hundredths % 100 == 0 ? 0 : hundredths % 10 == 0 ? 1 : 2;
    return formatFixed(hundredths / 100.0, decimals);
}

bool limitsValid(const Limits& limits) {
    return !(limits.hasLow && limits.hasHigh && limits.low > limits.high);
}

bool parseLimits(std::string_view text, AnalysisSettings& settings) {
    Limits* targets[2] = {&settings.temperature, &settings.humidity};
    Limits parsed[2];
    for (int field = 0; field < 4; ++field) {
        const std::size_t colon = text.find(':');
        if ((colon == std::string_view::npos) != (field == 3))
            return false;
        const std::string_view part = text.substr(0, colon);
        Limits& limits = parsed[field / 2];
        if (!(field % 2 == 0 ? parseLimit(part, limits.hasLow, limits.low)
                             : parseLimit(part, limits.hasHigh, limits.high))) {
            return false;
        }
        text = colon == std::string_view::npos ? std::string_view() : text.substr(colon + 1);
    }
    if (!limitsValid(parsed[0]) || !limitsValid(parsed[1]))
        return false;
    *targets[0] = parsed[0];
    *targets[1] = parsed[1];
    return true;
}

bool parseActivation(std::string_view text, double& kilojoules) {
    bool has = false;
    std::int64_t thousandths = 0;
    if (!parseDecimal(text, 3, has, thousandths) || !has || thousandths <= 0 ||
        thousandths > static_cast<std::int64_t>(kLargestActivation * 1000)) {
        return false;
    }
    kilojoules = thousandths / 1000.0;
    return true;
}

bool rangeStatistics(const CPlotModel& model, const AnalysisSettings& settings, std::int64_t t0, std::int64_t t1,
                     const ByteReader& reader, RangeStats& total, std::vector<DayStats>* days) {
    if (days)
        days->clear();
    Piece all;
    const CTimeZone& zone = model.zone();
    if (model.haveData() && t0 <= t1) {
        // Days from the first to the last that both the range and the recording reach.
        const std::int64_t from = std::max(t0, model.firstTime()), to = std::min(t1, model.lastTime());
        const std::int64_t firstDay = localDayOf(zone.toLocal(from)), lastDay = localDayOf(zone.toLocal(to));
        for (std::int64_t day = firstDay; day <= lastDay && from <= to; ++day) {
            const std::int64_t start = zone.firstAt(day * kDay), end = zone.firstAt((day + 1) * kDay);
            const std::int64_t a = std::max(t0, start), b = std::min(t1, end - 1);
            Piece piece = wholeDay(model, day, start, end);
            const bool whole = piece.summary.records == 0 || (piece.summary.first >= a && piece.summary.last <= b);
            if (!whole) {
                piece = Piece{};
                piece.profile.day = day;
                if (!partOfDay(model, a, b, reader, piece))
                    return false;
            }
            if (days)
                days->push_back({day, finish(model, settings, a, b, piece)});
            all.join(piece);
        }
    }
    if (!all.started) {
        // No day of the range lies within the recording: only the records around it bound a gap.
        if (model.summary().lastBefore(bucketOf(t0), all.before))
            all.haveBefore = true;
        if (model.summary().firstAfter(bucketOf(t1), all.after))
            all.haveAfter = true;
    }
    total = finish(model, settings, t0, t1, all);
    return true;
}

std::string dayText(std::int64_t day) {
    return formatStamp(day * kDay).substr(0, 10);
}

std::string durationText(std::int64_t seconds) {
    char text[48];
    const std::int64_t days = seconds / kDay, rest = seconds % kDay;
    if (days > 0) {
        std::snprintf(text, sizeof text, "%lld d %02lld:%02lld:%02lld", static_cast<long long>(days),
                      static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                      static_cast<long long>(rest % 60));
    } else {
        std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(rest / 3600),
                      static_cast<long long>(rest / 60 % 60), static_cast<long long>(rest % 60));
    }
    return text;
}

std::string summaryCsv(const RangeStats& total, const std::vector<DayStats>& days) {
    std::string out = utf8ToCp1250(
        "Dzień;Rekordy;Pokrycie %;Najdłuższa przerwa s;T min;T maks;T średnia;T MKT;T odch. std.;T powyżej s;"
        "T poniżej s;RH min;RH maks;RH średnia;RH powyżej s;RH poniżej s;Punkt rosy średni;"
        "Wilgotność bezwzględna średnia g/m3\r\n");
    const auto line = [&out](const std::string& name, const RangeStats& stats) {
        const auto number = [](bool have, double value) { return have ? fixed2(value) : std::string("???"); };
        const auto whole = [](bool have, std::int64_t value) {
            return have ? std::to_string(value) : std::string("???");
        };
        const QuantityStats& t = stats.temperature;
        const QuantityStats& h = stats.humidity;
        const bool haveT = t.values.count > 0, haveH = h.values.count > 0, haveAir = stats.moistAir.count > 0;
        const std::string cells[] = {
            name,
            std::to_string(stats.records),
            number(stats.haveCoverage, stats.coverage),
            whole(stats.haveGap, stats.longestGap),
            number(haveT, t.values.min / 10.0),
            number(haveT, t.values.max / 10.0),
            number(haveT, t.mean),
            number(t.haveKinetic, t.kinetic),
            number(haveT, t.deviation),
            whole(t.haveAbove, t.secondsAbove),
            whole(t.haveBelow, t.secondsBelow),
            number(haveH, h.values.min / 10.0),
            number(haveH, h.values.max / 10.0),
            number(haveH, h.mean),
            whole(h.haveAbove, h.secondsAbove),
            whole(h.haveBelow, h.secondsBelow),
            number(haveAir, haveAir ? stats.moistAir.dewSum / stats.moistAir.count : 0),
            number(haveAir, haveAir ? stats.moistAir.absoluteSum / stats.moistAir.count : 0),
        };
        for (std::size_t i = 0; i < std::size(cells); ++i)
            out += (i ? ";" : "") + cells[i];
        out += "\r\n";
    };
    for (const DayStats& day : days)
        line(dayText(day.day), day.stats);
    line("Razem", total);
    return out;
}

std::vector<std::string> statisticsHeadings() {
    return {"Zakres",
            "Rekordy",
            "Pokrycie",
            "Najdłuższa przerwa",
            "T min",
            "T maks",
            "T średnia",
            "T MKT",
            "T odch. std.",
            "T powyżej",
            "T poniżej",
            "RH min",
            "RH maks",
            "RH średnia",
            "RH odch. std.",
            "RH powyżej",
            "RH poniżej",
            "Punkt rosy śr.",
            "Punkt rosy min–maks",
            "Wilg. bezwzgl. śr.",
            "Wilg. bezwzgl. min–maks"};
}

std::vector<std::string> statisticsCells(const RangeStats& stats, const CTimeZone& zone, const std::string& name,
                                         bool day) {
    const std::string none = "???";
    const auto at = [&](std::int64_t time) {
        const std::string stamp = zoneStamp(zone, time);
        return " (" + (day ? stamp.substr(11) : stamp) + ")";
    };
    const auto excursions = [&](bool have, std::int64_t seconds, std::uint32_t count) {
        return have ? durationText(seconds) + ", " + std::to_string(count) + "×" : none;
    };
    std::vector<std::string> cells = {name, std::to_string(stats.records),
                                      stats.haveCoverage ? fixed2(stats.coverage) + " %" : none,
                                      stats.haveGap ? durationText(stats.longestGap) : none};
    for (const bool temperature : {true, false}) {
        const QuantityStats& q = temperature ? stats.temperature : stats.humidity;
        const char* unit = temperature ? " °C" : " %";
        const bool have = q.values.count > 0;
        cells.push_back(have ? formatFixed(q.values.min / 10.0, 1) + unit + at(q.values.minAt) : none);
        cells.push_back(have ? formatFixed(q.values.max / 10.0, 1) + unit + at(q.values.maxAt) : none);
        cells.push_back(have ? fixed2(q.mean) + unit : none);
        if (temperature)
            cells.push_back(q.haveKinetic ? fixed2(q.kinetic) + unit : none);
        cells.push_back(have ? fixed2(q.deviation) + unit : none);
        cells.push_back(excursions(q.haveAbove, q.secondsAbove, q.excursionsAbove));
        cells.push_back(excursions(q.haveBelow, q.secondsBelow, q.excursionsBelow));
    }
    const MoistAirAggregate& air = stats.moistAir;
    const bool haveAir = air.count > 0;
    cells.push_back(haveAir ? fixed2(air.dewSum / air.count) + " °C" : none);
    cells.push_back(haveAir ? formatFixed(air.dewMin, 1) + "–" + formatFixed(air.dewMax, 1) + " °C" : none);
    cells.push_back(haveAir ? fixed2(air.absoluteSum / air.count) + " g/m³" : none);
    cells.push_back(haveAir ? formatFixed(air.absoluteMin, 1) + "–" + formatFixed(air.absoluteMax, 1) + " g/m³" : none);
    return cells;
}
