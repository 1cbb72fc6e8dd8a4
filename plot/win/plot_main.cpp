// Plot.exe: the grapher of the binary recording files. Without options it opens its window (with the files named
// on the command line); --csv, --png, --summary and --report export and exit, so that they can be scripted.
#include "plot/plot_command.h"
#include "plot/report.h"
#include "plot/time_axis.h"
#include "plot/win/chart_painter.h"
#include "plot/win/file_access.h"
#include "plot/win/plot_window.h"
#include "plot/win/png_export.h"
#include "plot/win/system_zone.h"
#include "win/clock.h"
#include "win/text.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

namespace {

void writeError(const std::string& utf8) {
    const std::string text = utf8 + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

std::vector<std::string> arguments() {
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; argv && i < count; ++i)
        args.push_back(narrow(argv[i]));
    LocalFree(argv);
    return args;
}

// The limits and ΔH kept in plot.ini, unless the command line gives its own.
AnalysisSettings analysisOf(const PlotCommand& command, AnalysisSettings settings) {
    if (command.limitsGiven) {
        settings.temperature = command.analysis.temperature;
        settings.humidity = command.analysis.humidity;
    }
    if (command.activationGiven)
        settings.activation = command.analysis.activation;
    return settings;
}

// Exit codes: 0 done, 1 a file could not be read or written, 2 a wrong command line.
int runExport(const PlotCommand& command, const CPlotIni& ini) {
    const CTimeZone& zone = systemZone();
    CPlotModel model(zone);
    std::vector<std::wstring> paths;
    for (const std::string& name : command.files) {
        LoadedFile loaded;
        const std::wstring path = widen(name);
        if (!loadRecordingFile(path, loaded, nullptr, nullptr, zone)) {
            writeError("nie można otworzyć pliku " + name);
            return 1;
        }
        model.addFile(name, std::move(loaded));
        paths.push_back(path);
    }
    const ByteReader reader = [&paths](std::size_t file, std::uint64_t offset, std::uint64_t length, std::string& out) {
        return readRecordingBytes(paths[file], offset, length, out);
    };
    // The range asked for in local time: from the first moment the clock showed `from` to the last it showed `to`.
    const std::int64_t t0 = command.hasFrom ? zone.firstAt(command.from) : model.firstTime();
    const std::int64_t t1 = command.hasTo ? zone.lastAt(command.to) : model.lastTime();
    const std::wstring output = widen(command.output);
    const auto failed = [&] {
        writeError("nie można zapisać pliku " + command.output);
        return 1;
    };
    if (command.action == PlotCommand::Csv)
        return writeCsv(output, model, t0, t1, command.separator, reader) ? 0 : failed();

    const AnalysisSettings analysis = analysisOf(command, ini.analysis());
    RangeStats total;
    std::vector<DayStats> days;
    if (command.action != PlotCommand::Png && !rangeStatistics(model, analysis, t0, t1, reader, total, &days)) {
        writeError("nie można odczytać plików");
        return 1;
    }
    if (command.action == PlotCommand::Summary)
        return writeWholeFile(output, summaryCsv(total, days)) ? 0 : failed();

    ViewRange view = model.haveData() ? fullView(model.firstTime(), model.lastTime()) : ViewRange{0, 86400};
    if (command.hasFrom || command.hasTo)
        view = {static_cast<double>(t0), static_cast<double>(std::max(t1, t0 + 10)), false};
    const int width = command.width,
              height = command.action == PlotCommand::Report && command.height == 700 ? 600 : command.height;
    const RECT area = plotArea(RECT{0, 0, width, height});
    RecordCache cache;
    const ChartData data = chartData(model, view, area.right - area.left, reader, cache, false);
    ChartOptions options;
    options.temperatureLimits = analysis.temperature;
    options.humidityLimits = analysis.humidity;
    std::string png;
    if (!encodePng(width, height, data, options, zone, png))
        return failed();
    if (command.action == PlotCommand::Png)
        return writeWholeFile(output, png) ? 0 : failed();

    ReportContent report;
    report.settings = analysis;
    report.total = total;
    report.days = days;
    report.png = std::move(png);
    for (std::size_t f = 0; f < model.fileCount(); ++f)
        report.files.push_back({model.fileName(f), model.scan(f).validCount(), model.scan(f).damagedCount()});
    report.made = civilSeconds(localNow());
    return writeWholeFile(output, reportHtml(report, zone)) ? 0 : failed();
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    const PlotCommand command = parsePlotCommand(arguments());
    if (command.action == PlotCommand::Usage) {
        writeError("Plot: " + command.error);
        writeError(
            "użycie: Plot.exe [PLIK.hxg ...] | --csv WYJŚCIE.csv [--tab] PLIK.hxg ... | "
            "--png WYJŚCIE.png [--size SZERxWYS] PLIK.hxg ... | --summary WYJŚCIE.csv PLIK.hxg ... | "
            "--report WYJŚCIE.html [--size SZERxWYS] PLIK.hxg ...; przy eksporcie także "
            "--from \"RRRR-MM-DD[ GG:MM[:SS]]\", --to ..., --limits T_MIN:T_MAKS:RH_MIN:RH_MAKS, --mkt-dh KJ_NA_MOL");
        return 2;
    }
    CPlotIni ini;
    readPlotIni(ini);
    if (command.action != PlotCommand::Window)
        return runExport(command, ini);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    // The open and save dialogs need COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    {
        CPlotWindow window(systemZone(), ini);
        if (!window.create(show))
            return 1;
        std::vector<std::wstring> paths;
        for (const std::string& file : command.files)
            paths.push_back(widen(file));
        window.open(paths);
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            if (!TranslateAcceleratorW(window.hwnd(), window.accelerators(), &message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
        }
        exitCode = static_cast<int>(message.wParam);
    }
    savePlotIni(ini);
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
