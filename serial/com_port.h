#pragma once

#include "win/unique_handle.h"

#include <windows.h>

// One open COM port: configured for the instrument's line settings, with a worker thread that waits for received
// characters and hands each byte to the owner window as a synchronous WM_RXBYTE. The owner only listens.
// Destruction drops DTR/RTS, stops the worker (dispatching the owner's messages meanwhile) and closes the port.
class CComPort {
public:
    CComPort();
    ~CComPort();
    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    // 1 when the port was opened (even if parts of its configuration failed), 0 otherwise.
    int open(HWND owner, int portNumber, int baudRate, char parity, int dataBits, int stopBits, DWORD eventMask);
    // 1 when the worker thread exists.
    int startReader();
    int portNumber() const { return portNumber_; }

private:
    // The one lock of the driver: initialised with the object, deleted with it.
    class Lock {
    public:
        Lock() { InitializeCriticalSection(&section_); }
        ~Lock() { DeleteCriticalSection(&section_); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        void enter() { EnterCriticalSection(&section_); }
        void leave() { LeaveCriticalSection(&section_); }

    private:
        CRITICAL_SECTION section_;
    };
    class Held {
    public:
        explicit Held(Lock& lock) : lock_(lock) { lock_.enter(); }
        ~Held() { lock_.leave(); }
        Held(const Held&) = delete;
        Held& operator=(const Held&) = delete;

    private:
        Lock& lock_;
    };

    static DWORD WINAPI workerMain(void* self);
    DWORD run();
    bool stopSignalled() const;
    void cancelPendingWait();
    DWORD queuedByteCount();
    // What one pass of the read loop did: bytes handed to the owner, and whether it saw the stop event (then it
    // delivered what was queued at that moment and nothing more).
    struct Delivery {
        DWORD bytes = 0;
        bool stopped = false;
    };
    Delivery readQueuedBytes();
    void dropModemLines();
    void waitForWorker();

    HWND owner_ = nullptr;
    int baudRate_ = 0;
    DWORD eventMask_ = 0;
    FileHandle port_;
    KernelHandle stopEvent_;
    KernelHandle commEvent_;
    OVERLAPPED overlapped_{};
    Lock lock_;
    KernelHandle thread_;
    COMMTIMEOUTS timeouts_{};
    DCB dcb_{};
    int portNumber_ = 0;
};
