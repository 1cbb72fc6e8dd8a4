#pragma once

#include "protocol/line_assembly.h"
#include "protocol/reading_record.h"
#include "recording/hxg_reader.h"

#include <string>

// One finished line and the whole record after it, as a single-line JSON object (no trailing newline).
// Integers are decimal, doubles are printed with "%.17g" so that every bit of the value can be compared.
std::string recordJson(const LineOutcome& outcome, const ReadingRecord& record);

// One record of a binary recording file as a single-line JSON object (no trailing newline): offset, length and
// validity, and for a valid record its time and values, null where the record carries none. A value is printed
// with the one decimal the file holds.
std::string hxgEntryJson(const HxgEntry& entry);
