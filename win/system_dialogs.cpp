#include "win/system_dialogs.h"

#include "win/system_library.h"

#include <shellapi.h>

namespace {

HMODULE dialogsLibrary() {
    static const HMODULE module = systemLibrary(L"comdlg32.dll");
    return module;
}

} // namespace

BOOL systemChooseColor(CHOOSECOLORW& choice) {
    static const auto call = systemFunction<BOOL(WINAPI*)(CHOOSECOLORW*)>(dialogsLibrary(), "ChooseColorW");
    return call != nullptr ? call(&choice) : FALSE;
}

BOOL systemChooseFont(CHOOSEFONTW& choice) {
    static const auto call = systemFunction<BOOL(WINAPI*)(CHOOSEFONTW*)>(dialogsLibrary(), "ChooseFontW");
    return call != nullptr ? call(&choice) : FALSE;
}

BOOL systemGetOpenFileName(OPENFILENAMEW& request) {
    static const auto call = systemFunction<BOOL(WINAPI*)(OPENFILENAMEW*)>(dialogsLibrary(), "GetOpenFileNameW");
    return call != nullptr ? call(&request) : FALSE;
}

INT_PTR systemShellOpen(const wchar_t* target, int showCommand) {
    using ShellExecute = HINSTANCE(WINAPI*)(HWND, const wchar_t*, const wchar_t*, const wchar_t*, const wchar_t*, int);
    static const auto call = systemFunction<ShellExecute>(systemLibrary(L"shell32.dll"), "ShellExecuteW");
    if (call == nullptr)
        return SE_ERR_DLLNOTFOUND;
    return reinterpret_cast<INT_PTR>(call(nullptr, L"open", target, nullptr, nullptr, showCommand));
}
