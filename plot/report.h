#pragma once

#include "plot/chart_data.h"
#include "plot/plot_command.h"
#include "plot/statistics.h"

#include <cstdint>
#include <functional>
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

// Draws the chart of `data` at `width` x `height` pixels as `options` say and encodes it as PNG; false when it cannot.
using ChartEncoder =
    std::function<bool(int width, int height, const ChartData& data, const ChartOptions& options, std::string& png)>;

// What a report is made of: the chart of `view` at `width` x `height` as `options` show it, the statistics of
// [from, to] under `settings`, and when it was made (local seconds).
struct ReportJob {
    ViewRange view;
    std::int64_t from = 0;
    std::int64_t to = 0;
    int width = 1200;
    int height = 600;
    ChartOptions options;
    AnalysisSettings settings;
    std::int64_t made = 0;
};

// The window's report: the view as the window shows it, with the statistics of the whole seconds in it.
ReportJob viewReport(const ViewRange& view, const ChartOptions& options, const AnalysisSettings& settings,
                     std::int64_t made);
// An export's: the range the command line names (every record without one); the chart at its --size (a report's
// 1200 x 600 without one) with the limits of `settings`.
ReportJob commandReport(const CPlotModel& model, const PlotCommand& command, const AnalysisSettings& settings,
                        std::int64_t made);

// The job's chart as PNG bytes; false when it cannot be drawn.
bool reportChart(const CPlotModel& model, const ReportJob& job, const ByteReader& reader, const ChartEncoder& encode,
                 std::string& png);

enum class ReportResult { Made, Unreadable, Undrawn };
// The whole report: the statistics (Unreadable when a file cannot be read), then the chart (Undrawn), then the page.
ReportResult reportPage(const CPlotModel& model, const ReportJob& job, const ByteReader& reader,
                        const ChartEncoder& encode, std::string& html);
