#include "plot/report.h"

#include "base/base64.h"

#include "base/number_format.h"
#include "plot/time_axis.h"

#include <algorithm>

namespace {

std::string escaped(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string row(const std::vector<std::string>& cells, const char* tag) {
    std::string out = "<tr>";
    for (const std::string& cell : cells)
        out += std::string("<") + tag + ">" + escaped(cell) + "</" + tag + ">";
    return out + "</tr>\n";
}

std::string limitCell(bool has, std::int32_t hundredths, const char* unit) {
    return has ? limitText(has, hundredths) + " " + unit : "brak";
}

// The first of the statistics' columns about humidity (statisticsHeadings).
constexpr std::size_t kFirstHumidityColumn = 11;

constexpr char kStyle[] = R"(<style>
body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 13px; margin: 24px; color: #222; }
h1 { font-size: 20px; margin: 0 0 4px; }
h2 { font-size: 15px; margin: 20px 0 6px; }
table { border-collapse: collapse; }
th, td { border: 1px solid #aaa; padding: 2px 6px; text-align: right; white-space: nowrap; }
th { background: #eee; }
td:first-child, th:first-child { text-align: left; }
table.days { font-size: 11px; }
img { display: block; max-width: 100%; border: 1px solid #ccc; }
@page { size: landscape; margin: 12mm; }
</style>
)";

} // namespace

std::string reportHtml(const ReportContent& report, const CTimeZone& zone) {
    const std::string range = zoneStamp(zone, report.total.from) + " – " + zoneStamp(zone, report.total.to);
    std::string html = "<!DOCTYPE html>\n<html lang=\"pl\">\n<head>\n<meta charset=\"utf-8\">\n<title>Raport " +
                       escaped(range) + "</title>\n" + kStyle + "</head>\n<body>\n";
    html += "<h1>Raport rejestracji temperatury i wilgotności</h1>\n<p>Zakres: " + escaped(range) + "</p>\n";
    html += "<img alt=\"Wykres\" src=\"data:image/png;base64," + base64(report.png) + "\">\n";

    const AnalysisSettings& settings = report.settings;
    html += "<h2>Granice</h2>\n<table>\n" + row({"", "dolna", "górna"}, "th");
    html += row({"Temperatura", limitCell(settings.temperature.hasLow, settings.temperature.low, "°C"),
                 limitCell(settings.temperature.hasHigh, settings.temperature.high, "°C")},
                "td");
    html += row({"Wilgotność", limitCell(settings.humidity.hasLow, settings.humidity.low, "%"),
                 limitCell(settings.humidity.hasHigh, settings.humidity.high, "%")},
                "td");
    html += "</table>\n<p>Średnia temperatura kinetyczna (MKT): ΔH = " + formatFixed(settings.activation, 3) +
            " kJ/mol, R = 8.3144 J/(mol·K), każdy odczyt z wagą czasu jego trwania.</p>\n";

    const std::vector<std::string> headings = statisticsHeadings();
    const std::vector<std::string> total = statisticsCells(report.total, zone, "Razem", false);
    html += "<h2>Statystyka zakresu</h2>\n<table>\n";
    for (std::size_t i = 1; i < headings.size(); ++i)
        html += row({headings[i], total[i]}, "td");
    // Each day in two tables, temperature and then humidity, narrow enough for a page.
    for (const bool temperature : {true, false}) {
        const std::size_t from = temperature ? 0 : kFirstHumidityColumn;
        const std::size_t to = temperature ? kFirstHumidityColumn : headings.size();
        const auto pick = [&](const std::vector<std::string>& cells, const std::string& first) {
            std::vector<std::string> picked = {first};
            picked.insert(picked.end(), cells.begin() + static_cast<std::ptrdiff_t>(std::max<std::size_t>(from, 1)),
                          cells.begin() + static_cast<std::ptrdiff_t>(to));
            return picked;
        };
        html += std::string("</table>\n<h2>Dni: ") + (temperature ? "temperatura" : "wilgotność") +
                "</h2>\n<table class=\"days\">\n" + row(pick(headings, "Dzień"), "th");
        for (const DayStats& day : report.days) {
            const std::string name = dayText(day.day);
            html += row(pick(statisticsCells(day.stats, zone, name, true), name), "td");
        }
    }
    html += "</table>\n<h2>Pliki</h2>\n<table>\n" + row({"Plik", "Rekordy", "Uszkodzone rekordy"}, "th");
    for (const ReportFile& file : report.files)
        html += row({file.path, std::to_string(file.records), std::to_string(file.damaged)}, "td");
    html += "</table>\n<p>Sporządzono " + formatStamp(report.made) + " programem Plot.</p>\n</body>\n</html>\n";
    return html;
}

ReportJob viewReport(const ViewRange& view, const ChartOptions& options, const AnalysisSettings& settings,
                     std::int64_t made) {
    ReportJob job;
    job.view = view;
    job.from = firstSecond(view);
    job.to = lastSecond(view);
    job.options = options;
    job.settings = settings;
    job.made = made;
    return job;
}

// The range asked for is in local time: from the first moment the clock showed `from` to the last it showed `to`.
// The chart of the whole recording has the margins of the window's whole view; a range is drawn as asked, 10
// seconds at least.
ReportJob commandReport(const CPlotModel& model, const PlotCommand& command, const AnalysisSettings& settings,
                        std::int64_t made) {
    ReportJob job;
    job.from = command.hasFrom ? model.zone().firstAt(command.from) : model.firstTime();
    job.to = command.hasTo ? model.zone().lastAt(command.to) : model.lastTime();
    job.view = model.haveData() ? fullView(model.firstTime(), model.lastTime()) : ViewRange{0, 86400};
    if (command.hasFrom || command.hasTo)
        job.view = {static_cast<double>(job.from), static_cast<double>(std::max(job.to, job.from + 10)), false};
    job.width = command.width;
    job.height = command.action == PlotCommand::Report && command.height == 700 ? 600 : command.height;
    job.options.temperatureLimits = settings.temperature;
    job.options.humidityLimits = settings.humidity;
    job.settings = settings;
    job.made = made;
    return job;
}

// A cache of its own: the report's columns are not the window's.
bool reportChart(const CPlotModel& model, const ReportJob& job, const ByteReader& reader, const ChartEncoder& encode,
                 std::string& png) {
    RecordCache cache;
    const ChartData data = chartData(model, job.view, plotColumns(job.width), reader, cache,
                                     job.options.dewPoint || job.options.absoluteHumidity);
    return encode(job.width, job.height, data, job.options, png);
}

ReportResult reportPage(const CPlotModel& model, const ReportJob& job, const ByteReader& reader,
                        const ChartEncoder& encode, std::string& html) {
    ReportContent report;
    report.settings = job.settings;
    if (!rangeStatistics(model, job.settings, job.from, job.to, reader, report.total, &report.days))
        return ReportResult::Unreadable;
    if (!reportChart(model, job, reader, encode, report.png))
        return ReportResult::Undrawn;
    for (std::size_t f = 0; f < model.fileCount(); ++f)
        report.files.push_back({model.fileName(f), model.scan(f).validCount(), model.scan(f).damagedCount()});
    report.made = job.made;
    html = reportHtml(report, model.zone());
    return ReportResult::Made;
}
