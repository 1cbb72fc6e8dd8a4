#include "base/base64.h"
#include "base/cp1250.h"
#include "base/number_format.h"
#include "plot/chart_data.h"
#include "plot/day_profile.h"
#include "plot/moist_air.h"
#include "plot/plot_command.h"
#include "plot/plot_model.h"
#include "plot/plot_mouse.h"
#include "plot/plot_settings.h"
#include "plot/plot_texts.h"
#include "plot/plot_view.h"
#include "plot/report.h"
#include "plot/statistics.h"
#include "plot/time_axis.h"
#include "plot/time_zone.h"
#include "recording/record_format.h"
#include "settings_files.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <tuple>

namespace {

std::string fixture(const std::string& name) {
    std::ifstream in(std::string(HX350_TEST_DATA_DIR) + "/plot/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ViewFn viewOf(const std::string& file) {
    return [&file](std::uint64_t offset, std::size_t length, const std::function<void(std::string_view)>& use) {
        if (offset + length > file.size())
            return false;
        use(std::string_view(file).substr(offset, length));
        return true;
    };
}

ByteReader readerOf(const std::vector<const std::string*>& files) {
    return [files](std::size_t f, std::uint64_t offset, std::uint64_t length, std::string& out) {
        out = files[f]->substr(offset, length);
        return true;
    };
}

CPlotModel modelOf(const std::vector<const std::string*>& files, int threads = 1, std::size_t chunk = kLoadChunk,
                   const CTimeZone& zone = noZone()) {
    CPlotModel model(zone);
    for (const std::string* file : files)
        model.addFile("f", loadFile(file->size(), viewOf(*file), threads, nullptr, nullptr, zone, chunk));
    return model;
}

const CTimeZone& warsaw() {
    static const CTimeZone zone(centralEuropeanRules);
    return zone;
}

// One record a `step` seconds from the local time `start`, a value of `temperatures` each, with the humidity
// `humidity` (none when it is empty).
std::string recordsFrom(const LocalTime& start, std::int64_t step, const std::vector<double>& temperatures,
                        std::optional<double> humidity = 50.0) {
    std::string file;
    for (std::size_t i = 0; i < temperatures.size(); ++i) {
        QuantityReading t, h;
        t.noData = false;
        t.rawValue = temperatures[i];
        h.noData = !humidity;
        h.rawValue = humidity.value_or(0);
        file +=
            buildBinaryRecord(t, h, 4660, 4660, civilTime(civilSeconds(start) + static_cast<std::int64_t>(i) * step));
    }
    return file;
}

// The statistics of [t0, t1] under `limits`, each day's in `days`.
RangeStats statsOf(const CPlotModel& model, const std::vector<const std::string*>& files, const std::string& limits,
                   std::int64_t t0, std::int64_t t1, std::vector<DayStats>* days = nullptr) {
    AnalysisSettings settings;
    EXPECT_TRUE(parseLimits(limits, settings));
    RangeStats total;
    EXPECT_TRUE(rangeStatistics(model, settings, t0, t1, readerOf(files), total, days));
    return total;
}

// ... of the whole recording.
RangeStats statsOf(const CPlotModel& model, const std::vector<const std::string*>& files, const std::string& limits,
                   std::vector<DayStats>* days = nullptr) {
    return statsOf(model, files, limits, model.firstTime(), model.lastTime(), days);
}

std::string csvOf(const CPlotModel& model, const std::vector<const std::string*>& files, int separator) {
    std::string out = csvHeader(separator);
    model.forEachSample(model.firstTime(), model.lastTime(), readerOf(files), 64, [&](const std::vector<Sample>& b) {
        for (const Sample& sample : b)
            out += csvLine(sample, separator);
    });
    return out;
}

std::string record(int second, double temperature, double humidity) {
    QuantityReading t, h;
    t.noData = h.noData = false;
    t.rawValue = temperature;
    h.rawValue = humidity;
    return buildBinaryRecord(t, h, 4660, 4660, civilTime(civilSeconds({2024, 3, 5, 0, 0, 0}) + second));
}

TEST(PlotFiles, ReadAsTheRecordingTable) {
    struct Row {
        const char* hxg;
        const char* csv;
        std::uint64_t valid, damaged;
        std::int32_t minT, maxT, minH, maxH;
    };
    const Row rows[] = {
        {"worked.hxg", "worked.csv", 2, 0, 215, 215, 452, 452},
        {"damaged.hxg", "damaged.csv", 2, 2, -34, 216, 451, 451},
        {"runs.hxg", "runs.csv", 9, 1, 190, 259, 500, 555},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.hxg);
        const std::string file = fixture(row.hxg);
        const CPlotModel model = modelOf({&file});
        EXPECT_EQ(model.validCount(), row.valid);
        EXPECT_EQ(model.damagedCount(), row.damaged);
        EXPECT_EQ(csvOf(model, {&file}, Semicolon), fixture(row.csv));
        const Bucket stats = statsFromSummary(model.summary(), model.firstTime(), model.lastTime());
        EXPECT_EQ(stats.temperature.min, row.minT);
        EXPECT_EQ(stats.temperature.max, row.maxT);
        EXPECT_EQ(stats.humidity.min, row.minH);
        EXPECT_EQ(stats.humidity.max, row.maxH);
    }
    // Days part at local midnight. A day the range starts within is read from its records, and an empty day takes
    // its gap's ends from the records around it. Past the recording a gap has no end.
    const std::string runs = fixture("runs.hxg"), // 23:59:57 to 23:59:59 above 25 °C, then 00:00:00 on
        apart = recordsFrom({2024, 12, 30, 12, 0, 0}, 60, {20}) + recordsFrom({2025, 1, 1, 0, 0, 0}, 20, {20, 20, 20});
    const struct {
        const std::string* file;
        LocalTime from, to;
        std::vector<std::uint64_t> records; // of each day
        std::int64_t longestGap, secondsAbove;
    } ranges[] = {{&runs, {2024, 12, 31, 23, 59, 57}, {2025, 1, 1, 6, 30, 4}, {3, 6}, 23400 - 1, 3},
                  {&runs, {2024, 12, 31, 23, 59, 58}, {2025, 1, 1, 6, 30, 4}, {2, 6}, 23400 - 1, 2},
                  {&runs, {2025, 1, 1, 7, 0, 0}, {2025, 1, 1, 8, 0, 0}, {}, -1, 0},
                  {&apart, {2024, 12, 30, 13, 0, 0}, {2024, 12, 31, 11, 59, 59}, {0, 0}, 23 * 3600 - 20, 0}};
    for (const auto& r : ranges) {
        SCOPED_TRACE(formatStamp(civilSeconds(r.from)));
        std::vector<DayStats> days;
        const RangeStats total =
            statsOf(modelOf({r.file}), {r.file}, ":25::", civilSeconds(r.from), civilSeconds(r.to), &days);
        std::vector<std::uint64_t> records;
        for (const DayStats& day : days)
            records.push_back(day.stats.records);
        EXPECT_EQ(records, r.records);
        EXPECT_EQ(total.haveGap ? total.longestGap : -1, r.longestGap);
        EXPECT_EQ(total.temperature.secondsAbove, r.secondsAbove);
    }
}

TEST(PlotFiles, SeveralFilesInTimeOrderWithTabs) {
    const std::string later = fixture("runs.hxg"), earlier = fixture("worked.hxg");
    const CPlotModel model = modelOf({&later, &earlier});
    const std::string csv = csvOf(model, {&later, &earlier}, Tab);
    const std::string expected = "Data i Godzina\tTemperatura \xB0"
                                 "C\tWilgotno\x9C\xE6 %\r\n2024.03.05 14:07:09\t21.5\t45.2\r\n"
                                 "2024.03.05 14:07:09\t???\t???\r\n2024.12.31 23:59:57\t25.7\t50.0\r\n";
    EXPECT_EQ(csv.substr(0, expected.size()), expected);
    EXPECT_EQ(model.validCount(), 11u);
    // Two files whose records interleave within one minute.
    const std::string odd = recordsFrom({2024, 3, 5, 0, 0, 0}, 20, {1, 3, 5}),
                      even = recordsFrom({2024, 3, 5, 0, 0, 10}, 20, {2, 4});
    EXPECT_EQ(
        csvOf(modelOf({&odd, &even}), {&odd, &even}, Tab),
        csvHeader(Tab) +
            "2024.03.05 00:00:00\t1.0\t50.0\r\n2024.03.05 00:00:10\t2.0\t50.0\r\n2024.03.05 00:00:20\t3.0\t50.0\r\n"
            "2024.03.05 00:00:30\t4.0\t50.0\r\n2024.03.05 00:00:40\t5.0\t50.0\r\n");
}

// A file whose clock was set back (records out of time order): a range holds its records of both runs, minute by
// minute and in file order within a minute.
TEST(PlotFiles, RangeOfAFileOutOfTimeOrder) {
    std::vector<double> first;
    for (int minute = 0; minute < 13; ++minute)
        first.push_back(20 + minute / 10.0);
    const std::string file = recordsFrom({2024, 3, 5, 0, 0, 0}, 60, first) +
                             recordsFrom({2024, 3, 5, 0, 3, 0}, 60, {30.3, 30.4, 30.5, 30.6});
    const CPlotModel model = modelOf({&file});
    std::string seen;
    model.forEachSample(civilSeconds({2024, 3, 5, 0, 2, 0}), civilSeconds({2024, 3, 5, 0, 8, 59}), readerOf({&file}),
                        64, [&seen](const std::vector<Sample>& batch) {
                            for (const Sample& sample : batch)
                                seen += std::to_string(sample.time % 3600 / 60) + ":" +
                                        std::to_string(sample.temperature) + " ";
                        });
    EXPECT_EQ(seen, "2:202 3:203 3:303 4:204 4:304 5:205 5:305 6:206 6:306 7:207 8:208 ");
}

// Records whose check byte is the marker byte make the split point hard to find.
std::string largeFile() {
    std::string file;
    for (int i = 0; i < 4000; ++i) {
        file += record(i, 10 + (i * 7 % 200) / 10.0, 30 + (i * 13 % 500) / 10.0);
        if (i % 500 == 250)
            file += "\xC0\xC0\xC0\xD0";
    }
    return file;
}

// A file read in two parts, joined at any record, reads as in one pass: the order of its minutes, the smallest and
// the most common step (5 s and 2 s three times each, 1 s once), its times, days and minute spans.
TEST(PlotLoad, PartsJoinedAtAnyRecordReadAsOnePass) {
    std::string file;
    std::vector<std::uint64_t> starts;
    for (const int second : {0, 2, 4, 6, 11, 16, 21, 130, 131, 61, 200, 86405}) {
        starts.push_back(file.size());
        file += record(second, 21.5, 45.0);
    }
    starts.push_back(file.size());
    const std::int64_t base = civilSeconds({2024, 3, 5, 0, 0, 0}) - 3600; // UTC
    const auto describe = [&](const CFileScan& scan) {
        std::string out = std::to_string(scan.validCount()) + (scan.ordered() ? " ordered" : " unordered") + " step " +
                          std::to_string(scan.smallestStep()) + "/" + std::to_string(scan.steps().mostCommon()) +
                          " days " + std::to_string(scan.days().size()) + " times";
        for (const std::int64_t time : {scan.firstTime(), scan.lastTime(), scan.minTime(), scan.maxTime()})
            out += " " + std::to_string(time - base);
        for (const FileSpan& span : scan.spans())
            out += " " + std::to_string(span.bucket - base / 60) + "@" +
                   std::to_string(std::find(starts.begin(), starts.end(), span.offset) - starts.begin());
        return out;
    };
    for (std::size_t k = 0; k < starts.size(); ++k) {
        CSummary earlierSummary, laterSummary;
        CFileScan earlier(earlierSummary, 0, warsaw()), later(laterSummary, starts[k], warsaw());
        earlier.feed(std::string_view(file).substr(0, starts[k]));
        later.feed(std::string_view(file).substr(starts[k]));
        later.prepend(earlier);
        EXPECT_EQ(describe(later), "12 unordered step 1/2 days 2 times 0 86405 0 86405 0@0 2@7 1@9 3@10 1440@11") << k;
    }
}

// The second file runs through the hour that the clock repeats in autumn, where the second part cannot start.
TEST(PlotLoad, TwoThreadsReadAsOnePass) {
    std::vector<double> values;
    for (int i = 0; i < 8000; ++i)
        values.push_back(20 + (i * 7 % 90) / 10.0);
    const std::string repeated =
        recordsFrom({2026, 10, 25, 2, 0, 0}, 1, std::vector<double>(values.begin(), values.begin() + 3600)) +
        recordsFrom({2026, 10, 25, 2, 0, 0}, 1, std::vector<double>(values.begin() + 3600, values.end()));
    for (const std::string& file : {largeFile(), repeated}) {
        // A part that cannot be read, or a cancel during the load, makes the load incomplete.
        const ViewFn failsAtTheEnd = [&file](std::uint64_t offset, std::size_t length, const auto& use) {
            return offset + length + 100 < file.size() && viewOf(file)(offset, length, use);
        };
        EXPECT_FALSE(loadFile(file.size(), failsAtTheEnd, 2, nullptr, nullptr, warsaw(), 4096).complete);
        std::atomic<bool> cancel{false};
        const ProgressFn cancelNow = [&cancel](std::uint64_t) { cancel = true; }; // after the first piece
        EXPECT_FALSE(loadFile(file.size(), viewOf(file), 1, cancelNow, &cancel, warsaw(), 4096).complete);
        const CPlotModel one = modelOf({&file}, 1, 4096, warsaw());
        std::vector<DayStats> oneDays;
        const RangeStats oneTotal = statsOf(one, {&file}, "21:25:45:55", &oneDays);
        for (const std::size_t chunk : {4096u, 5000u, 77777u}) {
            SCOPED_TRACE(chunk);
            const CPlotModel two = modelOf({&file}, 2, chunk, warsaw());
            EXPECT_EQ(two.validCount(), one.validCount());
            EXPECT_EQ(two.damagedCount(), one.damagedCount());
            EXPECT_EQ(two.gapLimit(), 3);
            EXPECT_EQ(csvOf(two, {&file}, Tab), csvOf(one, {&file}, Tab));
            std::vector<DayStats> twoDays;
            const RangeStats twoTotal = statsOf(two, {&file}, "21:25:45:55", &twoDays);
            EXPECT_EQ(summaryCsv(twoTotal, twoDays), summaryCsv(oneTotal, oneDays));
            EXPECT_EQ(twoTotal.temperature.excursionsAbove, oneTotal.temperature.excursionsAbove);
        }
    }
}

TEST(PlotLive, GrowingFileReadsAsAWholeOne) {
    const std::string file = largeFile();
    const std::string empty;
    CPlotModel live = modelOf({&empty});
    for (std::size_t at = 0; at < file.size(); at += 997)
        live.appendBytes(0, std::string_view(file).substr(at, 997));
    const CPlotModel whole = modelOf({&file});
    EXPECT_EQ(live.validCount(), whole.validCount());
    EXPECT_EQ(csvOf(live, {&file}, Tab), csvOf(whole, {&file}, Tab));
    for (int level = 0; level < kLevels; ++level)
        ASSERT_EQ(live.summary().level(level).size(), whole.summary().level(level).size()) << level;
    const Bucket range = live.summary().combine(bucketOf(civilSeconds({2024, 3, 5, 0, 10, 0})),
                                                bucketOf(civilSeconds({2024, 3, 5, 0, 29, 59})));
    EXPECT_EQ(range.records, 1197u);  // three records lost to the garbage inserted
    EXPECT_EQ(range.longestStep, 2u); // across each of them, in buckets merged in time order
}

// A tie keeps the time it was first reached at, in whatever order records and buckets come; buckets merged in
// either order give the figures of their records together, the step between them included.
TEST(PlotSummary, TiesAndMergesInAnyOrder) {
    const auto describe = [](const Bucket& b) {
        char text[160];
        std::snprintf(text, sizeof text, "%u %lld..%lld step %u T %d@%lld %d@%lld dew %u %.1f..%.1f", b.records,
                      static_cast<long long>(b.first), static_cast<long long>(b.last), b.longestStep, b.temperature.min,
                      static_cast<long long>(b.temperature.minAt), b.temperature.max,
                      static_cast<long long>(b.temperature.maxAt), b.moistAir.count, b.moistAir.dewMin,
                      b.moistAir.dewMax);
        return std::string(text);
    };
    const struct {
        std::vector<std::vector<std::array<int, 3>>> parts; // each a bucket of {time, tenths °C, tenths % or -1}
        const char* merged;
    } rows[] = {
        {{{{100, 5, -1}, {50, 5, -1}, {200, 5, -1}}}, "3 50..200 step 100 T 5@50 5@50 dew 0 0.0..0.0"},
        {{{{100, 5, -1}}, {{50, 5, -1}}}, "2 50..100 step 50 T 5@50 5@50 dew 0 0.0..0.0"},
        {{{{50, 7, -1}}, {{100, 7, -1}}}, "2 50..100 step 50 T 7@50 7@50 dew 0 0.0..0.0"},
        {{{{0, 50, -1}}, {{60, -50, 500}}}, "2 0..60 step 60 T -50@60 50@0 dew 1 -13.8..-13.8"},
    };
    for (const auto& row : rows) {
        Bucket merged;
        for (const auto& part : row.parts) {
            Bucket bucket;
            for (const auto& [time, temperature, humidity] : part) {
                Sample sample;
                sample.time = time;
                sample.hasTemperature = true;
                sample.temperature = temperature;
                sample.hasHumidity = humidity >= 0;
                sample.humidity = humidity;
                bucket.add(sample);
            }
            merged.merge(bucket);
        }
        EXPECT_EQ(describe(merged), row.merged);
    }
}

// Records over weeks, mostly in time order, some late; between adds, ranges of every length across all levels are
// combined and compared with the records themselves: count, first and last time, lowest and highest value.
TEST(PlotSummary, CombinedRangesHoldTheirRecordsWhileTheyGrow) {
    CSummary summary;
    std::vector<Sample> added;
    std::uint32_t random = 12345;
    const auto next = [&random](std::uint32_t below) { return (random = random * 1103515245 + 12345) / 65536 % below; };
    for (int i = 0; i < 3000; ++i) {
        Sample sample;
        sample.time = i * 997 - (next(10) == 0 ? next(200000) : 0);
        sample.hasTemperature = true;
        sample.temperature = static_cast<std::int32_t>(next(600)) - 300;
        summary.add(sample, {});
        added.push_back(sample);
        if (i % 250 != 249)
            continue;
        summary.refresh();
        for (int query = 0; query < 20; ++query) {
            const std::int64_t b0 = next(50000) - 2000, b1 = b0 + next(query < 10 ? 100 : 60000);
            const Bucket got = summary.combine(b0, b1);
            std::uint32_t records = 0;
            std::int64_t first = INT64_MAX, last = INT64_MIN;
            std::int32_t low = INT32_MAX, high = INT32_MIN;
            for (const Sample& s : added) {
                if (bucketOf(s.time) < b0 || bucketOf(s.time) > b1)
                    continue;
                ++records, first = std::min(first, s.time), last = std::max(last, s.time);
                low = std::min(low, s.temperature), high = std::max(high, s.temperature);
            }
            ASSERT_EQ(got.records, records) << i << " " << b0 << ".." << b1;
            if (records > 0) {
                EXPECT_EQ(std::make_tuple(got.first, got.last, got.temperature.min, got.temperature.max),
                          std::make_tuple(first, last, low, high));
            }
        }
    }
}

// Minutes before 1970 have buckets of their own, a bucket merged from another part of a file joins the one of its
// minute, and a range takes the buckets that start in it.
TEST(PlotSummary, BucketsByMinute) {
    CSummary summary, other;
    Sample sample;
    sample.hasTemperature = true;
    for (const std::int64_t time : {-30, 0, 60, 120, 180}) {
        sample.time = time;
        summary.add(sample, {});
    }
    for (const std::int64_t time : {90, 200}) {
        sample.time = time;
        other.add(sample, {});
    }
    summary.merge(other);
    summary.refresh();
    ASSERT_EQ(summary.level(0).size(), 5u);
    EXPECT_EQ(summary.level(0).front().index, -1);
    EXPECT_EQ(summary.combine(1, 1).records + summary.combine(3, 3).records, 4u);
    EXPECT_EQ(summary.range(0, 30, 150), std::make_pair(std::size_t{2}, std::size_t{4}));
    std::int64_t before = 0, after = 0;
    ASSERT_TRUE(summary.lastBefore(2, before) && summary.firstAfter(0, after));
    EXPECT_EQ(std::make_pair(before, after), std::make_pair(std::int64_t{90}, std::int64_t{60}));
    QuantityReading high, low; // held at the ends of 32 bits
    high.noData = low.noData = false;
    high.rawValue = 1e12;
    low.rawValue = -1e12;
    const HxgRecord huge = readHxg(buildBinaryRecord(high, low, 1, 1, {2024, 3, 5, 14, 7, 9})).at(0).record;
    EXPECT_EQ(sampleOf(huge, 0).temperature, INT32_MAX);
    EXPECT_EQ(sampleOf(huge, 0).humidity, -INT32_MAX);
}

TEST(PlotLive, FollowSteps) {
    EXPECT_EQ(planFollow(100, 100), FollowStep::Nothing);
    EXPECT_EQ(planFollow(100, 154), FollowStep::ReadNew);
    EXPECT_EQ(planFollow(100, 0), FollowStep::Reload);
    ViewRange view = fullView(1000, 2000);
    view = followData(view, 2500);
    EXPECT_TRUE(view.following);
    EXPECT_DOUBLE_EQ(view.t1 - view.t0, 1040);
    EXPECT_DOUBLE_EQ(view.t1, 2520.8);
    const ViewRange moved = zoomView(view, 2000, 0.5);
    EXPECT_FALSE(moved.following);
    EXPECT_EQ(followData(moved, 9000).t1, moved.t1);
}

std::string viewText(const ViewRange& v) {
    return formatFixed(v.t0, 1) + ".." + formatFixed(v.t1, 1) + (v.following ? " following" : "");
}

// The margins of a whole or followed view, the view after files were read, and the value axis' headroom.
TEST(PlotView, ZoomSelectAndMargins) {
    const auto text = viewText;
    EXPECT_EQ(text(zoomView({500, 500, true}, 500, 2)), "495.0..505.0");
    EXPECT_EQ(text(fullView(100, 100)), "98.8..161.2 following");
    EXPECT_EQ(text(followData({1000, 2000, true}, 1990)), "1000.0..2000.0 following");
    EXPECT_EQ(text(followData({1000, 2000, true}, 1991)), "1011.0..2011.0 following");
    EXPECT_EQ(text(viewAfterLoad({1000, 2000, true}, true, true, 100, 1991)), "1011.0..2011.0 following");
    EXPECT_EQ(text(viewAfterLoad({1000, 2000, false}, true, true, 100, 100)), "98.8..161.2 following");
    EXPECT_EQ(text(viewAfterLoad({1000, 2000, true}, false, false, 0, 0)), "0.0..0.0 following");
    EXPECT_EQ(text(viewAfterGrowth({0, 0, true}, true, 100, 100)), "98.8..161.2 following");
    EXPECT_EQ(text(viewAfterGrowth({1000, 2000, true}, true, 100, 1991)), "1011.0..2011.0 following");
    EXPECT_EQ(text(viewAfterGrowth({1000, 2000, false}, true, 100, 1991)), "1000.0..2000.0");
    // A minute a column comes from the summary.
    EXPECT_FALSE(needsRecords(0, 6000, 100));
    EXPECT_TRUE(needsRecords(0, 59, 1));
    double low = 0, high = 0;
    axisRange(true, 10, 20, 0, 100, AxisPlace::Middle, low, high);
    EXPECT_EQ(formatFixed(low, 1) + ".." + formatFixed(high, 1), "9.5..20.5");
    Aggregate aggregate;
    for (const std::int32_t value : {215, 216})
        aggregate.add(value, 0);
    EXPECT_EQ(statsText(aggregate, "°C"), "min 21.5  maks. 21.6  śr. 21.55 °C");
    const MoistAirAggregate air{2, 9.5f, 10.5f, 8.3f, 9.7f, 20, 18};
    EXPECT_EQ(moistAirText(air, true) + " | " + moistAirText(air, false) + " | " + statsText({}, "%") + " | " +
                  moistAirText({}, false),
              "min 9.5  maks. 10.5  śr. 10.00 °C | min 8.3  maks. 9.7  śr. 9.00 g/m³ | brak wartości | brak wartości");
}

// The mouse and the arrow keys over a plot of 1000 columns from x = 64 showing 1000 s from t = 1000, one second a
// column: the view, the cursor line and the band after each script. p, b: a button pressed to pan or to select at
// x; m: a move to x; u: the button released; x: the pointer left; w+, w-: the wheel in or out at x; k+, k-: the
// arrow right or left, ^ with Ctrl.
TEST(PlotMouse, PanSelectZoomAndFollowing) {
    const std::pair<const char*, const char*> rows[] = {
        {"", "1000.0..2000.0 following"},
        {"m564", "1000.0..2000.0 following cursor 564"},
        {"m564 m20", "1000.0..2000.0 following"},
        {"m564 x", "1000.0..2000.0 following"},
        {"p100 m150", "950.0..1950.0 cursor 150"},
        {"p100 m150 m90 u", "1010.0..2010.0 cursor 90"}, // from where the drag began
        {"p100 u", "1000.0..2000.0 following"},
        {"b100 m300", "1000.0..2000.0 following cursor 300 band 100..300"},
        {"b100 m300 u", "1036.0..1236.0 cursor 300"},
        {"b300 m1200 u", "1236.0..2000.0"}, // the band stops at the plot's edge
        {"b100 m103 u", "1000.0..2000.0 following cursor 103"},
        {"b100 m96 u", "1029.0..1039.0 cursor 96"}, // 10 s at least
        {"w+564", "1100.0..1900.0"},
        {"w+164", "1020.0..1820.0"}, // the time under the pointer stays
        {"w-10", "875.0..2125.0"},   // off the plot: around the middle
        {"k+", "1100.0..2100.0"},
        {"k-^", "500.0..1500.0"},
    };
    const PlotColumns columns{64, 1064};
    for (const auto& [script, expected] : rows) {
        ChartMouse mouse;
        ViewRange view{1000, 2000, true};
        std::istringstream events(script);
        for (std::string event; events >> event;) {
            const int x = std::atoi(event.c_str() + (event[0] == 'w' ? 2 : 1));
            ChartStep step;
            if (event[0] == 'p' || event[0] == 'b')
                mouse.press(x, event[0] == 'b', view);
            else if (event[0] == 'm')
                step = mouse.move(x, columns, view);
            else if (event[0] == 'u')
                step = mouse.release(columns, view);
            else if (event[0] == 'x')
                step = mouse.leave();
            else if (event[0] == 'w')
                step = mouse.wheel(x, event[1] == '+', columns, view);
            else
                step = arrowKey(view, event[1] == '+', event.size() > 2);
            view = step.view.value_or(view);
        }
        std::string got = viewText(view);
        if (mouse.cursor() >= 0)
            got += " cursor " + std::to_string(mouse.cursor());
        if (const auto band = mouse.band())
            got += " band " + std::to_string(band->first) + ".." + std::to_string(band->second);
        EXPECT_EQ(got, expected) << script;
    }
}

// Each line as "x:low-high", "+" where it joins the point before; the four lines apart by " | ".
std::string dump(const Trace& trace) {
    std::ostringstream out;
    for (const auto* line : {&trace.temperature, &trace.humidity, &trace.dewPoint, &trace.absoluteHumidity}) {
        out << (line == &trace.temperature ? "" : " |");
        for (const TracePoint& p : *line)
            out << ' ' << p.x << ':' << p.low << (p.high == p.low ? "" : "-" + std::to_string(p.high))
                << (p.joined ? "+" : "");
    }
    return out.str();
}

// runs.hxg: 23:59:57 to 00:00:00 every second, then 06:30:00 to 06:30:04, two records of those with no values and
// one with the humidity alone.
TEST(PlotTrace, GapsWhereRecordsCarryNoValueOrStop) {
    const std::string file = fixture("runs.hxg");
    const CPlotModel model = modelOf({&file});
    const double t0 = civilSeconds({2025, 1, 1, 6, 29, 59}), t1 = t0 + 10;
    EXPECT_EQ(dump(traceFromSamples(model.samples(t0, t1, readerOf({&file})), t0, t1, 100, model.gapLimit(), true)),
              " 10:190 50:192 | 10:555 40:550 50:549+ | 10:99 50:99 | 10:90 50:90");
    // Two days in 360 columns of 8 minutes each, starting 4 minutes into one: the buckets of the next level, with
    // the dew point and the absolute humidity. Buckets side by side join even where no gap is allowed.
    const double d0 = civilSeconds({2024, 12, 31, 0, 4, 0}), d1 = d0 + 2 * 86400;
    EXPECT_EQ(dump(traceFromSummary(model.summary(), d0, d1, 360, 0, true)),
              " 178.5:257-259 179.5:203+ 227.5:190-192 | 178.5:500 179.5:501+ 227.5:549-555"
              " | 178.5:145-147 179.5:96+ 227.5:99 | 178.5:119-121 179.5:88+ 227.5:90");
    // Minutes: the buckets one beyond each edge are drawn, those further out not (23:59).
    const double e0 = civilSeconds({2025, 1, 1, 0, 1, 30}), e1 = civilSeconds({2025, 1, 1, 6, 29, 50});
    EXPECT_EQ(dump(traceFromSummary(model.summary(), e0, e1, 400, model.gapLimit())),
              " -1.5:203 400.5:190-192 | -1.5:501 400.5:549-555 | |");
    // Values exactly the gap limit (3 s) apart are joined, one second more apart not; no columns, no time: nothing.
    const std::vector<Sample> steps = {{100, 200, 500, 0, true, true},
                                       {101, 201, 501, 0, true, true},
                                       {104, 204, 0, 0, true, false},
                                       {108, 208, 0, 0, true, false}};
    EXPECT_EQ(dump(traceFromSamples(steps, 100, 110, 10, 3)), " 0:200 1:201+ 4:204+ 8:208 | 0:500 1:501+ | |");
    // Two seconds a column: values in one column become one stroke in its middle.
    EXPECT_EQ(dump(traceFromSamples(steps, 100, 110, 5, 3)), " 0.5:200-201 2:204+ 4:208 | 0.5:500-501 | |");
    for (const auto& [columns, span] : {std::pair{0, 10.0}, {10, 0.0}}) {
        EXPECT_EQ(dump(traceFromSamples(steps, 100, 100 + span, columns, 3)), " | | |");
        EXPECT_EQ(dump(traceFromSummary(model.summary(), d0, d0 + span, columns, 3)), " | | |");
    }
}

// Every label of the axis, with its context in brackets.
std::string labelsOf(const CTimeZone& zone, double t0, double t1, int labelWidth) {
    std::string out;
    for (const TimeTick& tick : timeTicks(zone, t0, t1, 1000, labelWidth))
        out += (out.empty() ? "" : " ") + tick.label + (tick.context.empty() ? "" : "[" + tick.context + "]");
    return out;
}

// Proleptic Gregorian seconds from 1970 both ways, before 1970 too: worked dates, then a day in every 997 with the
// seconds going round from year 1 to 9999.
TEST(TimeAxis, CivilSecondsBothWaysFromYearOneOn) {
    const std::pair<LocalTime, std::int64_t> dates[] = {
        {{1970, 1, 1, 0, 0, 0}, 0},
        {{1969, 12, 31, 23, 59, 59}, -1},
        {{2000, 3, 1, 0, 0, 0}, 951868800},
        {{1900, 3, 1, 0, 0, 0}, -2203891200},
        {{1600, 2, 29, 12, 0, 0}, -11670955200},
        {{1, 1, 1, 0, 0, 0}, -62135596800},
        {{9999, 12, 31, 23, 59, 59}, 253402300799},
    };
    const auto text = [](const LocalTime& t) {
        char out[40];
        std::snprintf(out, sizeof out, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                      t.second);
        return std::string(out);
    };
    for (const auto& [date, seconds] : dates) {
        EXPECT_EQ(civilSeconds(date), seconds) << text(date);
        EXPECT_EQ(text(civilTime(seconds)), text(date));
    }
    for (std::int64_t t = dates[5].second; t <= dates[6].second; t += 997 * 86400 + 7)
        ASSERT_EQ(civilSeconds(civilTime(t)), t) << text(civilTime(t));
}

TEST(TimeAxis, LabelsAdaptFromSecondsToCenturies) {
    const struct {
        double from, span;
        int labelWidth;
        const char* labels;
    } rows[] = {
        {0, 25, 80,
         "14:07:10[05.03.2024] 14:07:12 14:07:14 14:07:16 14:07:18 14:07:20 14:07:22 14:07:24 14:07:26 14:07:28 "
         "14:07:30 14:07:32 14:07:34"}, // exactly two seconds a label wanted; the range starts on a tick
        {0.5, 19, 80, "14:07:12[05.03.2024] 14:07:14 14:07:16 14:07:18 14:07:20 14:07:22 14:07:24 14:07:26 14:07:28"},
        {0, 600, 80, "14:08[05.03.2024] 14:09 14:10 14:11 14:12 14:13 14:14 14:15 14:16 14:17"},
        {0, 86400, 80,
         "16:00[05.03.2024] 18:00 20:00 22:00 00:00[06.03.2024] 02:00 04:00 06:00 08:00 10:00 12:00 14:00"},
        {0, 10 * 86400.0, 80, "06.03[2024] 07.03 08.03 09.03 10.03 11.03 12.03 13.03 14.03 15.03"},
        {0, 30 * 86400.0, 80, "11.03[2024] 18.03 25.03 01.04"},                                // Mondays
        {0, 365 * 86400.0, 80, "kwi[2024] maj cze lip sie wrz paź lis gru sty[2025] lut mar"}, // over a new year
        {0, 3650 * 86400.0, 80, "2025 2026 2027 2028 2029 2030 2031 2032 2033 2034"},
        {0, 36500 * 86400.0, 8000, "2100"}, // the coarsest step
    };
    const double t0 = civilSeconds({2024, 3, 5, 14, 7, 10});
    for (const auto& row : rows)
        EXPECT_EQ(labelsOf(noZone(), t0 + row.from, t0 + row.from + row.span, row.labelWidth), row.labels) << row.span;
    // The hour the clock skips in spring and the one it repeats in autumn.
    const double spring = civilSeconds({2026, 3, 28, 23, 0, 0}), autumn = civilSeconds({2026, 10, 24, 23, 0, 0});
    EXPECT_EQ(labelsOf(warsaw(), spring, spring + 4 * 3600, 80),
              "00:00[29.03.2026] 00:30 01:00 01:30 03:00 03:30 04:00 04:30 05:00");
    EXPECT_EQ(labelsOf(warsaw(), autumn, autumn + 4 * 3600, 80),
              "01:00[25.10.2026] 01:30 02:00 02:30 02:00 02:30 03:00 03:30 04:00");
    // Regression: after a 23-hour day's clock change the next mark was looked for an hour too late and skipped.
    EXPECT_EQ(labelsOf(warsaw(), spring - 2 * 86400.0, spring + 3 * 86400.0, 80),
              "00:00[27.03.2026] 12:00 00:00[28.03.2026] 12:00 00:00[29.03.2026] 12:00 00:00[30.03.2026] 12:00 "
              "00:00[31.03.2026] 12:00 00:00[01.04.2026]");
    EXPECT_EQ(labelsOf(warsaw(), spring - 4 * 86400.0, spring + 6 * 86400.0, 80),
              "25.03[2026] 26.03 27.03 28.03 29.03 30.03 31.03 01.04 02.04 03.04 04.04");
    // Months start at local midnight: 1 April in summer time, 1 November in winter time.
    const std::vector<TimeTick> months = timeTicks(warsaw(), spring, spring + 365 * 86400.0, 1000, 80);
    ASSERT_EQ(months.size(), 12u);
    EXPECT_EQ(std::make_pair(months[0].time, months[7].time),
              std::make_pair(civilSeconds({2026, 3, 31, 22, 0, 0}), civilSeconds({2026, 10, 31, 23, 0, 0})));
    EXPECT_EQ(formatStamp(civilSeconds({2024, 2, 29, 23, 59, 59}) + 1), "2024.03.01 00:00:00");
}

TEST(TimeAxis, ValueTicks) {
    struct Row {
        double low, high;
        std::vector<std::string> labels;
    };
    const Row rows[] = {
        {19.3, 20.4, {"19.4", "19.6", "19.8", "20.0", "20.2", "20.4"}},
        {-12, 31, {"-10", "0", "10", "20", "30"}},
        {0, 100, {"0", "20", "40", "60", "80", "100"}},
        {0, 4.5, {"0", "1", "2", "3", "4"}}, // a step of ten times the wanted one's power loses a decimal
    };
    for (const Row& row : rows) {
        std::vector<std::string> labels;
        for (const ValueTick& tick : valueTicks(row.low, row.high, 300, 40))
            labels.push_back(tick.label);
        EXPECT_EQ(labels, row.labels);
    }
}

TEST(PlotCommand, CommandLines) {
    // What a command line gives, as words: the action (0 window, 1 csv, 2 png, 3 summary, 4 report), the output,
    // the size, the separator and the number of files; or 5 and why it was refused.
    const auto describe = [](const PlotCommand& c) {
        if (c.action == PlotCommand::Usage)
            return "5 " + c.error;
        return std::to_string(c.action) + " " + c.output + " " + std::to_string(c.width) + "x" +
               std::to_string(c.height) + " " + std::to_string(c.separator) + " " + std::to_string(c.files.size());
    };
    const std::string size = "5 --size wymaga rozmiaru SZERxWYS, od 200x150 do 8000x8000";
    const std::string limits = "5 --limits wymaga granic T_MIN:T_MAKS:RH_MIN:RH_MAKS (puste pole: bez granicy)";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{}, "0  1200x700 2 0"},
        {{"a-", "-b"}, "0  1200x700 2 2"},
        {{"--csv", "o.csv", "a.hxg"}, "1 o.csv 1200x700 2 1"},
        {{"--csv", "o.csv", "--tab", "a.hxg"}, "1 o.csv 1200x700 0 1"},
        {{"--png", "o.png", "--size", "200X150", "a.hxg"}, "2 o.png 200x150 2 1"},
        {{"--png", "o.png", "--size", "80x60", "a.hxg"}, size},
        {{"--csv", "o.csv"}, "5 brak pliku .hxg"},
        {{"--size", "800x600", "a.hxg"}, "5 --size tylko z --png i --report"},
        {{"--csv", "o.csv", "--png", "p.png", "a.hxg"}, "5 --png wymaga jednego pliku wyjściowego"},
        {{"--bogus", "a.hxg"}, "5 nieznana opcja --bogus"},
        {{"--summary", "s.csv", "--limits", "2:8::", "--mkt-dh", "83.144", "a.hxg"}, "3 s.csv 1200x700 2 1"},
        {{"--report", "r.html", "--from", "2026-10-25", "--to", "2026-10-25 02:30", "a.hxg"}, "4 r.html 1200x700 2 1"},
        {{"--csv", "o.csv", "--limits", ":::", "a.hxg"}, "5 --limits tylko z --png, --summary i --report"},
        {{"--summary", "s.csv", "--limits", "9:8::", "a.hxg"}, limits},
        {{"--summary", "s.csv", "--limits", "2:8:", "a.hxg"}, limits},
        {{"--summary", "s.csv", "--limits", "8:8::", "a.hxg"}, "3 s.csv 1200x700 2 1"}, // a low may equal its high
        {{"--summary", "s.csv", "--limits", "2.125:30::", "a.hxg"}, limits},            // two decimals at most
        {{"--summary", "s.csv", "--mkt-dh", "0", "a.hxg"},
         "5 --mkt-dh wymaga energii aktywacji w kJ/mol, od 0.001 do 1000"},
        {{"--summary", "s.csv", "--mkt-dh", "1000,000", "a.hxg"}, "3 s.csv 1200x700 2 1"},
        {{"--png", "o.png", "--mkt-dh", "80", "a.hxg"}, "5 --mkt-dh tylko z --summary i --report"},
        {{"--summary", "s.csv", "--tab", "a.hxg"}, "5 --tab tylko z --csv"},
        {{"--png", "o.png", "--from", "2026-02-30", "a.hxg"}, "5 --from wymaga czasu RRRR-MM-DD[ GG:MM[:SS]]"},
        {{"--png", "o.png", "--from", "2026-10-26", "--to", "2026-10-25", "a.hxg"}, "5 --from po --to"},
        {{"--png", "o.png", "--from", "2026-10-25 02:30:15", "--to", "2026-10-25 02:30:15", "a.hxg"},
         "2 o.png 1200x700 2 1"},
        {{"--from", "2026-10-25", "a.hxg"}, "5 --from i --to tylko z eksportem"},
        {{"a.hxg", "--csv"}, "5 --csv wymaga jednego pliku wyjściowego"},
        {{"--report", "r.html", "--size", "08000x08000", "a.hxg"}, "4 r.html 8000x8000 2 1"},
        {{"--png", "o.png", "--size", "1920x1080", "a.hxg"}, "2 o.png 1920x1080 2 1"},
    };
    for (const auto& [args, expected] : rows)
        EXPECT_EQ(describe(parsePlotCommand(args)), expected) << ::testing::PrintToString(args);
    for (const char* refused : {"199x150", "200x149", "8001x600", "800x8001", "8a0x600", "800x600x", "800x"})
        EXPECT_EQ(describe(parsePlotCommand({"--png", "o.png", "--size", refused, "a.hxg"})), size) << refused;
    // Local times: the first second named, or with `end` the last; -1 where refused.
    const std::tuple<const char*, bool, std::int64_t> times[] = {
        {"2026-12-31", false, civilSeconds({2026, 12, 31, 0, 0, 0})},
        {"2026-12-31", true, civilSeconds({2026, 12, 31, 23, 59, 59})},
        {"2026-10-25 23:59", true, civilSeconds({2026, 10, 25, 23, 59, 59})},
        {"2026-10-25 02:30:15", true, civilSeconds({2026, 10, 25, 2, 30, 15})},
        {"0001-01-01 00:00:00", false, civilSeconds({1, 1, 1, 0, 0, 0})},
        {"2026-10-25 24:00", false, -1},
        {"2026-10-25 23:60", false, -1},
        {"2026-10-25 02:30:60", false, -1},
        {"2026-10-25 02:30:1", false, -1},
        {"2026-10-25T02:30", false, -1},
        {"2026-13-01", false, -1},
        {"2026-00-10", false, -1},
        {"0000-01-01", false, -1},
    };
    for (const auto& [text, end, expected] : times) {
        std::int64_t local = 12345; // not a result any row expects
        EXPECT_EQ(parseLocalTime(text, end, local) ? local : -1, expected) << text;
    }
    const PlotCommand ranged = parsePlotCommand(rows[11].first);
    EXPECT_EQ(ranged.from, civilSeconds({2026, 10, 25, 0, 0, 0}));
    EXPECT_EQ(ranged.to, civilSeconds({2026, 10, 25, 2, 30, 59}));
    const PlotCommand limited = parsePlotCommand(rows[10].first);
    EXPECT_TRUE(limited.analysis.temperature.hasLow && limited.analysis.temperature.hasHigh);
    EXPECT_EQ(limited.analysis.temperature.high, 800);
    EXPECT_FALSE(limited.analysis.humidity.hasLow || limited.analysis.humidity.hasHigh);
    EXPECT_DOUBLE_EQ(limited.analysis.activation, 83.144);
    AnalysisSettings kept;
    ASSERT_TRUE(parseLimits("1:2:3:4", kept));
    const AnalysisSettings exported = commandAnalysis(limited, kept);
    EXPECT_EQ(exported.temperature.high, 800);
    EXPECT_FALSE(exported.humidity.hasHigh);
    EXPECT_EQ(commandAnalysis(parsePlotCommand(rows[0].first), kept).humidity.high, 400);
}

// The window's report and the command line's exports are one job: its ranges and its size, then the page (the
// statistics, the chart through the program's painter, the files) or why there is none. Records a minute from
// 08:00 to 09:00; times from the first.
TEST(PlotReport, OneJobForTheWindowAndTheCommandLine) {
    const std::string file = recordsFrom({2026, 6, 1, 8, 0, 0}, 60, std::vector<double>(61, 20.0));
    const CPlotModel model = modelOf({&file});
    const std::int64_t first = model.firstTime();
    const auto text = [&](const ReportJob& job) {
        return std::to_string(job.from - first) + ".." + std::to_string(job.to - first) + " " +
               viewText({job.view.t0 - first, job.view.t1 - first, job.view.following}) + " " +
               std::to_string(job.width) + "x" + std::to_string(job.height);
    };
    const auto command = [&](std::vector<std::string> args) {
        args.push_back("f.hxg");
        return text(commandReport(model, parsePlotCommand(args), {}, 0));
    };
    EXPECT_EQ(text(viewReport({first - 0.5, first + 99.5, false}, {}, {}, 0)), "0..99 -0.5..99.5 1200x600");
    EXPECT_EQ(command({"--report", "r.html"}), "0..3600 -72.0..3672.0 following 1200x600");
    EXPECT_EQ(command({"--png", "p.png"}), "0..3600 -72.0..3672.0 following 1200x700");
    EXPECT_EQ(command({"--png", "p.png", "--size", "800x450", "--from", "2026-06-01 08:30"}),
              "1800..3600 1800.0..3600.0 800x450");
    EXPECT_EQ(command({"--report", "r.html", "--to", "2026-06-01 08:00"}), "0..59 0.0..59.0 1200x600");
    EXPECT_EQ(command({"--summary", "s.csv", "--from", "2026-06-01 09:00"}), "3600..3600 3600.0..3610.0 1200x700");

    std::string html, drawn;
    const ChartEncoder encode = [&](int width, int height, const ChartData& data, const ChartOptions&,
                                    std::string& png) {
        drawn = std::to_string(width) + "x" + std::to_string(height) + " " + std::to_string(data.stats.records);
        png = "PNG";
        return true;
    };
    const ReportJob job = viewReport({first - 0.5, first + 120.5, false}, {}, {}, civilSeconds({2026, 6, 2, 9, 30, 5}));
    ASSERT_EQ(reportPage(model, job, readerOf({&file}), encode, html), ReportResult::Made);
    EXPECT_EQ(drawn, "1200x600 3");
    for (const std::string& part : {"base64," + base64("PNG"), std::string("<td>f</td><td>61</td><td>0</td>"),
                                    std::string("Sporządzono 2026.06.02 09:30:05")}) {
        EXPECT_NE(html.find(part), std::string::npos) << part;
    }
    const ByteReader unreadable = [](std::size_t, std::uint64_t, std::uint64_t, std::string&) { return false; };
    const ChartEncoder undrawn = [](int, int, const ChartData&, const ChartOptions&, std::string&) { return false; };
    EXPECT_EQ(reportPage(model, job, unreadable, encode, html), ReportResult::Unreadable);
    EXPECT_EQ(reportPage(model, job, readerOf({&file}), undrawn, html), ReportResult::Undrawn);
}

// Worked by hand: ΔH/R = 83144 / 8.3144 = 10000 K; exp(-10000/293.15) and exp(-10000/303.15) held for equal times
// average to exp(-32.98697) * (1 + exp(-1.12526)) / 2 = exp(-33.39903), and 10000 / 33.39903 = 299.4099 K.
TEST(PlotStatistics, MeanKineticTemperatureOfTwoTemperaturesHeldForEqualTimes) {
    std::vector<double> values(60, 20.0);
    values.resize(120, 30.0);
    const std::string file = recordsFrom({2026, 6, 1, 8, 0, 0}, 60, values);
    const RangeStats stats = statsOf(modelOf({&file}), {&file}, ":::");
    ASSERT_TRUE(stats.temperature.haveKinetic);
    EXPECT_NEAR(stats.temperature.kinetic, 26.2599, 1e-4);
    EXPECT_DOUBLE_EQ(stats.temperature.mean, 25);
    EXPECT_DOUBLE_EQ(stats.temperature.deviation, 5);
    EXPECT_EQ(stats.temperature.values.maxAt, civilSeconds({2026, 6, 1, 9, 0, 0}));
    EXPECT_FALSE(stats.temperature.haveAbove);
}

// The limits field "T_LOW:T_HIGH:RH_LOW:RH_HIGH" and the activation energy as typed; "-" where they are refused.
// The command-line table has the refusals it shares: three decimals, a low above its high, three fields, energy 0.
TEST(PlotStatistics, LimitsAndActivationAsTyped) {
    const std::pair<const char*, const char*> limits[] = {
        {":::", "|||"},
        {" 15 : 25,5:-0,25:+40 ", "15|25.5|-0.25|40"},
        {"9:99.99:25:25", "9|99.99|25|25"},
        {"-10000:10000::", "-10000|10000||"},
        {"-10000.01:::", "-"},
        {":10000.01::", "-"},
        {"1..5:::", "-"},
        {".:::", "-"},
        {"+:::", "-"},
        {"::60:40", "-"},
        {"::::", "-"},
    };
    const auto shown = [](const AnalysisSettings& s) {
        return limitText(s.temperature.hasLow, s.temperature.low) + "|" +
               limitText(s.temperature.hasHigh, s.temperature.high) + "|" +
               limitText(s.humidity.hasLow, s.humidity.low) + "|" + limitText(s.humidity.hasHigh, s.humidity.high);
    };
    for (const auto& [text, expected] : limits) {
        AnalysisSettings s;
        EXPECT_EQ(parseLimits(text, s) ? shown(s) : "-", expected) << text;
    }
    const std::pair<const char*, double> activations[] = {
        {"83,144", 83.144}, {"0.001", 0.001}, {"1000.001", -1}, {"", -1}, {"1.2345", -1}};
    for (const auto& [text, expected] : activations) {
        double kilojoules = -1;
        EXPECT_EQ(parseActivation(text, kilojoules) ? kilojoules : -1, expected) << text;
    }
    // Kept in plot.ini as typed. A key that does not read keeps what was there; a low above its high keeps them all.
    const auto all = [&](const AnalysisSettings& s) { return shown(s) + "|" + formatFixed(s.activation, 3); };
    CSettingsStore store;
    AnalysisSettings set;
    CPlotIni typed, read, kept;
    ASSERT_TRUE(parseLimits("-0.25:25.5:30:40", set) && parseActivation("90.5", set.activation));
    typed.setAnalysis(set);
    typed.write(store);
    std::string written;
    for (const char* key : {"T_LOW", "T_HIGH", "RH_LOW", "RH_HIGH", "MKT_DH"})
        written += store.getString("LIMITS", key, "?") + "|";
    EXPECT_EQ(written, "-0.25|25.5|30|40|90.500|");
    read.read(store);
    EXPECT_EQ(all(read.analysis()), "-0.25|25.5|30|40|90.500");
    store.setString("LIMITS", "RH_HIGH", "4O");
    store.setString("LIMITS", "MKT_DH", "0");
    store.setString("LIMITS", "T_HIGH", "26");
    read.read(store);
    EXPECT_EQ(all(read.analysis()), "-0.25|26|30|40|90.500");
    store.setString("LIMITS", "T_LOW", "26.01");
    kept.read(store);
    EXPECT_EQ(all(kept.analysis()), "||||83.144");
}

// plot.ini is read at start and written at exit, into the file as it is then: only the sections changed in between,
// each whole (the recent files newest first, once each regardless of case), a section new to the file where it went
// when each change was written at once.
TEST(PlotIni, ExitWritesWhatChangedIntoTheFileAsItIsThen) {
    const std::string atStart = "[RECENT]\r\nFILE1=C:\\a.hxg\r\nFILE2=C:\\b.hxg\r\n";
    const std::string recent = "[RECENT]\r\nFILE1=c:\\A.HXG\r\nFILE2=C:\\c.hxg\r\nFILE3=C:\\b.hxg\r\nFILE4=\r\n"
                               "FILE5=\r\nFILE6=\r\n";
    const std::string limits = "[LIMITS]\r\nT_LOW=15\r\nT_HIGH=25\r\nRH_LOW=\r\nRH_HIGH=\r\nMKT_DH=83.144\r\n";
    struct Row {
        const char* name;
        std::string atExit;  // the file when this Plot ends
        const char* session; // R: files read, L: limits set
        std::string written;
    };
    const Row rows[] = {
        {"nothing changed", "[RECENT]\r\nFILE1=C:\\z.hxg\r\n", "", "[RECENT]\r\nFILE1=C:\\z.hxg\r\n"},
        {"files read", atStart, "R", recent},
        {"limits set: another Plot's recent files stay", "[RECENT]\r\nFILE1=C:\\z.hxg\r\n", "L",
         "[RECENT]\r\nFILE1=C:\\z.hxg\r\n" + limits},
        {"limits, then files, into an empty file", "", "LRL", limits + recent},
        {"files, then limits", "", "RL", recent + limits},
    };
    settings_test::TempDir dir;
    for (const Row& row : rows) {
        const std::string path = dir.file("plot.ini");
        settings_test::writeBytes(path, atStart);
        CSettingsStore start;
        ASSERT_TRUE(start.open(path, SettingsFileUse::Read));
        CPlotIni ini;
        ini.read(start);
        AnalysisSettings analysis;
        ASSERT_TRUE(parseLimits("15:25::", analysis));
        for (const char* event = row.session; *event; ++event) {
            if (*event == 'L')
                ini.setAnalysis(analysis);
            else
                ini.rememberFiles({"C:\\c.hxg", "c:\\A.HXG"});
        }
        settings_test::writeBytes(path, row.atExit);
        EXPECT_EQ(ini.changed(), *row.session != 0) << row.name;
        if (ini.changed()) {
            CSettingsStore store;
            ASSERT_TRUE(store.open(path, SettingsFileUse::Keep));
            ini.write(store);
            store.save();
        }
        EXPECT_EQ(settings_test::readBytes(path), row.written) << row.name;
    }
    CPlotIni many;
    many.rememberFiles({"1", "2", "3", "4", "5", "6", "7"});
    EXPECT_EQ(many.recent(), (std::vector<std::string>{"7", "6", "5", "4", "3", "2"}));
}

// The time each record stands for and the most common step, whole and with the records split into a part and the
// part that follows it (as two threads read a file): "time:seconds" of each record, then "+" the newest one's.
TEST(PlotStatistics, RecordDurationsAndTheMostCommonStepSplitAnywhere) {
    const struct {
        std::vector<std::int64_t> times;
        const char* durations;
        std::int64_t mostCommon;
    } cases[] = {
        {{}, "-", 0},
        {{0}, "+0:0", 0},
        {{0, 60, 120}, "0:60 60:60 +120:60", 60},
        {{0, 60, 240}, "0:60 60:180 +240:180", 60},           // three steps long: no gap yet
        {{0, 60, 300, 360}, "0:60 60:60 300:60 +360:60", 60}, // a gap: as long as the step before
        {{0, 1, 2, 12, 22}, "0:1 1:1 2:1 12:10 +22:10", 1},
        {{0, 60, 30}, "0:60 60:0 +30:0", 60}, // the clock set back
        {{0, 0, 60}, "0:0 0:60 +60:60", 60},
        {{0, 10, 70, 80, 90, 150, 210}, "0:10 10:10 70:10 80:10 90:10 150:60 +210:60", 10}, // a tie: the shorter
        {{0, 60, 70, 80, 90, 150, 210}, "0:60 60:10 70:10 80:10 90:10 150:60 +210:60", 10},
    };
    for (const auto& c : cases) {
        for (std::size_t split = 0; split <= c.times.size(); ++split) {
            SCOPED_TRACE(testing::Message() << c.durations << " split " << split);
            std::vector<std::pair<std::int64_t, std::int64_t>> emitted;
            const auto emit = [&emitted](const Sample& s, std::int64_t seconds) {
                emitted.push_back({s.time, seconds});
            };
            CRecordDurations earlier(false), later(true);
            CStepCounts earlierSteps, laterSteps;
            for (std::size_t i = 0; i < c.times.size(); ++i) {
                Sample sample;
                sample.time = c.times[i];
                (i < split ? earlier : later).feed(sample, emit);
                if (i > 0)
                    (i < split ? earlierSteps : laterSteps).note(c.times[i] - c.times[i - 1]);
            }
            later.follow(earlier, emit);
            std::sort(emitted.begin(), emitted.end());
            std::string text;
            for (const auto& [time, seconds] : emitted)
                text += std::to_string(time) + ":" + std::to_string(seconds) + " ";
            Sample newest;
            std::int64_t seconds = 0;
            text += later.pending(newest, seconds) ? "+" + std::to_string(newest.time) + ":" + std::to_string(seconds)
                                                   : "-";
            EXPECT_EQ(text, c.durations);
            earlierSteps.merge(laterSteps);
            EXPECT_EQ(earlierSteps.mostCommon(), c.mostCommon);
        }
    }
    // Steps of more than 256 lengths: the later lengths are not kept.
    CStepCounts steps;
    for (std::int64_t step = 1; step <= 256; ++step)
        steps.note(step);
    for (const std::int64_t step : {300, 300, 300, 1, 0, -5})
        steps.note(step);
    EXPECT_EQ(steps.mostCommon(), 1);
}

// A stretch split anywhere and joined again, in either order, is the whole stretch; the time and excursions past
// each limit are counted here record by record (a value on the limit is not past it).
TEST(PlotStatistics, ProfileJoinedFromAnySplitIsTheWhole) {
    const std::vector<std::int32_t> values = {230, 251, 250, 249, 260, 200, 150, 149, 300, 149, 151, 250};
    const auto profileOf = [&values](std::size_t from, std::size_t to) {
        CQuantityProfile profile;
        for (std::size_t i = from; i < to; ++i) {
            profile.addValue(values[i], static_cast<std::int64_t>(i) * 10);
            profile.addTime(values[i], 10 + static_cast<std::int64_t>(i));
        }
        return profile;
    };
    const auto expect = [&values](const CQuantityProfile& p, std::int32_t limit, bool above) {
        std::int64_t seconds = 0;
        std::uint32_t excursions = 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const auto past = [&](std::size_t j) { return above ? values[j] * 10 > limit : values[j] * 10 < limit; };
            seconds += past(i) ? 10 + static_cast<std::int64_t>(i) : 0;
            excursions += past(i) && (i == 0 || !past(i - 1));
        }
        EXPECT_EQ(above ? p.secondsAbove(limit) : p.secondsBelow(limit), seconds) << limit << above;
        EXPECT_EQ(above ? p.excursionsAbove(limit) : p.excursionsBelow(limit), excursions) << limit << above;
    };
    const auto check = [&](const CQuantityProfile& p) {
        for (const std::int32_t limit : {2500, 2510, 2400, 1500, 1490, 2310, 9990, -9990}) {
            expect(p, limit, true);
            expect(p, limit, false);
        }
        ASSERT_EQ(p.values().size(), 10u);
        EXPECT_EQ(p.values()[0].value, 149);
        EXPECT_EQ(p.values()[0].seconds, 7 + 9 + 20);
    };
    for (std::size_t split = 0; split <= values.size(); ++split) { // 0 and all: the whole joined to nothing
        SCOPED_TRACE(split);
        CQuantityProfile earlier = profileOf(0, split), later = profileOf(split, values.size());
        CQuantityProfile joined = earlier;
        joined.merge(later);
        check(joined);
        later.merge(earlier);
        check(later);
    }
    // Stretches that overlap in time (files of one period): no step joins them.
    CQuantityProfile a, b;
    a.addValue(200, 0), a.addValue(200, 20), b.addValue(300, 10), b.addValue(300, 30), b.addValue(200, 40);
    a.merge(b);
    EXPECT_EQ(a.excursionsAbove(2500), 0u);
    EXPECT_EQ(a.excursionsBelow(2500), 2u); // from the start, and after the 30.0
}

// Worked by hand for 25 °C and 60 %: γ = ln 0.6 + 17.62 * 25 / 268.12 = 1.132095, dew point 243.12 γ / (17.62 - γ)
// = 16.6931 °C; vapour 0.6 * 6.112 * exp(1.642921) = 18.9603 hPa, 216.7 * 18.9603 / 298.15 = 13.7807 g/m3.
TEST(PlotStatistics, DewPointAndAbsoluteHumidity) {
    Sample sample;
    sample.hasTemperature = sample.hasHumidity = true;
    sample.temperature = 250;
    sample.humidity = 600;
    const MoistAir air = moistAirOf(sample);
    ASSERT_TRUE(air.valid);
    EXPECT_NEAR(air.dewPoint, 16.6931, 1e-4);
    EXPECT_NEAR(air.absoluteHumidity, 13.7807, 1e-4);
    // Defined from -45 to 60 °C, for any humidity above 0.
    for (const auto& [temperature, humidity, valid] : {std::tuple{601, 600, false},
                                                       {600, 600, true},
                                                       {-450, 600, true},
                                                       {-451, 600, false},
                                                       {250, 0, false},
                                                       {250, 1, true}}) {
        sample.temperature = temperature;
        sample.humidity = humidity;
        EXPECT_EQ(moistAirOf(sample).valid, valid) << temperature << " " << humidity;
    }
}

// An hour of records a minute with minutes 20 to 29 missing: 50 of 60 records, the longest gap 660 s between two
// records less one interval. Above 25 °C at minutes 5, 6 and 40 (two excursions, 180 s), below 15 °C at 45 and 46;
// the humidity above 40 % from the first record on, which counts as one excursion.
TEST(PlotStatistics, CoverageGapAndExcursionsByDay) {
    std::string before, after; // the same hour in two files, split at the gap
    for (int minute = 0; minute < 60; ++minute) {
        if (minute >= 20 && minute < 30)
            continue;
        const double value = minute == 5 || minute == 6     ? 26
                             : minute == 40                 ? 27
                             : minute == 45 || minute == 46 ? 14
                                                            : 20;
        (minute < 20 ? before : after) += recordsFrom({2026, 6, 1, 8, minute, 0}, 60, {value});
    }
    const std::string file = before + after;
    const CPlotModel model = modelOf({&file}), split = modelOf({&before, &after});
    std::vector<DayStats> days, splitDays;
    const RangeStats total = statsOf(model, {&file}, "15:25::40", &days);
    EXPECT_EQ(model.gapLimit(), 180); // three of the smallest steps
    EXPECT_EQ(summaryCsv(statsOf(split, {&before, &after}, "15:25::40", &splitDays), splitDays),
              summaryCsv(total, days));
    const std::string line =
        ";50;83.33;600;14.00;27.00;20.14;20.36;1.96;180;120;50.00;50.00;50.00;3000;???;9.38;8.74\r\n";
    const std::string header =
        utf8ToCp1250("Dzień;Rekordy;Pokrycie %;Najdłuższa przerwa s;T min;T maks;T średnia;T MKT;T odch. std.;"
                     "T powyżej s;T poniżej s;RH min;RH maks;RH średnia;RH powyżej s;RH poniżej s;"
                     "Punkt rosy średni;Wilgotność bezwzględna średnia g/m3\r\n");
    EXPECT_EQ(summaryCsv(total, days), header + "2026.06.01" + line + "Razem" + line);
    // The report of the range: these figures in its tables, the file's name escaped, the chart embedded.
    ReportContent report{{{"C:\\Dane\\<hala> & \"A\".hxg", 50, 1}}, {}, total, days, "\x89PNG\xFF",
                         civilSeconds({2026, 6, 2, 9, 30, 5})};
    ASSERT_TRUE(parseLimits("15:25::40", report.settings));
    EXPECT_EQ(reportHtml(report, noZone()), fixture("report.html"));
    const std::pair<const char*, const char*> encoded[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"\xFF\xFE\x01", "//4B"}};
    for (const auto& [bytes, text] : encoded) {
        EXPECT_EQ(base64(bytes), text);
        EXPECT_EQ(fromBase64(text), std::optional<std::string>(bytes)) << text;
    }
    for (const char* broken : {"Zg=", "Z===", "Zg=a", "Zm9v!A==", "=Zg="})
        EXPECT_EQ(fromBase64(broken), std::nullopt) << broken;
    const auto joined = [](const std::vector<std::string>& cells) {
        std::string text;
        for (const std::string& cell : cells)
            text += cell + "|";
        return text;
    };
    EXPECT_EQ(joined(statisticsCells(total, noZone(), "Razem", false)),
              "Razem|50|83.33 %|00:10:00|14.0 °C (2026.06.01 08:45:00)|27.0 °C (2026.06.01 08:40:00)|20.14 °C|"
              "20.36 °C|1.96 °C|00:03:00, 2×|00:02:00, 1×|50.0 % (2026.06.01 08:00:00)|50.0 % (2026.06.01 "
              "08:00:00)|50.00 %|0.00 %|00:50:00, 1×|???|9.38 °C|3.7–15.7 °C|8.74 g/m³|6.0–12.8 g/m³|");
    EXPECT_EQ(statisticsCells(total, noZone(), "1.06", true)[4], "14.0 °C (08:45:00)"); // a day's row: times only
    // Records with the temperature alone count their time too: three minutes above 25 °C.
    const std::string bare = recordsFrom({2026, 6, 1, 8, 0, 0}, 60, {20, 26, 26, 26, 20}, std::nullopt);
    const RangeStats bareStats = statsOf(modelOf({&bare}), {&bare}, "15:25::");
    EXPECT_EQ(std::make_pair(bareStats.temperature.secondsAbove, bareStats.temperature.excursionsAbove),
              std::make_pair(std::int64_t{180}, std::uint32_t{1}));
    const std::string one = recordsFrom({2026, 6, 1, 8, 0, 0}, 60, {26});
    const RangeStats oneStats = statsOf(modelOf({&one}), {&one}, "15:25::40");
    EXPECT_EQ(summaryCsv(oneStats, {}).substr(header.size()),
              "Razem;1;???;???;26.00;26.00;26.00;???;0.00;0;0;50.00;50.00;50.00;0;???;14.77;12.15\r\n");
    EXPECT_EQ(joined(statisticsCells(oneStats, noZone(), "1", false)),
              "1|1|???|???|26.0 °C (2026.06.01 08:00:00)|26.0 °C (2026.06.01 08:00:00)|26.00 °C|???|0.00 °C|"
              "00:00:00, 1×|00:00:00, 0×|50.0 % (2026.06.01 08:00:00)|50.0 % (2026.06.01 08:00:00)|50.00 %|"
              "0.00 %|00:00:00, 1×|???|14.77 °C|14.8–14.8 °C|12.15 g/m³|12.1–12.1 g/m³|"); // one record: no time
    // Parts read from the records: a gap counts from the range's start and up to its end, and the records due are
    // those the interval puts into the range.
    const struct {
        int from, to; // seconds after 08:00:00, the end excluded
        std::uint64_t records;
        std::int64_t longestGap, secondsAbove;
        double coverage;
    } parts[] = {{0, 1800, 20, 660 - 60, 120, 66.67},
                 {0, 1500, 20, 360 - 60, 120, 80},
                 {1500, 3600, 30, 300 - 60, 60, 85.71},
                 {1200, 1800, 0, 600 - 60, 0, 0},   // inside the gap: the whole range
                 {2400, 2460, 1, 60 - 60, 60, 100}, // one record
                 // Regression: a range that started between two records was owed one more record than it could
                 // hold (five of six, 83.33 %).
                 {1830, 2131, 5, 0, 0, 100}};
    for (const auto& p : parts) {
        const std::int64_t from = civilSeconds({2026, 6, 1, 8, 0, 0}) + p.from;
        const std::int64_t to = civilSeconds({2026, 6, 1, 8, 0, 0}) + p.to - 1;
        const RangeStats part = statsOf(model, {&file}, "15:25::", from, to),
                         splitPart = statsOf(split, {&before, &after}, "15:25::", from, to);
        EXPECT_EQ(summaryCsv(splitPart, {}), summaryCsv(part, {}));
        EXPECT_EQ(part.records, p.records) << p.from;
        EXPECT_EQ(part.longestGap, p.longestGap) << p.from;
        EXPECT_EQ(part.temperature.secondsAbove, p.secondsAbove) << p.from;
        EXPECT_NEAR(part.coverage, p.coverage, 0.005) << p.from;
    }

    // Over many buckets of several levels the steps are those between consecutive records only.
    const std::string longer = recordsFrom({2026, 6, 1, 0, 0, 0}, 60, std::vector<double>(2000, 20));
    const CPlotModel many = modelOf({&longer});
    EXPECT_EQ(many.summary().combine(bucketOf(many.firstTime()) + 3, bucketOf(many.lastTime()) - 5).longestStep, 60u);
    const std::string finer = recordsFrom({2026, 6, 3, 0, 0, 0}, 10, {20, 20, 20});
    EXPECT_EQ(modelOf({&longer, &finer}).gapLimit(), 30); // the finest file's interval
}

// Zones as the system describes them: the offset (minutes) on both sides of each change (UTC), and around it every
// local time against the absolute times that show it.
TEST(PlotTime, ZoneRulesOfEveryShape) {
    const auto zone = [](int standard, int daylight, ZoneChangeDate to, ZoneChangeDate back) {
        return [=](int) { return ZoneYear{standard, true, daylight, to, back}; };
    };
    struct Change {
        LocalTime utc;
        int before, after;
    };
    const struct {
        const char* name;
        ZoneRules rules;
        std::vector<Change> changes;
    } zones[] = {
        {"second and first Sunday",
         zone(-300, -240, {0, 3, 2, 0, 2, 0, 0}, {0, 11, 1, 0, 2, 0, 0}),
         {{{2026, 3, 8, 7, 0, 0}, -300, -240}, {{2026, 11, 1, 6, 0, 0}, -240, -300}}},
        {"daylight over the new year",
         zone(600, 660, {0, 10, 1, 0, 2, 0, 0}, {0, 4, 1, 0, 3, 0, 0}),
         {{{2026, 4, 4, 16, 0, 0}, 660, 600}, {{2026, 10, 3, 16, 0, 0}, 600, 660}}},
        {"the last Sunday of December",
         zone(60, 120, {0, 3, 5, 0, 2, 0, 0}, {0, 12, 5, 0, 3, 0, 0}),
         {{{2026, 12, 27, 1, 0, 0}, 120, 60}, {{2027, 3, 28, 1, 0, 0}, 60, 120}}},
        {"a fourth Saturday, and a date",
         zone(0, 60, {0, 9, 4, 6, 0, 0, 0}, {1, 12, 31, 0, 23, 0, 0}),
         {{{2026, 9, 26, 0, 0, 0}, 0, 60}, {{2026, 12, 31, 22, 0, 0}, 60, 0}}},
        {"no such month: no daylight time",
         zone(60, 120, {0, 13, 5, 0, 2, 0, 0}, {0, 10, 5, 0, 3, 0, 0}),
         {{{2026, 7, 1, 0, 0, 0}, 60, 60}}},
    };
    for (const auto& z : zones) {
        const CTimeZone timeZone(z.rules);
        for (const Change& change : z.changes) {
            const std::int64_t at = civilSeconds(change.utc);
            SCOPED_TRACE(testing::Message() << z.name << " " << formatStamp(at));
            EXPECT_EQ(timeZone.offsetAt(at - 1), change.before * 60);
            EXPECT_EQ(timeZone.offsetAt(at), change.after * 60);
            for (std::int64_t step = -32; step <= 32; ++step) {
                const std::int64_t local = at + change.before * 60 + step * 450 + (step % 2);
                std::vector<std::int64_t> shown;
                for (const Change& c : z.changes)
                    for (const int offset : {c.before, c.after})
                        if (timeZone.toLocal(local - offset * 60) == local)
                            shown.push_back(local - offset * 60);
                std::sort(shown.begin(), shown.end());
                shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
                // For a skipped time, the moment the clock passes it: approached by less than the hour it may skip.
                std::int64_t first = local - 86400;
                while (shown.empty() && timeZone.toLocal(first) < local)
                    first += std::max<std::int64_t>(1, local - timeZone.toLocal(first) - 3600);
                const ZoneCandidates found = timeZone.candidates(local);
                SCOPED_TRACE(testing::Message() << "local " << formatStamp(local));
                ASSERT_EQ(std::vector<std::int64_t>(found.time, found.time + found.count), shown);
                EXPECT_EQ(timeZone.firstAt(local), shown.empty() ? first : shown.front());
                EXPECT_EQ(timeZone.lastAt(local), shown.empty() ? first - 1 : shown.back());
                const ZoneStretch stretch = timeZone.stretchAt(local);
                EXPECT_EQ(stretch.from < stretch.to, shown.size() == 1);
                if (shown.size() == 1) {
                    EXPECT_TRUE(stretch.from <= local && local < stretch.to);
                    EXPECT_EQ(stretch.offset, local - shown.front());
                    for (const std::int64_t end : {stretch.from, stretch.to - 1})
                        EXPECT_EQ(timeZone.toLocal(end - stretch.offset), end);
                }
            }
        }
    }
    // A time the clock shows twice is told apart by its offset.
    std::string stamps;
    for (const auto& [z, utc] : {std::pair{0, LocalTime{2026, 11, 1, 5, 30, 0}},
                                 {0, {2026, 11, 1, 6, 30, 0}},
                                 {3, {2026, 12, 31, 21, 30, 0}},
                                 {3, {2026, 12, 31, 22, 30, 0}}})
        stamps += zoneStamp(CTimeZone(zones[z].rules), civilSeconds(utc)) + "|";
    EXPECT_EQ(stamps, "2026.11.01 01:30:00 UTC-04:00|2026.11.01 01:30:00 UTC-05:00|2026.12.31 22:30:00 UTC+01:00|"
                      "2026.12.31 22:30:00 UTC+00:00|");
}

// A fault of the merging by local time: the hour repeated when the clock goes back was mixed into the first, so the
// export alternated between the two minute by minute and the chart went back and forth.
TEST(PlotTime, RepeatedHourFollowsTheFirstAndTheSkippedOneIsNoGap) {
    const std::string autumn = recordsFrom({2026, 10, 25, 1, 58, 0}, 60, std::vector<double>(62, 22.4)) +
                               recordsFrom({2026, 10, 25, 2, 0, 0}, 60, std::vector<double>(62, 22.6));
    const std::string spring =
        recordsFrom({2026, 3, 29, 1, 58, 0}, 60, {20, 20}) + recordsFrom({2026, 3, 29, 3, 0, 0}, 60, {20, 20});
    // Regression: an hourly record of the repeated hour was put onto the one before it.
    const std::string hourly = recordsFrom({2026, 10, 25, 0, 30, 0}, 3600, {21, 22, 23}) +
                               recordsFrom({2026, 10, 25, 2, 30, 0}, 3600, std::vector<double>(22, 24));
    EXPECT_EQ(warsaw().candidates(civilSeconds({2026, 10, 25, 2, 30, 0})).count, 2);
    EXPECT_EQ(warsaw().candidates(civilSeconds({2026, 3, 29, 2, 30, 0})).count, 0);
    const std::pair<const std::string*, std::int64_t> files[] = {{&autumn, 60}, {&spring, 60}, {&hourly, 3600}};
    for (const auto& [file, step] : files) {
        const CPlotModel model = modelOf({file}, 1, kLoadChunk, warsaw());
        const std::vector<Sample> samples = model.samples(model.firstTime(), model.lastTime(), readerOf({file}));
        for (std::size_t i = 1; i < samples.size(); ++i)
            ASSERT_EQ(samples[i].time - samples[i - 1].time, step) << i;
        const RangeStats stats = statsOf(model, {file}, ":::");
        EXPECT_EQ(stats.longestGap, 0);
        EXPECT_DOUBLE_EQ(stats.coverage, 100);
        const Trace trace = traceFromSamples(samples, model.firstTime(), model.lastTime(), 1000, model.gapLimit());
        for (std::size_t i = 1; i < trace.temperature.size(); ++i)
            ASSERT_TRUE(trace.temperature[i].joined && trace.temperature[i].x > trace.temperature[i - 1].x) << i;
    }
    const CPlotModel model = modelOf({&autumn}, 1, kLoadChunk, warsaw());
    const std::string csv = csvOf(model, {&autumn}, Semicolon);
    EXPECT_NE(csv.find("2024"), 0u);
    const std::string order = "2026.10.25 02:59:00;22.4;50.0\r\n2026.10.25 02:00:00;22.6;50.0\r\n";
    EXPECT_NE(csv.find(order), std::string::npos);
    EXPECT_EQ(csv.find("22.4", csv.find(order) + 30), std::string::npos);
    // The day lasted 25 hours: 124 records a minute from 01:58 to 03:01 of the second 02:00, and 25 hourly ones.
    for (const auto& [file, records] : {std::make_pair(&autumn, 124u), std::make_pair(&hourly, 25u)}) {
        std::vector<DayStats> days;
        statsOf(modelOf({file}, 1, kLoadChunk, warsaw()), {file}, ":::", &days);
        ASSERT_EQ(days.size(), 1u);
        EXPECT_EQ(days[0].stats.records, records);
        EXPECT_EQ(days[0].stats.longestGap, 0);
        EXPECT_DOUBLE_EQ(days[0].stats.coverage, 100);
    }
    const CPlotModel hourlyModel = modelOf({&hourly}, 1, kLoadChunk, warsaw());
    EXPECT_NE(csvOf(hourlyModel, {&hourly}, Semicolon)
                  .find("02:30:00;23.0;50.0\r\n2026.10.25 02:30:00;24.0;50.0\r\n2026.10.25 03:30:00;24.0"),
              std::string::npos);
    EXPECT_EQ(timeTicks(warsaw(), model.firstTime(), model.lastTime(), 1000, 80)[0].label, "02:00");
}

// Of the two meanings of a stamp in the repeated hour the resolver takes the one the recording's step leads to;
// each row's stamps are local times of 2026.10.25 in Warsaw, and the steps between their absolute times.
// Regression: the first meaning was taken whenever it lay at most a quarter of an hour back or stood still.
TEST(PlotTime, ARepeatedStampTakesTheMeaningTheRecordingsStepLeadsTo) {
    const std::tuple<const char*, std::vector<const char*>, const char*> cases[] = {
        {"hourly records", {"00:30", "01:30", "02:30", "02:30", "03:30"}, "3600 3600 3600 3600"},
        {"50-minute records", {"02:00", "02:50", "02:40"}, "3000 3000"},
        {"minute records at the change", {"02:58", "02:59", "02:00", "02:01"}, "60 60 60"},
        {"a gap just after the change", {"02:58", "02:59", "02:00", "02:10"}, "60 60 600"},
        {"never the same time twice", {"02:30", "02:30"}, "3600"},
        {"a clock set back by hand before the change", {"02:49", "02:50", "02:45", "02:46"}, "60 -300 60"},
        {"a clock set back by hand after it", {"02:59", "02:00", "02:30", "02:25"}, "60 1800 -300"},
    };
    for (const auto& [name, stamps, steps] : cases) {
        CTimeResolver resolver(warsaw());
        std::string seen;
        std::int64_t previous = 0;
        for (std::size_t i = 0; i < stamps.size(); ++i) {
            const int hour = std::atoi(stamps[i]), minute = std::atoi(stamps[i] + 3);
            const std::int64_t time = resolver.resolve(civilSeconds({2026, 10, 25, hour, minute, 0}));
            if (i > 0)
                seen += (i > 1 ? " " : "") + std::to_string(time - previous);
            previous = time;
        }
        EXPECT_EQ(seen, steps) << name;
    }
}

// The chart of a coarse view comes from the summary; a fine one reads its records once and keeps them for small
// moves.
TEST(PlotChart, SummaryOrRecords) {
    const std::string file = largeFile();
    const CPlotModel model = modelOf({&file});
    int reads = 0;
    const ByteReader reader = [&](std::size_t f, std::uint64_t offset, std::uint64_t length, std::string& out) {
        ++reads;
        return readerOf({&file})(f, offset, length, out);
    };
    RecordCache cache;
    const double t0 = model.firstTime();
    EXPECT_FALSE(chartData(model, fullView(model.firstTime(), model.lastTime()), 10, reader, cache, false).fromRecords);
    EXPECT_EQ(reads, 0);
    const ChartData fine = chartData(model, {t0 + 600, t0 + 900, false}, 1000, reader, cache, true);
    EXPECT_TRUE(fine.fromRecords);
    EXPECT_EQ(fine.stats.records, 300u); // one of the 301 lost to the garbage after record 750
    EXPECT_FALSE(fine.trace.dewPoint.empty());
    const int first = reads;
    EXPECT_GT(first, 0);
    chartData(model, {t0 + 650, t0 + 950, false}, 1000, reader, cache, false);
    EXPECT_EQ(reads, first);
    chartData(model, {t0 + 3000, t0 + 3300, false}, 1000, reader, cache, false);
    EXPECT_GT(reads, first);
}

// Each axis spans what it shows with a tenth to spare (at least 1 either side of the middle), or its default range
// when it shows nothing. Values in tenths: temperature 20.0 to 25.0 °C, humidity 40.0 to 60.0 %, dew point 5 to
// 15 °C, absolute humidity 2 to 120 g/m3; limits in hundredths.
TEST(PlotChart, ScalesHoldTheShownQuantitiesAndLimits) {
    struct Case {
        const char* name;
        int temperatures, humidities, moistAir; // records with each
        ChartOptions options;
        std::array<double, 4> scales; // left low, left high, right low, right high
    };
    ChartOptions limits, hidden, dew, absolute;
    limits.temperatureLimits = {true, true, 1500, 3000};
    limits.humidityLimits = {false, true, 0, 6500};
    hidden = limits;
    hidden.temperature = hidden.humidity = false;
    dew.dewPoint = true;
    absolute.absoluteHumidity = true;
    const Case cases[] = {
        {"nothing recorded", 0, 0, 0, {}, {0, 40, 0, 100}},
        {"nothing recorded, limits", 0, 0, 0, limits, {14.25, 30.75, 64 + 1.0 / 3, 66 + 1.0 / 3}},
        {"one record each", 1, 1, 1, {}, {19.75, 25.25, 39, 61}},
        {"limits beyond the values", 1, 1, 1, limits, {14.25, 30.75, 38.75, 66.25}},
        {"limits of hidden quantities", 1, 1, 1, hidden, {19.75, 25.25, 39, 61}},
        {"dew point", 1, 1, 1, dew, {4, 26, 39, 61}},
        {"dew point without values", 1, 1, 0, dew, {19.75, 25.25, 39, 61}},
        {"absolute humidity", 1, 1, 1, absolute, {19.75, 25.25, -3.9, 125.9}},
        {"humidity alone", 0, 1, 0, {}, {0, 40, 39, 61}},
    };
    for (const Case& c : cases) {
        ChartData data;
        data.stats.temperature = {200, 250, static_cast<std::uint32_t>(c.temperatures)};
        data.stats.humidity = {400, 600, static_cast<std::uint32_t>(c.humidities)};
        data.stats.moistAir = {static_cast<std::uint32_t>(c.moistAir), 5, 15, 2, 120};
        const ChartScales s = chartScales(data, c.options);
        const std::array<double, 4> got{s.leftLow, s.leftHigh, s.rightLow, s.rightHigh};
        for (int i = 0; i < 4; ++i)
            EXPECT_NEAR(got[i], c.scales[i], 1e-9) << c.name << " [" << i << "]";
    }
    // Regression: a constant temperature and a constant humidity were both put in the middle, one trace over the
    // other; each now has a place of its own, the temperature at two thirds of the height, the humidity at one.
    ChartData constant;
    constant.stats.temperature = {215, 215, 3};
    constant.stats.humidity = {452, 452, 3};
    const ChartScales s = chartScales(constant, {});
    EXPECT_NEAR((21.5 - s.leftLow) / (s.leftHigh - s.leftLow), 2.0 / 3, 1e-9);
    EXPECT_NEAR((45.2 - s.rightLow) / (s.rightHigh - s.rightLow), 1.0 / 3, 1e-9);
}

TEST(PlotTexts, TitleStatusAndReadout) {
    EXPECT_EQ(windowTitle({}, false, 0), "Plot");
    EXPECT_EQ(windowTitle({"a.hxg"}, false, 0), "Plot"); // still loading
    EXPECT_EQ(windowTitle({"C:/Pomiary/Xa.hxg", "b.hxg"}, true, 3), "Plot - Xa.hxg (+1) - 3 rek.");
    EXPECT_EQ(windowTitle({"C:\\dane\\a.hxg"}, true, 12), "Plot - a.hxg - 12 rek.");
    EXPECT_EQ(windowTitle({"C:\\a.hxg", "b.hxg", "c.hxg"}, true, 0), "Plot - a.hxg (+2) - 0 rek.");
    EXPECT_EQ(statusText(2, 12, 1, true), "Pliki: 2, rekordy: 12, uszkodzone: 1, śledzenie końca");
    EXPECT_EQ(statusText(1, 5, 0, false), "Pliki: 1, rekordy: 5, uszkodzone: 0");
    EXPECT_EQ(durationText(3723) + " " + durationText(7200) + " " + durationText(93600),
              "01:02:03 02:00:00 1 d 02:00:00");
    Trace trace;
    trace.temperature = {{10.5, 214, 216, false}};
    ChartOptions options;
    EXPECT_EQ(readoutText(warsaw(), civilSeconds({2026, 10, 25, 0, 30, 0}), trace, options, 10.2),
              "2026.10.25 02:30:00 UTC+02:00  21.4…21.6 °C  ---");
    EXPECT_EQ(readoutText(warsaw(), civilSeconds({2026, 10, 25, 1, 30, 0}), trace, options, 11),
              "2026.10.25 02:30:00 UTC+01:00  ---  ---");
    EXPECT_EQ(readoutText(warsaw(), civilSeconds({2026, 10, 25, 3, 30, 0}), trace, options, 11),
              "2026.10.25 04:30:00  ---  ---");
}

} // namespace
