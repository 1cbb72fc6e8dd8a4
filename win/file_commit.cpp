#include "base/file_commit.h"
#include "win/text.h"
#include "win/unique_handle.h"

// Flush the new file to disk, then swap it in with one MoveFileEx that is itself written through, so that a
// crash or power loss leaves either the old or the new settings file, never a truncated one.
bool commitReplacement(const std::string& temporaryPath, const std::string& targetPath) {
    const std::wstring from = widen(temporaryPath);
    const std::wstring to = widen(targetPath);
    {
        FileHandle file(
            CreateFileW(from.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !FlushFileBuffers(file.get()))
            return false;
    }
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
