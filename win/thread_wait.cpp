#include "win/thread_wait.h"

void waitForThreadDispatching(HANDLE thread, HWND window) {
    if (!thread)
        return;
    for (;;) {
        // Wakes for the thread's end and for any message, sent ones included, so that a worker inside SendMessage
        // to this thread and this wait never wait on each other.
        DWORD which = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT | QS_SENDMESSAGE);
        if (which == WAIT_OBJECT_0)
            return;
        if (which != WAIT_OBJECT_0 + 1) {
            // Cannot happen with a valid thread handle; poll rather than give up on the worker.
            DWORD code = 0;
            if (!GetExitCodeThread(thread, &code) || code != STILL_ACTIVE)
                return;
            Sleep(1);
        }
        MSG msg;
        // Delivers the messages sent from other threads whatever the filter.
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (window && IsWindow(window)) {
            while (PeekMessageW(&msg, window, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
}
