// hx350-blank: one empty top-level window and nothing else, the baseline for the program's start-up time under the
// same system: whatever it takes to appear is the system's share, not the program's.
//
//   hx350-blank [MILLISECONDS]   closes itself that long after its window is shown (default: stays open)

#include <windows.h>

#include <cwchar>

namespace {

LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        DestroyWindow(hwnd);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
    const long lifetimeMs = std::wcstol(commandLine, nullptr, 10);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = L"HX350Blank";
    RegisterClassW(&windowClass);
    HWND hwnd = CreateWindowW(L"HX350Blank", L"HX350 blank", WS_OVERLAPPEDWINDOW, 100, 100, 600, 400, nullptr, nullptr,
                              instance, nullptr);
    if (!hwnd)
        return 1;
    ShowWindow(hwnd, SW_SHOW);
    if (lifetimeMs > 0)
        SetTimer(hwnd, 1, static_cast<UINT>(lifetimeMs), nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
