#pragma once

#include <windows.h>

// Libraries that only some uses need are loaded when first used, so that a program that never needs them does not
// carry them (and what they bring) from its start. Only the system folder is searched, so that a library of the
// same name beside the program or in the current folder is never loaded instead.
inline HMODULE systemLibrary(const wchar_t* name) {
    return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// A function of `module`, null when the module or the function is missing.
template <typename Function> Function systemFunction(HMODULE module, const char* name) {
    if (module == nullptr)
        return nullptr;
    // Through the generic function pointer type, which the compiler accepts as a cast between function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
