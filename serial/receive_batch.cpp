#include "serial/receive_batch.h"

#include "protocol/line_assembly.h"

#include <algorithm>
#include <cstring>

void CReceiveBatch::add(std::size_t count) {
    size_ += std::min(count, room());
}

std::size_t CReceiveBatch::ready() const {
    const std::uint8_t* end = std::find(bytes_, bytes_ + size_, CLineAssembly::kCarriageReturn);
    if (end != bytes_ + size_)
        return static_cast<std::size_t>(end - bytes_) + 1;
    return size_ == kCapacity ? size_ : 0;
}

void CReceiveBatch::consume(std::size_t count) {
    count = std::min(count, size_);
    std::memmove(bytes_, bytes_ + count, size_ - count);
    size_ -= count;
}
