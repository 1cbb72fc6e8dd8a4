#include "plot/win/plot_loader.h"

#include "plot/win/file_access.h"
#include "win/text.h"

CPlotLoader::~CPlotLoader() {
    stop();
}

bool CPlotLoader::start(HWND window, std::vector<std::wstring> paths) {
    if (busy())
        return false;
    for (auto& path : paths) {
        wchar_t full[MAX_PATH * 4] = {};
        if (GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr))
            path = full;
    }
    cancel_ = false;
    worker_ = std::thread([this, window, paths = std::move(paths)] { run(window, paths); });
    return true;
}

// The worker has queued its result before it posted, so the join waits only for its return.
std::unique_ptr<CPlotLoader::Result> CPlotLoader::take() {
    if (worker_.joinable())
        worker_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    if (results_.empty())
        return nullptr;
    std::unique_ptr<Result> result = std::move(results_.front());
    results_.pop_front();
    return result;
}

void CPlotLoader::stop() {
    cancel_ = true;
    if (worker_.joinable())
        worker_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    results_.clear();
}

// The progress counts the bytes of all files together; a file that cannot be read goes to the failed ones and the
// others are still read.
void CPlotLoader::run(HWND window, const std::vector<std::wstring>& paths) {
    auto result = std::make_unique<Result>();
    result->model = std::make_unique<CPlotModel>(zone_);
    std::uint64_t total = 0, before = 0;
    for (const auto& path : paths) {
        std::uint64_t size = 0;
        total += recordingFileSize(path, size) ? size : 0;
    }
    std::atomic<int> lastShown{-1};
    for (const auto& path : paths) {
        LoadedFile file;
        const ProgressFn progress = [&](std::uint64_t done) {
            const int permille = total ? static_cast<int>((before + done) * 1000 / total) : 0;
            if (permille != lastShown.exchange(permille))
                PostMessageW(window, WM_PLOT_PROGRESS, static_cast<WPARAM>(permille), 0);
        };
        if (!loadRecordingFile(path, file, progress, &cancel_, zone_)) {
            result->failed.push_back(path);
            continue;
        }
        before += file.scan->fedTo();
        result->model->addFile(narrow(path), std::move(file));
        result->loaded.push_back(path);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        results_.push_back(std::move(result));
    }
    PostMessageW(window, WM_PLOT_LOADED, 0, 0);
}
