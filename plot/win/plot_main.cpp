// Plot.exe: the grapher of the binary recording files. Without options it opens its window (with the files named
// on the command line); --csv and --png export and exit, so that they can be scripted.
#include "plot/win/file_access.h"
#include "plot/plot_command.h"
#include "plot/win/plot_window.h"
#include "plot/win/png_export.h"
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
int runExport(const PlotCommand& command) {
    CPlotModel model;
    std::vector<std::wstring> paths;
    for (const std::string& name : command.files) {
        LoadedFile loaded;
        const std::wstring path = widen(name);
        if (!loadRecordingFile(path, loaded, nullptr, nullptr)) {
            writeError("nie można otworzyć pliku " + name);
            return 1;
        }
        model.addFile(name, std::move(loaded));
        paths.push_back(path);
    }
    const ByteReader reader = [&paths](std::size_t file, std::uint64_t offset, std::uint64_t length, std::string& out) {
        return readRecordingBytes(paths[file], offset, length, out);
    };
    const std::wstring output = widen(command.output);
    if (command.action == PlotCommand::Csv) {
        if (!writeCsv(output, model, model.firstTime(), model.lastTime(), command.separator, reader)) {
            writeError("nie można zapisać pliku " + command.output);
            return 1;
        }
        return 0;
    }
    const ViewRange view = model.haveData() ? fullView(model.firstTime(), model.lastTime()) : ViewRange{0, 86400};
    const RECT area = plotArea(RECT{0, 0, command.width, command.height});
    RecordCache cache;
    const ChartData data = chartData(model, view, area.right - area.left, reader, cache);
    if (!exportPng(output, command.width, command.height, data, ChartOptions{})) {
        writeError("nie można zapisać pliku " + command.output);
        return 1;
    }
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    const PlotCommand command = parsePlotCommand(arguments());
    if (command.action == PlotCommand::Usage) {
        writeError("Plot: " + command.error);
        writeError("użycie: Plot.exe [PLIK.hxg ...] | --csv WYJŚCIE.csv [--tab] PLIK.hxg ... | "
                   "--png WYJŚCIE.png [--size SZERxWYS] PLIK.hxg ...");
        return 2;
    }
    if (command.action != PlotCommand::Window)
        return runExport(command);

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    // The open and save dialogs need COM on this thread.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int exitCode = 0;
    {
        CPlotWindow window;
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
    if (SUCCEEDED(com))
        CoUninitialize();
    return exitCode;
}
