#include "app/port_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The steps in the order the window carries them out, as words: "close retry+ ask- status open7#2 report7 dialog".
std::string describe(const PortSteps& steps) {
    using Timer = PortSteps::Timer;
    std::string out;
    const auto add = [&out](const std::string& word) { out += (out.empty() ? "" : " ") + word; };
    if (steps.closePort)
        add("close");
    if (steps.retryTimer != Timer::Keep)
        add(steps.retryTimer == Timer::Start ? "retry+" : "retry-");
    if (steps.askTimer != Timer::Keep)
        add(steps.askTimer == Timer::Start ? "ask+" : "ask-");
    if (steps.statusChanged)
        add("status");
    switch (steps.next) {
    case PortSteps::Next::Open:
        add("open" + std::to_string(steps.port) + "#" + std::to_string(steps.openId));
        break;
    case PortSteps::Next::ReportFailure:
        add("report" + std::to_string(steps.port));
        break;
    case PortSteps::Next::ShowDialog:
        add("dialog");
        break;
    default:
        break;
    }
    return out;
}

enum Event {
    Start,      // a: the configured port
    Opened,     // the Open step succeeded
    OpenFailed, // t: now
    Lost,       // a: the port, t: the identity it was opened with
    Retry,      // t: now
    GoodLine,
    Ask,      // the menu command; a: the window is visible
    AskTick,  // a: the window is visible
    InfoOpen, // the software information window of the start
    InfoClose,
    Closed,   // the dialog; a: the port chosen, 0 for Anuluj
    Reported, // the failure message was seen; a: the window is visible
    ShutDown,
};

struct Row {
    Event event;
    int a;
    std::int64_t t;
    const char* steps;
    int unavailable; // the port the status line names afterwards
    int current;     // the port the dialog would name as open
};

PortSteps apply(PortSession& session, const Row& row) {
    switch (row.event) {
    case Start:
        return session.start(row.a);
    case Opened:
        return session.opened();
    case OpenFailed:
        return session.openFailed(row.t);
    case Lost:
        return session.lost(row.a, static_cast<std::uint32_t>(row.t));
    case Retry:
        return session.retryTimer(row.t);
    case GoodLine:
        return session.goodLine();
    case Ask:
        return session.dialogRequested(row.a != 0);
    case AskTick:
        return session.askTimer(row.a != 0);
    case InfoOpen:
        return session.infoWindowOpened();
    case InfoClose:
        return session.infoWindowClosed(row.a != 0);
    case Closed:
        return session.dialogClosed(row.a);
    case Reported:
        return session.failureReported(row.a != 0);
    case ShutDown:
        return session.shutDown();
    }
    return {};
}

constexpr std::int64_t kDay = 86400000;

struct Sequence {
    const char* name;
    std::vector<Row> rows;
    int configuredAtEnd; // what the settings keep
};

const Sequence kSequences[] = {
    {"an unattended station: the adapter missing at boot, then gone and back while it runs",
     {
         {Start, 7, 0, "open7#1", 0, 0},
         {OpenFailed, 0, 1000, "retry+ status", 7, 0},
         {Retry, 0, 3000, "open7#2", 7, 0},
         {OpenFailed, 0, 3000, "", 7, 0},
         {Retry, 0, 5000, "open7#3", 7, 0},
         {Opened, 0, 0, "retry- status", 7, 7},     // named until good lines come
         {Retry, 0, 5000, "retry-", 7, 7},          // a tick already queued: the open port is not opened again
         {Lost, 7, 3, "close retry+ status", 7, 0}, // opened but failed at once: the start's deadline still holds
         {Retry, 0, 30999, "open7#4", 7, 0},
         {OpenFailed, 0, 30999, "", 7, 0},
         {Retry, 0, 31000, "retry- status report7", 0, 0}, // patience is over: the user is asked
         {Reported, 1, 0, "ask- dialog", 0, 0},
         {Closed, 0, 0, "", 0, 0},
         {Retry, 0, 33000, "retry-", 0, 0},
         {Ask, 1, 0, "ask- dialog", 0, 0},
         {Closed, 3, 0, "retry- status open3#5", 0, 0},
         {Opened, 0, 0, "status", 0, 3},
         {Lost, 3, 5, "close retry+ status", 3, 0},
         {Retry, 0, 40000 + kDay, "open3#6", 3, 0}, // a day later: still trying
         {OpenFailed, 0, 40000 + kDay, "", 3, 0},
         {Retry, 0, 42000 + kDay, "open3#7", 3, 0},
         {Opened, 0, 0, "retry- status", 3, 3},
         {GoodLine, 0, 0, "status", 0, 3},
         {GoodLine, 0, 0, "", 0, 3},
     },
     3},
    {"lost while the dialog is open, then Anuluj: named and retried until it is back",
     {
         {Start, 7, 0, "open7#1", 0, 0},
         {Opened, 0, 0, "", 0, 7},
         {Ask, 1, 0, "ask- dialog", 0, 7},
         {Lost, 7, 1, "close retry+ status", 7, 0},
         {GoodLine, 0, 0, "", 7, 0}, // read before the port went
         {Closed, 0, 0, "", 7, 0},
         {Retry, 0, 2000, "open7#2", 7, 0},
         {OpenFailed, 0, 2000, "", 7, 0},
         {Retry, 0, 4000, "open7#3", 7, 0},
         {Opened, 0, 0, "retry- status", 7, 7},
         {GoodLine, 0, 0, "status", 0, 7},
     },
     7},
    {"lost while the dialog is open and back before Anuluj",
     {
         {Start, 7, 0, "open7#1", 0, 0},
         {Opened, 0, 0, "", 0, 7},
         {Ask, 1, 0, "ask- dialog", 0, 7},
         {Lost, 7, 1, "close retry+ status", 7, 0},
         {Retry, 0, 2000, "open7#2", 7, 0},
         {Opened, 0, 0, "retry- status", 7, 7},
         {GoodLine, 0, 0, "status", 0, 7},
         {Closed, 0, 0, "", 0, 7},
     },
     7},
    {"lost, then chosen again in the dialog",
     {
         {Start, 7, 0, "open7#1", 0, 0},
         {Opened, 0, 0, "", 0, 7},
         {Lost, 7, 1, "close retry+ status", 7, 0},
         {Ask, 1, 0, "ask- dialog", 7, 0},
         {Closed, 7, 0, "retry- status open7#2", 0, 0},
         {Opened, 0, 0, "status", 0, 7},
         {Retry, 0, 2000, "retry-", 0, 7}, // a tick that was already queued
     },
     7},
    {"a stale lost report: the port was reopened under the same number since",
     {
         {Start, 7, 0, "open7#1", 0, 0},
         {Opened, 0, 0, "", 0, 7},
         {Ask, 1, 0, "ask- dialog", 0, 7},
         {Closed, 7, 0, "close retry- status open7#2", 0, 0}, // the open port chosen again is reopened
         {Opened, 0, 0, "status", 0, 7},
         {Lost, 7, 1, "", 0, 7}, // queued from the first opening
         {Lost, 5, 2, "", 0, 7}, // names another port
         {Lost, 7, 2, "close retry+ status", 7, 0},
         {Lost, 7, 2, "", 7, 0},   // twice
         {Opened, 0, 0, "", 7, 0}, // no opening under way
     },
     7},
    {"a nested change is refused, also while the choice is opened and its failure said",
     {
         {Start, 7, 0, "open7#1", 0, 0},
         {Opened, 0, 0, "", 0, 7},
         {Ask, 1, 0, "ask- dialog", 0, 7},
         {Ask, 1, 0, "", 0, 7},
         {Closed, 9, 0, "close retry- status open9#2", 0, 0},
         {Ask, 1, 0, "", 0, 0}, // closing the old port dispatched a queued command
         {OpenFailed, 0, 0, "status report9", 0, 0},
         {Ask, 1, 0, "", 0, 0},
         {Reported, 1, 0, "ask- dialog", 0, 0}, // the dialog comes back for another choice
         {Closed, 0, 0, "", 0, 0},
         {Ask, 1, 0, "ask- dialog", 0, 0},
         {Closed, 0, 0, "", 0, 0},
     },
     0},
    {"no port at start: the dialog waits for the window and the information window",
     {
         {Start, 0, 0, "ask+", 0, 0},
         {InfoOpen, 0, 0, "", 0, 0},
         {AskTick, 0, 0, "ask+", 0, 0},
         {AskTick, 1, 0, "ask+", 0, 0},
         {InfoClose, 1, 0, "ask- dialog", 0, 0},
         {AskTick, 1, 0, "ask-", 0, 0},
         {Closed, 7, 0, "retry- status open7#1", 0, 0},
         {Opened, 0, 0, "status", 0, 7},
         // Once the chosen port has opened, the question is over: the menu opens the dialog again, whose Anuluj
         // keeps the port, and the port's loss is retried.
         {Ask, 1, 0, "ask- dialog", 0, 7},
         {Closed, 0, 0, "", 0, 7},
         {Lost, 7, 1, "close retry+ status", 7, 0},
         {Retry, 0, 2000, "open7#2", 7, 0},
     },
     7},
    {"the start's patience ends while the dialog is open: no message over it",
     {
         {Start, 7, 0, "open7#1", 0, 0},
         {OpenFailed, 0, 0, "retry+ status", 7, 0},
         {Ask, 1, 0, "ask- dialog", 7, 0},
         {Retry, 0, 2000, "open7#2", 7, 0},
         {OpenFailed, 0, 2000, "", 7, 0},
         {Retry, 0, 30000, "retry- status", 0, 0},
         {Closed, 0, 0, "", 0, 0},
     },
     7},
    {"the start's patience ends while the dialog waits for the information window: the message comes first",
     {
         {Start, 7, 0, "open7#1", 0, 0},
         {OpenFailed, 0, 0, "retry+ status", 7, 0},
         {InfoOpen, 0, 0, "", 7, 0},
         {Ask, 1, 0, "ask+", 7, 0},
         {Retry, 0, 30000, "retry- status report7", 0, 0},
         {InfoClose, 1, 0, "", 0, 0},
         {AskTick, 1, 0, "ask-", 0, 0},
         {Reported, 1, 0, "ask- dialog", 0, 0},
     },
     7},
    {"a port chosen at start that fails brings the message, then the dialog once the window is back",
     {
         {Start, -1, 0, "ask+", 0, 0},
         {AskTick, 1, 0, "ask- dialog", 0, 0},
         {Closed, 9, 0, "retry- status open9#1", 0, 0},
         {OpenFailed, 0, 0, "status report9", 0, 0},
         {Reported, 0, 0, "ask+", 0, 0},
         {AskTick, 1, 0, "ask- dialog", 0, 0},
         {Closed, 0, 0, "", 0, 0},
     },
     0},
    {"closing: the open dialog's answer opens nothing and nothing is retried or asked",
     {
         {Start, 7, 0, "open7#1", 0, 0},
         {OpenFailed, 0, 0, "retry+ status", 7, 0},
         {Ask, 1, 0, "ask- dialog", 7, 0},
         {ShutDown, 0, 0, "retry- ask-", 7, 0},
         {Closed, 3, 0, "", 7, 0},
         {Retry, 0, 2000, "retry-", 7, 0},
         {Ask, 1, 0, "", 7, 0},
         {AskTick, 1, 0, "ask-", 7, 0},
         {Reported, 1, 0, "", 7, 0},
     },
     7},
};

TEST(PortSession, EverySequenceGivesItsSteps) {
    for (const Sequence& sequence : kSequences) {
        SCOPED_TRACE(sequence.name);
        PortSession session;
        int index = 0;
        for (const Row& row : sequence.rows) {
            SCOPED_TRACE(index++);
            EXPECT_EQ(describe(apply(session, row)), row.steps);
            EXPECT_EQ(session.unavailablePort(), row.unavailable);
            EXPECT_EQ(session.currentPort(), row.current);
        }
        EXPECT_EQ(session.configuredPort(), sequence.configuredAtEnd);
    }
}

} // namespace
