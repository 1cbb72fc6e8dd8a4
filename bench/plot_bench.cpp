// plot-bench: the grapher core's timings on large recording files, in Central European time (the clock goes
// forward an hour in March and back in October).
//   plot-bench gen FILE SECONDS     writes one record a second from 2024-01-01 (every 3600th without values)
//   plot-bench open FILE            reads it as Plot.exe does (mapped views, two threads) and times redraws and the
//                                   statistics: the table of every day, and the visible range at several zooms
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
#include <string>

namespace {

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

const CTimeZone& centralEurope() {
    static const CTimeZone zone(centralEuropeanRules);
    return zone;
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

int open(const char* path) {
    const int fd = ::open(path, O_RDONLY);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0)
        return 1;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const long page = sysconf(_SC_PAGESIZE);
    const ViewFn view = [&](std::uint64_t offset, std::size_t length,
                            const std::function<void(std::string_view)>& use) {
        const std::uint64_t start = offset / page * page;
        void* mapped = mmap(nullptr, length + (offset - start), PROT_READ, MAP_SHARED, fd, static_cast<off_t>(start));
        if (mapped == MAP_FAILED)
            return false;
        use(std::string_view(static_cast<const char*>(mapped) + (offset - start), length));
        munmap(mapped, length + (offset - start));
        return true;
    };
    const long before = peakKb();
    double t = now();
    CPlotModel model(centralEurope());
    model.addFile(path, loadFile(size, view, 2, nullptr, nullptr, centralEurope()));
    const double opening = now() - t;
    const ByteReader reader = [fd](std::size_t, std::uint64_t offset, std::uint64_t length, std::string& out) {
        out.resize(length);
        return pread(fd, out.data(), length, static_cast<off_t>(offset)) == static_cast<ssize_t>(length);
    };
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
    std::printf("open_s=%.3f full_redraw_ms=%.2f worst_zoom_redraw_ms=%.2f worst_zoom_span_s=%.0f\n", opening,
                full * 1000, worst * 1000, worstSpan);
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
    close(fd);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "gen")
        return generate(argv[2], std::atol(argv[3]));
    if (argc == 3 && std::string(argv[1]) == "open")
        return open(argv[2]);
    std::fprintf(stderr, "usage: plot-bench gen FILE SECONDS | plot-bench open FILE\n");
    return 2;
}
