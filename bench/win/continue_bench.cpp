// hx350-continue: what continuing a binary recording costs the window's thread, measured with the program's own
// file access (CRecordingHost) and recording control on a large file, such as a year of one-second records.
//
//   hx350-continue FILE.hxg [RUNS] [--full-scan]
//
// Every run times, in this order: the tail repair alone (the file opened and its end read and repaired, as the
// program does before it appends); the delayed start after launch (open, repair, one record written and flushed);
// and the delayed start on an end that a power cut left torn (half a record, then a megabyte of zeros). --full-scan
// also times reading the whole file through the record scanner, as the repair did before it read only the end.
// The file is cut back to its first size at the end. Prints key=value lines; times in milliseconds.

#include "base/cp1250.h"
#include "recording/hxg_reader.h"
#include "recording/recording_control.h"
#include "recording/tail_repair.h"
#include "recording/win/recording_host.h"
#include "win/text.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

double nowMs() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

QuantityReading shown(double value) {
    QuantityReading state;
    state.rawValue = value;
    state.noData = false;
    return state;
}

TailReader readerOf(RecordingFile& file) {
    return
        [&file](std::uint64_t offset, char* buffer, std::size_t length) { return file.readAt(offset, buffer, length); };
}

void print(const char* name, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%s_ms median=%.2f max=%.2f runs=%zu\n", name, times[times.size() / 2], times.back(), times.size());
}

int fail(const char* what) {
    std::fprintf(stderr, "hx350-continue: %s\n", what);
    return 1;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: hx350-continue FILE.hxg [RUNS] [--full-scan]\n");
        return 2;
    }
    int runs = 5;
    bool fullScan = false;
    for (int i = 2; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--full-scan") == 0)
            fullScan = true;
        else
            runs = std::max(1, static_cast<int>(std::wcstol(argv[i], nullptr, 10)));
    }
    // The settings keep file names as Windows-1250 bytes, and so does the host.
    const std::string name = utf8ToCp1250(narrow(argv[1]));
    CurrentReading reading;
    reading.temperature = shown(23.4);
    reading.humidity = shown(45.6);
    reading.serialNumber = reading.humiditySerialNumber = 4660;
    CRecordingHost host([] { return HWND{}; }, reading, [] {});
    bool existed = false;
    std::uint64_t firstSize = 0;
    {
        const auto file = host.openFile(name, existed);
        if (!file || !existed || !file->size(firstSize))
            return fail("the file cannot be opened, or does not exist");
    }
    const std::string torn =
        buildBinaryRecord(shown(23.4), shown(45.6), 4660, 4660, {2024, 3, 5, 14, 7, 9}).substr(0, 27);

    std::vector<double> repairOnly, launch, tornLaunch;
    for (int run = 0; run < runs; ++run) {
        {
            const double start = nowMs();
            const auto file = host.openFile(name, existed);
            std::uint64_t size = 0;
            TailRepair repair;
            if (!file || !file->size(size) || !repairBinaryTail(size, readerOf(*file), repair))
                return fail("the tail repair failed");
            repairOnly.push_back(nowMs() - start);
        }
        for (const bool powerCut : {false, true}) {
            if (powerCut) {
                const auto file = host.openFile(name, existed);
                std::uint64_t size = 0;
                if (!file || !file->size(size) || file->writeAt(size, torn) == WriteResult::Failed ||
                    !file->truncate(size + torn.size() + (1u << 20)))
                    return fail("the torn end could not be made");
            }
            RecordingSettings settings;
            settings.binaryEnabled = 1;
            settings.binaryFileName = name;
            settings.intervalSeconds = 1;
            RecordingControl control(host, settings);
            const double start = nowMs();
            control.startAtLaunch();
            (powerCut ? tornLaunch : launch).push_back(nowMs() - start);
            if (!control.isOpen(RecordingKind::Binary) || control.status().binary != FileProblem::None)
                return fail("the file was not continued");
        }
    }
    {
        const auto file = host.openFile(name, existed);
        if (!file || !file->truncate(firstSize))
            return fail("the file could not be cut back to its first size");
    }
    std::printf("file_bytes=%llu\n", static_cast<unsigned long long>(firstSize));
    print("tail_repair", repairOnly);
    print("delayed_start", launch);
    print("delayed_start_after_power_cut", tornLaunch);

    if (fullScan) {
        const double start = nowMs();
        const auto file = host.openFile(name, existed);
        CHxgScanner scanner(nullptr);
        std::vector<char> chunk(1 << 20);
        for (std::uint64_t offset = 0; file && offset < firstSize;) {
            const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(firstSize - offset, 1 << 20));
            if (!file->readAt(offset, chunk.data(), length))
                return fail("the whole file could not be read");
            scanner.feed(std::string_view(chunk.data(), length));
            offset += length;
        }
        const TailRepair repair = scanner.tailRepair();
        std::printf("full_scan_ms=%.0f records=%llu truncate_to=%llu\n", nowMs() - start,
                    static_cast<unsigned long long>(scanner.validCount()),
                    static_cast<unsigned long long>(repair.truncateTo));
    }
    return 0;
}
