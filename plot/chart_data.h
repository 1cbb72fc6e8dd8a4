#pragma once

#include "plot/plot_model.h"
#include "plot/plot_view.h"
#include "plot/statistics.h"

#include <vector>

// What the chart shows: the quantities, and the limits drawn across it.
struct ChartOptions {
    bool temperature = true;
    bool humidity = true;
    bool dewPoint = false;
    bool absoluteHumidity = false;
    Limits temperatureLimits;
    Limits humidityLimits;
};

// What one picture of the chart shows: the trace and statistics of the visible range.
struct ChartData {
    ViewRange view;
    Trace trace;
    Bucket stats;
    bool fromRecords = false;
};

// The records read back for views finer than the summary, kept with a margin so that small moves need no reading.
struct RecordCache {
    double t0 = 0, t1 = -1;
    std::vector<Sample> samples;
    void clear() {
        t1 = t0 - 1;
        samples.clear();
    }
};

// Around the plot inside a picture of the chart: room for a value axis on each side, for the statistics above and
// the time labels below (pixels). The plot keeps a pixel each way in a picture too small for them.
constexpr int kPlotSideRoom = 64;
constexpr int kPlotTopRoom = 44;
constexpr int kPlotBottomRoom = 44;
// The plot's pixel columns in a picture `width` pixels wide.
int plotColumns(int width);

// The chart of `view` over `columns` pixels: from the summary when a column spans a bucket or more, otherwise from
// the records, which `cache` keeps.
ChartData chartData(const CPlotModel& model, const ViewRange& view, int columns, const ByteReader& reader,
                    RecordCache& cache, bool moistAir);

// The value ranges of the two axes: the left one (°C) holds the temperature, the dew point when it is shown and the
// temperature limits; the right one (%, and g/m3 when the absolute humidity is shown) the humidity, the absolute
// humidity and the humidity limits.
struct ChartScales {
    double leftLow = 0, leftHigh = 0, rightLow = 0, rightHigh = 0;
};
ChartScales chartScales(const ChartData& data, const ChartOptions& options);
