#include "plot/plot_command.h"

#include <algorithm>
#include <cctype>

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

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

PlotCommand parsePlotCommand(const std::vector<std::string>& args) {
    PlotCommand command;
    bool sizeGiven = false, tabGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--csv" || arg == "--png") {
            if (command.action != PlotCommand::Window || i + 1 >= args.size()) {
                return usage(arg == "--csv" ? "--csv wymaga jednego pliku wyjściowego"
                                            : "--png wymaga jednego pliku wyjściowego");
            }
            command.action = arg == "--csv" ? PlotCommand::Csv : PlotCommand::Png;
            command.output = args[++i];
        } else if (arg == "--size") {
            if (i + 1 >= args.size() || !parseSize(args[i + 1], command.width, command.height))
                return usage("--size wymaga rozmiaru SZERxWYS, od 200x150 do 8000x8000");
            ++i;
            sizeGiven = true;
        } else if (arg == "--tab") {
            command.separator = 0;
            tabGiven = true;
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            return usage("nieznana opcja " + arg);
        } else {
            command.files.push_back(arg);
        }
    }
    if (sizeGiven && command.action != PlotCommand::Png)
        return usage("--size tylko z --png");
    if (tabGiven && command.action != PlotCommand::Csv)
        return usage("--tab tylko z --csv");
    if (command.action != PlotCommand::Window && command.files.empty())
        return usage("brak pliku .hxg");
    return command;
}

std::vector<std::string> rememberFile(std::vector<std::string> recent, const std::string& path, std::size_t keep) {
    recent.erase(std::remove_if(recent.begin(), recent.end(),
                                [&path](const std::string& other) { return sameIgnoringCase(other, path); }),
                 recent.end());
    recent.insert(recent.begin(), path);
    if (recent.size() > keep)
        recent.resize(keep);
    return recent;
}
