#include "recording/tail_repair.h"

// A power cut can leave a file whose size was already extended but whose new bytes never reached the disk: they
// read back as NUL. The text writer never writes a NUL, so every trailing NUL is padding. A line cut short is
// closed so that the next header starts on a line of its own; a spreadsheet then shows the torn line as it is.
TailRepair repairTextTail(std::uint64_t fileSize, std::string_view lastBytes) {
    if (lastBytes.size() > fileSize)
        lastBytes.remove_prefix(lastBytes.size() - static_cast<std::size_t>(fileSize));
    const std::uint64_t windowStart = fileSize - lastBytes.size();
    const std::size_t kept = lastBytes.find_last_not_of('\0') + 1; // npos + 1 == 0: all NUL

    TailRepair repair;
    repair.truncateTo = windowStart + kept;
    if (kept == 0) {
        repair.needMore = windowStart > 0;
        return repair;
    }
    const std::string_view text = lastBytes.substr(0, kept);
    if (text.back() == '\r')
        repair.append = "\n";
    else if (text.size() < 2 || text.substr(text.size() - 2) != "\r\n")
        repair.append = "\r\n";
    return repair;
}
