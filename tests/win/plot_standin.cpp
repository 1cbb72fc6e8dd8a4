// plot-standin: stands in for the grapher in the tests. Copied as Plot.exe, it writes the command line it was
// started with (UTF-8) into a file beside itself, named after itself with ".args" added, and ends.

#include "win/text.h"

#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size())
        return 1;
    path.resize(length);
    const HANDLE file = CreateFileW((path + L".args").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    const std::string line = narrow(GetCommandLineW());
    DWORD written = 0;
    const bool ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) != 0;
    CloseHandle(file);
    return ok ? 0 : 1;
}
