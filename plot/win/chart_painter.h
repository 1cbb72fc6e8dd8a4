#pragma once

#include "plot/plot_model.h"
#include "plot/plot_view.h"

#include <windows.h>

#include <string>

struct ChartOptions {
    bool temperature = true;
    bool humidity = true;
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

// The plot area inside a client rectangle (room for both value axes, the statistics and the time labels).
RECT plotArea(const RECT& client);

ChartData chartData(const CPlotModel& model, const ViewRange& view, int columns, const ByteReader& reader,
                    RecordCache& cache);

// Draws the chart; `band` (when its right exceeds its left) is a selection being dragged, `cursorX` a cursor line.
void paintChart(HDC dc, const RECT& client, const ChartData& data, const ChartOptions& options, const RECT& band,
                int cursorX);
