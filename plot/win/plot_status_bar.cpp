#include "plot/win/plot_status_bar.h"

#include "win/text.h"

#include <commctrl.h>

void CPlotStatusBar::create(HWND parent) {
    bar_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, parent,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
    progress_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 0, 0, bar_, nullptr, GetModuleHandleW(nullptr),
                                nullptr);
    SendMessageW(progress_, PBM_SETRANGE32, 0, 1000);
}

void CPlotStatusBar::layout(int width) {
    SendMessageW(bar_, WM_SIZE, 0, 0);
    const int parts[3] = {width * 2 / 5, width * 4 / 5, -1};
    SendMessageW(bar_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    RECT cell{};
    SendMessageW(bar_, SB_GETRECT, 2, reinterpret_cast<LPARAM>(&cell));
    MoveWindow(progress_, cell.left + 2, cell.top + 2, cell.right - cell.left - 20, cell.bottom - cell.top - 4, TRUE);
}

int CPlotStatusBar::height() const {
    RECT bar{};
    return bar_ && GetWindowRect(bar_, &bar) ? bar.bottom - bar.top : 0;
}

void CPlotStatusBar::setText(int part, const std::string& text) {
    SendMessageW(bar_, SB_SETTEXTW, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(widen(text).c_str()));
}

void CPlotStatusBar::showLoading() {
    ShowWindow(progress_, SW_SHOW);
    SendMessageW(progress_, PBM_SETPOS, 0, 0);
    SendMessageW(bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"Wczytywanie…"));
}

void CPlotStatusBar::setProgress(int permille) {
    SendMessageW(progress_, PBM_SETPOS, static_cast<WPARAM>(permille), 0);
}

void CPlotStatusBar::hideProgress() {
    ShowWindow(progress_, SW_HIDE);
}
