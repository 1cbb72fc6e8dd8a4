#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

// What the serial worker has read and not yet handed to the window. The window acts on a carriage return only, so
// the bytes of a line wait here and go over with the carriage return that ends it, in one handover instead of one
// per byte; every handover is a round trip between threads. Each handover holds one line at most, so that under a
// flood the window still answers other messages between lines. A batch that fills up without a carriage return
// goes over whole, so the window sees every byte, in order, and its own rule for endless lines still applies.
class CReceiveBatch {
public:
    static constexpr std::size_t kCapacity = 256;

    // Where the next read puts its bytes, and how many fit (never 0: a full batch is handed over at once).
    std::uint8_t* space() { return bytes_ + size_; }
    std::size_t room() const { return kCapacity - size_; }

    // Counts `count` bytes just read into space().
    void add(std::size_t count);
    // How many of the first bytes to hand over now: up to and including the first carriage return, all of a full
    // batch, else 0.
    std::size_t ready() const;
    // Drops the first `count` bytes, which have been handed over.
    void consume(std::size_t count);

    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return size_; }

    // Bytes read elsewhere (a file, a fuzzer's input) go over as the worker's reads do: `handOver(bytes, count)`
    // gets each piece that is ready, in order; a partial line stays.
    template <typename HandOver> void take(const std::uint8_t* bytes, std::size_t count, HandOver&& handOver) {
        while (count > 0) {
            const std::size_t part = std::min(count, room());
            std::memcpy(space(), bytes, part);
            add(part);
            bytes += part;
            count -= part;
            for (std::size_t piece = ready(); piece > 0; piece = ready()) {
                handOver(data(), piece);
                consume(piece);
            }
        }
    }

private:
    std::uint8_t bytes_[kCapacity] = {};
    std::size_t size_ = 0;
};
