#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// The raw DDE wildcard initiate that DdeConnectList makes on Windows, from a hidden window of its own.
class CWildcardScan {
public:
    CWildcardScan() = default;
    CWildcardScan(const CWildcardScan&) = delete;
    CWildcardScan& operator=(const CWildcardScan&) = delete;

    // Every service|topic pair that a server offers for `service` (and `topic`, unless it is empty); with `ansi`
    // the names go out as Windows-1250 atoms.
    std::vector<std::pair<std::string, std::string>> run(const std::string& service, const std::string& topic,
                                                         bool ansi);

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    std::vector<std::pair<std::string, std::string>> found_;
    std::vector<HWND> servers_;
    size_t terminated_ = 0;
};
