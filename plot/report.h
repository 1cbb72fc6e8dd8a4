#pragma once

#include "plot/statistics.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct ReportFile {
    std::string path; // UTF-8
    std::uint64_t records = 0;
    std::uint64_t damaged = 0;
};

// What a report holds: the chart of the range, the limits, the statistics of the range and of each day, the files
// read, and when it was made (local seconds).
struct ReportContent {
    std::vector<ReportFile> files;
    AnalysisSettings settings;
    RangeStats total;
    std::vector<DayStats> days;
    std::string png;
    std::int64_t made = 0;
};

// One self-contained HTML page (UTF-8, the chart embedded), for a browser to show and print.
std::string reportHtml(const ReportContent& report, const CTimeZone& zone);
