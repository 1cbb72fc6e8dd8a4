// Plot.exe: the grapher of the binary recording files. Without options it opens its window (with the files named
// on the command line); --csv, --png, --summary and --report export and exit, so that they can be scripted.
#include "plot/plot_command.h"
#include "plot/report.h"
#include "plot/time_axis.h"
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
    const ReportJob job =
        commandReport(model, command, commandAnalysis(command, ini.analysis()), civilSeconds(localNow()));
    const std::wstring output = widen(command.output);
    const auto failed = [&] {
        writeError("nie można zapisać pliku " + command.output);
        return 1;
    };
    const auto unreadable = [] {
        writeError("nie można odczytać plików");
        return 1;
    };
    std::string bytes;
    switch (command.action) {
    case PlotCommand::Csv:
        return writeCsv(output, model, job.from, job.to, command.separator, reader) ? 0 : failed();
    case PlotCommand::Summary: {
        RangeStats total;
        std::vector<DayStats> days;
        if (!rangeStatistics(model, job.settings, job.from, job.to, reader, total, &days))
            return unreadable();
        return writeWholeFile(output, summaryCsv(total, days)) ? 0 : failed();
    }
    case PlotCommand::Png:
        return reportChart(model, job, reader, pngEncoder(zone), bytes) && writeWholeFile(output, bytes) ? 0 : failed();
    default:
        break;
    }
    switch (reportPage(model, job, reader, pngEncoder(zone), bytes)) {
    case ReportResult::Unreadable:
        return unreadable();
    case ReportResult::Undrawn:
        return failed();
    case ReportResult::Made:
        break;
    }
    return writeWholeFile(output, bytes) ? 0 : failed();
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
