#include "app/port_session.h"

namespace {

using Timer = PortSteps::Timer;
using Next = PortSteps::Next;

} // namespace

// A port that fails at start keeps its number in the settings: it may be back at the next start.
PortSteps PortSession::start(int configuredPort) {
    configured_ = configuredPort;
    if (configuredPort > 0)
        return open(configuredPort, Opening::Start);
    return askForDialog(false);
}

// Every opening gets an identity of its own, so a lost report that was still queued when its port was closed
// cannot close the port opened after it under the same number.
PortSteps PortSession::open(int port, Opening why) {
    opening_ = why;
    openingPort_ = port;
    openId_ = ++lastId_;
    PortSteps steps;
    steps.next = Next::Open;
    steps.port = port;
    steps.openId = openId_;
    return steps;
}

PortSteps PortSession::opened() {
    PortSteps steps;
    const Opening why = opening_;
    if (why == Opening::None)
        return steps;
    opening_ = Opening::None;
    port_ = openingPort_;
    open_ = true;
    if (why == Opening::Retry) {
        // The status line keeps naming the port until good lines arrive from it: a mapping to a missing device may
        // open and fail at once.
        steps.retryTimer = Timer::Stop;
        steps.statusChanged = true;
    } else if (why == Opening::Choice) {
        configured_ = port_;
        asking_ = false;
        steps.statusChanged = true;
    }
    return steps;
}

PortSteps PortSession::openFailed(std::int64_t nowMs) {
    PortSteps steps;
    const Opening why = opening_;
    opening_ = Opening::None;
    if (why == Opening::Start) {
        // A station that boots unattended may start before its adapter is ready: the port is tried again for a
        // while, and the status line says so, before anyone is asked.
        trouble_ = Trouble::Starting;
        port_ = openingPort_;
        deadlineMs_ = nowMs + kStartupPatienceMs;
        steps.retryTimer = Timer::Start;
        steps.statusChanged = true;
    } else if (why == Opening::Choice) {
        // The user has just chosen: the message answers that, and the dialog comes back for another choice.
        configured_ = 0;
        steps.statusChanged = true;
        steps.next = Next::ReportFailure;
        steps.port = openingPort_;
    }
    // A retry that failed waits for the next tick.
    return steps;
}

PortSteps PortSession::lost(int port, std::uint32_t openId) {
    PortSteps steps;
    if (closed_ || !open_ || port != port_ || openId != openId_)
        return steps;
    open_ = false;
    // A port that opened at start but failed at once keeps the start's deadline: one that never works gets the
    // question after the same while. The dialog being open changes nothing: the port is retried meanwhile and
    // after a cancel.
    if (trouble_ != Trouble::Starting)
        trouble_ = Trouble::Lost;
    steps.closePort = true;
    steps.retryTimer = Timer::Start;
    steps.statusChanged = true;
    return steps;
}

PortSteps PortSession::retryTimer(std::int64_t nowMs) {
    PortSteps steps;
    if (closed_ || trouble_ == Trouble::None || open_) {
        steps.retryTimer = Timer::Stop;
        return steps;
    }
    if (trouble_ == Trouble::Starting && nowMs >= deadlineMs_) {
        trouble_ = Trouble::None;
        steps.retryTimer = Timer::Stop;
        steps.statusChanged = true;
        // With the dialog open the user is already answering what the message would ask.
        if (asking_)
            return steps;
        asking_ = true;
        steps.next = Next::ReportFailure;
        steps.port = port_;
        return steps;
    }
    return open(port_, Opening::Retry);
}

PortSteps PortSession::goodLine() {
    PortSteps steps;
    if (!open_ || trouble_ == Trouble::None)
        return steps;
    trouble_ = Trouble::None;
    steps.statusChanged = true;
    return steps;
}

// A second port change while one is under way is refused: closing a port dispatches the window's queued input,
// which may hold the command again.
PortSteps PortSession::dialogRequested(bool windowVisible) {
    if (closed_ || asking_)
        return {};
    return askForDialog(windowVisible);
}

// The dialog comes up only once the window is on screen and the software information window of the start is
// closed; until then the ask timer comes back here.
PortSteps PortSession::askForDialog(bool windowVisible) {
    PortSteps steps;
    if (!windowVisible || infoOpen_) {
        askPending_ = true;
        steps.askTimer = Timer::Start;
        return steps;
    }
    askPending_ = false;
    asking_ = true;
    steps.askTimer = Timer::Stop;
    steps.next = Next::ShowDialog;
    return steps;
}

PortSteps PortSession::askTimer(bool windowVisible) {
    if (closed_ || !askPending_ || asking_) {
        askPending_ = false;
        PortSteps steps;
        steps.askTimer = Timer::Stop;
        return steps;
    }
    return askForDialog(windowVisible);
}

PortSteps PortSession::infoWindowOpened() {
    infoOpen_ = true;
    return {};
}

PortSteps PortSession::infoWindowClosed(bool windowVisible) {
    infoOpen_ = false;
    if (closed_ || !askPending_ || asking_)
        return {};
    return askForDialog(windowVisible);
}

// The old port goes first: the new choice may be the same device under another name. Choosing the open port
// again reopens it, which brings back a port that stopped working. The choice ends any retrying.
PortSteps PortSession::dialogClosed(int chosen) {
    if (closed_ || chosen <= 0) {
        asking_ = false;
        return {};
    }
    PortSteps steps = open(chosen, Opening::Choice);
    steps.closePort = open_;
    open_ = false;
    trouble_ = Trouble::None;
    steps.retryTimer = Timer::Stop;
    steps.statusChanged = true;
    return steps;
}

PortSteps PortSession::failureReported(bool windowVisible) {
    asking_ = false;
    if (closed_)
        return {};
    return askForDialog(windowVisible);
}

PortSteps PortSession::shutDown() {
    closed_ = true;
    askPending_ = false;
    PortSteps steps;
    steps.retryTimer = Timer::Stop;
    steps.askTimer = Timer::Stop;
    return steps;
}
