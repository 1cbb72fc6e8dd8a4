#pragma once

#include "protocol/line_assembly.h"
#include "protocol/reading_record.h"

#include <string>

// One finished line and the whole record after it, as a single-line JSON object (no trailing newline).
// Integers are decimal, doubles are printed with "%.17g" so that every bit of the value can be compared.
std::string recordJson(const LineOutcome& outcome, const ReadingRecord& record);
