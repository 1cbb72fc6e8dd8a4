#pragma once

#include <cstdint>

// What the main window does next with its port. The window carries the steps out in the order of the members and
// reports how the last one ended (`next`): the open to opened() or openFailed(), the message to failureReported(),
// the dialog to dialogClosed().
struct PortSteps {
    enum class Timer { Keep, Start, Stop };
    enum class Next { Nothing, Open, ReportFailure, ShowDialog };

    bool closePort = false;         // close the open port (its worker has ended, or another port replaces it)
    Timer retryTimer = Timer::Keep; // the timer that tries a missing port again (kRetryPeriodMs)
    Timer askTimer = Timer::Keep;   // the timer that asks for the port dialog again (kAskPeriodMs)
    bool statusChanged = false;     // the port the status line names may have changed
    Next next = Next::Nothing;
    int port = 0;             // Open: the port to open; ReportFailure: "Nie można otworzyć portu COM<port>"
    std::uint32_t openId = 0; // Open: the identity the opened port carries in its report that it is lost
};

// The life of the instrument's port: which port is open, which one is tried again, when the port dialog comes up
// and what its answer does. Every event the window sees goes in, with the time where it matters; the steps come
// out. Nobody may be there to click, so a port that goes away is tried again for as long as it takes, and one that
// is missing at start (an adapter that enumerates after the program started at boot) for a while before the user
// is asked for another one.
class PortSession {
public:
    static constexpr unsigned kRetryPeriodMs = 2000;
    static constexpr unsigned kAskPeriodMs = 500;
    static constexpr std::int64_t kStartupPatienceMs = 30000;

    // Initialisation, with the port of the settings (0 or less: none). The window is not on screen yet.
    PortSteps start(int configuredPort);
    // The outcome of an Open step.
    PortSteps opened();
    PortSteps openFailed(std::int64_t nowMs);
    // The worker of port `port`, opened with `openId`, has ended because the port went away.
    PortSteps lost(int port, std::uint32_t openId);
    PortSteps retryTimer(std::int64_t nowMs);
    // Good lines arrive: the port works.
    PortSteps goodLine();
    // The user asks for the port dialog (the menu command).
    PortSteps dialogRequested(bool windowVisible);
    PortSteps askTimer(bool windowVisible);
    // The software information window of the start: the port dialog waits until it is closed.
    PortSteps infoWindowOpened();
    PortSteps infoWindowClosed(bool windowVisible);
    // The port dialog ended: `chosen` is the port chosen with OK, 0 when it was cancelled.
    PortSteps dialogClosed(int chosen);
    // The user has seen the message of a ReportFailure step.
    PortSteps failureReported(bool windowVisible);
    // The program closes: nothing is opened, retried or asked any more.
    PortSteps shutDown();

    // The open port, 0 when none: the dialog names it as the current one.
    int currentPort() const { return open_ ? port_ : 0; }
    // The port the status line names as unavailable, 0 when none.
    int unavailablePort() const { return trouble_ == Trouble::None ? 0 : port_; }
    // What the settings keep: the port of the last choice that opened, the one of the start until then.
    int configuredPort() const { return configured_; }

private:
    enum class Trouble { None, Lost, Starting };
    enum class Opening { None, Start, Retry, Choice };

    PortSteps open(int port, Opening why);
    PortSteps askForDialog(bool windowVisible);

    bool closed_ = false;
    int configured_ = 0;
    int port_ = 0; // the open port, or the one tried again
    bool open_ = false;
    std::uint32_t openId_ = 0; // of the open port, or of the one being opened
    std::uint32_t lastId_ = 0;
    Opening opening_ = Opening::None;
    int openingPort_ = 0;
    Trouble trouble_ = Trouble::None;
    std::int64_t deadlineMs_ = 0; // Starting: when the start stops waiting for its port
    bool asking_ = false;         // the port question is under way: the dialog, its failure message, its choice
    bool askPending_ = false;     // the dialog waits for the window to be shown or the information window closed
    bool infoOpen_ = false;
};
