#pragma once

#include "app/port_session.h"
#include "serial/win/com_port.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>

// The Win32 side of the instrument's port: carries out what the PortSession decides (opening, closing and replacing
// the serial port, the retry and ask timers, the failure message, the port dialog) and reports back how each step
// ended. The main window passes the port's events in.
class CPortRunner {
public:
    // `portChanged`: bytes of another port (or the same one reopened) are about to come; `statusChanged`: the
    // port the status line names may have changed. `configuredPort` is the settings' port, which follows the
    // session.
    CPortRunner(std::function<HWND()> owner, int& configuredPort, std::function<void()> portChanged,
                std::function<void()> statusChanged);
    ~CPortRunner();

    void start() { carryOut(session_.start(configuredPort_)); }
    void lost(WPARAM port, LPARAM openId) {
        carryOut(session_.lost(static_cast<int>(port), static_cast<std::uint32_t>(openId)));
    }
    void retryTimer();
    void askTimer() { carryOut(session_.askTimer(visible())); }
    void goodLine() { carryOut(session_.goodLine()); }
    void dialogRequested() { carryOut(session_.dialogRequested(visible())); }
    void infoWindowOpened() { carryOut(session_.infoWindowOpened()); }
    void infoWindowClosed() { carryOut(session_.infoWindowClosed(visible())); }
    void shutDown() { carryOut(session_.shutDown()); }

    // Whether a WM_RXBYTES carries the bytes of the open port, or of one whose worker is being stopped.
    bool handsOver(WPARAM count, LPARAM bytes) const;
    int unavailablePort() const { return session_.unavailablePort(); }

private:
    bool visible() const { return IsWindowVisible(owner_()) != FALSE; }
    void carryOut(PortSteps steps);
    // Stops the serial worker and releases the port.
    void closePort();
    std::unique_ptr<CComPort> openPort(int portNumber, std::uint32_t openId);

    std::function<HWND()> owner_;
    int& configuredPort_;
    std::function<void()> portChanged_;
    std::function<void()> statusChanged_;
    PortSession session_;
    std::unique_ptr<CComPort> port_;
    // The port whose worker is being stopped, while it is.
    const CComPort* closingPort_ = nullptr;
};
