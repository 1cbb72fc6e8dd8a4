#include "plot/win/file_access.h"

#include "win/text.h"
#include "win/unique_handle.h"

#include <windows.h>

namespace {

FileHandle openShared(const std::wstring& path, DWORD flags) {
    // The recording program keeps the file open for writing while it records.
    return FileHandle(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, flags, nullptr));
}

bool readAt(HANDLE file, std::uint64_t offset, std::size_t length, std::string& out) {
    out.resize(length);
    std::size_t done = 0;
    while (done < length) {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(offset + done);
        at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(length - done, 1u << 24));
        DWORD read = 0;
        if (!ReadFile(file, out.data() + done, piece, &read, &at) || read == 0)
            return false;
        done += read;
    }
    return true;
}

std::string plotIniPath() {
    const std::wstring program = modulePath();
    return narrow(program.substr(0, program.find_last_of(L"\\/") + 1) + L"plot.ini");
}

} // namespace

bool loadRecordingFile(const std::wstring& path, LoadedFile& loaded, const ProgressFn& progress,
                       const std::atomic<bool>* cancel, const CTimeZone& zone) {
    FileHandle file = openShared(path, FILE_FLAG_SEQUENTIAL_SCAN);
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size))
        return false;
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    // A mapping of the size the file has now: bytes written later are read as the file grows.
    KernelHandle mapping(bytes > 0 ? CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr);
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const std::uint64_t granularity = system.dwAllocationGranularity;

    const ViewFn view = [&](std::uint64_t offset, std::size_t length,
                            const std::function<void(std::string_view)>& use) {
        if (mapping) {
            const std::uint64_t start = offset / granularity * granularity;
            const auto skip = static_cast<std::size_t>(offset - start);
            void* mapped = MapViewOfFile(mapping.get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                                         static_cast<DWORD>(start), skip + length);
            if (mapped) {
                use(std::string_view(static_cast<const char*>(mapped) + skip, length));
                UnmapViewOfFile(mapped);
                return true;
            }
        }
        std::string buffer;
        if (!readAt(file.get(), offset, length, buffer))
            return false;
        use(buffer);
        return true;
    };
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    loaded = loadFile(bytes, view, info.dwNumberOfProcessors >= 2 ? 2 : 1, progress, cancel, zone);
    return true;
}

// Through a handle: the directory entry's size of a file that another program holds open can lag behind.
bool recordingFileSize(const std::wstring& path, std::uint64_t& size) {
    FileHandle file = openShared(path, 0);
    LARGE_INTEGER bytes{};
    if (!file || !GetFileSizeEx(file.get(), &bytes))
        return false;
    size = static_cast<std::uint64_t>(bytes.QuadPart);
    return true;
}

bool readRecordingBytes(const std::wstring& path, std::uint64_t offset, std::uint64_t length, std::string& out) {
    FileHandle file = openShared(path, 0);
    return file && readAt(file.get(), offset, static_cast<std::size_t>(length), out);
}

// Each file is asked for its size; new bytes are read from where the reading stopped, so a growing file costs
// only its new records. A file that became shorter was emptied or replaced: everything is read again.
FollowStep followFiles(CPlotModel& model, const std::vector<std::wstring>& paths) {
    constexpr std::uint64_t kMaxReadPerLook = 64u << 20;
    FollowStep step = FollowStep::Nothing;
    for (std::size_t i = 0; i < paths.size() && i < model.fileCount(); ++i) {
        std::uint64_t size = 0;
        if (!recordingFileSize(paths[i], size))
            continue;
        switch (planFollow(model.fedTo(i), size)) {
        case FollowStep::Nothing:
            break;
        case FollowStep::Reload:
            return FollowStep::Reload;
        case FollowStep::ReadNew: {
            const std::uint64_t from = model.fedTo(i);
            std::string bytes;
            if (readRecordingBytes(paths[i], from, std::min(size - from, kMaxReadPerLook), bytes)) {
                model.appendBytes(i, bytes);
                step = FollowStep::ReadNew;
            }
            break;
        }
        }
    }
    return step;
}

bool writeWholeFile(const std::wstring& path, const std::string& bytes) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    std::size_t done = 0;
    while (file && done < bytes.size()) {
        DWORD written = 0;
        const auto piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 24));
        if (!WriteFile(file.get(), bytes.data() + done, piece, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return static_cast<bool>(file);
}

bool writeCsv(const std::wstring& path, const CPlotModel& model, std::int64_t t0, std::int64_t t1, int separator,
              const ByteReader& reader) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    bool written = true;
    std::string out = csvHeader(separator);
    const auto flush = [&] {
        DWORD done = 0;
        written = written && WriteFile(file.get(), out.data(), static_cast<DWORD>(out.size()), &done, nullptr) &&
                  done == out.size();
        out.clear();
    };
    const bool read = model.forEachSample(t0, t1, reader, 4u << 20, [&](const std::vector<Sample>& batch) {
        for (const Sample& sample : batch)
            out += csvLine(sample, separator);
        flush();
    });
    flush();
    return read && written;
}

void readPlotIni(CPlotIni& ini) {
    CSettingsStore store;
    if (store.open(plotIniPath(), SettingsFileUse::Read))
        ini.read(store);
}

// The file is read again first: what another Plot wrote to it meanwhile stays, unless this one changed the same
// section.
void savePlotIni(const CPlotIni& ini) {
    if (!ini.changed())
        return;
    CSettingsStore store;
    if (store.open(plotIniPath(), SettingsFileUse::Keep)) {
        ini.write(store);
        store.save();
    }
}
