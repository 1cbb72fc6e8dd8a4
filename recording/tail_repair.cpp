#include "recording/tail_repair.h"

#include "recording/hxg_reader.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace {

// A power cut can leave a file whose size was already extended but whose new bytes never reached the disk: they
// read back as NUL, and there may be megabytes of them. Neither writer ever stores a NUL, so the whole run is
// padding; it is read backwards in chunks, however long it is.
constexpr std::size_t kNulChunk = 1 << 16;

// The stored check marker "@".
constexpr char kStoredMarker = '\xC0';

// The size of the file without its trailing NULs.
bool endBeforeNuls(std::uint64_t fileSize, const TailReader& read, std::uint64_t& end) {
    std::vector<char> chunk;
    end = fileSize;
    while (end > 0) {
        const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(end, kNulChunk));
        chunk.resize(length);
        if (!read(end - length, chunk.data(), length))
            return false;
        const std::size_t last = std::string_view(chunk.data(), length).find_last_not_of('\0');
        if (last != std::string_view::npos) {
            end = end - length + last + 1;
            return true;
        }
        end -= length;
    }
    return true;
}

// A record ends two bytes after the first marker from its start, so where records begin depends on everything
// before. A marker byte with no marker byte in the two bytes before it cannot be a check byte (a check byte is one
// of the two bytes after a marker): it is a record's marker, and a record begins three bytes after it, as it does
// for a reader of the whole file. Every valid record's marker is such a byte.
std::size_t firstCertainBoundary(std::string_view window) {
    for (std::size_t at = 2; at + 3 <= window.size(); ++at) {
        if (window[at] == kStoredMarker && window[at - 1] != kStoredMarker && window[at - 2] != kStoredMarker)
            return at + 3;
    }
    return std::string_view::npos;
}

} // namespace

// A line cut short is closed so that the next header starts on a line of its own; a spreadsheet then shows the torn
// line as it is.
bool repairTextTail(std::uint64_t fileSize, const TailReader& read, TailRepair& repair) {
    repair = TailRepair{};
    if (!endBeforeNuls(fileSize, read, repair.truncateTo))
        return false;
    if (repair.truncateTo == 0)
        return true;
    char last[2] = {};
    const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(repair.truncateTo, 2));
    if (!read(repair.truncateTo - length, last, length))
        return false;
    const std::string_view text(last, length);
    if (text.back() == '\r')
        repair.append = "\n";
    else if (text != "\r\n")
        repair.append = "\r\n";
    return true;
}

// Within the window before the NULs, the records from the first certain record boundary on are read exactly as a
// reader of the whole file reads them, so the repair is the one the whole file would get. A window without such a
// boundary holds no valid record (its last bytes may belong to any state of a record), and it is closed by bytes
// that end a record from every state: two NULs end a record after its marker or after its first check byte, or
// become part of an unfinished one, which the marker and two NUL check bytes then close. Every record these bytes
// end has a NUL check byte and is damaged; nothing valid changes.
bool repairBinaryTail(std::uint64_t fileSize, const TailReader& read, TailRepair& repair) {
    repair = TailRepair{};
    std::uint64_t end = 0;
    if (!endBeforeNuls(fileSize, read, end))
        return false;
    const std::uint64_t start = end - std::min<std::uint64_t>(end, kBinaryTailWindow);
    std::string window(static_cast<std::size_t>(end - start), '\0');
    if (!window.empty() && !read(start, window.data(), window.size()))
        return false;
    const std::size_t boundary = start == 0 ? 0 : firstCertainBoundary(window);
    if (boundary == std::string_view::npos) {
        repair.truncateTo = end;
        repair.append.assign("\0\0\xC0\0\0", 5);
        return true;
    }
    CHxgScanner scanner(nullptr);
    scanner.feed(std::string_view(window).substr(boundary));
    repair = scanner.tailRepair();
    repair.truncateTo += start + boundary;
    return true;
}
