#pragma once

#include "recording/hxg_reader.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Reads exactly `length` bytes of the file at `offset`; false when that fails.
using TailReader = std::function<bool(std::uint64_t offset, char* buffer, std::size_t length)>;

// How far before the NUL padding the binary repair looks for the records it has to end cleanly.
constexpr std::size_t kBinaryTailWindow = 4096;

// The repair of a text or binary recording file of `fileSize` bytes, read through `read`. Only the end of the file
// is read, whatever its size: the NUL padding a power cut may leave, and before it two bytes of a text file or at
// most kBinaryTailWindow bytes of a binary one. False when a read fails.
bool repairTextTail(std::uint64_t fileSize, const TailReader& read, TailRepair& repair);
bool repairBinaryTail(std::uint64_t fileSize, const TailReader& read, TailRepair& repair);
