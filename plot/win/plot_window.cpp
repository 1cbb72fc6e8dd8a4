#include "plot/win/plot_window.h"

#include "plot/plot_texts.h"
#include "plot/win/chart_painter.h"
#include "plot/win/file_access.h"
#include "plot/win/file_dialogs.h"
#include "plot/win/plot_exports.h"
#include "plot/win/limits_dialog.h"
#include "plot/win/plot_menu.h"
#include "plot/win/resource.h"
#include "win/clock.h"
#include "win/gdi.h"
#include "win/text.h"

#include <windowsx.h>

namespace {

constexpr wchar_t kClassName[] = L"HX350.Plot";
constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT kFollowPeriodMs = 400; // new records within a second of being written
// The statistics follow the view once it has stood still this long, not at every step of a drag.
constexpr UINT_PTR kStatisticsTimer = 2;
constexpr UINT kStatisticsDelayMs = 250;

std::vector<std::string> narrowAll(const std::vector<std::wstring>& paths) {
    std::vector<std::string> result;
    for (const auto& path : paths)
        result.push_back(narrow(path));
    return result;
}

} // namespace

bool CPlotWindow::create(int show) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_PLOT));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_CROSS);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDR_PLOT_MENU);
    windowClass.lpszClassName = kClassName;
    accelerators_ = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_PLOT_KEYS));
    options_.temperatureLimits = ini_.analysis().temperature;
    options_.humidityLimits = ini_.analysis().humidity;
    if (!registerClass(windowClass) || !createWindow(WS_EX_ACCEPTFILES, kClassName, L"Plot",
                                                     WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, SIZE{1000, 640}, nullptr)) {
        return false;
    }
    stats_.create(hwnd());
    ShowWindow(hwnd(), show);
    UpdateWindow(hwnd());
    return true;
}

LRESULT CPlotWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        onCreate();
        return 0;
    case WM_SIZE:
        onSize();
        return 0;
    case WM_PAINT:
        onPaint();
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_COMMAND:
        onCommand(LOWORD(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kFollowTimer)
            onTimer();
        if (wParam == kStatisticsTimer) {
            KillTimer(hwnd(), kStatisticsTimer);
            updateStatistics();
        }
        return 0;
    case WM_PLOT_PROGRESS:
        status_.setProgress(static_cast<int>(wParam));
        return 0;
    case WM_PLOT_LOADED:
        onLoaded();
        return 0;
    case WM_DROPFILES:
        open(droppedFiles(reinterpret_cast<HDROP>(wParam)));
        return 0;
    case WM_MOUSEWHEEL:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MOUSELEAVE:
        onMouse(message, wParam, lParam);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_LEFT || wParam == VK_RIGHT) {
            apply(arrowKey(view_, wParam == VK_RIGHT, GetKeyState(VK_CONTROL) < 0));
            return 0;
        }
        break;
    case WM_CLOSE:
        DestroyWindow(hwnd());
        return 0;
    case WM_ENDSESSION:
        // The process may be ended as soon as this returns, without the save at exit.
        if (wParam)
            savePlotIni(ini_);
        return 0;
    case WM_DESTROY:
        KillTimer(hwnd(), kFollowTimer);
        KillTimer(hwnd(), kStatisticsTimer);
        loader_.stop();
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return defaultProc(message, wParam, lParam);
}

void CPlotWindow::onCreate() {
    status_.create(hwnd());
    SetTimer(hwnd(), kFollowTimer, kFollowPeriodMs, nullptr);
    showRecentFiles(GetMenu(hwnd()), ini_.recent());
    updateMenu();
    updateStatus();
}

RECT CPlotWindow::clientRect() const {
    RECT client{};
    GetClientRect(hwnd(), &client);
    client.bottom -= status_.height();
    return client;
}

PlotColumns CPlotWindow::columns() const {
    const RECT area = plotArea(clientRect());
    return {area.left, area.right};
}

void CPlotWindow::onSize() {
    RECT client{};
    GetClientRect(hwnd(), &client);
    status_.layout(client.right);
    InvalidateRect(hwnd(), nullptr, FALSE);
}

ByteReader CPlotWindow::reader() const {
    const std::vector<std::wstring> paths = paths_;
    return [paths](std::size_t file, std::uint64_t offset, std::uint64_t length, std::string& out) {
        return file < paths.size() && readRecordingBytes(paths[file], offset, length, out);
    };
}

void CPlotWindow::onPaint() {
    PaintDc paint(hwnd());
    const RECT client = clientRect();
    if (client.right <= 0 || client.bottom <= 0)
        return;
    MemoryDc memory(paint.get(), client.right, client.bottom);
    const HDC dc = memory.valid() ? memory.get() : paint.get();
    if (model_ && model_->haveData()) {
        const PlotColumns plot = columns();
        lastData_ = chartData(*model_, view_, plot.right - plot.left, reader(), cache_,
                              options_.dewPoint || options_.absoluteHumidity);
        RECT band{};
        if (const auto dragged = mouse_.band())
            band = {dragged->first, 0, dragged->second, 0};
        paintChart(dc, client, lastData_, options_, zone_, band, mouse_.cursor());
    } else {
        FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        const std::wstring text = widen(emptyChartText(loader_.busy(), model_ && !paths_.empty()));
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_CENTER | TA_TOP);
        TextOutW(dc, client.right / 2, client.bottom / 2 - 8, text.c_str(), static_cast<int>(text.size()));
    }
    if (memory.valid())
        BitBlt(paint.get(), 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
}

void CPlotWindow::setView(const ViewRange& view) {
    if (!model_)
        return;
    view_ = view;
    InvalidateRect(hwnd(), nullptr, FALSE);
    dataChanged();
}

// The title, the status bar and, a moment later, the statistics follow what the chart shows.
void CPlotWindow::dataChanged() {
    updateStatus();
    if (stats_.visible())
        SetTimer(hwnd(), kStatisticsTimer, kStatisticsDelayMs, nullptr);
}

void CPlotWindow::open(std::vector<std::wstring> paths) {
    if (paths.empty() || loader_.busy())
        return;
    status_.showLoading();
    loader_.start(hwnd(), std::move(paths));
}

void CPlotWindow::onLoaded() {
    const std::unique_ptr<CPlotLoader::Result> result = loader_.take();
    if (!result)
        return;
    status_.hideProgress();
    model_ = std::move(result->model);
    paths_ = result->loaded;
    cache_.clear();
    view_ = viewAfterLoad(view_, reload_, model_->haveData(), model_->firstTime(), model_->lastTime());
    const bool reload = reload_;
    reload_ = false;
    ini_.rememberFiles(narrowAll(paths_));
    showRecentFiles(GetMenu(hwnd()), ini_.recent());
    updateMenu();
    dataChanged();
    InvalidateRect(hwnd(), nullptr, FALSE);
    // A file read again because it changed on disk is nothing the user asked for: the title then shows what was
    // read, and no box waits for a click.
    if (!result->failed.empty() && !reload)
        MessageBoxW(hwnd(), widen(openFailedText(narrowAll(result->failed))).c_str(), L"Plot", MB_OK | MB_ICONWARNING);
}

void CPlotWindow::onTimer() {
    if (!model_ || loader_.busy())
        return;
    switch (followFiles(*model_, paths_)) {
    case FollowStep::Nothing:
        break;
    case FollowStep::Reload:
        reload_ = true;
        open(paths_);
        break;
    case FollowStep::ReadNew:
        cache_.clear();
        view_ = viewAfterGrowth(view_, model_->haveData(), model_->firstTime(), model_->lastTime());
        InvalidateRect(hwnd(), nullptr, FALSE);
        dataChanged();
        break;
    }
}

void CPlotWindow::onMouse(UINT message, WPARAM wParam, LPARAM lParam) {
    const int x = GET_X_LPARAM(lParam);
    switch (message) {
    case WM_MOUSEWHEEL: {
        POINT at{x, GET_Y_LPARAM(lParam)};
        ScreenToClient(hwnd(), &at);
        apply(mouse_.wheel(at.x, GET_WHEEL_DELTA_WPARAM(wParam) > 0, columns(), view_));
        return;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        SetFocus(hwnd());
        SetCapture(hwnd());
        mouse_.press(x, message == WM_RBUTTONDOWN || (wParam & MK_SHIFT), view_);
        return;
    case WM_MOUSEMOVE: {
        TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, hwnd(), 0};
        TrackMouseEvent(&track);
        apply(mouse_.move(x, columns(), view_));
        return;
    }
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        ReleaseCapture();
        apply(mouse_.release(columns(), view_));
        return;
    case WM_MOUSELEAVE:
        apply(mouse_.leave());
        return;
    default:
        return;
    }
}

void CPlotWindow::apply(const ChartStep& step) {
    if (step.view)
        setView(*step.view);
    if (step.repaint)
        InvalidateRect(hwnd(), nullptr, FALSE);
    // Only the readout changes with the pointer, save while files are read (see updateStatus).
    if (step.readout)
        loader_.busy() ? updateStatus() : updateReadout();
}

void CPlotWindow::updateStatus() {
    if (!status_.created())
        return;
    SetWindowTextW(hwnd(),
                   widen(windowTitle(narrowAll(paths_), model_ != nullptr, model_ ? model_->validCount() : 0)).c_str());
    if (model_)
        status_.setText(0, statusText(paths_.size(), model_->validCount(), model_->damagedCount(), view_.following));
    updateReadout();
}

void CPlotWindow::updateReadout() {
    std::string readout;
    const int cursor = mouse_.cursor();
    if (cursor >= 0 && model_ && model_->haveData()) {
        const PlotColumns plot = columns();
        readout = readoutText(zone_, timeAt(view_, plot, cursor), lastData_.trace, options_, cursor - plot.left);
    }
    status_.setText(1, readout);
}

void CPlotWindow::updateStatistics() {
    if (!stats_.visible())
        return;
    RangeStats total;
    std::vector<DayStats> days;
    if (model_ && model_->haveData()) {
        rangeStatistics(*model_, ini_.analysis(), firstSecond(view_), lastSecond(view_), reader(), total, &days);
    }
    stats_.setStatistics(total, days, zone_);
}

void CPlotWindow::updateMenu() {
    showMenuState(GetMenu(hwnd()), options_, separator_, model_ && model_->haveData());
}

void CPlotWindow::editLimits() {
    AnalysisSettings analysis = ini_.analysis();
    if (!runLimitsDialog(hwnd(), analysis))
        return;
    ini_.setAnalysis(analysis);
    options_.temperatureLimits = analysis.temperature;
    options_.humidityLimits = analysis.humidity;
    InvalidateRect(hwnd(), nullptr, FALSE);
    dataChanged();
}

void CPlotWindow::onCommand(int id) {
    const std::vector<std::string>& recent = ini_.recent();
    if (id >= ID_RECENT_FIRST && id < ID_RECENT_FIRST + static_cast<int>(recent.size())) {
        open({widen(recent[static_cast<std::size_t>(id - ID_RECENT_FIRST)])});
        return;
    }
    const bool haveData = model_ && model_->haveData();
    const double middle = (view_.t0 + view_.t1) / 2;
    switch (id) {
    case ID_FILE_OPEN:
        open(askRecordingFiles(hwnd()));
        break;
    case ID_FILE_ADD: {
        std::vector<std::wstring> paths = paths_;
        for (auto& path : askRecordingFiles(hwnd()))
            paths.push_back(path);
        if (paths.size() > paths_.size())
            open(paths);
        break;
    }
    case ID_FILE_EXPORT_CSV:
        if (haveData)
            exportFile(hwnd(), ExportKind::Csv, [this](const std::wstring& path) {
                return writeCsv(path, *model_, firstSecond(view_), lastSecond(view_), separator_, reader());
            });
        break;
    case ID_FILE_EXPORT_PNG:
        if (haveData)
            exportFile(hwnd(), ExportKind::Png, [this](const std::wstring& path) {
                const RECT client = clientRect();
                return writeChartFile(path, client.right, client.bottom, lastData_, options_, zone_);
            });
        break;
    case ID_FILE_REPORT:
        // The report says when it was made: once its file is named.
        if (haveData)
            exportFile(hwnd(), ExportKind::Report, [this](const std::wstring& path) {
                const ReportJob job = viewReport(view_, options_, ini_.analysis(), civilSeconds(localNow()));
                return writeReportFile(path, *model_, job, reader());
            });
        break;
    case ID_FILE_CLOSE:
        PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        break;
    case ID_VIEW_ALL:
        if (haveData)
            setView(fullView(model_->firstTime(), model_->lastTime()));
        break;
    case ID_VIEW_FOLLOW:
        if (haveData)
            setView(followEnd(view_, model_->lastTime()));
        break;
    case ID_VIEW_ZOOM_IN:
        setView(zoomView(view_, middle, 0.5));
        break;
    case ID_VIEW_ZOOM_OUT:
        setView(zoomView(view_, middle, 2));
        break;
    case ID_VIEW_BOTH:
    case ID_VIEW_TEMPERATURE:
    case ID_VIEW_HUMIDITY:
        options_.temperature = id != ID_VIEW_HUMIDITY;
        options_.humidity = id != ID_VIEW_TEMPERATURE;
        updateMenu();
        InvalidateRect(hwnd(), nullptr, FALSE);
        break;
    case ID_VIEW_DEW_POINT:
    case ID_VIEW_ABSOLUTE: {
        bool& shown = id == ID_VIEW_DEW_POINT ? options_.dewPoint : options_.absoluteHumidity;
        shown = !shown;
        updateMenu();
        InvalidateRect(hwnd(), nullptr, FALSE);
        break;
    }
    case ID_VIEW_LIMITS:
        editLimits();
        break;
    case ID_VIEW_STATISTICS:
        stats_.show();
        updateStatistics();
        break;
    case ID_CSV_SEMICOLON:
    case ID_CSV_TAB:
        separator_ = id == ID_CSV_TAB ? 0 : 2;
        updateMenu();
        break;
    default:
        break;
    }
}
