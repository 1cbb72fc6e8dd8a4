#include "plot/win/stats_window.h"

#include "win/text.h"

#include <commctrl.h>

namespace {

constexpr wchar_t kClassName[] = L"HX350.PlotStatistics";

} // namespace

bool CStatsWindow::create(HWND owner) {
    WNDCLASSEXW windowClass{};
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    return registerClass(windowClass) &&
           createWindow(0, kClassName, L"Statystyka", WS_OVERLAPPEDWINDOW, SIZE{900, 360}, owner);
}

void CStatsWindow::show() {
    ShowWindow(hwnd(), SW_SHOW);
    SetForegroundWindow(hwnd());
}

bool CStatsWindow::visible() const {
    return hwnd() && IsWindowVisible(hwnd());
}

LRESULT CStatsWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        list_ = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_NOSORTHEADER, 0, 0, 0, 0,
                                hwnd(), nullptr, GetModuleHandleW(nullptr), nullptr);
        SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES);
        int column = 0;
        for (const std::string& heading : statisticsHeadings()) {
            std::wstring text = widen(heading);
            LVCOLUMNW info{};
            info.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
            info.fmt = column == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;
            // The minima and maxima carry their times, the range's with the date.
            const bool withTime = heading.find("min") != std::string::npos || heading.find("maks") != std::string::npos;
            info.cx = column == 0 ? 120 : withTime ? 210 : 110;
            info.pszText = text.data();
            SendMessageW(list_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column++), reinterpret_cast<LPARAM>(&info));
        }
        return 0;
    }
    case WM_SIZE:
        MoveWindow(list_, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_CLOSE:
        ShowWindow(hwnd(), SW_HIDE);
        return 0;
    default:
        return defaultProc(message, wParam, lParam);
    }
}

void CStatsWindow::addRow(int row, const std::vector<std::string>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        std::wstring text = widen(cells[i]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = static_cast<int>(i);
        item.pszText = text.data();
        SendMessageW(list_, i == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, i == 0 ? 0 : static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item));
    }
}

void CStatsWindow::setStatistics(const RangeStats& total, const std::vector<DayStats>& days, const CTimeZone& zone) {
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    addRow(0, statisticsCells(total, zone, "Widoczny zakres", false));
    int row = 1;
    for (const DayStats& day : days)
        addRow(row++, statisticsCells(day.stats, zone, dayText(day.day), true));
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}
