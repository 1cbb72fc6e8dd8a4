#pragma once

#include "plot/chart_data.h"
#include "plot/time_zone.h"

#include <cstdint>
#include <string>
#include <vector>

// The texts of the grapher's window (UTF-8).

// "Plot - a.hxg (+1) - 12 rek.": the files and their records, so that a glance at the task bar shows a recording
// grow; "Plot" while nothing is open.
std::string windowTitle(const std::vector<std::string>& paths, bool open, std::uint64_t records);
// "Pliki: 2, rekordy: 12, uszkodzone: 1, śledzenie końca"
std::string statusText(std::size_t files, std::uint64_t records, std::uint64_t damaged, bool following);
// The time under the pointer (absolute `time`) and each shown line's value in pixel column `column`: one value, a
// range "21.4…21.6" where the column holds several, "---" where it holds none.
std::string readoutText(const CTimeZone& zone, double time, const Trace& trace, const ChartOptions& options,
                        double column);
// What the chart says while it has nothing to draw.
const char* emptyChartText(bool loading, bool open);
std::string openFailedText(const std::vector<std::string>& paths);
