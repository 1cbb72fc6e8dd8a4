#include "serial/com_port.h"

#include "res/resource.h"
#include "win/thread_wait.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kStoppedExitCode = 100;
// Pause before asking the port again after a wait that failed or found nothing, doubled while that keeps
// happening. Bytes keep queueing in the driver meanwhile (at 300 baud one arrives every 30 ms at most, a few fill
// no buffer), so nothing is lost, but a port whose waits fail at once (a device that went away, or a pty under
// Wine, whose waits end with ERROR_OPERATION_ABORTED every few milliseconds) cannot make the worker burn a core.
constexpr DWORD kFirstRetryDelayMs = 20;
constexpr DWORD kLongestRetryDelayMs = 100;
// How long the worker waits for a cancelled WaitCommEvent to let go of the OVERLAPPED before it ends.
constexpr DWORD kCancelTimeoutMs = 1000;

} // namespace

CComPort::CComPort() = default;

CComPort::~CComPort() {
    dropModemLines();
    if (stopEvent_)
        SetEvent(stopEvent_.get());
    waitForWorker();
    thread_.reset();
    // The worker has ended and waited for its own I/O; cancelling whatever might still be queued on the handle
    // keeps any late completion from writing into the OVERLAPPED of a destroyed object.
    if (port_)
        CancelIoEx(port_.get(), nullptr);
    commEvent_.reset();
    port_.reset();
    stopEvent_.reset();
}

int CComPort::open(HWND owner, int portNumber, int baudRate, char parity, int dataBits, int stopBits, DWORD eventMask) {
    owner_ = owner;
    portNumber_ = portNumber;
    baudRate_ = baudRate;
    eventMask_ = eventMask;
    if (!stopEvent_)
        stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!commEvent_)
        commEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Without both events the worker could neither wait for characters nor be stopped: report the port as not
    // opened rather than run a driver that cannot work.
    if (!stopEvent_ || !commEvent_) {
        commEvent_.reset();
        stopEvent_.reset();
        return 0;
    }

    Held held(lock_);
    port_.reset();

    char device[50];
    std::snprintf(device, sizeof device, "\\\\.\\COM%d", portNumber);
    char mode[50];
    std::snprintf(mode, sizeof mode, "baud=%d parity=%c data=%d stop=%d", baudRate, parity, dataBits, stopBits);

    port_.reset(
        CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!port_) {
        // A port that could not be opened leaves nothing behind: the owner destroys this object at once.
        commEvent_.reset();
        stopEvent_.reset();
        return 0;
    }

    // Reads return at once with what has arrived; the worker only reads what ClearCommError reports as queued.
    timeouts_ = COMMTIMEOUTS{};
    timeouts_.ReadIntervalTimeout = MAXDWORD;
    // Each step only makes sense on top of the previous one; a port that refuses part of its configuration still
    // runs with the settings it had.
    if (SetCommTimeouts(port_.get(), &timeouts_) && SetCommMask(port_.get(), eventMask_)) {
        dcb_ = DCB{};
        dcb_.DCBlength = sizeof dcb_;
        if (GetCommState(port_.get(), &dcb_)) {
            dcb_.fOutxCtsFlow = TRUE;
            dcb_.fOutxDsrFlow = TRUE;
            dcb_.fDtrControl = DTR_CONTROL_HANDSHAKE;
            dcb_.fRtsControl = RTS_CONTROL_HANDSHAKE;
            dcb_.fOutX = FALSE;
            dcb_.fInX = FALSE;
            if (BuildCommDCBA(mode, &dcb_))
                SetCommState(port_.get(), &dcb_);
        }
    }
    PurgeComm(port_.get(), kPurgeAll);
    return 1;
}

int CComPort::startReader() {
    if (thread_)
        return 1;
    if (!port_ || !stopEvent_ || !commEvent_)
        return 0;
    thread_.reset(CreateThread(nullptr, 0, workerMain, this, 0, nullptr));
    return thread_ ? 1 : 0;
}

DWORD WINAPI CComPort::workerMain(void* self) {
    return static_cast<CComPort*>(self)->run();
}

DWORD CComPort::run() {
    PurgeComm(port_.get(), kPurgeAll);
    HANDLE handles[2] = {stopEvent_.get(), commEvent_.get()};
    DWORD retryDelay = kFirstRetryDelayMs;
    for (;;) {
        // The event belongs to the OVERLAPPED and must start unsignalled, or the wait below would return for a
        // completion that has not happened.
        ResetEvent(commEvent_.get());
        overlapped_ = OVERLAPPED{};
        overlapped_.hEvent = commEvent_.get();
        DWORD events = 0;
        bool completed = WaitCommEvent(port_.get(), &events, &overlapped_) != FALSE;
        bool pending = !completed && GetLastError() == ERROR_IO_PENDING;

        bool usable = false;
        if (completed) {
            usable = queuedByteCount() > 0;
        } else if (pending) {
            // Both signalled: the stop event is first in the array and wins.
            DWORD which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (which == WAIT_OBJECT_0) {
                cancelPendingWait();
                break;
            }
            if (which == WAIT_OBJECT_0 + 1) {
                DWORD transferred = 0;
                usable = GetOverlappedResult(port_.get(), &overlapped_, &transferred, FALSE) != FALSE;
            } else {
                cancelPendingWait();
            }
        }

        if (usable) {
            DWORD mask = 0;
            if (GetCommMask(port_.get(), &mask) && (mask & EV_RXCHAR)) {
                Delivery delivery = readQueuedBytes();
                if (delivery.stopped)
                    return kStoppedExitCode;
                if (delivery.bytes > 0) {
                    retryDelay = kFirstRetryDelayMs;
                    continue;
                }
            }
        }
        // The wait failed or woke for nothing. Whatever has arrived is still delivered, then the worker pauses on
        // the stop event before it waits again.
        Delivery delivery = readQueuedBytes();
        if (delivery.stopped)
            return kStoppedExitCode;
        if (delivery.bytes > 0)
            retryDelay = kFirstRetryDelayMs;
        if (WaitForSingleObject(stopEvent_.get(), retryDelay) != WAIT_TIMEOUT)
            break;
        retryDelay = std::min(retryDelay * 2, kLongestRetryDelayMs);
    }
    // The owner is closing: hand over what had already been received, then end.
    readQueuedBytes();
    return kStoppedExitCode;
}

bool CComPort::stopSignalled() const {
    return WaitForSingleObject(stopEvent_.get(), 0) != WAIT_TIMEOUT;
}

void CComPort::cancelPendingWait() {
    // Setting the event mask completes a pending WaitCommEvent at once; that is the documented way to end one, and
    // under Wine the only one (CancelIo leaves it pending there, and every later wait then fails). Re-applying the
    // mask in force changes nothing else. CancelIo stays as the fallback. Waiting for the completion makes sure
    // the system no longer refers to the OVERLAPPED that the next ReadFile reuses.
    DWORD mask = 0;
    if (GetCommMask(port_.get(), &mask))
        SetCommMask(port_.get(), mask);
    if (WaitForSingleObject(commEvent_.get(), kCancelTimeoutMs) == WAIT_TIMEOUT) {
        CancelIo(port_.get());
        WaitForSingleObject(commEvent_.get(), kCancelTimeoutMs);
    }
    DWORD transferred = 0;
    GetOverlappedResult(port_.get(), &overlapped_, &transferred, FALSE);
}

DWORD CComPort::queuedByteCount() {
    Held held(lock_);
    DWORD errors = 0;
    COMSTAT status{};
    // Line errors are cleared here and otherwise ignored.
    if (!ClearCommError(port_.get(), &errors, &status))
        return 0;
    return status.cbInQue;
}

CComPort::Delivery CComPort::readQueuedBytes() {
    // Once a stop is requested only the bytes queued at that moment are delivered, so a sender that never pauses
    // cannot keep a closing owner waiting.
    Delivery delivery;
    DWORD budget = 0;
    for (DWORD queued = queuedByteCount(); queued > 0; queued = queuedByteCount()) {
        if (!delivery.stopped && stopSignalled()) {
            delivery.stopped = true;
            budget = queued;
        }
        if (delivery.stopped) {
            if (budget == 0)
                break;
            --budget;
        }
        unsigned char byte = 0;
        DWORD received = 0;
        {
            Held held(lock_);
            overlapped_ = OVERLAPPED{};
            overlapped_.hEvent = commEvent_.get();
            BOOL ok = ReadFile(port_.get(), &byte, 1, &received, &overlapped_);
            if (!ok && GetLastError() == ERROR_IO_PENDING)
                ok = GetOverlappedResult(port_.get(), &overlapped_, &received, TRUE);
            // A failed read, or one that found nothing after all, delivers nothing.
            if (!ok || received != 1)
                break;
        }
        // Never under the lock: the owner handles the byte before this returns, and it may be closing the port.
        SendMessageW(owner_, WM_RXBYTE_ID, byte, 0);
        ++delivery.bytes;
    }
    return delivery;
}

void CComPort::dropModemLines() {
    if (!port_)
        return;
    Held held(lock_);
    dcb_.DCBlength = sizeof dcb_;
    if (GetCommState(port_.get(), &dcb_)) {
        dcb_.fOutxCtsFlow = FALSE;
        dcb_.fOutxDsrFlow = FALSE;
        dcb_.fOutX = FALSE;
        dcb_.fInX = FALSE;
        dcb_.fDtrControl = DTR_CONTROL_DISABLE;
        dcb_.fRtsControl = RTS_CONTROL_DISABLE;
        SetCommState(port_.get(), &dcb_);
    }
}

void CComPort::waitForWorker() {
    // The worker may be inside SendMessage to the owner; the owner keeps working meanwhile.
    waitForThreadDispatching(thread_.get(), owner_);
}
