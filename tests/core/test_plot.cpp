#include "plot/plot_command.h"
#include "plot/plot_model.h"
#include "plot/plot_view.h"
#include "plot/time_axis.h"
#include "recording/record_format.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

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

CPlotModel modelOf(const std::vector<const std::string*>& files, int threads = 1, std::size_t chunk = kLoadChunk) {
    CPlotModel model;
    for (const std::string* file : files)
        model.addFile("f", loadFile(file->size(), viewOf(*file), threads, nullptr, nullptr, chunk));
    return model;
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
    ValueDisplayState t, h;
    t.noData = h.noData = 0;
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

TEST(PlotLoad, TwoThreadsReadAsOnePass) {
    const std::string file = largeFile();
    const CPlotModel one = modelOf({&file}, 1, 4096);
    for (const std::size_t chunk : {4096u, 5000u, 77777u}) {
        SCOPED_TRACE(chunk);
        const CPlotModel two = modelOf({&file}, 2, chunk);
        EXPECT_EQ(two.validCount(), one.validCount());
        EXPECT_EQ(two.damagedCount(), one.damagedCount());
        EXPECT_EQ(two.gapLimit(), 3);
        EXPECT_EQ(csvOf(two, {&file}, Tab), csvOf(one, {&file}, Tab));
        const Bucket a = two.summary().combine(0, INT64_C(1) << 40), b = one.summary().combine(0, INT64_C(1) << 40);
        EXPECT_EQ(a.records, b.records);
        EXPECT_EQ(a.temperature.sum, b.temperature.sum);
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
    EXPECT_EQ(range.records, 1197u); // three records lost to the garbage inserted
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

TEST(PlotTrace, GapsWhereRecordsCarryNoValueOrStop) {
    const std::string file = fixture("runs.hxg");
    const CPlotModel model = modelOf({&file});
    const double t0 = civilSeconds({2025, 1, 1, 6, 29, 59}), t1 = t0 + 10;
    const Trace fine = traceFromSamples(model.samples(t0, t1, readerOf({&file})), t0, t1, 100, model.gapLimit());
    ASSERT_EQ(fine.temperature.size(), 2u);
    EXPECT_FALSE(fine.temperature[1].joined);
    ASSERT_EQ(fine.humidity.size(), 3u);
    EXPECT_FALSE(fine.humidity[1].joined);
    EXPECT_TRUE(fine.humidity[2].joined);
    EXPECT_DOUBLE_EQ(fine.humidity[2].x, 50);

    const double d0 = civilSeconds({2024, 12, 31, 0, 0, 0}), d1 = d0 + 2 * 86400;
    const Trace coarse = traceFromSummary(model.summary(), d0, d1, 400, model.gapLimit());
    ASSERT_EQ(coarse.temperature.size(), 3u);
    EXPECT_TRUE(coarse.temperature[1].joined);  // 23:59 and 00:00
    EXPECT_FALSE(coarse.temperature[2].joined); // 06:30, after hours without records
    EXPECT_EQ(coarse.temperature[0].high, 259);
}

TEST(TimeAxis, LabelsAdaptFromSecondsToMonths) {
    struct Row {
        double span;
        const char *first, *context, *second;
        std::size_t count;
    };
    const Row rows[] = {
        {20, "14:07:10", "05.03.2024", "14:07:12", 10}, {600, "14:08", "05.03.2024", "14:09", 10},
        {86400, "16:00", "05.03.2024", "18:00", 12},    {30 * 86400.0, "11.03", "2024", "18.03", 4}, // Mondays
        {365 * 86400.0, "kwi", "2024", "maj", 12},      {20 * 365 * 86400.0, "2026", "", "2028", 10},
    };
    const double t0 = civilSeconds({2024, 3, 5, 14, 7, 9});
    for (const Row& row : rows) {
        SCOPED_TRACE(row.span);
        const auto ticks = timeTicks(t0, t0 + row.span, 1000, 80);
        ASSERT_EQ(ticks.size(), row.count);
        EXPECT_EQ(ticks[0].label, row.first);
        EXPECT_EQ(ticks[0].context, row.context);
        EXPECT_EQ(ticks[1].label, row.second);
    }
    EXPECT_EQ(timeTicks(t0, t0 + 86400, 1000, 80)[4].context, "06.03.2024");
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
    };
    for (const Row& row : rows) {
        std::vector<std::string> labels;
        for (const ValueTick& tick : valueTicks(row.low, row.high, 300, 40))
            labels.push_back(tick.label);
        EXPECT_EQ(labels, row.labels);
    }
}

TEST(PlotCommand, CommandLines) {
    struct Row {
        std::vector<std::string> args;
        PlotCommand::Action action;
        std::string output;
        int width, height, separator;
        std::size_t files;
    };
    const Row rows[] = {
        {{}, PlotCommand::Window, "", 1200, 700, Semicolon, 0},
        {{"a.hxg", "b.hxg"}, PlotCommand::Window, "", 1200, 700, Semicolon, 2},
        {{"--csv", "o.csv", "a.hxg"}, PlotCommand::Csv, "o.csv", 1200, 700, Semicolon, 1},
        {{"--csv", "o.csv", "--tab", "a.hxg"}, PlotCommand::Csv, "o.csv", 1200, 700, Tab, 1},
        {{"--png", "o.png", "--size", "800x600", "a.hxg"}, PlotCommand::Png, "o.png", 800, 600, Semicolon, 1},
        {{"--png", "o.png", "--size", "80x60", "a.hxg"}, PlotCommand::Usage, "", 1200, 700, Semicolon, 0},
        {{"--csv", "o.csv"}, PlotCommand::Usage, "", 1200, 700, Semicolon, 0},
        {{"--size", "800x600", "a.hxg"}, PlotCommand::Usage, "", 1200, 700, Semicolon, 0},
        {{"--csv", "o.csv", "--png", "p.png", "a.hxg"}, PlotCommand::Usage, "", 1200, 700, Semicolon, 0},
        {{"--bogus", "a.hxg"}, PlotCommand::Usage, "", 1200, 700, Semicolon, 0},
    };
    for (const Row& row : rows) {
        const PlotCommand command = parsePlotCommand(row.args);
        EXPECT_EQ(command.action, row.action) << ::testing::PrintToString(row.args);
        EXPECT_EQ(command.output, row.output);
        EXPECT_EQ(command.width, row.width);
        EXPECT_EQ(command.height, row.height);
        EXPECT_EQ(command.separator, row.separator);
        EXPECT_EQ(command.files.size(), row.files);
    }
    EXPECT_EQ(rememberFile({"C:\\a.hxg", "C:\\b.hxg", "C:\\c.hxg"}, "c:\\B.HXG", 3),
              (std::vector<std::string>{"c:\\B.HXG", "C:\\a.hxg", "C:\\c.hxg"}));
}

} // namespace
