#include "plot/win/plot_window.h"

#include "plot/plot_texts.h"
#include "plot/report.h"
#include "plot/time_axis.h"
#include "plot/win/chart_painter.h"
#include "plot/win/file_access.h"
#include "plot/win/limits_dialog.h"
#include "plot/win/png_export.h"
#include "plot/win/resource.h"
#include "win/gdi.h"
#include "win/clock.h"
#include "win/text.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <windowsx.h>

namespace {

constexpr wchar_t kClassName[] = L"HX350.Plot";
constexpr UINT_PTR kFollowTimer = 1;
constexpr UINT kFollowPeriodMs = 400; // new records within a second of being written
// The statistics follow the view once it has stood still this long, not at every step of a drag.
constexpr UINT_PTR kStatisticsTimer = 2;
constexpr UINT kStatisticsDelayMs = 250;
constexpr std::uint64_t kMaxReadPerLook = 64u << 20;

std::vector<std::string> narrowAll(const std::vector<std::wstring>& paths) {
    std::vector<std::string> result;
    for (const auto& path : paths)
        result.push_back(narrow(path));
    return result;
}

std::wstring askSaveName(HWND owner, const wchar_t* filter, const wchar_t* extension, const wchar_t* title) {
    std::wstring buffer(MAX_PATH * 4, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrDefExt = extension;
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_OVERWRITEPROMPT | OFN_NOCHANGEDIR;
    if (!GetSaveFileNameW(&ofn))
        return {};
    return buffer.c_str();
}

void cannotWrite(HWND owner, const std::wstring& path) {
    MessageBoxW(owner, (L"Nie można zapisać pliku:\n" + path).c_str(), L"Plot", MB_OK | MB_ICONWARNING);
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
        SendMessageW(progress_, PBM_SETPOS, wParam, 0);
        return 0;
    case WM_PLOT_LOADED:
        onLoaded();
        return 0;
    case WM_DROPFILES:
        onDropFiles(wParam);
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
    status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd(),
                              nullptr, GetModuleHandleW(nullptr), nullptr);
    progress_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD, 0, 0, 0, 0, status_, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
    SendMessageW(progress_, PBM_SETRANGE32, 0, 1000);
    SetTimer(hwnd(), kFollowTimer, kFollowPeriodMs, nullptr);
    updateRecentMenu();
    updateMenu();
    updateStatus();
}

void CPlotWindow::onDropFiles(WPARAM wParam) {
    const auto drop = reinterpret_cast<HDROP>(wParam);
    std::vector<std::wstring> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(path);
    }
    DragFinish(drop);
    open(paths);
}

RECT CPlotWindow::clientRect() const {
    RECT client{};
    GetClientRect(hwnd(), &client);
    RECT bar{};
    if (status_ && GetWindowRect(status_, &bar))
        client.bottom -= bar.bottom - bar.top;
    return client;
}

PlotColumns CPlotWindow::columns() const {
    const RECT area = plotArea(clientRect());
    return {area.left, area.right};
}

void CPlotWindow::onSize() {
    SendMessageW(status_, WM_SIZE, 0, 0);
    RECT client{};
    GetClientRect(hwnd(), &client);
    const int width = client.right;
    const int parts[3] = {width * 2 / 5, width * 4 / 5, -1};
    SendMessageW(status_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
    RECT cell{};
    SendMessageW(status_, SB_GETRECT, 2, reinterpret_cast<LPARAM>(&cell));
    MoveWindow(progress_, cell.left + 2, cell.top + 2, cell.right - cell.left - 20, cell.bottom - cell.top - 4, TRUE);
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
    ShowWindow(progress_, SW_SHOW);
    SendMessageW(progress_, PBM_SETPOS, 0, 0);
    SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(L"Wczytywanie…"));
    loader_.start(hwnd(), std::move(paths));
}

void CPlotWindow::onLoaded() {
    const std::unique_ptr<CPlotLoader::Result> result = loader_.take();
    if (!result)
        return;
    ShowWindow(progress_, SW_HIDE);
    model_ = std::move(result->model);
    paths_ = result->loaded;
    cache_.clear();
    view_ = viewAfterLoad(view_, reload_, model_->haveData(), model_->firstTime(), model_->lastTime());
    const bool reload = reload_;
    reload_ = false;
    ini_.rememberFiles(narrowAll(paths_));
    updateRecentMenu();
    updateMenu();
    dataChanged();
    InvalidateRect(hwnd(), nullptr, FALSE);
    // A file read again because it changed on disk is nothing the user asked for: the title then shows what was
    // read, and no box waits for a click.
    if (!result->failed.empty() && !reload)
        MessageBoxW(hwnd(), widen(openFailedText(narrowAll(result->failed))).c_str(), L"Plot", MB_OK | MB_ICONWARNING);
}

// Each file is asked for its size; new bytes are read from where the reading stopped, so a growing file costs
// only its new records. A file that became shorter was emptied or replaced: everything is read again.
void CPlotWindow::onTimer() {
    if (!model_ || loader_.busy())
        return;
    bool grown = false;
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        std::uint64_t size = 0;
        if (!recordingFileSize(paths_[i], size))
            continue;
        switch (planFollow(model_->fedTo(i), size)) {
        case FollowStep::Nothing:
            break;
        case FollowStep::Reload:
            reload_ = true;
            open(paths_);
            return;
        case FollowStep::ReadNew: {
            const std::uint64_t from = model_->fedTo(i);
            std::string bytes;
            if (readRecordingBytes(paths_[i], from, std::min(size - from, kMaxReadPerLook), bytes)) {
                model_->appendBytes(i, bytes);
                grown = true;
            }
            break;
        }
        }
    }
    if (grown) {
        cache_.clear();
        view_ = viewAfterGrowth(view_, model_->haveData(), model_->firstTime(), model_->lastTime());
        InvalidateRect(hwnd(), nullptr, FALSE);
        dataChanged();
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
    if (step.readout)
        updateStatus();
}

void CPlotWindow::updateStatus() {
    if (!status_)
        return;
    SetWindowTextW(hwnd(),
                   widen(windowTitle(narrowAll(paths_), model_ != nullptr, model_ ? model_->validCount() : 0)).c_str());
    if (model_) {
        const std::wstring text =
            widen(statusText(paths_.size(), model_->validCount(), model_->damagedCount(), view_.following));
        SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    std::wstring readout;
    const int cursor = mouse_.cursor();
    if (cursor >= 0 && model_ && model_->haveData()) {
        const PlotColumns plot = columns();
        readout = widen(readoutText(zone_, timeAt(view_, plot, cursor), lastData_.trace, options_, cursor - plot.left));
    }
    SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(readout.c_str()));
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
    const HMENU menu = GetMenu(hwnd());
    const int shown = options_.temperature && options_.humidity ? ID_VIEW_BOTH
                      : options_.temperature                    ? ID_VIEW_TEMPERATURE
                                                                : ID_VIEW_HUMIDITY;
    CheckMenuRadioItem(menu, ID_VIEW_BOTH, ID_VIEW_HUMIDITY, shown, MF_BYCOMMAND);
    CheckMenuItem(menu, ID_VIEW_DEW_POINT, MF_BYCOMMAND | (options_.dewPoint ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(menu, ID_VIEW_ABSOLUTE, MF_BYCOMMAND | (options_.absoluteHumidity ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuRadioItem(menu, ID_CSV_SEMICOLON, ID_CSV_TAB, separator_ == 0 ? ID_CSV_TAB : ID_CSV_SEMICOLON,
                       MF_BYCOMMAND);
    const UINT haveData = model_ && model_->haveData() ? MF_ENABLED : MF_GRAYED;
    EnableMenuItem(menu, ID_FILE_EXPORT_CSV, MF_BYCOMMAND | haveData);
    EnableMenuItem(menu, ID_FILE_EXPORT_PNG, MF_BYCOMMAND | haveData);
    EnableMenuItem(menu, ID_FILE_REPORT, MF_BYCOMMAND | haveData);
}

void CPlotWindow::updateRecentMenu() {
    const HMENU file = GetSubMenu(GetMenu(hwnd()), 0);
    const HMENU recent = GetSubMenu(file, ID_RECENT_MENU_POSITION);
    if (!recent)
        return;
    while (GetMenuItemCount(recent) > 0)
        DeleteMenu(recent, 0, MF_BYPOSITION);
    const std::vector<std::string>& paths = ini_.recent();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::wstring text = L"&" + std::to_wstring(i + 1) + L" " + widen(paths[i]);
        AppendMenuW(recent, MF_STRING, ID_RECENT_FIRST + i, text.c_str());
    }
    if (paths.empty())
        AppendMenuW(recent, MF_STRING | MF_GRAYED, ID_RECENT_FIRST, L"(brak)");
}

std::vector<std::wstring> CPlotWindow::askFiles() {
    std::wstring buffer(32768, L'\0');
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = hwnd();
    ofn.lpstrFilter = L"Pliki rejestracji (*.hxg)\0*.hxg\0Wszystkie pliki (*.*)\0*.*\0";
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrTitle = L"Otwórz plik rejestracji";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_EXPLORER | OFN_NOCHANGEDIR;
    if (!GetOpenFileNameW(&ofn))
        return {};
    // Several files come as the folder, then each name, separated by NULs.
    std::vector<std::wstring> parts;
    for (const wchar_t* p = buffer.c_str(); *p; p += wcslen(p) + 1)
        parts.emplace_back(p);
    if (parts.size() == 1)
        return parts;
    std::vector<std::wstring> paths;
    for (std::size_t i = 1; i < parts.size(); ++i)
        paths.push_back(parts[0] + L"\\" + parts[i]);
    return paths;
}

void CPlotWindow::exportCsv() {
    const std::wstring path =
        askSaveName(hwnd(), L"Tabela CSV (*.csv)\0*.csv\0Tekst (*.txt)\0*.txt\0", L"csv", L"Eksport do CSV");
    if (path.empty())
        return;
    if (!writeCsv(path, *model_, firstSecond(view_), lastSecond(view_), separator_, reader()))
        cannotWrite(hwnd(), path);
}

void CPlotWindow::exportPngFile() {
    const std::wstring path = askSaveName(hwnd(), L"Obraz PNG (*.png)\0*.png\0", L"png", L"Eksport do PNG");
    if (path.empty())
        return;
    const RECT client = clientRect();
    std::string png;
    if (!encodePng(client.right, client.bottom, lastData_, options_, zone_, png) || !writeWholeFile(path, png))
        cannotWrite(hwnd(), path);
}

// The report of the visible range: its chart, limits and statistics, and the files read. It says when it was made:
// once its file is named.
void CPlotWindow::writeReport() {
    const std::wstring path =
        askSaveName(hwnd(), L"Strona HTML (*.html)\0*.html;*.htm\0", L"html", L"Raport do pliku HTML");
    if (path.empty())
        return;
    const ReportJob job = viewReport(view_, options_, ini_.analysis(), civilSeconds(localNow()));
    std::string html;
    if (reportPage(*model_, job, reader(), pngEncoder(zone_), html) != ReportResult::Made ||
        !writeWholeFile(path, html)) {
        cannotWrite(hwnd(), path);
    }
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
        open(askFiles());
        break;
    case ID_FILE_ADD: {
        std::vector<std::wstring> paths = paths_;
        for (auto& path : askFiles())
            paths.push_back(path);
        if (paths.size() > paths_.size())
            open(paths);
        break;
    }
    case ID_FILE_EXPORT_CSV:
        if (haveData)
            exportCsv();
        break;
    case ID_FILE_EXPORT_PNG:
        if (haveData)
            exportPngFile();
        break;
    case ID_FILE_REPORT:
        if (haveData)
            writeReport();
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
