#pragma once

#include "serial/receive_batch.h"
#include "win/unique_handle.h"

#include <windows.h>

#include <cstdint>

// One open COM port: configured for the instrument's line settings, with a worker thread that waits for received
// bytes and hands them to the owner window as synchronous WM_RXBYTES messages, in order, one line's bytes with the
// carriage return that ends it in each (see CReceiveBatch). The owner only listens.
// When the port goes away (an adapter unplugged or dropped by its driver) the worker posts WM_PORT_LOST to the
// owner, with the port number in wParam and the identity this object was made with in lParam, and ends; the owner
// then destroys this object. The identity tells a report still queued from a port since closed from one of the
// port opened after it under the same number.
// Destruction drops DTR/RTS, stops the worker (dispatching the owner's messages meanwhile) and closes the port.
class CComPort {
public:
    explicit CComPort(std::uint32_t openId);
    ~CComPort();
    CComPort(const CComPort&) = delete;
    CComPort& operator=(const CComPort&) = delete;

    // false when the port could not be opened or would not take the line settings (then nothing stays open).
    bool open(HWND owner, int portNumber, int baudRate, char parity, int dataBits, int stopBits);
    // true when the worker thread exists.
    bool startReader();
    int portNumber() const { return portNumber_; }
    // Whether a WM_RXBYTES names this port's own bytes: the message carries a pointer, and one sent by another
    // process must not make the owner read where it points.
    bool handsOver(WPARAM count, LPARAM bytes) const {
        return reinterpret_cast<const void*>(bytes) == batch_.data() && count <= CReceiveBatch::kCapacity;
    }

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

    // How one read ended: bytes in the buffer (possibly none), the stop event, or a failure with its error code.
    struct Transfer {
        enum Outcome { Done, Stopped, Failed } outcome = Done;
        DWORD bytes = 0;
        DWORD error = ERROR_SUCCESS;
    };

    static DWORD WINAPI workerMain(void* self);
    DWORD run();
    Transfer read(DWORD size, bool stoppable);
    Transfer finishCancelled(Transfer::Outcome outcome, DWORD error);
    bool queuedByteCount(DWORD& count, DWORD& error);
    void handOver(std::size_t count);
    void handOverLines();
    void handOverAll();
    void handOverAllOnStop();
    bool stopSignalled() const;
    void dropModemLines();
    void waitForWorker();

    HWND owner_ = nullptr;
    int portNumber_ = 0;
    std::uint32_t openId_;
    FileHandle port_;
    KernelHandle stopEvent_;
    KernelHandle readEvent_;
    // Owned by the pending read while one is in flight: the worker never leaves a read behind it (it waits for a
    // cancelled one to complete), so these stay valid for as long as the system may write to them.
    OVERLAPPED overlapped_{};
    CReceiveBatch batch_;
    Lock lock_;
    KernelHandle thread_;
};
