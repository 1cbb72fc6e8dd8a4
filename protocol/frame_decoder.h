#pragma once

#include "protocol/reading_record.h"

#include <cstdint>

// Checks one instrument line (closing carriage return included) and decodes it into a ReadingRecord.
class CFrameDecoder {
public:
    static constexpr int kMaxLineLength = 128; // lines this long or longer are rejected untouched

    // 1 when the line is a well-formed reading, 0 when rejected; a rejected line may already have written
    // `kind` and some status fields. Never reads past line[n - 1].
    int decodeLine(const std::uint8_t* line, int n, ReadingRecord& record);

    static int digitValue(int code) { return code - 48; }
    // 1 when each byte has an odd number of one bits among bits 0..6; a count of zero or less passes.
    static int checkParity(const std::uint8_t* bytes, int count);

private:
    std::uint8_t codes_[kMaxLineLength] = {};
    int length_ = 0;
};
