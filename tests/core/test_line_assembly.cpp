#include "protocol/line_assembly.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kWorkedExample = {0x40, 0x70, 0x73, 0x34, 0x31, 0x32, 0x34, 0x75, 0x76, 0x70, 0x32, 0x73, 0x34, 0x0D};
// Valid lines of kinds 2, 3, 4 and 1.
const Bytes kQuantityLine = {0x40, 0x70, 0x73, 0x34, 0x31, 0x32, 0x34, 0x31, 0x70, 0x31, 0x32, 0x73, 0x0D};
const Bytes kScaledLine = {0x40, 0x70, 0x73, 0x34, 0x31, 0x32, 0x70, 0x31, 0x32, 0x73, 0x34, 0x0D};
const Bytes kCode3Line = {0x40, 0x01, 0x40, 0x43, 0x70, 0x73, 0x34, 0x31, 0x32, 0x70, 0x31, 0x32, 0x73, 0x34, 0x0D};
const Bytes kFineThermoLine = {0x40, 0x01, 0x40, 0x49, 0x70, 0x73, 0x34, 0x31,
                               0x32, 0x70, 0x70, 0x32, 0x73, 0x34, 0x75, 0x0D};

// Records every call the line assembly makes on its window, in order.
class FakeHost : public ILinkHost {
public:
    unsigned startWatchdogTimer() override {
        calls.push_back("start");
        return nextTimerId == 0 ? 0 : nextTimerId++;
    }
    void killWatchdogTimer(unsigned timerId) override { calls.push_back("kill " + std::to_string(timerId)); }
    void updateReading(bool linkUp) override { calls.push_back(linkUp ? "update 1" : "update 0"); }

    std::vector<std::string> calls;
    unsigned nextTimerId = 11;
};

struct Fixture {
    FakeHost host;
    ReadingRecord record;
    CLineAssembly assembly{host, record};

    // Feeds the bytes and returns the outcome of the last one.
    LineOutcome feed(const Bytes& bytes) {
        LineOutcome last;
        for (std::uint8_t b : bytes)
            last = assembly.onReceivedByte(b);
        return last;
    }
    // Feeds count bytes that never end a line.
    void feedFiller(int count) {
        for (int i = 0; i < count; ++i) {
            const LineOutcome outcome = assembly.onReceivedByte(0x31);
            ASSERT_FALSE(outcome.finished);
        }
    }
};

using Calls = std::vector<std::string>;

Bytes joined(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Each line follows a good one, which started watchdog timer 11: only a good line restarts it.
TEST(LineAssembly, OnlyGoodLinesOfKind0Or1KeepTheLinkAndRestartTheWatchdog) {
    Bytes rejectedKind0 = kWorkedExample;
    rejectedKind0[1] = 0x38; // status bit 3 set: `kind` becomes 0, yet the line is rejected
    Bytes noisyCarriageReturn = kWorkedExample;
    noisyCarriageReturn.back() = 0x8D; // shares the low six bits of a carriage return, yet does not end the line
    noisyCarriageReturn.push_back(0x0D);
    const struct {
        const char* name;
        Bytes bytes;
        int length, result, kind;
    } cases[] = {
        {"worked example again", kWorkedExample, 14, 1, ThermoHygro},
        {"kind 1", kFineThermoLine, 16, 1, FineThermo},
        {"lone carriage return", {0x0D}, 1, 0, ThermoHygro},
        {"rejected kind 0", rejectedKind0, 14, 0, ThermoHygro},
        {"0x8D inside a line", noisyCarriageReturn, 15, 0, Quantity},
        {"kind 2", kQuantityLine, 13, 1, Quantity},
        {"kind 3", kScaledLine, 12, 1, Scaled},
        {"kind 4", kCode3Line, 15, 1, Code3},
    };
    for (const auto& c : cases) {
        Fixture f;
        ASSERT_TRUE(f.feed(kWorkedExample).good);
        ASSERT_EQ(f.host.calls, (Calls{"start", "update 1"}));
        f.host.calls.clear();
        const LineOutcome outcome = f.feed(c.bytes);
        const bool good = c.result == 1 && c.kind <= FineThermo;
        EXPECT_TRUE(outcome.finished) << c.name;
        EXPECT_EQ(outcome.length, c.length) << c.name;
        EXPECT_EQ(outcome.result, c.result) << c.name;
        EXPECT_EQ(outcome.good, good) << c.name;
        EXPECT_EQ(f.record.kind, c.kind) << c.name;
        EXPECT_EQ(f.host.calls, good ? (Calls{"kill 11", "start", "update 1"}) : (Calls{"update 0"})) << c.name;
        EXPECT_EQ(f.assembly.watchdogTimerId(), good ? 12u : 11u) << c.name;
        EXPECT_EQ(f.assembly.linePos(), 0) << c.name;
    }
}

// A line that reaches the 1000th byte is dropped without a word together with that byte; the next byte starts
// afresh, so a line cut by the overflow point keeps only its tail.
TEST(LineAssembly, ThousandthByteDropsThePartialLineSilently) {
    const struct {
        const char* name;
        int filler;
        Bytes tail;
        bool finished;
        int length;
        Calls calls;
    } cases[] = {
        {"longest line", 998, {0x0D}, true, 999, {"update 0"}},
        {"carriage return as the 1000th byte", 999, {0x0D}, false, 0, {}},
        {"next line after the overflow", 999, joined({0x31}, kWorkedExample), true, 14, {"start", "update 1"}},
        {"line cut by the overflow", 990, kWorkedExample, true, 4, {"update 0"}},
    };
    for (const auto& c : cases) {
        Fixture f;
        f.feedFiller(c.filler);
        const LineOutcome outcome = f.feed(c.tail);
        EXPECT_EQ(outcome.finished, c.finished) << c.name;
        EXPECT_EQ(outcome.length, c.length) << c.name;
        EXPECT_EQ(f.assembly.linePos(), 0) << c.name;
        EXPECT_EQ(f.host.calls, c.calls) << c.name;
    }
}

TEST(LineAssembly, WatchdogExpiryLosesTheLinkAndKeepsTheTimer) {
    Fixture f;
    f.feed(kWorkedExample);
    f.host.calls.clear();
    f.assembly.onWatchdogExpired();
    f.assembly.onWatchdogExpired();
    EXPECT_EQ(f.host.calls, (Calls{"update 0", "update 0"}));
    EXPECT_EQ(f.assembly.watchdogTimerId(), 11u);
}

TEST(LineAssembly, FailedTimerStartIsNotKilledLater) {
    Fixture f;
    f.host.nextTimerId = 0;
    f.feed(kWorkedExample);
    f.feed(kWorkedExample);
    EXPECT_EQ(f.host.calls, (Calls{"start", "update 1", "start", "update 1"}));
}

// The reading update may open a message box whose modal loop delivers further bytes to the same assembly; the
// finished line must already be cleared by then, or the nested bytes would extend it.
TEST(LineAssembly, BytesArrivingDuringTheReadingUpdateStartANewLine) {
    struct ReentrantHost : FakeHost {
        CLineAssembly* assembly = nullptr;
        bool nested = false;
        std::vector<LineOutcome> nestedOutcomes;
        void updateReading(bool linkUp) override {
            FakeHost::updateReading(linkUp);
            if (!nested) {
                nested = true;
                for (std::uint8_t b : kWorkedExample)
                    nestedOutcomes.push_back(assembly->onReceivedByte(b));
            }
        }
    };
    ReentrantHost host;
    ReadingRecord record;
    CLineAssembly assembly(host, record);
    host.assembly = &assembly;
    assembly.onReceivedByte(0x0D);
    ASSERT_EQ(host.nestedOutcomes.size(), kWorkedExample.size());
    EXPECT_TRUE(host.nestedOutcomes.back().good);
    EXPECT_EQ(host.nestedOutcomes.back().length, 14);
    EXPECT_EQ(host.calls, (Calls{"update 0", "start", "update 1"}));
}

} // namespace
