#include "app/win/main_window.h"

#include "base/dpi_scale.h"
#include "app/status_text.h"
#include "app/window_placement.h"
#include "display/win/colours_dialog.h"
#include "display/win/fonts_dialog.h"
#include "res/resource.h"
#include "ui/win/about_dialog.h"
#include "ui/win/additional_settings_dialog.h"
#include "ui/win/help_window.h"
#include "ui/win/info_window.h"
#include "ui/win/plot_launcher.h"
#include "win/clock.h"
#include "win/dpi.h"
#include "win/gdi.h"
#include "win/text.h"

#include <algorithm>
#include <iterator>

namespace {

constexpr UINT WM_PORT_LOST = WM_USER + 5;
static_assert(WM_PORT_LOST == WM_PORT_LOST_ID, "the serial worker and the window must agree on WM_PORT_LOST");
constexpr UINT WM_RXBYTES = WM_USER + 6;
static_assert(WM_RXBYTES == WM_RXBYTES_ID, "the serial worker and the window must agree on WM_RXBYTES");

constexpr unsigned kRecordingStartDelayMs = 10000;
constexpr unsigned kSoftwareInfoDelayMs = 100;

// The saved rectangle (in 96-DPI units) in pixels at `dpi`, moved onto the nearest monitor's work area when it
// would open out of reach there.
RECT openingRect(const WindowRect& saved, int dpi) {
    const WindowRect usable = withUsableSize(rectToDpi(saved, dpi));
    const RECT usableRect{usable.left, usable.top, usable.right, usable.bottom};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromRect(&usableRect, MONITOR_DEFAULTTONEAREST), &monitor))
        return usableRect;
    const RECT& work = monitor.rcWork;
    const WindowRect placed = placeWindowRect(usable, {work.left, work.top, work.right, work.bottom});
    return {placed.left, placed.top, placed.right, placed.bottom};
}

void placeChild(HWND child, int x, int y, int width, int height) {
    // A window shrunk below the margins would give negative sizes; an empty control is what is meant.
    SetWindowPos(child, nullptr, x, y, std::max(width, 0), std::max(height, 0), SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

CMainWindow::CMainWindow(AppSettings& settings)
    : CDialogBase(IDD_MAIN), settings_(settings),
      recordingHost_([this] { return hwnd(); }, reading_, [this] { composeStatus(); }),
      recording_(recordingHost_, settings_.recording),
      alarms_([this] { return hwnd(); }, settings_.alarm, settings_.recording),
      network_([this] { return hwnd(); }, settings_, alarms_),
      port_([this] { return hwnd(); }, settings_.portNumber, [this] { lineAssembly_.discardPartialLine(); },
            [this] { composeStatus(); }) {
    temperature_.setReading(&reading_.temperature);
    humidity_.setReading(&reading_.humidity);
}

CMainWindow::~CMainWindow() = default;

INT_PTR CMainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog();
    case WM_RXBYTES:
        // Sent by the worker, which waits meanwhile, so the bytes stay where they are until it is let go.
        if (port_.handsOver(wParam, lParam))
            onReceived(reinterpret_cast<const std::uint8_t*>(lParam), wParam);
        return TRUE;
    case WM_MQTT_STATUS:
    case WM_MAIL_SENT:
        network_.onMessage(message);
        composeStatus();
        return TRUE;
    case WM_PORT_LOST:
        port_.lost(wParam, lParam);
        return TRUE;
    case WM_QUERYENDSESSION:
        SetWindowLongPtrW(hwnd(), DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_ENDSESSION:
        // Every record is on disk already; the settings are what would be lost.
        if (wParam && onSessionEnd_)
            onSessionEnd_();
        return TRUE;
    case WM_TIMER:
        onTimer(wParam);
        return FALSE;
    case WM_SIZE:
        onSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam));
        return FALSE;
    case WM_MOVE:
        onMove();
        return FALSE;
    case WM_COMMAND:
        return onCommand(LOWORD(wParam)) ? TRUE : FALSE;
    case WM_SETFOCUS:
        // Focus given to the window itself (Enter, Escape, reactivation after a modal dialog) rests on the
        // temperature display, as after every status change; the dialog manager would put it into the status line
        // and select its text.
        if (!temperature_.hwnd())
            return FALSE;
        SetFocus(temperature_.hwnd());
        return TRUE;
    case WM_CLOSE:
        // The close box; the dialog manager would turn it into IDCANCEL, which Escape also produces.
        close(IDCANCEL);
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            openAboutDialog();
            return TRUE;
        }
        return FALSE;
    case WM_PAINT:
        if (!IsIconic(hwnd()))
            return FALSE;
        paintIconic();
        return TRUE;
    case WM_HELP:
        // F1 anywhere in the window.
        help_.show(hwnd());
        return TRUE;
    case WM_DPICHANGED:
        onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<INT_PTR>(icon_);
    case WM_DESTROY:
        dde_.stop();
        help_.close();
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL CMainWindow::onInitDialog() {
    temperature_.bind(item(IDC_TEMPERATURE));
    humidity_.bind(item(IDC_HUMIDITY));
    status_ = item(IDC_STATUS);
    statusLine_.attach(status_);

    // The size events of the window's creation came before this object was attached; the later relayouts need
    // a client size even if placing the window below does not change it.
    RECT client;
    GetClientRect(hwnd(), &client);
    restoredSize_ = {client.right, client.bottom};

    appendSystemMenuItem(hwnd(), IDM_ABOUTBOX, IDS_ABOUTBOX);

    const auto icon = [](int cx, int cy) {
        return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_MAIN), IMAGE_ICON,
                                             GetSystemMetrics(cx), GetSystemMetrics(cy), LR_SHARED));
    };
    icon_ = icon(SM_CXICON, SM_CYICON);
    smallIcon_ = icon(SM_CXSMICON, SM_CYSMICON);
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_ ? smallIcon_ : icon_));

    const HMENU menu = GetMenu(hwnd());
    // Recording is offered only once the recording files of the last run had their chance to reopen.
    EnableMenuItem(menu, ID_SETTINGS_RECORDING, MF_BYCOMMAND | MF_GRAYED);

    port_.start();

    RECT statusRect;
    GetWindowRect(status_, &statusRect);
    statusHeight_ = statusRect.bottom - statusRect.top;
    // The status line comes from the template, already in this monitor's pixels; the displays' fonts do not.
    dpi_ = windowDpi(hwnd());
    temperature_.setDpi(dpi_);
    humidity_.setDpi(dpi_);

    temperature_.setQuantity(DegreesCelsius, DegreesCelsius, true);
    temperature_.setCaption(L"Temperatura");
    humidity_.setQuantity(Percent, Percent, true);
    humidity_.setCaption(L"Wilgotność względna");
    temperature_.setLook(settings_.displays.temperature);
    humidity_.setLook(settings_.displays.humidity);

    // The stored rectangle is applied as it is while the user can reach its caption; the size and move events
    // this causes store the rectangle back.
    initialising_ = false;
    const RECT rect = openingRect(settings_.windowRect, dpi_);
    SetWindowPos(hwnd(), nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);

    updateReading(false);

    applyTopmost(settings_.topmost);

    dde_.setReading(&reading_, temperature_.view(), humidity_.view());
    network_.start();
    showAlarm(alarms_.start());

    SetTimer(hwnd(), IDT_DELAYED_RECORDING, kRecordingStartDelayMs, nullptr);
    if (settings_.showInfoAtStart)
        SetTimer(hwnd(), IDT_SOFTWARE_INFO, kSoftwareInfoDelayMs, nullptr);

    // The focus rests on the temperature display; the dialog manager must not move it.
    SetFocus(temperature_.hwnd());
    return FALSE;
}

// A close asked for while a modal dialog or message box is open (a script's "Zamknij", the close box, a
// termination request that closes the program's windows) must not wait for someone to answer it: the dialogs end
// as cancelled, nothing new is opened, and the modal run returns, after which the application saves the settings.
void CMainWindow::close(INT_PTR result) {
    closing_ = true;
    alarms_.stop();
    // The broker hears "offline" now, and the close waits for it at most two seconds.
    network_.stop();
    port_.shutDown();
    cancelThreadDialogs(hwnd());
    endDialog(result);
}

void CMainWindow::applyTopmost(bool on) {
    settings_.topmost = on;
    SetWindowPos(hwnd(), on ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    CheckMenuItem(GetMenu(hwnd()), ID_VIEW_TOPMOST, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

// A line's reading is shown and served before the worker is let go; the alarms' file lines and programs, which may
// wait for a disk or a share, come after.
void CMainWindow::onReceived(const std::uint8_t* bytes, std::size_t count) {
    const LineOutcome outcome = lineAssembly_.onReceived(bytes, count);
    if (outcome.finished) {
        // Only good lines feed the watchdog; SetTimer with the same id restarts it.
        if (outcome.good)
            SetTimer(hwnd(), IDT_WATCHDOG, CLineAssembly::kWatchdogPeriodMs, nullptr);
        updateReading(outcome.good);
    }
    ReplyMessage(TRUE);
    alarms_.carryOutEvents();
}

void CMainWindow::updateReading(bool linkUp) {
    ReadingUpdatePlan plan = planReadingUpdate(updateState_, lineAssembly_.record(), linkUp, reading_);
    if (linkUp)
        port_.goodLine();
    plan.alarm = alarms_.onReading(reading_, linkUp);
    // The notifications' messages carry the values of the reading whose alarm plan follows.
    network_.onReading(reading_, linkUp, updateState_.linkUp);
    apply(plan);
}

// The one place a reading update is carried out.
void CMainWindow::apply(const ReadingUpdatePlan& plan) {
    if (plan.relayout) {
        humidityShown_ = plan.humidityVisible;
        relayout();
        ShowWindow(humidity_.hwnd(), plan.humidityVisible ? SW_SHOW : SW_HIDE);
    }
    if (plan.dde != DdeAction::None) {
        dde_.stop();
        // Said in the status line and tried again at the next good line: a message box here would stop the
        // serial worker, which waits for this update, until someone clicked it.
        updateState_.ddeStartFailed = plan.dde == DdeAction::StopThenStart && !dde_.start(plan.ddeSerialNumber);
    }
    showAlarm(plan.alarm);
    temperature_.readingChanged();
    humidity_.readingChanged();
    dde_.postAdvise();
}

// The alarms' part of a plan, and the status line with their words.
void CMainWindow::showAlarm(const AlarmPlan& plan) {
    alarmStatus_ = plan.status;
    const AlarmSettings& settings = alarms_.settings();
    temperature_.setAlarmColours(plan.alarmColours[AlarmTemperature], settings.backgroundColour, settings.textColour);
    humidity_.setAlarmColours(plan.alarmColours[AlarmHumidity], settings.backgroundColour, settings.textColour);
    dde_.setAlarm(settings.enabled, plan.dde);
    EnableMenuItem(GetMenu(hwnd()), ID_ALARM_ACKNOWLEDGE,
                   MF_BYCOMMAND | (plan.acknowledgeable ? MF_ENABLED : MF_GRAYED));
    network_.onAlarmPlan(plan);
    composeStatus();
}

void CMainWindow::composeStatus() {
    if (!hwnd())
        return;
    const StatusNotes notes{recording_.status(), port_.unavailablePort(), updateState_.ddeStartFailed,
                            alarmStatus_,        alarms_.problemText(),   network_.statusText()};
    std::string text = composeStatusText(lineAssembly_.record(), updateState_.linkUp, notes);
    // An unchanged text neither flickers the line nor moves the focus.
    if (text == lastStatusText_)
        return;
    lastStatusText_ = std::move(text);
    SetWindowTextW(status_, widen(lastStatusText_).c_str());
    // Moving the focus would activate the window over the program the user works in.
    if (GetForegroundWindow() == hwnd())
        SetFocus(temperature_.hwnd());
}

void CMainWindow::onTimer(UINT_PTR id) {
    // Nothing new starts while the modal run ends.
    if (closing_)
        return;
    if (network_.onTimer(id))
        return composeStatus();
    if (const std::optional<AlarmPlan> plan = alarms_.onTimer(id)) {
        showAlarm(*plan);
        alarms_.carryOutEvents();
        return;
    }
    switch (id) {
    case IDT_WATCHDOG:
        // The periodic timer is left running: it reports the lost link every period until a good line restarts it.
        updateReading(false);
        alarms_.carryOutEvents();
        break;
    case IDT_DELAYED_RECORDING:
        KillTimer(hwnd(), IDT_DELAYED_RECORDING);
        recording_.startAtLaunch();
        break;
    case IDT_RECORD:
        recording_.onTimer();
        break;
    case IDT_PORT_REOPEN:
        port_.retryTimer();
        break;
    case IDT_SOFTWARE_INFO: {
        KillTimer(hwnd(), IDT_SOFTWARE_INFO);
        port_.infoWindowOpened();
        CSoftwareInfoWindow window;
        window.show(hwnd());
        port_.infoWindowClosed();
        break;
    }
    case IDT_PORT_RETRY:
        port_.askTimer();
        break;
    default:
        break;
    }
}

void CMainWindow::openAboutDialog() {
    CAboutDialog dialog;
    dialog.runModal(hwnd());
}

bool CMainWindow::onCommand(int id) {
    // Commands still queued when the close was asked for open nothing.
    if (closing_)
        return true;
    switch (id) {
    case IDOK:
    case IDCANCEL:
        // Enter and Escape reach a dialog as these two; neither may close the main window.
        SetFocus(hwnd());
        return true;
    case ID_APP_CLOSE:
        close(IDOK);
        return true;
    case ID_VIEW_TOPMOST:
        applyTopmost(!settings_.topmost);
        return true;
    case ID_SETTINGS_PORT:
        port_.dialogRequested();
        return true;
    case ID_SETTINGS_RECORDING:
        recording_.onSettingsCommand();
        return true;
    case ID_APP_PLOT:
        launchPlot(hwnd(), settings_.recording);
        return true;
    case ID_VIEW_COLOURS:
        runColoursDialog(hwnd(), settings_.displays, temperature_, humidity_);
        return true;
    case ID_VIEW_FONTS:
        runFontsDialog(hwnd(), settings_.displays, temperature_, humidity_);
        return true;
    case ID_SETTINGS_ALARMS:
        if (const std::optional<AlarmPlan> plan = alarms_.onSettingsCommand())
            showAlarm(*plan);
        return true;
    case ID_SETTINGS_MQTT:
    case ID_SETTINGS_MAIL:
        network_.onCommand(id, reading_);
        composeStatus();
        return true;
    case ID_ALARM_ACKNOWLEDGE:
        showAlarm(alarms_.acknowledge());
        alarms_.carryOutEvents();
        return true;
    case ID_SETTINGS_ADDITIONAL:
        runAdditionalSettingsDialog(hwnd(), settings_.showInfoAtStart);
        return true;
    case ID_HELP_HELP:
        help_.show(hwnd());
        return true;
    case ID_HELP_SOFTWARE_INFO: {
        CSoftwareInfoWindow window;
        window.show(hwnd());
        return true;
    }
    case ID_HELP_ABOUT:
        openAboutDialog();
        return true;
    default:
        return false;
    }
}

// A minimised window keeps neither its position nor its size: tracking stops there, or the rectangle saved at
// exit would be the icon's. The settings keep it in 96-DPI units.
void CMainWindow::trackWindowRect() {
    if (IsIconic(hwnd()))
        return;
    RECT rect;
    GetWindowRect(hwnd(), &rect);
    const WindowRect saved = rectTo96({rect.left, rect.top, rect.right, rect.bottom}, dpi_);
    settings_.windowRect = saved;
}

// Moved to a monitor of another DPI: the system suggests the rectangle, and the fonts and gaps are made anew.
void CMainWindow::onDpiChanged(int dpi, const RECT& suggested) {
    if (dpi <= 0 || dpi == dpi_)
        return;
    statusHeight_ = MulDiv(statusHeight_, dpi, dpi_);
    dpi_ = dpi;
    temperature_.setDpi(dpi);
    humidity_.setDpi(dpi);
    SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    relayout();
}

void CMainWindow::onSize(UINT type, int cx, int cy) {
    if (type == SIZE_RESTORED)
        restoredSize_ = {cx, cy};
    else if (type == SIZE_MAXIMIZED)
        maximizedSize_ = {cx, cy};
    maximized_ = type == SIZE_MAXIMIZED;
    if (initialising_)
        return;
    if (type == SIZE_RESTORED)
        trackWindowRect();
    layout(cx, cy);
}

void CMainWindow::onMove() {
    if (!initialising_ && (GetWindowLongW(hwnd(), GWL_STYLE) & WS_MAXIMIZE) == 0)
        trackWindowRect();
}

void CMainWindow::layout(int cx, int cy) {
    const int d = layoutMargin(systemMetric96(SM_CXDLGFRAME), dpi_);
    placeChild(status_, d, d, cx - 2 * d, statusHeight_);
    const int top = statusHeight_ + 2 * d + 2;
    if (!humidityShown_) {
        // Temperature alone: one display takes the whole area; the humidity display is hidden.
        placeChild(temperature_.hwnd(), d, top, cx - 2 * d, (cy - d) - top);
        temperature_.repaint();
        return;
    }
    const int mid = (statusHeight_ + d + 2) + ((cy - d) - (statusHeight_ + d + 2)) / 2;
    placeChild(temperature_.hwnd(), d, top, cx - 2 * d, mid - top);
    placeChild(humidity_.hwnd(), d, mid + d, cx - 2 * d, cy - 2 * d - mid);
    temperature_.repaint();
    humidity_.repaint();
}

// The layout depends on the kind of reading, so a reading update re-runs it with the last size the window had.
void CMainWindow::relayout() {
    const Size& size = maximized_ ? maximizedSize_ : restoredSize_;
    SendMessageW(hwnd(), WM_SIZE, maximized_ ? SIZE_MAXIMIZED : SIZE_RESTORED, MAKELPARAM(size.cx, size.cy));
}

void CMainWindow::paintIconic() {
    PaintDc dc(hwnd());
    SendMessageW(hwnd(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.get()), 0);
    RECT client;
    GetClientRect(hwnd(), &client);
    const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc.get(), x, y, icon_);
}
