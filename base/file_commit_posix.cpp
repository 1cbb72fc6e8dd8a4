#include "base/file_commit.h"

#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool syncPath(const std::filesystem::path& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

} // namespace

// The content must be on disk before the rename makes it the settings file, or a crash could leave a renamed but
// empty file; the folder is synced afterwards so that the rename itself survives a crash.
bool commitReplacement(const std::string& temporaryPath, const std::string& targetPath) {
    const std::filesystem::path from = std::filesystem::u8path(temporaryPath);
    const std::filesystem::path to = std::filesystem::u8path(targetPath);
    if (!syncPath(from, O_RDONLY))
        return false;
    std::error_code error;
    std::filesystem::rename(from, to, error);
    if (error)
        return false;
    // The new file is in place from here on; a folder that cannot be synced (some file systems refuse) does not
    // make the replacement undone, so it is not reported as a failure.
    std::filesystem::path folder = to.parent_path();
    if (folder.empty())
        folder = ".";
    syncPath(folder, O_RDONLY | O_DIRECTORY);
    return true;
}
