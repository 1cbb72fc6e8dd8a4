#pragma once

#include "plot/file_scan.h"
#include "plot/summary.h"
#include "plot/time_zone.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Gives `use` the bytes [offset, offset + length) of the file being loaded (a mapped view or a buffer); false when
// they cannot be read.
using ViewFn =
    std::function<bool(std::uint64_t offset, std::size_t length, const std::function<void(std::string_view)>& use)>;
// Called with the bytes read so far, from the loading threads.
using ProgressFn = std::function<void(std::uint64_t done)>;

// One file read once from start to end: its summary and its scan, which goes on where the reading stopped.
struct LoadedFile {
    std::unique_ptr<CSummary> summary;
    std::unique_ptr<CFileScan> scan;
    bool complete = false; // false when a view failed or the load was cancelled
};

// Views of this many bytes are read one after the other.
constexpr std::size_t kLoadChunk = 32u << 20;

// Reads a file of `size` bytes in chunks. With two threads and a file of more than two chunks, the halves are read
// at once: the second starts at a position where the sequential reading certainly starts a record, and whose
// record's local time is not one that the clock showed twice, so the result is the same as one pass.
LoadedFile loadFile(std::uint64_t size, const ViewFn& view, int threads, const ProgressFn& progress,
                    const std::atomic<bool>* cancel, const CTimeZone& zone, std::size_t chunk = kLoadChunk);

// Local time as UTC: for callers that have no zone of their own.
const CTimeZone& noZone();

// Reads `length` bytes at `offset` of file `file` into `out`; false when they cannot be read.
using ByteReader = std::function<bool(std::size_t file, std::uint64_t offset, std::uint64_t length, std::string& out)>;

// The recordings shown: one summary of all files' records merged in time order, and per file its scan, which
// follows the file as it grows.
class CPlotModel {
public:
    explicit CPlotModel(const CTimeZone& zone = noZone()) : zone_(&zone) {}
    CPlotModel(CPlotModel&&) = default;
    CPlotModel& operator=(CPlotModel&&) = default;

    // `name` is the file's path (UTF-8).
    void addFile(std::string name, LoadedFile loaded);
    // New bytes at the end of file `file` (from what fedTo says on).
    void appendBytes(std::size_t file, std::string_view bytes);

    std::size_t fileCount() const { return files_.size(); }
    const std::string& fileName(std::size_t file) const { return files_[file].name; }
    std::uint64_t fedTo(std::size_t file) const { return files_[file].scan->fedTo(); }
    std::uint64_t validCount() const;
    std::uint64_t damagedCount() const;
    bool haveData() const;
    std::int64_t firstTime() const;
    std::int64_t lastTime() const;
    // The longest step between two records that is still drawn as a line: three recording intervals.
    std::int64_t gapLimit() const;
    // The recording interval: the most common step between records of a file; 0 while none is known.
    std::int64_t interval() const;
    const CTimeZone& zone() const { return *zone_; }
    const CFileScan& scan(std::size_t file) const { return *files_[file].scan; }
    const CSummary& summary() const { return summary_; }
    // Bytes held beyond the summary: the span indexes, and the day profiles.
    std::size_t indexBytes() const;
    std::size_t profileBytes() const;

    // Every valid record with a time in [t0, t1], in time order, handed out in batches of about `batchBytes` of
    // file; records of the same second keep file order. Only the parts of the files that hold such records are
    // read. False when a read failed.
    bool forEachSample(std::int64_t t0, std::int64_t t1, const ByteReader& reader, std::size_t batchBytes,
                       const std::function<void(const std::vector<Sample>&)>& batch) const;
    std::vector<Sample> samples(std::int64_t t0, std::int64_t t1, const ByteReader& reader) const;
    // The valid records of file `file` with a time in [t0, t1] in file order, each with the records next to them in
    // the file (`inRange` false), which their durations and steps need. False when a read failed.
    bool forEachFileRecord(std::size_t file, std::int64_t t0, std::int64_t t1, const ByteReader& reader,
                           const std::function<void(const Sample&, bool inRange)>& visit) const;

private:
    struct File {
        std::string name;
        std::unique_ptr<CFileScan> scan;
    };
    const CTimeZone* zone_;
    std::vector<File> files_;
    CSummary summary_;
};

// The text recording's bytes for the records: the header line naming both quantities, then one line per record
// with "???" for a value it does not carry (Windows-1250, CR LF, `separator` as in the recording settings).
std::string csvHeader(int separator);
std::string csvLine(const Sample& sample, int separator);
