#pragma once

#include "ui/wait_box.h"
#include "win/unique_handle.h"
#include "win/window_base.h"

#include <windows.h>

// "Proszę czekać": a small modal box that runs one job on a worker thread and whose modal run returns only after
// that thread has ended, however the box was closed.
class CWaitWindow : public CDialogBase {
public:
    using Job = void (*)(CWaitWindow& window);

    CWaitWindow();
    ~CWaitWindow() override;
    void setOwner(void* owner) { owner_ = owner; }
    void* owner() const { return owner_; }
    void setJob(Job job) { job_ = job; }
    bool stopRequested() const { return state_.stopRequested(); }

protected:
    INT_PTR handleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static DWORD WINAPI workerMain(void* self);
    void placeOnTop();
    void waitForWorker();

    KernelHandle workerThread_;
    CWaitBoxState state_;
    void* owner_ = nullptr;
    Job job_ = nullptr;
};
