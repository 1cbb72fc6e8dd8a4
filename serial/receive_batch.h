#pragma once

#include <cstddef>
#include <cstdint>

// What the serial worker has read and not yet handed to the window. The window acts on a carriage return only, so
// the bytes of a line wait here and go over with the carriage return that ends it, in one handover instead of one
// per byte; every handover is a round trip between threads. A batch that fills up without one goes over too, so
// the window still sees every byte, in order, and its own rule for endless lines still applies.
class CReceiveBatch {
public:
    static constexpr std::size_t kCapacity = 256;

    // Where the next read puts its bytes, and how many fit (never 0: a full batch has been handed over).
    std::uint8_t* space() { return bytes_ + size_; }
    std::size_t room() const { return kCapacity - size_; }

    // Counts `count` bytes just read into space(). true: hand the batch over now (one of them is a carriage
    // return, or the batch is full), then clear it.
    bool add(std::size_t count);
    void clear() { size_ = 0; }

    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return size_; }

private:
    std::uint8_t bytes_[kCapacity] = {};
    std::size_t size_ = 0;
};
