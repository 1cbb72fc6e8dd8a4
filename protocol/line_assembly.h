#pragma once

#include "protocol/frame_decoder.h"
#include "protocol/reading_record.h"

#include <cstdint>

// What the line assembly needs from the window that owns it: the link watchdog timer and the reading update.
class ILinkHost {
public:
    virtual ~ILinkHost() = default;
    // Starts (or restarts) the watchdog timer with kWatchdogPeriodMs; returns the platform's timer id, 0 on failure.
    virtual unsigned startWatchdogTimer() = 0;
    virtual void killWatchdogTimer(unsigned timerId) = 0;
    virtual void updateReading(bool linkUp) = 0;
};

// Outcome of one received byte, for tools that report every finished line.
struct LineOutcome {
    bool finished = false; // a carriage return reached the decoder
    int length = 0;        // the line's length including the carriage return
    int result = 0;        // what decodeLine returned
    bool good = false;     // decoded and of kind 0 or 1
};

// Collects received bytes into lines, decodes each finished line and keeps the link watchdog running while
// good readings arrive.
class CLineAssembly {
public:
    static constexpr int kBufferSize = 1000;
    static constexpr unsigned kWatchdogPeriodMs = 5000;
    // The only byte the assembly acts on: it ends a line. Only the full byte does: 0x8D shares its low six bits with
    // it but is line noise.
    static constexpr std::uint8_t kCarriageReturn = 0x0D;

    CLineAssembly(ILinkHost& host, ReadingRecord& record) : host_(host), record_(record) {}

    LineOutcome onReceivedByte(std::uint8_t byte);
    void onWatchdogExpired();

    int linePos() const { return linePos_; }
    // Forgets a partial line: bytes from another port (or the same one reopened) start a line of their own.
    void discardPartialLine() { linePos_ = 0; }
    unsigned watchdogTimerId() const { return watchdogTimerId_; }

private:
    ILinkHost& host_;
    ReadingRecord& record_;
    CFrameDecoder decoder_;
    std::uint8_t lineBuffer_[kBufferSize] = {};
    int linePos_ = 0;
    unsigned watchdogTimerId_ = 0;
};
