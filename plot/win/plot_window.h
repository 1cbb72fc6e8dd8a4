#pragma once

#include "plot/win/chart_painter.h"
#include "plot/plot_model.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// The grapher's main window: the chart of the open recordings, menu, status bar with the loading progress, mouse
// and keyboard zoom and pan, and the periodic look at the files for new records.
class CPlotWindow {
public:
    CPlotWindow() = default;
    ~CPlotWindow();
    CPlotWindow(const CPlotWindow&) = delete;
    CPlotWindow& operator=(const CPlotWindow&) = delete;

    bool create(int show);
    void open(std::vector<std::wstring> paths);
    HWND hwnd() const { return hwnd_; }
    HACCEL accelerators() const { return accelerators_; }

private:
    static LRESULT CALLBACK windowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    void onCommand(int id);
    void onPaint();
    void onSize();
    void onLoaded();
    void onTimer();
    void onMouse(UINT message, WPARAM wParam, LPARAM lParam);
    void setView(const ViewRange& view);
    void updateStatus();
    void updateMenu();
    void updateRecentMenu();
    void exportCsv();
    void exportPngFile();
    std::vector<std::wstring> askFiles();
    ByteReader reader() const;
    RECT clientRect() const;
    double timeAt(int x) const;

    HWND hwnd_ = nullptr;
    HWND status_ = nullptr;
    HWND progress_ = nullptr;
    HACCEL accelerators_ = nullptr;

    std::unique_ptr<CPlotModel> model_;
    std::vector<std::wstring> paths_;
    ViewRange view_;
    ChartOptions options_;
    int separator_ = 2;
    RecordCache cache_;
    ChartData lastData_;

    // Loading happens on a worker; the window keeps answering and shows its progress.
    std::thread loader_;
    std::atomic<bool> cancel_{false};
    std::unique_ptr<CPlotModel> loading_;
    std::vector<std::wstring> loadingPaths_;
    std::vector<std::wstring> failed_;
    bool keepViewAfterLoad_ = false;

    // Mouse: a drag pans, a drag with the right button or Shift selects a range to show.
    enum class Drag { None, Pan, Band } drag_ = Drag::None;
    int dragStartX_ = 0;
    int dragX_ = 0;
    ViewRange dragView_;
    int cursorX_ = -1;
    std::vector<std::string> recent_;
};
