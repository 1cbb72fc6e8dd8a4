#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// What to do with the end of a recording file before new records are appended to it: cut it to `truncateTo`
// bytes (the file's size when nothing is cut), then write `append`.
struct TailRepair {
    std::uint64_t truncateTo = 0;
    std::string append;
    // Text files only: the whole window was NUL bytes. `truncateTo` already drops them; call repairTextTail
    // again with that size and the window before it.
    bool needMore = false;
};

// How many bytes from the end of a text file repairTextTail is meant to look at in one call.
constexpr std::size_t kTextTailWindow = 4096;

// Repair of a text recording file of `fileSize` bytes whose last min(fileSize, kTextTailWindow) bytes are
// `lastBytes`: NUL padding is cut and an unfinished last line is closed with CR LF.
TailRepair repairTextTail(std::uint64_t fileSize, std::string_view lastBytes);
