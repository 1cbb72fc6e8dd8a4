#include "plot/plot_texts.h"

#include "base/number_format.h"
#include "plot/time_axis.h"

#include <cmath>

namespace {

std::string fileTitle(const std::string& path) {
    return path.substr(path.find_last_of("\\/") + 1);
}

std::string valueText(const std::vector<TracePoint>& points, double column, const char* unit) {
    const TracePoint* point = pointAt(points, column);
    if (!point)
        return "  ---";
    std::string text = "  " + formatFixed(point->low / 10.0, 1);
    if (point->high != point->low)
        text += "…" + formatFixed(point->high / 10.0, 1);
    return text + " " + unit;
}

} // namespace

std::string windowTitle(const std::vector<std::string>& paths, bool open, std::uint64_t records) {
    std::string title = "Plot";
    if (open && !paths.empty()) {
        title += " - " + fileTitle(paths[0]);
        if (paths.size() > 1)
            title += " (+" + std::to_string(paths.size() - 1) + ")";
        title += " - " + std::to_string(records) + " rek.";
    }
    return title;
}

std::string statusText(std::size_t files, std::uint64_t records, std::uint64_t damaged, bool following) {
    std::string text = "Pliki: " + std::to_string(files) + ", rekordy: " + std::to_string(records) +
                       ", uszkodzone: " + std::to_string(damaged);
    if (following)
        text += ", śledzenie końca";
    return text;
}

std::string readoutText(const CTimeZone& zone, double time, const Trace& trace, const ChartOptions& options,
                        double column) {
    std::string text = zoneStamp(zone, static_cast<std::int64_t>(std::floor(time)));
    if (options.temperature)
        text += valueText(trace.temperature, column, "°C");
    if (options.humidity)
        text += valueText(trace.humidity, column, "%");
    if (options.dewPoint)
        text += "  rosa" + valueText(trace.dewPoint, column, "°C");
    if (options.absoluteHumidity)
        text += valueText(trace.absoluteHumidity, column, "g/m³");
    return text;
}

const char* emptyChartText(bool loading, bool open) {
    return loading ? "Wczytywanie…"
           : open  ? "Plik nie zawiera jeszcze rekordów."
                   : "Plik → Otwórz… albo przeciągnij tu plik .hxg.";
}

std::string openFailedText(const std::vector<std::string>& paths) {
    std::string text = "Nie można otworzyć pliku:";
    for (const auto& path : paths)
        text += "\n" + path;
    return text;
}
