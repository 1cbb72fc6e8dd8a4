#pragma once

#include "plot/plot_model.h"

#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Posted to the window while files are read, with the permille read so far in wParam.
inline constexpr UINT WM_PLOT_PROGRESS = WM_APP + 1;
// Posted to the window when a reading has ended, with wParam and lParam 0; the window then takes the result with
// CPlotLoader::take().
inline constexpr UINT WM_PLOT_LOADED = WM_APP + 2;

// Reads recording files into a new model on a worker thread, so that the window keeps answering and shows the
// progress meanwhile; one reading at a time. The worker shares with the window only the cancel flag and the queue
// of results, which this object owns: a result nobody took is freed with it.
class CPlotLoader {
public:
    struct Result {
        std::unique_ptr<CPlotModel> model;
        std::vector<std::wstring> loaded;
        std::vector<std::wstring> failed;
    };

    explicit CPlotLoader(const CTimeZone& zone) : zone_(zone) {}
    ~CPlotLoader(); // stop()
    CPlotLoader(const CPlotLoader&) = delete;
    CPlotLoader& operator=(const CPlotLoader&) = delete;

    bool busy() const { return worker_.joinable(); }
    // Begins reading `paths`, each made a full path, for `window`; false while a reading is under way.
    bool start(HWND window, std::vector<std::wstring> paths);
    // After WM_PLOT_LOADED: the result, once the worker has ended; null when there is none.
    std::unique_ptr<Result> take();
    // Cancels a reading under way and waits for its worker; what it leaves is freed.
    void stop();

private:
    void run(HWND window, const std::vector<std::wstring>& paths);

    const CTimeZone& zone_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::mutex mutex_;
    std::deque<std::unique_ptr<Result>> results_;
};
