#include "protocol/line_assembly.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

namespace {

// Valid lines of kinds 0 (the worked example), 2, 3, 4 and 1.
const std::string kWorkedExample = "@ps4124uvp2s4\r";
const std::string kQuantityLine = "@ps41241p12s\r";
const std::string kScaledLine = "@ps412p12s4\r";
const std::string kCode3Line = "@\x01@Cps412p12s4\r";
const std::string kFineThermoLine = "@\x01@Ips412pp2s4u\r";

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
    LineOutcome feed(const std::string& bytes) {
        LineOutcome last;
        for (std::uint8_t b : bytes)
            last = assembly.onReceivedByte(b);
        return last;
    }
    void feedFiller(int count) {
        for (int i = 0; i < count; ++i)
            ASSERT_FALSE(assembly.onReceivedByte(0x31).finished);
    }
};

using Calls = std::vector<std::string>;

// Each line follows a good one, which started watchdog timer 11: only a good line restarts it.
TEST(LineAssembly, OnlyGoodLinesOfKind0Or1KeepTheLinkAndRestartTheWatchdog) {
    // A line, its decoder's verdict and the kind it leaves in the record.
    const std::tuple<const char*, std::string, int, int> cases[] = {
        {"worked example again", kWorkedExample, 1, ThermoHygro},
        {"kind 1", kFineThermoLine, 1, FineThermo},
        {"lone carriage return", "\r", 0, ThermoHygro},
        // status bit 3 set: `kind` becomes 0, yet the line is rejected
        {"rejected kind 0", "@8s4124uvp2s4\r", 0, ThermoHygro},
        // 0x8D shares the low six bits of a carriage return, yet does not end the line
        {"0x8D inside a line", "@ps4124uvp2s4\x8d\r", 0, Quantity},
        {"kind 2", kQuantityLine, 1, Quantity},
        {"kind 3", kScaledLine, 1, Scaled},
        {"kind 4", kCode3Line, 1, Code3},
    };
    for (const auto& [name, bytes, result, kind] : cases) {
        Fixture f;
        ASSERT_TRUE(f.feed(kWorkedExample).good);
        ASSERT_EQ(f.host.calls, (Calls{"start", "update 1"}));
        f.host.calls.clear();
        const LineOutcome outcome = f.feed(bytes);
        const bool good = result == 1 && kind <= FineThermo;
        EXPECT_TRUE(outcome.finished) << name;
        EXPECT_EQ(outcome.length, static_cast<int>(bytes.size())) << name;
        EXPECT_EQ(outcome.result, result) << name;
        EXPECT_EQ(outcome.good, good) << name;
        EXPECT_EQ(f.record.kind, kind) << name;
        EXPECT_EQ(f.host.calls, good ? (Calls{"kill 11", "start", "update 1"}) : (Calls{"update 0"})) << name;
        EXPECT_EQ(f.assembly.watchdogTimerId(), good ? 12u : 11u) << name;
        EXPECT_EQ(f.assembly.linePos(), 0) << name;
    }
}

// A line that reaches the 1000th byte is dropped without a word together with that byte; the next byte starts
// afresh, so a line cut by the overflow point keeps only its tail.
TEST(LineAssembly, ThousandthByteDropsThePartialLineSilently) {
    // Filler bytes, then the tail: whether a line finished, its length and what the window was told.
    const std::tuple<const char*, int, std::string, bool, int, Calls> cases[] = {
        {"longest line", 998, "\r", true, 999, {"update 0"}},
        {"carriage return as the 1000th byte", 999, "\r", false, 0, {}},
        {"next line after the overflow", 999, "1" + kWorkedExample, true, 14, {"start", "update 1"}},
        {"line cut by the overflow", 990, kWorkedExample, true, 4, {"update 0"}},
    };
    for (const auto& [name, filler, tail, finished, length, calls] : cases) {
        Fixture f;
        f.feedFiller(filler);
        const LineOutcome outcome = f.feed(tail);
        EXPECT_EQ(outcome.finished, finished) << name;
        EXPECT_EQ(outcome.length, length) << name;
        EXPECT_EQ(f.assembly.linePos(), 0) << name;
        EXPECT_EQ(f.host.calls, calls) << name;
    }
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
