#include "plot/win/file_dialogs.h"

#include <commdlg.h>

#include <cwchar>

std::vector<std::wstring> askRecordingFiles(HWND owner) {
    std::wstring buffer(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = L"Pliki rejestracji (*.hxg)\0*.hxg\0Wszystkie pliki (*.*)\0*.*\0";
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = L"Otwórz plik rejestracji";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn))
        return {};
    // Several files come as the folder, then each name, separated by NULs.
    std::vector<std::wstring> parts;
    for (const wchar_t* p = buffer.c_str(); *p; p += wcslen(p) + 1)
        parts.emplace_back(p);
    if (parts.size() == 1)
        return parts;
    std::vector<std::wstring> paths;
    for (std::size_t i = 1; i < parts.size(); ++i)
        paths.push_back(parts[0] + L"\\" + parts[i]);
    return paths;
}

std::vector<std::wstring> droppedFiles(HDROP drop) {
    std::vector<std::wstring> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(path);
    }
    DragFinish(drop);
    return paths;
}
