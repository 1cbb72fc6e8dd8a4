#include "serial/win/com_port.h"

#include "res/resource.h"
#include "serial/comm_state.h"
#include "serial/port_errors.h"
#include "win/thread_wait.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

constexpr DWORD kPurgeAll = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
constexpr DWORD kStoppedExitCode = 100;
constexpr DWORD kLostExitCode = 101;
// A read of bytes that are already queued completes at once; this only bounds the wait should a device vanish
// between counting its bytes and reading them while the owner is closing.
constexpr DWORD kQueuedReadTimeoutMs = 1000;

static_assert(CommState::NoParity == NOPARITY && CommState::OddParity == ODDPARITY &&
                  CommState::EvenParity == EVENPARITY && CommState::MarkParity == MARKPARITY &&
                  CommState::SpaceParity == SPACEPARITY,
              "parity values as the DCB numbers them");
static_assert(CommState::OneStopBit == ONESTOPBIT && CommState::OneAndHalfStopBits == ONE5STOPBITS &&
                  CommState::TwoStopBits == TWOSTOPBITS,
              "stop bit values as the DCB numbers them");
static_assert(CommState::DtrDisable == DTR_CONTROL_DISABLE && CommState::DtrEnable == DTR_CONTROL_ENABLE &&
                  CommState::DtrHandshake == DTR_CONTROL_HANDSHAKE,
              "DTR control values as the DCB numbers them");
static_assert(CommState::RtsDisable == RTS_CONTROL_DISABLE && CommState::RtsEnable == RTS_CONTROL_ENABLE &&
                  CommState::RtsHandshake == RTS_CONTROL_HANDSHAKE && CommState::RtsToggle == RTS_CONTROL_TOGGLE,
              "RTS control values as the DCB numbers them");
static_assert(WM_PORT_LOST_ID == WM_USER + 5, "WM_PORT_LOST is WM_USER + 5");
static_assert(WM_RXBYTES_ID == WM_USER + 6, "WM_RXBYTES is WM_USER + 6");

// The port's state as the core decides on it, and the decided state written back over the DCB that was read, so
// that the members the core leaves alone (and the DCB's reserved ones) keep the driver's values.
CommState fromDcb(const DCB& dcb) {
    CommState state;
    state.baudRate = dcb.BaudRate;
    state.binary = dcb.fBinary != 0;
    state.parityCheck = dcb.fParity != 0;
    state.outxCtsFlow = dcb.fOutxCtsFlow != 0;
    state.outxDsrFlow = dcb.fOutxDsrFlow != 0;
    state.dtrControl = static_cast<std::uint8_t>(dcb.fDtrControl);
    state.dsrSensitivity = dcb.fDsrSensitivity != 0;
    state.txContinueOnXoff = dcb.fTXContinueOnXoff != 0;
    state.outX = dcb.fOutX != 0;
    state.inX = dcb.fInX != 0;
    state.errorCharReplace = dcb.fErrorChar != 0;
    state.discardNull = dcb.fNull != 0;
    state.rtsControl = static_cast<std::uint8_t>(dcb.fRtsControl);
    state.abortOnError = dcb.fAbortOnError != 0;
    state.xonLimit = dcb.XonLim;
    state.xoffLimit = dcb.XoffLim;
    state.byteSize = dcb.ByteSize;
    state.parity = dcb.Parity;
    state.stopBits = dcb.StopBits;
    state.xonChar = dcb.XonChar;
    state.xoffChar = dcb.XoffChar;
    state.errorChar = dcb.ErrorChar;
    state.eofChar = dcb.EofChar;
    state.eventChar = dcb.EvtChar;
    return state;
}

void applyToDcb(const CommState& state, DCB& dcb) {
    dcb.BaudRate = state.baudRate;
    dcb.fBinary = state.binary;
    dcb.fParity = state.parityCheck;
    dcb.fOutxCtsFlow = state.outxCtsFlow;
    dcb.fOutxDsrFlow = state.outxDsrFlow;
    dcb.fDtrControl = state.dtrControl;
    dcb.fDsrSensitivity = state.dsrSensitivity;
    dcb.fTXContinueOnXoff = state.txContinueOnXoff;
    dcb.fOutX = state.outX;
    dcb.fInX = state.inX;
    dcb.fErrorChar = state.errorCharReplace;
    dcb.fNull = state.discardNull;
    dcb.fRtsControl = state.rtsControl;
    dcb.fAbortOnError = state.abortOnError;
    dcb.XonLim = state.xonLimit;
    dcb.XoffLim = state.xoffLimit;
    dcb.ByteSize = state.byteSize;
    dcb.Parity = state.parity;
    dcb.StopBits = state.stopBits;
    dcb.XonChar = state.xonChar;
    dcb.XoffChar = state.xoffChar;
    dcb.ErrorChar = state.errorChar;
    dcb.EofChar = state.eofChar;
    dcb.EvtChar = state.eventChar;
}

} // namespace

CComPort::CComPort(std::uint32_t openId) : openId_(openId) {}

CComPort::~CComPort() {
    dropModemLines();
    if (stopEvent_)
        SetEvent(stopEvent_.get());
    // The worker ends only after its last read is over, so nothing refers to the OVERLAPPED or the buffer of this
    // object once it has gone.
    waitForWorker();
    thread_.reset();
    readEvent_.reset();
    port_.reset();
    stopEvent_.reset();
}

bool CComPort::open(HWND owner, int portNumber, int baudRate, char parity, int dataBits, int stopBits) {
    owner_ = owner;
    portNumber_ = portNumber;
    if (!stopEvent_)
        stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!readEvent_)
        readEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    // Without both events the worker could neither wait for bytes nor be stopped: report the port as not opened
    // rather than run a driver that cannot work.
    if (!stopEvent_ || !readEvent_) {
        readEvent_.reset();
        stopEvent_.reset();
        return false;
    }

    Held held(lock_);
    port_.reset();
    char device[50];
    std::snprintf(device, sizeof device, "\\\\.\\COM%d", portNumber);
    port_.reset(
        CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));

    // No timeouts at all: a read returns only when it has every byte it asked for. The worker asks for one byte,
    // which lets it sleep in the system until one arrives, and then for exactly as many as are queued, which come
    // at once. (The "return at the first byte" setting, MAXDWORD/MAXDWORD/constant, is no alternative: Wine 8.0
    // then returns only when the buffer is full.) A port that refuses its line settings is reported as not opened:
    // with the settings it happened to hold it might drop or garble every byte without a trace. The state starts
    // from the driver's own, so that fields reception does not use keep values the driver accepts.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    std::optional<CommState> state;
    if (port_ && GetCommState(port_.get(), &dcb))
        state = receiveOnlyCommState(fromDcb(dcb), baudRate, parity, dataBits, stopBits);
    if (state)
        applyToDcb(*state, dcb);
    COMMTIMEOUTS timeouts{};
    if (!state || !SetCommState(port_.get(), &dcb) || !SetCommTimeouts(port_.get(), &timeouts)) {
        port_.reset();
        readEvent_.reset();
        stopEvent_.reset();
        return false;
    }
    PurgeComm(port_.get(), kPurgeAll);
    return true;
}

bool CComPort::startReader() {
    if (thread_)
        return true;
    if (!port_ || !stopEvent_ || !readEvent_)
        return false;
    thread_.reset(CreateThread(nullptr, 0, workerMain, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

DWORD WINAPI CComPort::workerMain(void* self) {
    return static_cast<CComPort*>(self)->run();
}

// The worker waits in a pending read, never in WaitCommEvent: Wine 8.0 starts a thread for every WaitCommEvent that
// has to wait and ends it without its clean-up, which cost a few kB and a burst of CPU for every received byte. A
// pending read is served by the system's own poll of the device, and the worker wakes only for data or the stop
// event.
DWORD CComPort::run() {
    PurgeComm(port_.get(), kPurgeAll);
    PortFailures failures;
    for (;;) {
        // One byte, however long it takes; then whatever arrived with it or while the owner handled it, at once.
        // The stop event is looked at in every wait and after every handover, the only time the owner can have
        // asked while the worker did not wait for it.
        Transfer transfer = read(1, true);
        bool received = false;
        while (transfer.outcome != Transfer::Failed && transfer.bytes > 0) {
            received = true;
            batch_.add(transfer.bytes);
            for (std::size_t ready = batch_.ready(); ready > 0 && transfer.outcome != Transfer::Stopped;
                 ready = batch_.ready()) {
                handOver(ready);
                if (stopSignalled())
                    transfer.outcome = Transfer::Stopped;
            }
            if (transfer.outcome == Transfer::Stopped)
                break;
            DWORD queued = 0;
            if (!queuedByteCount(queued, transfer.error))
                transfer = Transfer{Transfer::Failed, 0, transfer.error};
            else if (queued == 0)
                transfer = Transfer{};
            else
                transfer = read(std::min<DWORD>(queued, static_cast<DWORD>(batch_.room())), true);
        }
        if (transfer.outcome == Transfer::Stopped) {
            handOverAllOnStop();
            return kStoppedExitCode;
        }
        if (received)
            failures.onSuccess();
        if (transfer.outcome == Transfer::Done && received)
            continue;
        // A failure, or a read that ended without a byte and without an error (never expected without timeouts).
        if (failures.onFailure(transfer.outcome == Transfer::Failed ? transfer.error : ERROR_SUCCESS)) {
            // What was held goes over first, so that the window has seen every byte of the port it is told of.
            handOverAll();
            // Posted, never sent: the owner destroys this object when it hears of it, which waits for this thread.
            PostMessageW(owner_, WM_PORT_LOST_ID, static_cast<WPARAM>(portNumber_), static_cast<LPARAM>(openId_));
            return kLostExitCode;
        }
        if (WaitForSingleObject(stopEvent_.get(), failures.retryDelayMs()) != WAIT_TIMEOUT) {
            handOverAllOnStop();
            return kStoppedExitCode;
        }
    }
}

CComPort::Transfer CComPort::read(DWORD size, bool stoppable) {
    overlapped_ = OVERLAPPED{};
    overlapped_.hEvent = readEvent_.get();
    BOOL started = FALSE;
    {
        Held held(lock_);
        started = ReadFile(port_.get(), batch_.space(), size, nullptr, &overlapped_);
    }
    DWORD received = 0;
    if (!started) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING)
            return Transfer{Transfer::Failed, 0, error};
        DWORD which = WAIT_FAILED;
        if (stoppable) {
            // Both signalled: the stop event is first in the array and wins.
            const HANDLE handles[2] = {stopEvent_.get(), readEvent_.get()};
            which = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
        } else if (WaitForSingleObject(readEvent_.get(), kQueuedReadTimeoutMs) == WAIT_OBJECT_0) {
            which = WAIT_OBJECT_0 + 1;
        }
        if (which == WAIT_OBJECT_0)
            return finishCancelled(Transfer::Stopped, ERROR_SUCCESS);
        if (which != WAIT_OBJECT_0 + 1)
            return finishCancelled(Transfer::Failed, ERROR_TIMEOUT);
    }
    if (!GetOverlappedResult(port_.get(), &overlapped_, &received, FALSE))
        return Transfer{Transfer::Failed, 0, GetLastError()};
    return Transfer{Transfer::Done, received, ERROR_SUCCESS};
}

CComPort::Transfer CComPort::finishCancelled(Transfer::Outcome outcome, DWORD error) {
    // The read must be over before its OVERLAPPED and buffer are used again or go away with this object, so the
    // worker waits for the cancelled read to complete, however long the driver takes. Bytes that it still
    // delivered are kept; its ERROR_OPERATION_ABORTED is the worker's own doing and no sign of a lost device.
    CancelIoEx(port_.get(), &overlapped_);
    DWORD received = 0;
    if (GetOverlappedResult(port_.get(), &overlapped_, &received, TRUE) && received > 0)
        return Transfer{outcome == Transfer::Stopped ? Transfer::Stopped : Transfer::Done, received, ERROR_SUCCESS};
    return Transfer{outcome, 0, error};
}

bool CComPort::queuedByteCount(DWORD& count, DWORD& error) {
    Held held(lock_);
    DWORD errors = 0;
    COMSTAT status{};
    // Line errors are cleared here and otherwise ignored; the decoder rejects a damaged line.
    if (!ClearCommError(port_.get(), &errors, &status)) {
        error = GetLastError();
        count = 0;
        return false;
    }
    count = status.cbInQue;
    return true;
}

void CComPort::handOver(std::size_t count) {
    // Never under the lock: the owner handles the bytes before SendMessage returns, and it may be closing the port.
    SendMessageW(owner_, WM_RXBYTES_ID, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(batch_.data()));
    batch_.consume(count);
}

void CComPort::handOverLines() {
    for (std::size_t ready = batch_.ready(); ready > 0; ready = batch_.ready())
        handOver(ready);
}

void CComPort::handOverAll() {
    handOverLines();
    if (batch_.size() > 0)
        handOver(batch_.size());
}

void CComPort::handOverAllOnStop() {
    // The owner is closing: what had been received when it asked is still handed over, nothing that came later, so
    // a sender that never pauses cannot keep it waiting.
    DWORD remaining = 0;
    DWORD error = ERROR_SUCCESS;
    if (queuedByteCount(remaining, error)) {
        while (remaining > 0) {
            const Transfer transfer = read(std::min<DWORD>(remaining, static_cast<DWORD>(batch_.room())), false);
            if (transfer.outcome == Transfer::Failed || transfer.bytes == 0)
                break;
            batch_.add(transfer.bytes);
            handOverLines();
            remaining -= std::min(remaining, transfer.bytes);
        }
    }
    handOverAll();
}

bool CComPort::stopSignalled() const {
    return WaitForSingleObject(stopEvent_.get(), 0) != WAIT_TIMEOUT;
}

void CComPort::dropModemLines() {
    if (!port_)
        return;
    Held held(lock_);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (GetCommState(port_.get(), &dcb)) {
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fDtrControl = DTR_CONTROL_DISABLE;
        dcb.fRtsControl = RTS_CONTROL_DISABLE;
        SetCommState(port_.get(), &dcb);
    }
}

void CComPort::waitForWorker() {
    // The worker may be inside SendMessage to the owner; the owner keeps working meanwhile.
    waitForThreadDispatching(thread_.get(), owner_);
}
