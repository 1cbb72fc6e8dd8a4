#include "win/system_dialogs.h"

#include <shellapi.h>

namespace {

// Only the system folder is searched, so that a library of the same name beside the program or in the current
// folder is never loaded instead.
HMODULE systemLibrary(const wchar_t* name) {
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

template <typename Function> Function function(HMODULE module, const char* name) {
    if (module == nullptr)
        return nullptr;
    // Through the generic function pointer type, which the compiler accepts as a cast between function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

HMODULE dialogsLibrary() {
    static const HMODULE module = systemLibrary(L"comdlg32.dll");
    return module;
}

} // namespace

BOOL systemChooseColor(CHOOSECOLORW& choice) {
    static const auto call = function<BOOL(WINAPI*)(CHOOSECOLORW*)>(dialogsLibrary(), "ChooseColorW");
    return call != nullptr ? call(&choice) : FALSE;
}

BOOL systemChooseFont(CHOOSEFONTW& choice) {
    static const auto call = function<BOOL(WINAPI*)(CHOOSEFONTW*)>(dialogsLibrary(), "ChooseFontW");
    return call != nullptr ? call(&choice) : FALSE;
}

BOOL systemGetOpenFileName(OPENFILENAMEW& request) {
    static const auto call = function<BOOL(WINAPI*)(OPENFILENAMEW*)>(dialogsLibrary(), "GetOpenFileNameW");
    return call != nullptr ? call(&request) : FALSE;
}

INT_PTR systemShellOpen(const wchar_t* target, int showCommand) {
    using ShellExecute = HINSTANCE(WINAPI*)(HWND, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, int);
    static const auto call = function<ShellExecute>(systemLibrary(L"shell32.dll"), "ShellExecuteW");
    if (call == nullptr)
        return SE_ERR_DLLNOTFOUND;
    return reinterpret_cast<INT_PTR>(call(nullptr, L"open", target, nullptr, nullptr, showCommand));
}
