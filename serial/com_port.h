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
    // ... implementation-defined members
    int portNumber_ = 0;
};
