#include "win/text.h"

#include <windows.h>

namespace {

std::wstring toWide(unsigned codePage, std::string_view text) {
    if (text.empty())
        return {};
    int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), length);
    return result;
}

std::string fromWide(unsigned codePage, std::wstring_view text) {
    if (text.empty())
        return {};
    int length =
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(length > 0 ? length : 0), '\0');
    if (length > 0)
        WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), result.data(), length, nullptr,
                            nullptr);
    return result;
}

} // namespace

std::wstring widen(std::string_view utf8) {
    return toWide(CP_UTF8, utf8);
}
std::string narrow(std::wstring_view wide) {
    return fromWide(CP_UTF8, wide);
}
std::wstring ansiToWide(std::string_view ansi) {
    return toWide(CP_ACP, ansi);
}
std::string wideToAnsi(std::wstring_view wide) {
    return fromWide(CP_ACP, wide);
}

std::wstring modulePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        if (path.size() >= 32768)
            return {};
        path.resize(path.size() * 2);
    }
}
