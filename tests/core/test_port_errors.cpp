#include "serial/port_errors.h"
#include "serial/receive_batch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Regression: a port whose device had gone was retried every 100 ms for ever and nobody was told.
TEST(ClassifyPortError, DeviceErrorsMeanThePortHasGone) {
    // File or path not found, access denied (USB-serial drivers after a surprise removal), invalid handle, bad unit,
    // not ready and broken pipe (Wine on a pty whose other side closed), bad command, general failure, end of file,
    // device not existing, no such device, an abort the reader did not ask for, I/O device error, device not
    // connected, device removed.
    for (const std::uint32_t code : {2, 3, 5, 6, 20, 21, 22, 31, 38, 55, 109, 433, 995, 1117, 1167, 1617})
        EXPECT_EQ(classifyPortError(code), PortErrorKind::Gone) << code;
    // A read that ended without a byte and without an error, no memory, no system resources, time-outs, I/O
    // incomplete, and codes next to those of a device that has gone.
    for (const std::uint32_t code : {0, 1, 4, 7, 8, 23, 56, 110, 121, 432, 996, 1118, 1450, 1460, 1616})
        EXPECT_EQ(classifyPortError(code), PortErrorKind::Transient) << code;
}

TEST(PortFailures, BacksOffAndGivesUpOnlyOnGoneOrEndlessFailures) {
    const struct {
        const char* what;
        std::vector<std::uint32_t> codes; // 0xFFFFFFFF: a good read
        bool givesUp;
        unsigned delayMs;
    } cases[] = {
        {"one transient failure", {1460}, false, 20},
        {"doubling pauses", {1460, 1460, 1460}, false, 80},
        {"pauses capped", std::vector<std::uint32_t>(10, 1460), false, 100},
        {"a good read starts again", {1460, 1460, 1460, 0xFFFFFFFF, 1460}, false, 20},
        {"device gone at once", {1617}, true, 20},
        {"gone after transient ones", {1460, 1460, 109}, true, 40},
        {"endless transient failures", std::vector<std::uint32_t>(PortFailures::kTransientLimit, 1460), true, 100},
        {"one short of the limit", std::vector<std::uint32_t>(PortFailures::kTransientLimit - 1, 1460), false, 100},
    };
    for (const auto& c : cases) {
        PortFailures failures;
        bool gaveUp = false;
        for (std::uint32_t code : c.codes) {
            if (code == 0xFFFFFFFF)
                failures.onSuccess();
            else
                gaveUp = failures.onFailure(code);
        }
        EXPECT_EQ(gaveUp, c.givesUp) << c.what;
        EXPECT_EQ(failures.retryDelayMs(), c.delayMs) << c.what;
    }
}

// Reads as they come: the bytes of a line wait for its carriage return and go over with it, one line at a time, and
// nothing waits longer than a full batch.
TEST(ReceiveBatch, GoesOverLineByLineOrWhenFull) {
    const std::string full(CReceiveBatch::kCapacity, 'x');
    const struct {
        const char* what;
        std::vector<std::string> reads;
        std::vector<std::string> handedOver;
        std::string held;
    } cases[] = {
        {"a paced line", {"2", "3", ".", "4", "\r"}, {"23.4\r"}, ""},
        {"a whole line in one read", {"23.4\r"}, {"23.4\r"}, ""},
        {"two lines and a start in one read", {"1\r2\r3"}, {"1\r", "2\r"}, "3"},
        {"0x8D is no line end", {"1\x8D"}, {}, "1\x8D"},
        {"full without a line end", {full.substr(1), "y", "z"}, {full.substr(1) + "y"}, "z"},
    };
    for (const auto& c : cases) {
        CReceiveBatch batch;
        std::vector<std::string> handed;
        for (const std::string& read : c.reads) {
            ASSERT_GE(batch.room(), read.size()) << c.what;
            std::memcpy(batch.space(), read.data(), read.size());
            batch.add(read.size());
            for (std::size_t ready = batch.ready(); ready > 0; ready = batch.ready()) {
                handed.emplace_back(reinterpret_cast<const char*>(batch.data()), ready);
                batch.consume(ready);
            }
        }
        EXPECT_EQ(handed, c.handedOver) << c.what;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(batch.data()), batch.size()), c.held) << c.what;
    }
    CReceiveBatch overfilled; // a read that reports more than it was given room for
    overfilled.add(CReceiveBatch::kCapacity + 1);
    EXPECT_EQ(overfilled.ready(), CReceiveBatch::kCapacity);
}

} // namespace
