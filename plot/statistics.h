#pragma once

#include "plot/day_profile.h"
#include "plot/plot_model.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Optional lower and upper limits of one quantity, in hundredths of its unit.
struct Limits {
    bool hasLow = false;
    bool hasHigh = false;
    std::int32_t low = 0;
    std::int32_t high = 0;
};

constexpr double kGasConstant = 8.3144;       // J/(mol K)
constexpr double kDefaultActivation = 83.144; // kJ/mol, the usual ΔH of the mean kinetic temperature
constexpr double kLargestActivation = 1000.0; // kJ/mol

// What the statistics are measured against: the limits and the activation energy of the mean kinetic temperature.
struct AnalysisSettings {
    Limits temperature;
    Limits humidity;
    double activation = kDefaultActivation; // kJ/mol
};

// A limit as the user types it: a number with up to two decimals (point or comma), or nothing for none.
bool parseLimit(std::string_view text, bool& has, std::int32_t& hundredths);
// "25", "25.5", "-0.25"; empty for none.
std::string limitText(bool has, std::int32_t hundredths);
// "T_LOW:T_HIGH:RH_LOW:RH_HIGH", any of them empty; false when a field is not a number or a low lies above its high.
bool parseLimits(std::string_view text, AnalysisSettings& settings);
bool parseActivation(std::string_view text, double& kilojoules);
bool limitsValid(const Limits& limits);

// One quantity over a range.
struct QuantityStats {
    Aggregate values; // min and max with their times, count, sum, sum of squares (tenths)
    double mean = 0;
    double deviation = 0; // of all the range's values
    bool haveKinetic = false;
    double kinetic = 0; // mean kinetic temperature, °C
    bool haveAbove = false;
    std::int64_t secondsAbove = 0;
    std::uint32_t excursionsAbove = 0;
    bool haveBelow = false;
    std::int64_t secondsBelow = 0;
    std::uint32_t excursionsBelow = 0;
};

// The statistics of a range of absolute time [from, to].
struct RangeStats {
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::uint64_t records = 0;
    bool haveCoverage = false;
    double coverage = 0; // records against those the recording interval implies, from the first record to the last
    bool haveGap = false;
    std::int64_t longestGap = 0; // the longest time without a record beyond one interval
    QuantityStats temperature;
    QuantityStats humidity;
    MoistAirAggregate moistAir;
};

struct DayStats {
    std::int64_t day = 0; // local days from 1970-01-01
    RangeStats stats;
};

// The statistics of [t0, t1] (absolute) and of each local calendar day in it that the recording reaches, each cut
// to the range. Days the range holds whole come from the summary and the day profiles; the parts of days that the
// range cuts through are read from the records. False when a read failed.
bool rangeStatistics(const CPlotModel& model, const AnalysisSettings& settings, std::int64_t t0, std::int64_t t1,
                     const ByteReader& reader, RangeStats& total, std::vector<DayStats>* days);

// --summary: the header and one line per day, then "Razem" (Windows-1250, CR LF, ";").
std::string summaryCsv(const RangeStats& total, const std::vector<DayStats>& days);

// The statistics as text for the window and the report (UTF-8): the headings, then a row's cells; `day` rows give
// the times of the minimum and maximum without the date.
std::vector<std::string> statisticsHeadings();
std::vector<std::string> statisticsCells(const RangeStats& stats, const CTimeZone& zone, const std::string& name,
                                         bool day);
// "2026.10.25"
std::string dayText(std::int64_t day);
// "01:05:03", "2 d 01:05:03"
std::string durationText(std::int64_t seconds);
