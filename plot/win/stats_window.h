#pragma once

#include "plot/statistics.h"
#include "win/window_base.h"

#include <string>
#include <vector>

// "Statystyka": the statistics of the visible range and of each of its days in a table, beside the chart. Closing
// it only hides it.
class CStatsWindow : public CWindowBase {
public:
    bool create(HWND owner);
    void show();
    bool visible() const;
    void setStatistics(const RangeStats& total, const std::vector<DayStats>& days, const CTimeZone& zone);

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void addRow(int row, const std::vector<std::string>& cells);

    HWND list_ = nullptr;
};
