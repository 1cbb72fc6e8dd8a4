#include "net/tls_record.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using State = TlsRecordFront::State;

std::string header(unsigned char type, unsigned char major, unsigned char minor, std::size_t body) {
    return {static_cast<char>(type), static_cast<char>(major), static_cast<char>(minor), static_cast<char>(body >> 8),
            static_cast<char>(body & 0xFF)};
}

// What a server may answer on a TLS port, byte by byte: the verdict comes as soon as a byte decides it, so a plain
// text server or a record that announces more than any TLS version allows fails at once instead of being waited
// for.
TEST(TlsRecordFront, JudgesEachHeaderByteAsItArrives) {
    const std::string handshake = header(22, 3, 3, 4) + "abcd";
    const std::string largest = header(23, 3, 3, kTlsMaxRecordBodyBytes);
    const struct {
        std::string stream;
        State state;
        std::size_t length;
    } rows[] = {
        {"", State::NeedMore, 0},
        {handshake.substr(0, 1), State::NeedMore, 0},
        {handshake.substr(0, 4), State::NeedMore, 0},
        {handshake.substr(0, 8), State::NeedMore, 0},
        {handshake, State::Complete, 9},
        {handshake + "\x17\x03", State::Complete, 9}, // the next record's first bytes stay for later
        {header(21, 3, 1, 2) + std::string("\x01\x00", 2), State::Complete, 7}, // a ServerHello-era version
        {header(23, 3, 3, 0), State::Complete, 5},                              // an empty record, which TLS 1.2 allows
        {"2", State::NotTls, 0}, // "220 ..." from a plain-text mail server
        {"HTTP/1.1 400", State::NotTls, 0},
        {std::string("\x16\x02", 2), State::NotTls, 0}, // no version has another major number
        {std::string("\x16\x03\x05", 3), State::NotTls, 0},
        {std::string(1, '\x18'), State::NotTls, 0}, // heartbeat: never negotiated here
        {std::string(1, '\x13'), State::NotTls, 0},
        {largest, State::NeedMore, 0},
        {largest + std::string(kTlsMaxRecordBodyBytes, 'x'), State::Complete, kTlsMaxRecordBytes},
        {header(23, 3, 3, kTlsMaxRecordBodyBytes + 1), State::TooLarge, 0},
        {header(22, 3, 3, 0xFFFF), State::TooLarge, 0},
    };
    for (const auto& row : rows) {
        const TlsRecordFront front = tlsRecordAtFront(row.stream);
        EXPECT_EQ(front.state, row.state) << row.stream.size() << " bytes";
        EXPECT_EQ(front.length, row.length) << row.stream.size() << " bytes";
    }
}

} // namespace
