#include "recording/win/recording_file.h"

#include "win/unique_handle.h"

#include <algorithm>

namespace {

class CRecordingFile : public RecordingFile {
public:
    explicit CRecordingFile(FileHandle handle) : handle_(std::move(handle)) {}

    bool size(std::uint64_t& size) override {
        LARGE_INTEGER value{};
        if (!GetFileSizeEx(handle_.get(), &value))
            return false;
        size = static_cast<std::uint64_t>(value.QuadPart);
        return true;
    }

    bool readAt(std::uint64_t offset, char* buffer, std::size_t length) override {
        if (!seek(offset))
            return false;
        while (length > 0) {
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
            DWORD read = 0;
            if (!ReadFile(handle_.get(), buffer, chunk, &read, nullptr) || read == 0)
                return false;
            buffer += read;
            length -= read;
        }
        return true;
    }

    bool truncate(std::uint64_t size) override { return seek(size) && SetEndOfFile(handle_.get()); }

    // One WriteFile per record, so a record is never split between two writes, and flushed before the tick
    // ends.
    WriteResult writeAt(std::uint64_t offset, const std::string& bytes) override {
        if (!seek(offset))
            return WriteResult::Failed;
        DWORD written = 0;
        if (!WriteFile(handle_.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size())
            return WriteResult::Failed;
        return FlushFileBuffers(handle_.get()) ? WriteResult::Done : WriteResult::FlushFailed;
    }

private:
    bool seek(std::uint64_t offset) {
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        return SetFilePointerEx(handle_.get(), position, nullptr, FILE_BEGIN) != 0;
    }

    FileHandle handle_;
};

} // namespace

std::unique_ptr<RecordingFile> openRecordingFile(const std::wstring& path, bool& existed) {
    existed = false;
    if (path.empty())
        return nullptr;
    FileHandle handle(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!handle)
        return nullptr;
    existed = GetLastError() == ERROR_ALREADY_EXISTS;
    return std::make_unique<CRecordingFile>(std::move(handle));
}
