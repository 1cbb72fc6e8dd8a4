#pragma once

#include "plot/summary.h"

#include <cstdint>
#include <string>
#include <vector>

// One mark of a quantity's line: at column position `x` (pixels from the left edge of the plot, fractional for a
// lone record) the values run from `low` to `high` (tenths). `joined` draws a line from the previous point.
struct TracePoint {
    double x = 0;
    std::int32_t low = 0;
    std::int32_t high = 0;
    bool joined = false;
};

// The lines of the chart; the dew point (°C) and the absolute humidity (g/m3) are drawn when asked for, also in
// tenths.
struct Trace {
    std::vector<TracePoint> temperature;
    std::vector<TracePoint> humidity;
    std::vector<TracePoint> dewPoint;
    std::vector<TracePoint> absoluteHumidity;
};

// True when [t0, t1] over `columns` pixels is finer than the summary's buckets, so the records themselves are
// drawn.
bool needsRecords(double t0, double t1, int columns);

// A line breaks where records carry no value of the quantity, and where consecutive values lie more than
// `gapLimit` seconds apart (the program was not recording).
Trace traceFromSummary(const CSummary& summary, double t0, double t1, int columns, std::int64_t gapLimit,
                       bool moistAir = false);
Trace traceFromSamples(const std::vector<Sample>& samples, double t0, double t1, int columns, std::int64_t gapLimit,
                       bool moistAir = false);

// Records, minimum, maximum and sum of both quantities in [t0, t1]: from the summary to the minute, from records
// exactly.
Bucket statsFromSummary(const CSummary& summary, double t0, double t1);
Bucket statsFromSamples(const std::vector<Sample>& samples, double t0, double t1);

// "min 21.0  maks. 23.4  śr. 22.17 °C" (UTF-8), or "brak wartości" for a quantity without values.
std::string statsText(const Aggregate& aggregate, const char* unit);
// The same of the dew point (°C) or of the absolute humidity (g/m³).
std::string moistAirText(const MoistAirAggregate& air, bool dewPoint);

// Where values that fill only part of an axis sit on it.
enum class AxisPlace { Middle, Upper, Lower };
// The value range shown on an axis: the values from `min` to `max` with some room, 2 units at least; the defaults
// when there are none.
void axisRange(bool any, double min, double max, double defaultLow, double defaultHigh, AxisPlace place, double& low,
               double& high);

// The visible time range. `following` holds while the user has not moved the view: new records then scroll it.
struct ViewRange {
    double t0 = 0;
    double t1 = 0;
    bool following = true;
};

constexpr double kMinimumSpan = 10;                 // seconds
constexpr double kMaximumSpan = 50.0 * 366 * 86400; // seconds

// The whole seconds of a view, whose records its statistics and exports hold.
std::int64_t firstSecond(const ViewRange& view);
std::int64_t lastSecond(const ViewRange& view);

// All records from `first` to `last`, with a margin on both sides, following.
ViewRange fullView(std::int64_t first, std::int64_t last);
// Keeps the newest record in sight while following, moving the range without changing its span.
ViewRange followData(const ViewRange& view, std::int64_t last);
// The same span ending at the newest record, following from now on.
ViewRange followEnd(const ViewRange& view, std::int64_t last);
// Zoom by `factor` (< 1 in) around time `center`; the user's moves end following.
ViewRange zoomView(const ViewRange& view, double center, double factor);
ViewRange panView(const ViewRange& view, double seconds);
ViewRange selectView(const ViewRange& view, double a, double b);

// The view once files are read: all their records (an empty view without any), except that reading followed files
// again keeps a followed view, moved on to the newest record.
ViewRange viewAfterLoad(const ViewRange& view, bool reload, bool haveData, std::int64_t first, std::int64_t last);
// The view once new records have arrived: all records when there were none to show before, else followed.
ViewRange viewAfterGrowth(const ViewRange& view, bool haveData, std::int64_t first, std::int64_t last);

// What the periodic look at a followed file calls for: nothing new, its new bytes, or reading it again (it was
// emptied or replaced, so what was read no longer stands).
enum class FollowStep { Nothing, ReadNew, Reload };
FollowStep planFollow(std::uint64_t fedTo, std::uint64_t size);

// The point drawn in pixel column floor(x), or null.
const TracePoint* pointAt(const std::vector<TracePoint>& points, double x);
