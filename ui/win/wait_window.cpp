#include "ui/win/wait_window.h"

#include "res/resource.h"
#include "win/thread_wait.h"

#include <algorithm>

CWaitWindow::CWaitWindow() : CDialogBase(IDD_WAIT) {}

CWaitWindow::~CWaitWindow() {
    // Normally the thread is gone with the window. Should the window never have reached its destruction, the job
    // must still not outlive the object it was given; it only posts to the window, so this wait cannot dead-lock.
    if (workerThread_)
        WaitForSingleObject(workerThread_.get(), INFINITE);
}

INT_PTR CWaitWindow::handleMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        state_.reset();
        placeOnTop();
        workerThread_.reset(CreateThread(nullptr, 0, workerMain, this, 0, nullptr));
        // Without a worker nobody would close the box.
        if (!workerThread_)
            PostMessageW(hwnd(), WM_CLOSE, 0, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_WAIT_STOP:
            // Only a request: the job decides whether and when it looks at it (the port enumeration does so between
            // ports), and the box stays until the job closes it.
            state_.handle(CWaitBoxState::Event::StopButton);
            return TRUE;
        case IDOK:
        case IDCANCEL:
            if (state_.handle(CWaitBoxState::Event::CloseKey))
                endDialog(LOWORD(wParam));
            return TRUE;
        default:
            return FALSE;
        }
    case WM_CLOSE:
        // The job's "done" signal. When the user has already closed the box it may still arrive while the window
        // waits for the worker in WM_DESTROY; then there is nothing left to do.
        if (state_.handle(CWaitBoxState::Event::JobDone))
            endDialog(IDCANCEL);
        return TRUE;
    case WM_DESTROY:
        // The modal run returns only after this: whoever reads the job's results afterwards reads them complete.
        waitForWorker();
        workerThread_.reset();
        return FALSE;
    default:
        return FALSE;
    }
}

DWORD WINAPI CWaitWindow::workerMain(void* self) {
    auto& window = *static_cast<CWaitWindow*>(self);
    if (window.job_)
        window.job_(window);
    else
        PostMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    return 0;
}

void CWaitWindow::placeOnTop() {
    // The box has no position of its own and its owner may be hidden or off screen: centre it over the owner
    // where that is visible, else on the owner's monitor, and keep it inside the work area.
    HWND owner = GetWindow(hwnd(), GW_OWNER);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(owner ? owner : hwnd(), MONITOR_DEFAULTTOPRIMARY), &monitor))
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    const RECT& area = monitor.rcWork;
    RECT around = area;
    if (owner && IsWindowVisible(owner) && !IsIconic(owner))
        GetWindowRect(owner, &around);
    RECT box{};
    GetWindowRect(hwnd(), &box);
    int width = box.right - box.left;
    int height = box.bottom - box.top;
    int x = around.left + ((around.right - around.left) - width) / 2;
    int y = around.top + ((around.bottom - around.top) - height) / 2;
    x = std::max(static_cast<int>(area.left), std::min(x, static_cast<int>(area.right) - width));
    y = std::max(static_cast<int>(area.top), std::min(y, static_cast<int>(area.bottom) - height));
    SetWindowPos(hwnd(), HWND_TOP, x, y, 0, 0, SWP_NOSIZE);
}

void CWaitWindow::waitForWorker() {
    // This window's messages keep being handled (paint, the job's WM_CLOSE) until the worker has ended.
    waitForThreadDispatching(workerThread_.get(), hwnd());
}
