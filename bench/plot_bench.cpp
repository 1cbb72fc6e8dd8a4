// plot-bench: the grapher core's timings on large recording files, in Central European time (the clock goes
// forward an hour in March and back in October).
//   plot-bench gen FILE SECONDS     writes one record a second from 2024-01-01 (every 3600th without values)
//   plot-bench open FILE            reads it as Plot.exe does (mapped views, two threads) and times redraws and the
//                                   statistics: the table of every day, and the visible range at several zooms
//   plot-bench stats FILE           reads it the same way and prints everything the statistics come from and give, to
//                                   the last digit: --summary's CSV, every day's and range's figures, and digests of
//                                   the summary, the span index and the day profiles (for comparing two builds)
#include "plot/plot_model.h"
#include "plot/plot_view.h"
#include "plot/statistics.h"
#include "plot/time_axis.h"
#include "plot/time_zone.h"
#include "recording/record_format.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const CTimeZone& centralEurope() {
    static const CTimeZone zone(centralEuropeanRules);
    return zone;
}

// User and system time of every thread of the process: what the opening costs, whatever else runs on the machine.
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int generate(const char* path, long seconds) {
    FILE* out = std::fopen(path, "wb");
    if (!out)
        return 1;
    // Stamped as a clock that follows the zone: an hour skipped in March, one repeated in October.
    const std::int64_t start = centralEurope().firstAt(civilSeconds({2024, 1, 1, 0, 0, 0}));
    std::string buffer;
    for (long i = 0; i < seconds; ++i) {
        QuantityReading t, h;
        const bool lost = i % 3600 == 1800;
        t.noData = h.noData = lost;
        const double day = std::sin(i * 2 * M_PI / 86400), year = std::sin(i * 2 * M_PI / (365 * 86400.0));
        t.rawValue = 15 + 8 * year + 4 * day + (i % 7) * 0.1;
        h.rawValue = 50 - 15 * year - 10 * day + (i % 5) * 0.1;
        buffer += buildBinaryRecord(t, h, 4660, 4660, civilTime(centralEurope().toLocal(start + i)));
        if (buffer.size() > (1u << 22)) {
            std::fwrite(buffer.data(), 1, buffer.size(), out);
            buffer.clear();
        }
    }
    std::fwrite(buffer.data(), 1, buffer.size(), out);
    return std::fclose(out) == 0 ? 0 : 1;
}

// A file opened as Plot.exe opens it: mapped views, read by two threads.
struct Opened {
    int fd = -1;
    std::uint64_t size = 0;
    ViewFn view;
    ByteReader reader;

    bool open(const char* path) {
        fd = ::open(path, O_RDONLY);
        struct stat info {};
        if (fd < 0 || fstat(fd, &info) != 0)
            return false;
        size = static_cast<std::uint64_t>(info.st_size);
        const long page = sysconf(_SC_PAGESIZE);
        view = [this, page](std::uint64_t offset, std::size_t length,
                            const std::function<void(std::string_view)>& use) {
            const std::uint64_t start = offset / page * page;
            void* mapped =
                mmap(nullptr, length + (offset - start), PROT_READ, MAP_SHARED, fd, static_cast<off_t>(start));
            if (mapped == MAP_FAILED)
                return false;
            use(std::string_view(static_cast<const char*>(mapped) + (offset - start), length));
            munmap(mapped, length + (offset - start));
            return true;
        };
        reader = [this](std::size_t, std::uint64_t offset, std::uint64_t length, std::string& out) {
            out.resize(length);
            return pread(fd, out.data(), length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length);
        };
        return true;
    }
    ~Opened() {
        if (fd >= 0)
            close(fd);
    }
};

int open(const char* path) {
    Opened file;
    if (!file.open(path))
        return 1;
    const std::uint64_t size = file.size;
    const ByteReader& reader = file.reader;
    const long before = peakKb();
    double t = now();
    const double cpu = cpuSeconds();
    CPlotModel model(centralEurope());
    model.addFile(path, loadFile(size, file.view, 2, nullptr, nullptr, centralEurope()));
    const double opening = now() - t, openingCpu = cpuSeconds() - cpu;
    const int columns = 1200;
    const double first = model.firstTime(), last = model.lastTime();
    t = now();
    Trace trace = traceFromSummary(model.summary(), first, last, columns, model.gapLimit());
    Bucket stats = statsFromSummary(model.summary(), first, last);
    const double full = now() - t;
    // Redraws after zooming to spans from the whole file down to a minute, each at a new place (nothing cached).
    double worst = 0, worstSpan = 0;
    for (double span = last - first; span >= 60; span /= 4) {
        const double t0 = first + std::fmod(span * 7.3, std::max(1.0, last - first - span));
        t = now();
        if (needsRecords(t0, t0 + span, columns)) {
            const auto samples =
                model.samples(static_cast<std::int64_t>(t0), static_cast<std::int64_t>(t0 + span), reader);
            trace = traceFromSamples(samples, t0, t0 + span, columns, model.gapLimit());
            stats = statsFromSamples(samples, t0, t0 + span);
        } else {
            trace = traceFromSummary(model.summary(), t0, t0 + span, columns, model.gapLimit());
            stats = statsFromSummary(model.summary(), t0, t0 + span);
        }
        const double took = now() - t;
        if (took > worst) {
            worst = took;
            worstSpan = span;
        }
    }
    // The statistics window and --summary: every day of the file, then the visible range at zooms from the whole
    // file down to an hour, each at a place that cuts through days (whose cut ends are read from the records).
    AnalysisSettings settings;
    parseLimits("18:25:40:60", settings);
    RangeStats total;
    std::vector<DayStats> days;
    t = now();
    rangeStatistics(model, settings, model.firstTime(), model.lastTime(), reader, total, &days);
    const double table = now() - t;
    double worstRange = 0, worstRangeSpan = 0;
    for (double span = last - first; span >= 3600; span /= 4) {
        const double t0 = first + std::fmod(span * 5.7 + 43210, std::max(1.0, last - first - span));
        t = now();
        RangeStats part;
        std::vector<DayStats> partDays;
        rangeStatistics(model, settings, static_cast<std::int64_t>(t0), static_cast<std::int64_t>(t0 + span), reader,
                        part, &partDays);
        const double took = now() - t;
        if (took > worstRange) {
            worstRange = took;
            worstRangeSpan = span;
        }
    }
    const double records = static_cast<double>(model.validCount());
    std::printf("file=%s bytes=%llu records=%llu damaged=%llu\n", path, static_cast<unsigned long long>(size),
                static_cast<unsigned long long>(model.validCount()),
                static_cast<unsigned long long>(model.damagedCount()));
    std::printf("open_s=%.3f open_cpu_s=%.3f full_redraw_ms=%.2f worst_zoom_redraw_ms=%.2f worst_zoom_span_s=%.0f\n",
                opening, openingCpu, full * 1000, worst * 1000, worstSpan);
    std::printf("summary_bytes=%zu index_bytes=%zu profile_bytes=%zu summary_per_record=%.3f index_per_record=%.3f "
                "peak_rss_growth_kb=%ld\n",
                model.summary().memoryBytes(), model.indexBytes(), model.profileBytes(),
                model.summary().memoryBytes() / records, (model.indexBytes() + model.profileBytes()) / records,
                peakKb() - before);
    std::printf("day_table_ms=%.1f days=%zu worst_range_statistics_ms=%.1f worst_range_span_s=%.0f mkt=%.2f "
                "above_s=%lld\n",
                table * 1000, days.size(), worstRange * 1000, worstRangeSpan, total.temperature.kinetic,
                static_cast<long long>(total.temperature.secondsAbove));
    std::printf("points=%zu mean_temperature_tenths=%lld\n", trace.temperature.size(),
                stats.temperature.count ? static_cast<long long>(stats.temperature.sum / stats.temperature.count) : 0);
    return 0;
}

// FNV-1a over values, not over bytes of structs (whose padding is undefined).
class Digest {
public:
    void add(std::int64_t value) { bytes(&value, sizeof value); }
    void add(double value) { bytes(&value, sizeof value); }
    void add(float value) { bytes(&value, sizeof value); }
    std::uint64_t value() const { return hash_; }

private:
    void bytes(const void* data, std::size_t size) {
        unsigned char copy[8];
        std::memcpy(copy, data, size);
        for (std::size_t i = 0; i < size; ++i)
            hash_ = (hash_ ^ copy[i]) * 1099511628211ull;
    }
    std::uint64_t hash_ = 14695981039346656037ull;
};

void addAggregate(Digest& digest, const Aggregate& a) {
    for (const std::int64_t v :
         {std::int64_t{a.min}, std::int64_t{a.max}, std::int64_t{a.count}, a.sum, a.minAt, a.maxAt})
        digest.add(v);
    digest.add(a.squares);
}

void addBucket(Digest& digest, const Bucket& b) {
    for (const std::int64_t v : {b.index, std::int64_t{b.records}, std::int64_t{b.longestStep}, b.first, b.last})
        digest.add(v);
    addAggregate(digest, b.temperature);
    addAggregate(digest, b.humidity);
    const MoistAirAggregate& m = b.moistAir;
    digest.add(std::int64_t{m.count});
    for (const float v : {m.dewMin, m.dewMax, m.absoluteMin, m.absoluteMax})
        digest.add(v);
    digest.add(m.dewSum);
    digest.add(m.absoluteSum);
}

void addProfile(Digest& digest, const CQuantityProfile& profile) {
    digest.add(std::int64_t{profile.any()});
    for (const ValueTime& v : profile.values()) {
        for (const std::int64_t x : {std::int64_t{v.value}, std::int64_t{v.rises}, std::int64_t{v.falls}, v.seconds})
            digest.add(x);
    }
}

void printAggregate(const char* name, const Aggregate& a) {
    std::printf(" %s=%d@%lld..%d@%lld n=%u sum=%lld sq=%.17g", name, a.min, static_cast<long long>(a.minAt), a.max,
                static_cast<long long>(a.maxAt), a.count, static_cast<long long>(a.sum), a.squares);
}

void printQuantity(const char* name, const QuantityStats& q) {
    printAggregate(name, q.values);
    std::printf(" mean=%.17g dev=%.17g mkt=%d:%.17g above=%d:%lld:%u below=%d:%lld:%u", q.mean, q.deviation,
                q.haveKinetic, q.kinetic, q.haveAbove, static_cast<long long>(q.secondsAbove), q.excursionsAbove,
                q.haveBelow, static_cast<long long>(q.secondsBelow), q.excursionsBelow);
}

void printStats(const std::string& name, const RangeStats& s) {
    std::printf("%s [%lld,%lld] records=%llu coverage=%d:%.17g gap=%d:%lld", name.c_str(),
                static_cast<long long>(s.from), static_cast<long long>(s.to),
                static_cast<unsigned long long>(s.records), s.haveCoverage, s.coverage, s.haveGap,
                static_cast<long long>(s.longestGap));
    printQuantity("T", s.temperature);
    printQuantity("RH", s.humidity);
    const MoistAirAggregate& m = s.moistAir;
    std::printf(" air n=%u dew=%.9g..%.9g sum=%.17g abs=%.9g..%.9g sum=%.17g\n", m.count, m.dewMin, m.dewMax, m.dewSum,
                m.absoluteMin, m.absoluteMax, m.absoluteSum);
}

// Everything the statistics come from and everything they give, for a byte-for-byte comparison of two builds.
int stats(const char* path) {
    Opened file;
    if (!file.open(path))
        return 1;
    CPlotModel model(centralEurope());
    model.addFile(path, loadFile(file.size, file.view, 2, nullptr, nullptr, centralEurope()));
    const CFileScan& scan = model.scan(0);
    std::printf("records=%llu damaged=%llu first=%lld last=%lld interval=%lld gap_limit=%lld ordered=%d "
                "smallest_step=%lld records_end=%llu\n",
                static_cast<unsigned long long>(model.validCount()),
                static_cast<unsigned long long>(model.damagedCount()), static_cast<long long>(model.firstTime()),
                static_cast<long long>(model.lastTime()), static_cast<long long>(model.interval()),
                static_cast<long long>(model.gapLimit()), scan.ordered(), static_cast<long long>(scan.smallestStep()),
                static_cast<unsigned long long>(scan.recordsEnd()));
    for (int n = 0; n < kLevels; ++n) {
        Digest digest;
        for (const Bucket& bucket : model.summary().level(n))
            addBucket(digest, bucket);
        std::printf("summary level %d: buckets=%zu digest=%016llx\n", n, model.summary().level(n).size(),
                    static_cast<unsigned long long>(digest.value()));
    }
    Digest spans, days;
    for (const FileSpan& span : scan.spans()) {
        spans.add(span.bucket);
        spans.add(static_cast<std::int64_t>(span.offset));
    }
    for (const DayProfile& day : scan.days()) {
        days.add(day.day);
        addProfile(days, day.temperature);
        addProfile(days, day.humidity);
    }
    Sample newest;
    std::int64_t seconds = 0;
    const bool pending = scan.durations().pending(newest, seconds);
    std::printf("spans=%zu digest=%016llx days=%zu digest=%016llx newest=%d:%lld:%lld\n", scan.spans().size(),
                static_cast<unsigned long long>(spans.value()), scan.days().size(),
                static_cast<unsigned long long>(days.value()), pending, static_cast<long long>(newest.time),
                static_cast<long long>(seconds));

    // The whole file under limits, then ranges that cut through days (those the timings use), each with its days.
    AnalysisSettings settings;
    parseLimits("18:25:40:60", settings);
    const double first = model.firstTime(), last = model.lastTime();
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges = {{model.firstTime(), model.lastTime()}};
    for (double span = last - first; span >= 3600; span /= 4) {
        const double t0 = first + std::fmod(span * 5.7 + 43210, std::max(1.0, last - first - span));
        ranges.push_back({static_cast<std::int64_t>(t0), static_cast<std::int64_t>(t0 + span)});
    }
    for (std::size_t r = 0; r < ranges.size(); ++r) {
        const auto& range = ranges[r];
        RangeStats total;
        std::vector<DayStats> dayStats;
        if (!rangeStatistics(model, settings, range.first, range.second, file.reader, total, &dayStats))
            return 1;
        std::printf("== range %lld..%lld\n", static_cast<long long>(range.first), static_cast<long long>(range.second));
        if (r == 0)
            std::fputs(summaryCsv(total, dayStats).c_str(), stdout);
        for (const DayStats& day : dayStats)
            printStats(dayText(day.day), day.stats);
        printStats("total", total);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "gen")
        return generate(argv[2], std::atol(argv[3]));
    if (argc == 3 && std::string(argv[1]) == "open")
        return open(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "stats")
        return stats(argv[2]);
    std::fprintf(stderr, "usage: plot-bench gen FILE SECONDS | plot-bench open FILE | plot-bench stats FILE\n");
    return 2;
}
