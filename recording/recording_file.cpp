#include "recording/recording_file.h"

#include "recording/tail_repair.h"

// A power cut can leave a continued file torn: a text line without its CR LF, a binary record cut short, or a
// tail of zeros. The records that follow must still read correctly, and no complete record may change. Only the
// file's end is read: this runs on the window's thread at every launch and reopening, and a year of one-second
// binary records is 1.7 GB.
bool continueAtEnd(RecordingFile& file, RecordingKind kind, std::uint64_t& end) {
    std::uint64_t size = 0;
    if (!file.size(size))
        return false;
    const TailReader read = [&file](std::uint64_t offset, char* buffer, std::size_t length) {
        return file.readAt(offset, buffer, length);
    };
    TailRepair repair;
    if (!(kind == RecordingKind::Text ? repairTextTail(size, read, repair) : repairBinaryTail(size, read, repair)))
        return false;
    if (repair.truncateTo != size && !file.truncate(repair.truncateTo))
        return false;
    end = repair.truncateTo;
    if (!repair.append.empty()) {
        if (file.writeAt(end, repair.append) == WriteResult::Failed)
            return false;
        end += repair.append.size();
    }
    return true;
}

// A record whose one write call completed stays, even when the flush after it fails: a share or file system that
// refuses flushes still holds what was written, and cutting it away would leave such a file empty for ever.
WriteResult appendAtEnd(RecordingFile& file, std::uint64_t& end, bool& torn, const std::string& bytes) {
    if (torn) {
        if (!file.truncate(end))
            return WriteResult::Failed;
        torn = false;
    }
    const WriteResult result = file.writeAt(end, bytes);
    if (result == WriteResult::Failed) {
        torn = !file.truncate(end);
        return result;
    }
    end += bytes.size();
    return result;
}
