#pragma once

#include "plot/statistics.h"

#include <cstdint>
#include <string>
#include <vector>

// What Plot.exe was asked to do on its command line.
struct PlotCommand {
    enum Action { Window, Csv, Png, Summary, Report, Usage } action = Window;
    std::string output;
    int width = 1200;
    int height = 700;
    int separator = 2; // Semicolon
    // The range of an export in local time: `from` its first second, `to` its last.
    bool hasFrom = false, hasTo = false;
    std::int64_t from = 0, to = 0;
    bool limitsGiven = false, activationGiven = false;
    AnalysisSettings analysis; // the limits and ΔH given
    std::vector<std::string> files;
    std::string error; // set with Usage
};

// Arguments after the program name (UTF-8):
//   FILE.hxg ...                                      open the files in the window
//   --csv OUT.csv [--tab] FILE.hxg ...                write the records as a table and exit
//   --png OUT.png [--size WxH] FILE.hxg ...           draw the range into a picture and exit
//   --summary OUT.csv FILE.hxg ...                    write the statistics of each day and of the range
//   --report OUT.html [--size WxH] FILE.hxg ...       write a report: chart, limits, statistics, files
// and with every export --from and --to (local time, "YYYY-MM-DD[ HH:MM[:SS]]"); with --png, --summary and
// --report --limits T_LOW:T_HIGH:RH_LOW:RH_HIGH (any of them empty); with --summary and --report --mkt-dh KJ_PER_MOL.
PlotCommand parsePlotCommand(const std::vector<std::string>& args);
// "2026-10-25", "2026-10-25 02:00", "2026-10-25 02:00:30" as local seconds: the first second it names, or with
// `end` the last.
bool parseLocalTime(const std::string& text, bool end, std::int64_t& local);
// The limits and ΔH of an export: those kept in plot.ini, unless the command line gives its own.
AnalysisSettings commandAnalysis(const PlotCommand& command, AnalysisSettings kept);
