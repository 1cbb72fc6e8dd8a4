#include "ui/win/rich_text.h"

#include <richedit.h>

#include <cstring>

namespace {

struct ResourceReader {
    const char* data;
    DWORD size;
    DWORD offset;
};

DWORD CALLBACK readResource(DWORD_PTR cookie, BYTE* buffer, LONG wanted, LONG* given) {
    auto& reader = *reinterpret_cast<ResourceReader*>(cookie);
    const DWORD left = reader.size - reader.offset;
    const DWORD count = wanted > 0 && static_cast<DWORD>(wanted) < left ? static_cast<DWORD>(wanted) : left;
    std::memcpy(buffer, reader.data + reader.offset, count);
    reader.offset += count;
    *given = static_cast<LONG>(count);
    return 0;
}

} // namespace

bool CRichText::loadLibrary() {
    static const HMODULE library = LoadLibraryW(L"msftedit.dll");
    return library != nullptr;
}

bool CRichText::attachDocument(HWND control, int resourceId, bool swallowClicks) {
    if (!attach(control))
        return false;
    swallowClicks_ = swallowClicks;
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(10)); // RT_RCDATA
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data)
        return false;
    ResourceReader reader{static_cast<const char*>(data), SizeofResource(module, found), 0};
    EDITSTREAM stream{};
    stream.dwCookie = reinterpret_cast<DWORD_PTR>(&reader);
    stream.pfnCallback = readResource;
    SendMessageW(control, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
    SendMessageW(control, EM_SETREADONLY, TRUE, 0);
    SendMessageW(control, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_WINDOW));
    SendMessageW(control, EM_SETSEL, 0, 0);
    return stream.dwError == 0;
}

LRESULT CRichText::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_RBUTTONDBLCLK:
        if (!swallowClicks_)
            break;
        SetFocus(GetParent(hwnd()));
        return 0;
    default:
        break;
    }
    return defaultProc(message, wParam, lParam);
}
