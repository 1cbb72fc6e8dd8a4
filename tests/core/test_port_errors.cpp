#include "serial/port_errors.h"
#include "serial/receive_batch.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Regression: a port whose device had gone was retried every 100 ms for ever and nobody was told.
TEST(ClassifyPortError, DeviceErrorsMeanThePortHasGone) {
    const struct {
        std::uint32_t code;
        PortErrorKind kind;
    } cases[] = {
        {1617, PortErrorKind::Gone},      // ERROR_DEVICE_REMOVED
        {22, PortErrorKind::Gone},        // ERROR_BAD_COMMAND
        {5, PortErrorKind::Gone},         // ERROR_ACCESS_DENIED
        {31, PortErrorKind::Gone},        // ERROR_GEN_FAILURE
        {6, PortErrorKind::Gone},         // ERROR_INVALID_HANDLE
        {995, PortErrorKind::Gone},       // ERROR_OPERATION_ABORTED, not asked for by the reader
        {2, PortErrorKind::Gone},         // ERROR_FILE_NOT_FOUND
        {1167, PortErrorKind::Gone},      // ERROR_DEVICE_NOT_CONNECTED
        {109, PortErrorKind::Gone},       // ERROR_BROKEN_PIPE: Wine's read, pty closed on the other side
        {21, PortErrorKind::Gone},        // ERROR_NOT_READY: Wine's ClearCommError on that pty
        {0, PortErrorKind::Transient},    // a read that ended without a byte and without an error
        {8, PortErrorKind::Transient},    // ERROR_NOT_ENOUGH_MEMORY
        {1450, PortErrorKind::Transient}, // ERROR_NO_SYSTEM_RESOURCES
        {1460, PortErrorKind::Transient}, // ERROR_TIMEOUT
        {121, PortErrorKind::Transient},  // ERROR_SEM_TIMEOUT
        {996, PortErrorKind::Transient},  // ERROR_IO_INCOMPLETE
    };
    for (const auto& c : cases)
        EXPECT_EQ(classifyPortError(c.code), c.kind) << c.code;
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
}

} // namespace
