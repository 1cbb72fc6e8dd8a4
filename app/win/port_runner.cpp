#include "app/win/port_runner.h"

#include "res/resource.h"
#include "ui/win/port_dialog.h"
#include "win/clock.h"

#include <string>

namespace {

// The instrument's fixed line settings: 300 baud, no parity, 7 data bits, 1 stop bit; only received characters
// matter.
constexpr int kBaudRate = 300;
constexpr char kParity = 'N';
constexpr int kDataBits = 7;
constexpr int kStopBits = 1;

constexpr const wchar_t* kCaption = L"HX350";

} // namespace

CPortRunner::CPortRunner(std::function<HWND()> owner, int& configuredPort, std::function<void()> portChanged,
                         std::function<void()> statusChanged)
    : owner_(std::move(owner)), configuredPort_(configuredPort), portChanged_(std::move(portChanged)),
      statusChanged_(std::move(statusChanged)) {}

CPortRunner::~CPortRunner() {
    closePort();
}

void CPortRunner::retryTimer() {
    carryOut(session_.retryTimer(monotonicMs()));
}

bool CPortRunner::handsOver(WPARAM count, LPARAM bytes) const {
    return (port_ && port_->handsOver(count, bytes)) ||
           (closingPort_ != nullptr && closingPort_->handsOver(count, bytes));
}

std::unique_ptr<CComPort> CPortRunner::openPort(int portNumber, std::uint32_t openId) {
    auto port = std::make_unique<CComPort>(openId);
    // A port that would not take the instrument's line settings is as good as none: it is reported, not run with
    // whatever settings it had.
    if (!port->open(owner_(), portNumber, kBaudRate, kParity, kDataBits, kStopBits) || !port->startReader())
        return nullptr;
    return port;
}

// A worker that is stopping still hands over what it had received, so its bytes are taken until it has gone.
// Stopping it dispatches the window's messages, and a port opened from one of them meanwhile is left alone.
void CPortRunner::closePort() {
    std::unique_ptr<CComPort> closing = std::move(port_);
    if (!closing)
        return;
    const CComPort* outer = closingPort_;
    closingPort_ = closing.get();
    closing.reset();
    closingPort_ = outer;
}

// The port session decides; this carries its steps out, and how the open, the message and the dialog ended goes
// back to the session, which may answer with further steps.
void CPortRunner::carryOut(PortSteps steps) {
    const HWND owner = owner_();
    const auto applyTimer = [owner](UINT_PTR id, unsigned periodMs, PortSteps::Timer timer) {
        if (timer == PortSteps::Timer::Start)
            SetTimer(owner, id, periodMs, nullptr);
        else if (timer == PortSteps::Timer::Stop)
            KillTimer(owner, id);
    };
    for (;;) {
        if (steps.closePort) {
            closePort();
            // Every port starts with an empty line: a partial line of the old one would spoil the first line of
            // the new.
            portChanged_();
        }
        applyTimer(IDT_PORT_REOPEN, PortSession::kRetryPeriodMs, steps.retryTimer);
        applyTimer(IDT_PORT_RETRY, PortSession::kAskPeriodMs, steps.askTimer);
        configuredPort_ = session_.configuredPort();
        if (steps.statusChanged)
            statusChanged_();
        switch (steps.next) {
        case PortSteps::Next::Open: {
            std::unique_ptr<CComPort> port = openPort(steps.port, steps.openId);
            if (!port) {
                steps = session_.openFailed(monotonicMs());
                break;
            }
            closePort();
            portChanged_();
            port_ = std::move(port);
            steps = session_.opened();
            break;
        }
        case PortSteps::Next::ReportFailure: {
            const std::wstring text = L"Nie można otworzyć portu COM" + std::to_wstring(steps.port);
            MessageBoxW(owner, text.c_str(), kCaption, MB_OK);
            steps = session_.failureReported(visible());
            break;
        }
        case PortSteps::Next::ShowDialog: {
            int port = session_.currentPort();
            steps = session_.dialogClosed(runPortDialog(owner, port) ? port : 0);
            break;
        }
        default:
            return;
        }
    }
}
