#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The TLS record layer's framing, as a client reads it from a stream before anything decrypts it: each record is a
// 5-byte header (content type, version, length) and its body.
inline constexpr std::size_t kTlsRecordHeaderBytes = 5;
// The largest body any TLS version allows on the wire: 2^14 bytes of plaintext plus 2048 of expansion.
inline constexpr std::size_t kTlsMaxRecordBodyBytes = 16384 + 2048;
inline constexpr std::size_t kTlsMaxRecordBytes = kTlsRecordHeaderBytes + kTlsMaxRecordBodyBytes;

enum class TlsContentType : std::uint8_t { ChangeCipherSpec = 20, Alert = 21, Handshake = 22, ApplicationData = 23 };

// The record at the front of a stream.
struct TlsRecordFront {
    enum class State {
        NeedMore, // no fault so far, but the record is not all there yet
        Complete, // `length` bytes (header included) form the record
        NotTls,   // the bytes are not a TLS record: wrong content type or version
        TooLarge, // the header announces a body beyond kTlsMaxRecordBodyBytes
    };
    State state = State::NeedMore;
    TlsContentType type = TlsContentType::Handshake; // once the first byte is known to be one
    std::size_t length = 0;
};

// Looks only at the bytes it is given and judges each header byte as soon as it arrives, so that a server that
// answers with anything else (a plain-text greeting, an HTML page) is told apart at once, not after waiting for
// a body its first bytes seem to announce.
TlsRecordFront tlsRecordAtFront(std::string_view stream);
