// hx350-watch: the moments a benchmark measures in the running program's window, stamped with
// QueryPerformanceCounter in nanoseconds (under Wine the host's CLOCK_MONOTONIC_RAW, so they compare with a Linux
// process's stamps on that clock).
//
//   hx350-watch text ID [--poll]   print "NS TEXT" for the text of control ID of the main window and for every
//                                  change of it, from a name-change WinEvent hook or, with --poll, from WM_GETTEXT
//                                  every millisecond; ends when the control goes away
//   hx350-watch appear TITLE       wait (up to 60 s) for a visible top-level window captioned TITLE, checked
//                                  every millisecond, and print NS, the moment it was found

#include "bench/win/counter.h"
#include "win/text.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

void writeUtf8(const std::wstring& line) {
    const std::string bytes = narrow(line) + "\n";
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

// WM_GETTEXT is marshalled between processes; GetWindowText would return the system's copy of the caption.
std::wstring windowText(HWND hwnd) {
    wchar_t buffer[512] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 3000, &copied))
        return {};
    return buffer;
}

HWND gControl = nullptr;
std::wstring gLast;

// `stamp` < 0: stamped after the read, so that a polled change is never stamped before it happened.
void reportText(long long stamp) {
    std::wstring text = windowText(gControl);
    if (stamp < 0)
        stamp = counterNanoseconds();
    if (text == gLast)
        return;
    gLast = std::move(text);
    writeUtf8(std::to_wstring(stamp) + L" " + gLast);
}

void CALLBACK onNameChange(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG, DWORD, DWORD) {
    // Stamped on arrival: reading the text back is a round trip to the program, which may be busy by then.
    const long long stamp = counterNanoseconds();
    if (hwnd == gControl && object == OBJID_WINDOW)
        reportText(stamp);
}

int watchText(int id, bool poll) {
    HWND main = FindWindowW(L"#32770", L"HX350");
    gControl = main ? GetDlgItem(main, id) : nullptr;
    if (!gControl)
        return 1;
    gLast = windowText(gControl);
    writeUtf8(std::to_wstring(counterNanoseconds()) + L" " + gLast);
    HWINEVENTHOOK hook = nullptr;
    if (!poll) {
        DWORD process = 0;
        GetWindowThreadProcessId(gControl, &process);
        hook = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE, nullptr, onNameChange, process, 0,
                               WINEVENT_OUTOFCONTEXT);
        if (!hook)
            return 1;
    }
    while (IsWindow(gControl)) {
        if (poll) {
            Sleep(1);
            reportText(-1);
            continue;
        }
        // Out-of-context events arrive as this thread's messages.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
    }
    if (hook)
        UnhookWinEvent(hook);
    return 0;
}

int appear(const std::wstring& title) {
    const ULONGLONG deadline = GetTickCount64() + 60000;
    for (;;) {
        HWND found = FindWindowW(nullptr, title.c_str());
        if (found && IsWindowVisible(found)) {
            writeUtf8(std::to_wstring(counterNanoseconds()));
            return 0;
        }
        if (GetTickCount64() >= deadline)
            return 1;
        Sleep(1);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 3 && std::wcscmp(argv[1], L"text") == 0)
        return watchText(std::wcstol(argv[2], nullptr, 10), argc >= 4 && std::wcscmp(argv[3], L"--poll") == 0);
    if (argc == 3 && std::wcscmp(argv[1], L"appear") == 0)
        return appear(argv[2]);
    std::fputs("usage: hx350-watch text ID [--poll] | appear TITLE\n", stderr);
    return 2;
}
