#include "protocol/line_assembly.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kWorkedExample = {0x40, 0x70, 0x73, 0x34, 0x31, 0x32, 0x34, 0x75, 0x76, 0x70, 0x32, 0x73, 0x34, 0x0D};
// Valid lines of the kinds the window does not show: decoded completely, yet a lost link.
const Bytes kQuantityLine = {0x40, 0x70, 0x73, 0x34, 0x31, 0x32, 0x34, 0x31, 0x70, 0x31, 0x32, 0x73, 0x0D};
const Bytes kScaledLine = {0x40, 0x70, 0x73, 0x34, 0x31, 0x32, 0x70, 0x31, 0x32, 0x73, 0x34, 0x0D};
const Bytes kCode3Line = {0x40, 0x01, 0x40, 0x43, 0x70, 0x73, 0x34, 0x31, 0x32, 0x70, 0x31, 0x32, 0x73, 0x34, 0x0D};
// Kind 1 (device code 9), temperature 23.45.
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
    void updateReading(int linkUp) override { calls.push_back("update " + std::to_string(linkUp)); }

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
        for (std::uint8_t b : bytes) {
            last = assembly.onReceivedByte(b);
        }
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

TEST(LineAssembly, LoneCarriageReturnIsABadLine) {
    Fixture f;
    const LineOutcome outcome = f.feed({0x0D});
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.length, 1);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_FALSE(outcome.good);
    EXPECT_EQ(f.host.calls, (Calls{"update 0"}));
    EXPECT_EQ(f.assembly.linePos(), 0);
}

TEST(LineAssembly, GoodLineStartsTheWatchdogAndTheNextRestartsIt) {
    Fixture f;
    const LineOutcome first = f.feed(kWorkedExample);
    EXPECT_TRUE(first.finished);
    EXPECT_EQ(first.length, 14);
    EXPECT_EQ(first.result, 1);
    EXPECT_TRUE(first.good);
    EXPECT_EQ(f.record.thermoHygro.serialNumber, 4660);
    EXPECT_EQ(f.host.calls, (Calls{"start", "update 1"}));
    EXPECT_EQ(f.assembly.watchdogTimerId(), 11u);

    f.host.calls.clear();
    f.feed(kWorkedExample);
    EXPECT_EQ(f.host.calls, (Calls{"kill 11", "start", "update 1"}));
    EXPECT_EQ(f.assembly.watchdogTimerId(), 12u);
}

TEST(LineAssembly, FineThermoLineIsGood) {
    Fixture f;
    const LineOutcome outcome = f.feed(kFineThermoLine);
    EXPECT_TRUE(outcome.good);
    EXPECT_EQ(f.record.kind, FineThermo);
    EXPECT_EQ(f.host.calls, (Calls{"start", "update 1"}));
}

TEST(LineAssembly, DecodedLinesOfOtherKindsLoseTheLinkAndLeaveTheWatchdogAlone) {
    struct Case {
        const char* name;
        Bytes bytes;
        int kind;
    };
    const Case cases[] = {
        {"kind 2", kQuantityLine, Quantity},
        {"kind 3", kScaledLine, Scaled},
        {"kind 4", kCode3Line, Code3},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.feed(kWorkedExample);
        f.host.calls.clear();
        const LineOutcome outcome = f.feed(c.bytes);
        EXPECT_EQ(outcome.result, 1) << c.name;
        EXPECT_FALSE(outcome.good) << c.name;
        EXPECT_EQ(f.record.kind, c.kind) << c.name;
        EXPECT_EQ(f.host.calls, (Calls{"update 0"})) << c.name;
        EXPECT_EQ(f.assembly.watchdogTimerId(), 11u) << c.name;
    }
}

TEST(LineAssembly, RejectedLineOfKindZeroIsBad) {
    Fixture f;
    Bytes bytes = kWorkedExample;
    bytes[1] = 0x38; // status bit 3 set: `kind` becomes 0, yet the line is rejected
    const LineOutcome outcome = f.feed(bytes);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_FALSE(outcome.good);
    EXPECT_EQ(f.record.kind, ThermoHygro);
    EXPECT_EQ(f.host.calls, (Calls{"update 0"}));
}

TEST(LineAssembly, ByteWithTheLowBitsOfACarriageReturnDoesNotEndALine) {
    Fixture f;
    Bytes bytes = kWorkedExample;
    bytes.back() = 0x8D;
    const LineOutcome outcome = f.feed(bytes);
    EXPECT_FALSE(outcome.finished);
    EXPECT_TRUE(f.host.calls.empty());
    EXPECT_EQ(f.assembly.linePos(), 14);

    // The carriage return that follows closes a 15-character line.
    const LineOutcome closed = f.feed({0x0D});
    EXPECT_TRUE(closed.finished);
    EXPECT_EQ(closed.length, 15);
    EXPECT_EQ(f.host.calls, (Calls{"update 0"}));
}

TEST(LineAssembly, OverflowDropsThePartialLineSilently) {
    Fixture f;
    f.feedFiller(999);
    EXPECT_EQ(f.assembly.linePos(), 999);
    const LineOutcome outcome = f.assembly.onReceivedByte(0x31);
    EXPECT_FALSE(outcome.finished);
    EXPECT_EQ(f.assembly.linePos(), 0);
    EXPECT_TRUE(f.host.calls.empty());

    // The next line starts afresh.
    EXPECT_TRUE(f.feed(kWorkedExample).good);
    EXPECT_EQ(f.host.calls, (Calls{"start", "update 1"}));
}

TEST(LineAssembly, CarriageReturnAsThe1000thByteIsLost) {
    Fixture f;
    f.feedFiller(999);
    const LineOutcome outcome = f.assembly.onReceivedByte(0x0D);
    EXPECT_FALSE(outcome.finished);
    EXPECT_EQ(f.assembly.linePos(), 0);
    EXPECT_TRUE(f.host.calls.empty());
}

TEST(LineAssembly, LongestLineIs999Bytes) {
    Fixture f;
    f.feedFiller(998);
    const LineOutcome outcome = f.assembly.onReceivedByte(0x0D);
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.length, 999);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(f.host.calls, (Calls{"update 0"}));
}

// The line after an overflow starts with the byte after the dropped one, so a line cut by the overflow point
// does not decode.
TEST(LineAssembly, LineCutByOverflowKeepsOnlyItsTail) {
    Fixture f;
    f.feedFiller(990);
    const LineOutcome outcome = f.feed(kWorkedExample); // its byte 9 is the dropped 1000th byte
    EXPECT_TRUE(outcome.finished);
    EXPECT_EQ(outcome.length, 4);
    EXPECT_EQ(outcome.result, 0);
    EXPECT_EQ(f.host.calls, (Calls{"update 0"}));
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
        void updateReading(int linkUp) override {
            FakeHost::updateReading(linkUp);
            if (!nested) {
                nested = true;
                for (std::uint8_t b : kWorkedExample) {
                    nestedOutcomes.push_back(assembly->onReceivedByte(b));
                }
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

TEST(LineAssembly, BufferHoldsBytesAsReceived) {
    // Bit 7 set on every byte but the carriage return: kept in the buffer, ignored by the decoder.
    Fixture f;
    Bytes bytes = kWorkedExample;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
        bytes[i] |= 0x80;
    }
    EXPECT_TRUE(f.feed(bytes).good);
    EXPECT_EQ(f.record.thermoHygro.temperature, 23.400000000000002);
}

} // namespace
