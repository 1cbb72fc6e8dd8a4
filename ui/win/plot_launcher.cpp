#include "ui/win/plot_launcher.h"

#include "ui/plot_launch.h"
#include "win/text.h"

#include <string>

// The grapher runs on its own: nothing waits for it. It inherits the current folder, so a recording file named
// relative to it is the same file for both programs.
void launchPlot(HWND owner, const RecordingSettings& recording) {
    const std::string path = plotPath(narrow(modulePath()));
    const std::wstring application = widen(path);
    std::wstring commandLine = widen(plotCommandLine(path, recording));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        MessageBoxW(owner, L"Nie można odnaleźć programu Plot.exe", L"HX350", MB_OK);
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}
