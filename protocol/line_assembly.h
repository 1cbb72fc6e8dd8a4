#pragma once

#include "protocol/frame_decoder.h"
#include "protocol/reading_record.h"

#include <cstddef>
#include <cstdint>

// What a piece of the received bytes did.
struct LineOutcome {
    bool finished = false; // a carriage return ended a line, which went to the decoder
    int length = 0;        // the line's length including the carriage return
    int result = 0;        // what decodeLine returned
    bool good = false;     // decoded and of kind 0 or 1: the link watchdog starts again
};

// Collects received bytes into lines and decodes each finished line into its reading record. The window that owns
// it carries out what each piece did: the watchdog restarted after a good line, the reading update after every
// finished line.
class CLineAssembly {
public:
    static constexpr int kBufferSize = 1000;
    static constexpr unsigned kWatchdogPeriodMs = 5000;
    // The only byte the assembly acts on: it ends a line. Only the full byte does: 0x8D shares its low six bits with
    // it but is line noise.
    static constexpr std::uint8_t kCarriageReturn = 0x0D;

    // One piece of the stream as the serial worker's batch hands it over (CReceiveBatch): bytes whose last one
    // may be the carriage return that ends the line; one before it is taken as a byte of the line.
    LineOutcome onReceived(const std::uint8_t* bytes, std::size_t count);

    const ReadingRecord& record() const { return record_; }
    int linePos() const { return linePos_; }
    // Forgets a partial line: bytes from another port (or the same one reopened) start a line of their own.
    void discardPartialLine() { linePos_ = 0; }

private:
    CFrameDecoder decoder_;
    ReadingRecord record_; // all zero: kind 0, so the first layout has two displays
    std::uint8_t lineBuffer_[kBufferSize] = {};
    int linePos_ = 0;
};
