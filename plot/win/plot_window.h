#pragma once

#include "plot/chart_data.h"
#include "plot/plot_model.h"
#include "plot/plot_mouse.h"
#include "plot/plot_settings.h"
#include "plot/win/plot_loader.h"
#include "plot/win/plot_status_bar.h"
#include "plot/win/stats_window.h"
#include "win/window_base.h"

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

// The grapher's main window: the chart of the open recordings, menu, status bar with the loading progress, mouse
// and keyboard zoom and pan, the periodic look at the files for new records, and the statistics window. The view's
// moves are decided by ChartMouse and plot_view, the reports by the report job; the window carries them out.
class CPlotWindow : public CWindowBase {
public:
    // The window works on `ini`, which the program reads before the window opens and saves after it closed.
    CPlotWindow(const CTimeZone& zone, CPlotIni& ini) : zone_(zone), ini_(ini), loader_(zone) {}

    bool create(int show);
    void open(std::vector<std::wstring> paths);
    HACCEL accelerators() const { return accelerators_; }

protected:
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void onCreate();
    void onCommand(int id);
    void onPaint();
    void onSize();
    void onLoaded();
    void onTimer();
    void onMouse(UINT message, WPARAM wParam, LPARAM lParam);
    void apply(const ChartStep& step);
    void setView(const ViewRange& view);
    void dataChanged();
    // The title and the status bar. What the title and the first part show changes only in setView, onLoaded and
    // onTimer, which update them all; a move of the pointer updates only the readout, save while files are read: the
    // first part then shows the loading until a move puts the counts back, and a look at the files that read new
    // records before it chose to read them all again left the title's count behind.
    void updateStatus();
    // The readout under the pointer.
    void updateReadout();
    void updateMenu();
    void updateStatistics();
    void editLimits();
    ByteReader reader() const;
    RECT clientRect() const;
    PlotColumns columns() const;

    const CTimeZone& zone_;
    CPlotIni& ini_;
    CPlotStatusBar status_;
    HACCEL accelerators_ = nullptr;
    CStatsWindow stats_;

    std::unique_ptr<CPlotModel> model_;
    std::vector<std::wstring> paths_;
    ViewRange view_;
    ChartOptions options_;
    int separator_ = 2;
    RecordCache cache_;
    ChartData lastData_;

    CPlotLoader loader_;
    bool reload_ = false; // the files are read again because one changed on disk
    ChartMouse mouse_;
};
