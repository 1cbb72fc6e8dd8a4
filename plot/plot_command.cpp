#include "plot/plot_command.h"

#include "plot/time_axis.h"

namespace {

bool parseSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size() || text.size() > 11)
        return false;
    int values[2] = {0, 0};
    const std::string parts[2] = {text.substr(0, x), text.substr(x + 1)};
    for (int i = 0; i < 2; ++i) {
        for (const char c : parts[i]) {
            if (c < '0' || c > '9')
                return false;
            values[i] = values[i] * 10 + (c - '0');
        }
    }
    // Big enough for the axes, small enough for one bitmap.
    if (values[0] < 200 || values[1] < 150 || values[0] > 8000 || values[1] > 8000)
        return false;
    width = values[0];
    height = values[1];
    return true;
}

PlotCommand usage(const std::string& problem) {
    PlotCommand command;
    command.action = PlotCommand::Usage;
    command.error = problem;
    return command;
}

bool digitsAt(const std::string& text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

bool parseLocalTime(const std::string& text, bool end, std::int64_t& local) {
    LocalTime time;
    if (!(text.size() == 10 || text.size() == 16 || text.size() == 19) || !digitsAt(text, 0, 4, time.year) ||
        text[4] != '-' || !digitsAt(text, 5, 2, time.month) || text[7] != '-' || !digitsAt(text, 8, 2, time.day)) {
        return false;
    }
    std::int64_t rest = 86399;
    if (text.size() > 10) {
        if (text[10] != ' ' || !digitsAt(text, 11, 2, time.hour) || text[13] != ':' ||
            !digitsAt(text, 14, 2, time.minute) || time.hour > 23 || time.minute > 59) {
            return false;
        }
        rest = 59;
    }
    if (text.size() > 16) {
        if (text[16] != ':' || !digitsAt(text, 17, 2, time.second) || time.second > 59)
            return false;
        rest = 0;
    }
    if (time.year < 1 || time.month < 1 || time.month > 12 || time.day < 1 ||
        civilTime(civilSeconds(time)).day != time.day) {
        return false;
    }
    local = civilSeconds(time) + (end ? rest : 0);
    return true;
}

PlotCommand parsePlotCommand(const std::vector<std::string>& args) {
    PlotCommand command;
    bool sizeGiven = false, tabGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool last = i + 1 >= args.size();
        if (arg == "--csv" || arg == "--png" || arg == "--summary" || arg == "--report") {
            if (command.action != PlotCommand::Window || last)
                return usage(arg + " wymaga jednego pliku wyjściowego");
            command.action = arg == "--csv"       ? PlotCommand::Csv
                             : arg == "--png"     ? PlotCommand::Png
                             : arg == "--summary" ? PlotCommand::Summary
                                                  : PlotCommand::Report;
            command.output = args[++i];
        } else if (arg == "--size") {
            if (last || !parseSize(args[i + 1], command.width, command.height))
                return usage("--size wymaga rozmiaru SZERxWYS, od 200x150 do 8000x8000");
            ++i;
            sizeGiven = true;
        } else if (arg == "--tab") {
            command.separator = 0;
            tabGiven = true;
        } else if (arg == "--from" || arg == "--to") {
            const bool to = arg == "--to";
            if (last || !parseLocalTime(args[i + 1], to, to ? command.to : command.from))
                return usage(arg + " wymaga czasu RRRR-MM-DD[ GG:MM[:SS]]");
            (to ? command.hasTo : command.hasFrom) = true;
            ++i;
        } else if (arg == "--limits") {
            if (last || !parseLimits(args[i + 1], command.analysis))
                return usage("--limits wymaga granic T_MIN:T_MAKS:RH_MIN:RH_MAKS (puste pole: bez granicy)");
            command.limitsGiven = true;
            ++i;
        } else if (arg == "--mkt-dh") {
            if (last || !parseActivation(args[i + 1], command.analysis.activation))
                return usage("--mkt-dh wymaga energii aktywacji w kJ/mol, od 0.001 do 1000");
            command.activationGiven = true;
            ++i;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return usage("nieznana opcja " + arg);
        } else {
            command.files.push_back(arg);
        }
    }
    const PlotCommand::Action action = command.action;
    if (sizeGiven && action != PlotCommand::Png && action != PlotCommand::Report)
        return usage("--size tylko z --png i --report");
    if (tabGiven && action != PlotCommand::Csv)
        return usage("--tab tylko z --csv");
    if ((command.hasFrom || command.hasTo) && action == PlotCommand::Window)
        return usage("--from i --to tylko z eksportem");
    if (command.hasFrom && command.hasTo && command.from > command.to)
        return usage("--from po --to");
    if (command.limitsGiven && (action == PlotCommand::Window || action == PlotCommand::Csv))
        return usage("--limits tylko z --png, --summary i --report");
    if (command.activationGiven && action != PlotCommand::Summary && action != PlotCommand::Report)
        return usage("--mkt-dh tylko z --summary i --report");
    if (action != PlotCommand::Window && command.files.empty())
        return usage("brak pliku .hxg");
    return command;
}

AnalysisSettings commandAnalysis(const PlotCommand& command, AnalysisSettings kept) {
    if (command.limitsGiven) {
        kept.temperature = command.analysis.temperature;
        kept.humidity = command.analysis.humidity;
    }
    if (command.activationGiven)
        kept.activation = command.analysis.activation;
    return kept;
}
