#include "plot/plot_view.h"

#include "base/number_format.h"

#include <algorithm>
#include <cmath>

namespace {

enum class Line { Temperature, Humidity, DewPoint, AbsoluteHumidity };

std::int32_t tenthsOf(double value) {
    return static_cast<std::int32_t>(std::lround(value * 10));
}

// A line's values in a bucket: false when it has none.
bool valuesOf(const Bucket& bucket, Line line, std::int32_t& low, std::int32_t& high) {
    switch (line) {
    case Line::Temperature:
        low = bucket.temperature.min;
        high = bucket.temperature.max;
        return bucket.temperature.count > 0;
    case Line::Humidity:
        low = bucket.humidity.min;
        high = bucket.humidity.max;
        return bucket.humidity.count > 0;
    case Line::DewPoint:
        low = tenthsOf(bucket.moistAir.dewMin);
        high = tenthsOf(bucket.moistAir.dewMax);
        return bucket.moistAir.count > 0;
    case Line::AbsoluteHumidity:
        low = tenthsOf(bucket.moistAir.absoluteMin);
        high = tenthsOf(bucket.moistAir.absoluteMax);
        return bucket.moistAir.count > 0;
    }
    return false;
}

bool valueOf(const Sample& sample, Line line, std::int32_t& value) {
    switch (line) {
    case Line::Temperature:
        value = sample.temperature;
        return sample.hasTemperature;
    case Line::Humidity:
        value = sample.humidity;
        return sample.hasHumidity;
    case Line::DewPoint:
    case Line::AbsoluteHumidity: {
        const MoistAir air = moistAirOf(sample);
        value = tenthsOf(line == Line::DewPoint ? air.dewPoint : air.absoluteHumidity);
        return air.valid;
    }
    }
    return false;
}

std::vector<TracePoint>& pointsOf(Trace& trace, Line line) {
    switch (line) {
    case Line::Temperature:
        return trace.temperature;
    case Line::Humidity:
        return trace.humidity;
    case Line::DewPoint:
        return trace.dewPoint;
    case Line::AbsoluteHumidity:
        break;
    }
    return trace.absoluteHumidity;
}

std::vector<Line> linesOf(bool moistAir) {
    if (moistAir)
        return {Line::Temperature, Line::Humidity, Line::DewPoint, Line::AbsoluteHumidity};
    return {Line::Temperature, Line::Humidity};
}

void addPoint(std::vector<TracePoint>& points, double x, std::int32_t low, std::int32_t high, bool joined) {
    // Values in the same pixel column become one vertical stroke.
    if (joined && !points.empty() && std::floor(points.back().x) == std::floor(x)) {
        TracePoint& last = points.back();
        last.x = std::floor(x) + 0.5;
        last.low = std::min(last.low, low);
        last.high = std::max(last.high, high);
        return;
    }
    points.push_back({x, low, high, joined});
}

} // namespace

bool needsRecords(double t0, double t1, int columns) {
    return columns > 0 && (t1 - t0) / columns < kBucketSeconds;
}

Trace traceFromSummary(const CSummary& summary, double t0, double t1, int columns, std::int64_t gapLimit,
                       bool moistAir) {
    Trace trace;
    if (columns <= 0 || !(t1 > t0))
        return trace;
    const double perColumn = (t1 - t0) / columns;
    int n = 0;
    while (n + 1 < kLevels && summary.seconds(n + 1) <= perColumn)
        ++n;
    const std::int64_t width = summary.seconds(n);
    // One bucket beyond each edge, so that lines leave the plot instead of ending at its border.
    const auto range = summary.range(n, static_cast<std::int64_t>(std::floor(t0)) - 2 * width,
                                     static_cast<std::int64_t>(std::ceil(t1)) + width);
    const auto& level = summary.level(n);
    for (const Line line : linesOf(moistAir)) {
        auto& points = pointsOf(trace, line);
        bool broken = true;
        std::int64_t lastEnd = 0;
        for (std::size_t i = range.first; i < range.second; ++i) {
            const Bucket& bucket = level[i];
            std::int32_t low = 0, high = 0;
            const std::int64_t start = bucket.index * width;
            if (!valuesOf(bucket, line, low, high)) {
                broken = broken || bucket.records > 0;
                continue;
            }
            const bool joined = !broken && start - lastEnd <= gapLimit;
            const double x = std::floor((static_cast<double>(start) - t0) / perColumn) + 0.5;
            addPoint(points, x, low, high, joined);
            broken = false;
            lastEnd = start + width;
        }
    }
    return trace;
}

Trace traceFromSamples(const std::vector<Sample>& samples, double t0, double t1, int columns, std::int64_t gapLimit,
                       bool moistAir) {
    Trace trace;
    if (columns <= 0 || !(t1 > t0))
        return trace;
    const double perColumn = (t1 - t0) / columns;
    for (const Line line : linesOf(moistAir)) {
        auto& points = pointsOf(trace, line);
        bool broken = true;
        std::int64_t lastTime = 0;
        for (const Sample& sample : samples) {
            std::int32_t value = 0;
            if (!valueOf(sample, line, value)) {
                broken = true;
                continue;
            }
            const bool joined = !broken && sample.time - lastTime <= gapLimit;
            addPoint(points, (static_cast<double>(sample.time) - t0) / perColumn, value, value, joined);
            broken = false;
            lastTime = sample.time;
        }
    }
    return trace;
}

Bucket statsFromSummary(const CSummary& summary, double t0, double t1) {
    return summary.combine(bucketOf(static_cast<std::int64_t>(std::floor(t0))),
                           bucketOf(static_cast<std::int64_t>(std::floor(t1))));
}

Bucket statsFromSamples(const std::vector<Sample>& samples, double t0, double t1) {
    Bucket stats;
    for (const Sample& sample : samples) {
        if (sample.time >= t0 && sample.time <= t1)
            stats.add(sample);
    }
    return stats;
}

std::string statsText(const Aggregate& aggregate, const char* unit) {
    if (aggregate.count == 0)
        return "brak wartości";
    const double mean = static_cast<double>(aggregate.sum) / aggregate.count / 10.0;
    return "min " + formatFixed(aggregate.min / 10.0, 1) + "  maks. " + formatFixed(aggregate.max / 10.0, 1) +
           "  śr. " + formatFixed(mean, 2) + " " + unit;
}

std::string moistAirText(const MoistAirAggregate& air, bool dewPoint) {
    if (air.count == 0)
        return "brak wartości";
    const double mean = (dewPoint ? air.dewSum : air.absoluteSum) / air.count;
    return "min " + formatFixed(dewPoint ? air.dewMin : air.absoluteMin, 1) + "  maks. " +
           formatFixed(dewPoint ? air.dewMax : air.absoluteMax, 1) + "  śr. " + formatFixed(mean, 2) +
           (dewPoint ? " °C" : " g/m³");
}

// Values that fill less than the 2 units an axis spans at least are moved off its middle by a third of the room
// left, up or down as `place` says: the two axes then never put a constant temperature and a constant humidity on
// one line, where one trace would hide the other.
void axisRange(bool any, double min, double max, double defaultLow, double defaultHigh, AxisPlace place, double& low,
               double& high) {
    if (!any) {
        low = defaultLow;
        high = defaultHigh;
        return;
    }
    const double middle = (min + max) / 2;
    const double half = std::max((max - min) / 2 * 1.1, 1.0);
    const double room = half - (max - min) / 2 * 1.1;
    const double shift = place == AxisPlace::Upper ? -room / 3 : place == AxisPlace::Lower ? room / 3 : 0;
    low = middle - half + shift;
    high = middle + half + shift;
}

std::int64_t firstSecond(const ViewRange& view) {
    return static_cast<std::int64_t>(std::ceil(view.t0));
}

std::int64_t lastSecond(const ViewRange& view) {
    return static_cast<std::int64_t>(std::floor(view.t1));
}

ViewRange fullView(std::int64_t first, std::int64_t last) {
    const double span = std::max<double>(static_cast<double>(last - first), 60);
    const double margin = span * 0.02;
    return {first - margin, first + span + margin, true};
}

ViewRange followData(const ViewRange& view, std::int64_t last) {
    if (!view.following)
        return view;
    const double span = view.t1 - view.t0;
    const double margin = span * 0.02;
    if (last <= view.t1 - margin / 2)
        return view;
    return followEnd(view, last);
}

ViewRange followEnd(const ViewRange& view, std::int64_t last) {
    const double span = view.t1 - view.t0;
    const double margin = span * 0.02;
    return {last + margin - span, last + margin, true};
}

ViewRange zoomView(const ViewRange& view, double center, double factor) {
    const double span = std::clamp((view.t1 - view.t0) * factor, kMinimumSpan, kMaximumSpan);
    const double share = view.t1 > view.t0 ? (center - view.t0) / (view.t1 - view.t0) : 0.5;
    const double t0 = center - span * share;
    return {t0, t0 + span, false};
}

ViewRange panView(const ViewRange& view, double seconds) {
    return {view.t0 + seconds, view.t1 + seconds, false};
}

ViewRange selectView(const ViewRange& view, double a, double b) {
    if (a > b)
        std::swap(a, b);
    if (b - a < kMinimumSpan) {
        const double middle = (a + b) / 2;
        a = middle - kMinimumSpan / 2;
        b = middle + kMinimumSpan / 2;
    }
    (void)view;
    return {a, b, false};
}

ViewRange viewAfterLoad(const ViewRange& view, bool reload, bool haveData, std::int64_t first, std::int64_t last) {
    if (reload && view.following)
        return followData(view, last);
    return haveData ? fullView(first, last) : ViewRange{};
}

ViewRange viewAfterGrowth(const ViewRange& view, bool haveData, std::int64_t first, std::int64_t last) {
    if (!haveData)
        return view;
    return view.t1 > view.t0 ? followData(view, last) : fullView(first, last);
}

FollowStep planFollow(std::uint64_t fedTo, std::uint64_t size) {
    return size < fedTo ? FollowStep::Reload : size > fedTo ? FollowStep::ReadNew : FollowStep::Nothing;
}

const TracePoint* pointAt(const std::vector<TracePoint>& points, double x) {
    const double column = std::floor(x);
    const auto it = std::lower_bound(points.begin(), points.end(), column,
                                     [](const TracePoint& point, double c) { return std::floor(point.x) < c; });
    return it != points.end() && std::floor(it->x) == column ? &*it : nullptr;
}
