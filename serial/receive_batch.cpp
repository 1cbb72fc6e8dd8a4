#include "serial/receive_batch.h"

#include "protocol/line_assembly.h"

#include <algorithm>

bool CReceiveBatch::add(std::size_t count) {
    const std::uint8_t* fresh = bytes_ + size_;
    count = std::min(count, room());
    size_ += count;
    return size_ == kCapacity || std::find(fresh, fresh + count, CLineAssembly::kCarriageReturn) != fresh + count;
}
