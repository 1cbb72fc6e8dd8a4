#include "protocol/line_assembly.h"
#include "serial/receive_batch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

namespace {

// Valid lines of kinds 0 (the worked example), 2, 3, 4 and 1.
const std::string kWorkedExample = "@ps4124uvp2s4\r";
const std::string kQuantityLine = "@ps41241p12s\r";
const std::string kScaledLine = "@ps412p12s4\r";
const std::string kCode3Line = "@\x01@Cps412p12s4\r";
const std::string kFineThermoLine = "@\x01@Ips412pp2s4u\r";

// The line assembly fed as the serial worker feeds it, in pieces that end at a carriage return.
struct Receiver {
    CLineAssembly assembly;
    CReceiveBatch batch;

    // The outcome of the last piece handed over.
    LineOutcome feed(const std::string& bytes) {
        LineOutcome last;
        batch.take(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(),
                   [&](const std::uint8_t* piece, std::size_t count) { last = assembly.onReceived(piece, count); });
        return last;
    }
};

// Each line follows a good one: only a good line of kind 0 or 1 keeps the link and restarts the watchdog.
TEST(LineAssembly, OnlyGoodLinesOfKind0Or1KeepTheLink) {
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
        Receiver r;
        ASSERT_TRUE(r.feed(kWorkedExample).good);
        const LineOutcome outcome = r.feed(bytes);
        EXPECT_TRUE(outcome.finished) << name;
        EXPECT_EQ(outcome.length, static_cast<int>(bytes.size())) << name;
        EXPECT_EQ(outcome.result, result) << name;
        EXPECT_EQ(outcome.good, result == 1 && kind <= FineThermo) << name;
        EXPECT_EQ(r.assembly.record().kind, kind) << name;
        EXPECT_EQ(r.assembly.linePos(), 0) << name;
    }
}

// A line that reaches the 1000th byte is dropped without a word together with that byte; the next byte starts
// afresh, so a line cut by the overflow point keeps only its tail.
TEST(LineAssembly, ThousandthByteDropsThePartialLineSilently) {
    // Filler bytes, then the tail: whether a line finished, its length and whether it was good.
    const std::tuple<const char*, int, std::string, bool, int, bool> cases[] = {
        {"longest line", 998, "\r", true, 999, false},
        {"carriage return as the 1000th byte", 999, "\r", false, 0, false},
        {"next line after the overflow", 999, "1" + kWorkedExample, true, 14, true},
        {"line cut by the overflow", 990, kWorkedExample, true, 4, false},
    };
    for (const auto& [name, filler, tail, finished, length, good] : cases) {
        Receiver r;
        ASSERT_FALSE(r.feed(std::string(filler, '1')).finished);
        const LineOutcome outcome = r.feed(tail);
        EXPECT_EQ(outcome.finished, finished) << name;
        EXPECT_EQ(outcome.length, length) << name;
        EXPECT_EQ(outcome.good, good) << name;
        EXPECT_EQ(r.assembly.linePos(), 0) << name;
    }
}

} // namespace
