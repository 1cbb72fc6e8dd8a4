#include "plot/plot_model.h"

#include "plot/time_axis.h"
#include "recording/record_format.h"

#include <algorithm>
#include <thread>

namespace {

// Reads [from, to) of the file into `scan` view by view.
bool scanRange(CFileScan& scan, std::uint64_t from, std::uint64_t to, std::size_t chunk, const ViewFn& view,
               std::atomic<std::uint64_t>& done, const ProgressFn& progress, const std::atomic<bool>* cancel) {
    for (std::uint64_t at = from; at < to;) {
        if (cancel && cancel->load())
            return false;
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, to - at));
        if (!view(at, length, [&scan](std::string_view bytes) { scan.feed(bytes); }))
            return false;
        at += length;
        const std::uint64_t total = done += length;
        if (progress)
            progress(total);
    }
    return true;
}

// A record boundary near `middle`, looked for in the 64 kB after it; 0 when there is none. The second part's first
// record is read without the records before it, so its local time must have one meaning: in the hour that the
// clock repeats, the boundary moves on.
std::uint64_t splitPoint(std::uint64_t middle, std::uint64_t size, const ViewFn& view, const CTimeZone& zone) {
    for (int attempt = 0; attempt < 64 && middle + 5 < size; ++attempt) {
        const auto window = static_cast<std::size_t>(std::min<std::uint64_t>(64 * 1024, size - (middle - 5)));
        std::uint64_t found = 0;
        bool clear = false;
        view(middle - 5, window, [&](std::string_view bytes) {
            const std::size_t at = findRecordStart(bytes, 5);
            if (at >= bytes.size())
                return;
            found = middle - 5 + at;
            bool decided = false;
            CHxgScanner scanner([&](const HxgEntry& entry) {
                if (!decided && entry.valid) {
                    decided = true;
                    clear = zone.candidates(civilSeconds(entry.record.time)).count == 1;
                }
            });
            scanner.feed(bytes.substr(at));
        });
        if (found == 0)
            return 0;
        if (clear)
            return found;
        middle += window;
    }
    return 0;
}

} // namespace

const CTimeZone& noZone() {
    static const CTimeZone zone;
    return zone;
}

LoadedFile loadFile(std::uint64_t size, const ViewFn& view, int threads, const ProgressFn& progress,
                    const std::atomic<bool>* cancel, const CTimeZone& zone, std::size_t chunk) {
    LoadedFile result;
    result.summary = std::make_unique<CSummary>();
    std::atomic<std::uint64_t> done{0};
    const std::uint64_t split = threads >= 2 && size > 2 * chunk ? splitPoint(size / 2, size, view, zone) : 0;
    if (split == 0) {
        result.scan = std::make_unique<CFileScan>(*result.summary, 0, zone);
        result.complete = scanRange(*result.scan, 0, size, chunk, view, done, progress, cancel);
        return result;
    }

    CSummary secondSummary;
    auto first = std::make_unique<CFileScan>(*result.summary, 0, zone);
    auto second = std::make_unique<CFileScan>(secondSummary, split, zone);
    bool secondOk = false;
    std::thread worker([&] { secondOk = scanRange(*second, split, size, chunk, view, done, progress, cancel); });
    const bool firstOk = scanRange(*first, 0, split, chunk, view, done, progress, cancel);
    worker.join();
    result.summary->merge(secondSummary);
    second->prepend(*first);
    second->setSummary(*result.summary);
    result.scan = std::move(second);
    result.complete = firstOk && secondOk;
    return result;
}

void CPlotModel::addFile(std::string name, LoadedFile loaded) {
    if (summary_.empty())
        summary_ = std::move(*loaded.summary);
    else
        summary_.merge(*loaded.summary);
    summary_.refresh();
    summary_.compact();
    loaded.scan->setSummary(summary_);
    files_.push_back({std::move(name), std::move(loaded.scan)});
}

void CPlotModel::appendBytes(std::size_t file, std::string_view bytes) {
    files_[file].scan->feed(bytes);
    summary_.refresh();
}

std::uint64_t CPlotModel::validCount() const {
    std::uint64_t count = 0;
    for (const File& file : files_)
        count += file.scan->validCount();
    return count;
}

std::uint64_t CPlotModel::damagedCount() const {
    std::uint64_t count = 0;
    for (const File& file : files_)
        count += file.scan->damagedCount();
    return count;
}

bool CPlotModel::haveData() const {
    return std::any_of(files_.begin(), files_.end(), [](const File& file) { return file.scan->haveTimes(); });
}

std::int64_t CPlotModel::firstTime() const {
    std::int64_t first = 0;
    bool any = false;
    for (const File& file : files_) {
        if (file.scan->haveTimes()) {
            first = any ? std::min(first, file.scan->minTime()) : file.scan->minTime();
            any = true;
        }
    }
    return first;
}

std::int64_t CPlotModel::lastTime() const {
    std::int64_t last = 0;
    bool any = false;
    for (const File& file : files_) {
        if (file.scan->haveTimes()) {
            last = any ? std::max(last, file.scan->maxTime()) : file.scan->maxTime();
            any = true;
        }
    }
    return last;
}

// Each file's own interval counts (files of several runs may overlap); with none known, every step is a gap
// only beyond a few seconds.
std::int64_t CPlotModel::gapLimit() const {
    std::int64_t smallest = 0;
    for (const File& file : files_) {
        const std::int64_t step = file.scan->smallestStep();
        if (step > 0 && (smallest == 0 || step < smallest))
            smallest = step;
    }
    return std::max<std::int64_t>(3, 3 * smallest);
}

std::int64_t CPlotModel::interval() const {
    CStepCounts steps;
    for (const File& file : files_)
        steps.merge(file.scan->steps());
    return steps.mostCommon();
}

std::size_t CPlotModel::indexBytes() const {
    std::size_t bytes = 0;
    for (const File& file : files_)
        bytes += file.scan->spans().capacity() * sizeof(FileSpan);
    return bytes;
}

std::size_t CPlotModel::profileBytes() const {
    std::size_t bytes = 0;
    for (const File& file : files_) {
        for (const DayProfile& day : file.scan->days()) {
            bytes += sizeof day +
                     (day.temperature.values().capacity() + day.humidity.values().capacity()) * sizeof(ValueTime);
        }
    }
    return bytes;
}

bool CPlotModel::forEachSample(std::int64_t t0, std::int64_t t1, const ByteReader& reader, std::size_t batchBytes,
                               const std::function<void(const std::vector<Sample>&)>& batch) const {
    struct Piece {
        std::int64_t bucket;
        std::size_t file;
        std::uint64_t offset, end;
    };
    const std::int64_t b0 = bucketOf(t0);
    const std::int64_t b1 = bucketOf(t1);
    std::vector<Piece> pieces;
    for (std::size_t f = 0; f < files_.size(); ++f) {
        const auto& spans = files_[f].scan->spans();
        std::size_t i = 0;
        if (files_[f].scan->ordered()) {
            i = static_cast<std::size_t>(
                std::lower_bound(spans.begin(), spans.end(), b0,
                                 [](const FileSpan& span, std::int64_t b) { return span.bucket < b; }) -
                spans.begin());
        }
        for (; i < spans.size(); ++i) {
            if (spans[i].bucket > b1 && files_[f].scan->ordered())
                break;
            if (spans[i].bucket >= b0 && spans[i].bucket <= b1) {
                const std::uint64_t end = i + 1 < spans.size() ? spans[i + 1].offset : files_[f].scan->recordsEnd();
                pieces.push_back({spans[i].bucket, f, spans[i].offset, end});
            }
        }
    }
    std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) {
        return a.bucket != b.bucket ? a.bucket < b.bucket : a.file != b.file ? a.file < b.file : a.offset < b.offset;
    });

    // A batch takes whole buckets, so every record of a later batch is later than those of this one.
    CTimeResolver resolver(*zone_);
    std::vector<Sample> samples;
    std::string bytes;
    for (std::size_t from = 0; from < pieces.size();) {
        std::size_t to = from;
        std::uint64_t size = 0;
        while (to < pieces.size() && (size < batchBytes || pieces[to].bucket == pieces[to - 1].bucket)) {
            size += pieces[to].end - pieces[to].offset;
            ++to;
        }
        std::vector<Piece> group(pieces.begin() + static_cast<std::ptrdiff_t>(from),
                                 pieces.begin() + static_cast<std::ptrdiff_t>(to));
        std::sort(group.begin(), group.end(), [](const Piece& a, const Piece& b) {
            return a.file != b.file ? a.file < b.file : a.offset < b.offset;
        });
        samples.clear();
        for (std::size_t i = 0; i < group.size();) {
            // Adjacent pieces of one file are read at once.
            std::size_t j = i + 1;
            while (j < group.size() && group[j].file == group[i].file && group[j].offset == group[j - 1].end)
                ++j;
            if (!reader(group[i].file, group[i].offset, group[j - 1].end - group[i].offset, bytes))
                return false;
            // Each record is read as it was when the file was scanned: its time lies in its piece's bucket.
            std::size_t piece = i;
            CHxgScanner scanner([&](const HxgEntry& entry) {
                while (piece + 1 < j && group[i].offset + entry.offset >= group[piece].end)
                    ++piece;
                if (!entry.valid)
                    return;
                const std::int64_t start = group[piece].bucket * kBucketSeconds;
                const std::int64_t local = civilSeconds(entry.record.time);
                const Sample sample =
                    sampleOf(entry.record, local, resolver.resolveWithin(local, start, start + kBucketSeconds));
                if (sample.time >= t0 && sample.time <= t1)
                    samples.push_back(sample);
            });
            scanner.feed(bytes);
            i = j;
        }
        std::stable_sort(samples.begin(), samples.end(),
                         [](const Sample& a, const Sample& b) { return a.time < b.time; });
        if (!samples.empty())
            batch(samples);
        from = to;
    }
    return true;
}

bool CPlotModel::forEachFileRecord(std::size_t file, std::int64_t t0, std::int64_t t1, const ByteReader& reader,
                                   const std::function<void(const Sample&, bool inRange)>& visit) const {
    const CFileScan& scan = *files_[file].scan;
    const auto& spans = scan.spans();
    const std::int64_t b0 = bucketOf(t0), b1 = bucketOf(t1);
    // Runs of consecutive spans in the range, each with one span more on both sides for the records next to them.
    std::vector<std::pair<std::size_t, std::size_t>> runs;
    const auto inRange = [&](std::size_t i) { return spans[i].bucket >= b0 && spans[i].bucket <= b1; };
    std::size_t i = 0;
    if (scan.ordered()) {
        i = static_cast<std::size_t>(
            std::lower_bound(spans.begin(), spans.end(), b0,
                             [](const FileSpan& span, std::int64_t b) { return span.bucket < b; }) -
            spans.begin());
    }
    for (; i < spans.size(); ++i) {
        if (!inRange(i)) {
            if (scan.ordered() && spans[i].bucket > b1)
                break;
            continue;
        }
        const std::size_t first = i > 0 ? i - 1 : 0;
        while (i + 1 < spans.size() && inRange(i + 1))
            ++i;
        const std::size_t last = std::min(i + 2, spans.size());
        if (!runs.empty() && first < runs.back().second)
            runs.back().second = last;
        else
            runs.push_back({first, last});
    }
    CTimeResolver resolver(*zone_);
    std::string bytes;
    for (const auto& run : runs) {
        const std::size_t first = run.first, last = run.second;
        const std::uint64_t from = spans[first].offset;
        const std::uint64_t to = last < spans.size() ? spans[last].offset : scan.recordsEnd();
        if (!reader(file, from, to - from, bytes))
            return false;
        std::size_t piece = first;
        CHxgScanner scanner([&](const HxgEntry& entry) {
            while (piece + 1 < last && from + entry.offset >= spans[piece + 1].offset)
                ++piece;
            if (!entry.valid)
                return;
            const std::int64_t start = spans[piece].bucket * kBucketSeconds;
            const std::int64_t local = civilSeconds(entry.record.time);
            const Sample sample =
                sampleOf(entry.record, local, resolver.resolveWithin(local, start, start + kBucketSeconds));
            visit(sample, sample.time >= t0 && sample.time <= t1);
        });
        scanner.feed(bytes);
    }
    return true;
}

std::vector<Sample> CPlotModel::samples(std::int64_t t0, std::int64_t t1, const ByteReader& reader) const {
    std::vector<Sample> all;
    forEachSample(t0, t1, reader, 1u << 20,
                  [&all](const std::vector<Sample>& batch) { all.insert(all.end(), batch.begin(), batch.end()); });
    return all;
}

namespace {

RecordingSettings csvSettings(int separator) {
    RecordingSettings settings;
    settings.separator = separator;
    settings.recordTemperature = 1;
    settings.recordHumidity = 1;
    return settings;
}

QuantityReading displayOf(bool has, std::int32_t tenths) {
    QuantityReading display;
    display.noData = !has;
    display.rawValue = tenths / 10.0;
    return display;
}

} // namespace

std::string csvHeader(int separator) {
    const RecordingSettings settings = csvSettings(separator);
    int lastHeader = -1;
    const std::string both = buildTextRecord(settings, lastHeader, {}, {}, LocalTime{});
    return both.substr(0, both.find("\r\n") + 2);
}

std::string csvLine(const Sample& sample, int separator) {
    const RecordingSettings settings = csvSettings(separator);
    int lastHeader = headerColumns(settings);
    return buildTextRecord(settings, lastHeader, displayOf(sample.hasTemperature, sample.temperature),
                           displayOf(sample.hasHumidity, sample.humidity), civilTime(sample.local()));
}
