#include "plot/chart_data.h"

#include <algorithm>
#include <cmath>

namespace {

// The span of everything one axis shows, in its unit.
struct Span {
    bool any = false;
    double low = 0, high = 0;
    void add(double a, double b) {
        low = any ? std::min(low, a) : a;
        high = any ? std::max(high, b) : b;
        any = true;
    }
    void addLimits(const Limits& limits) {
        if (limits.hasLow)
            add(limits.low / 100.0, limits.low / 100.0);
        if (limits.hasHigh)
            add(limits.high / 100.0, limits.high / 100.0);
    }
};

} // namespace

int plotColumns(int width) {
    return std::max(1, width - 2 * kPlotSideRoom);
}

ChartData chartData(const CPlotModel& model, const ViewRange& view, int columns, const ByteReader& reader,
                    RecordCache& cache, bool moistAir) {
    ChartData data;
    data.view = view;
    if (!needsRecords(view.t0, view.t1, columns)) {
        data.trace = traceFromSummary(model.summary(), view.t0, view.t1, columns, model.gapLimit(), moistAir);
        data.stats = statsFromSummary(model.summary(), view.t0, view.t1);
        return data;
    }
    if (view.t0 < cache.t0 || view.t1 > cache.t1) {
        const double span = view.t1 - view.t0;
        cache.t0 = std::floor(view.t0 - span);
        cache.t1 = std::ceil(view.t1 + span);
        cache.samples = model.samples(static_cast<std::int64_t>(cache.t0), static_cast<std::int64_t>(cache.t1), reader);
    }
    data.fromRecords = true;
    data.trace = traceFromSamples(cache.samples, view.t0, view.t1, columns, model.gapLimit(), moistAir);
    data.stats = statsFromSamples(cache.samples, view.t0, view.t1);
    return data;
}

ChartScales chartScales(const ChartData& data, const ChartOptions& options) {
    const Bucket& stats = data.stats;
    Span left, right;
    if (stats.temperature.count > 0)
        left.add(stats.temperature.min / 10.0, stats.temperature.max / 10.0);
    if (stats.humidity.count > 0)
        right.add(stats.humidity.min / 10.0, stats.humidity.max / 10.0);
    if (stats.moistAir.count > 0 && options.dewPoint)
        left.add(stats.moistAir.dewMin, stats.moistAir.dewMax);
    if (stats.moistAir.count > 0 && options.absoluteHumidity)
        right.add(stats.moistAir.absoluteMin, stats.moistAir.absoluteMax);
    if (options.temperature)
        left.addLimits(options.temperatureLimits);
    if (options.humidity)
        right.addLimits(options.humidityLimits);
    ChartScales scales;
    axisRange(left.any, left.low, left.high, 0, 40, AxisPlace::Upper, scales.leftLow, scales.leftHigh);
    axisRange(right.any, right.low, right.high, 0, 100, AxisPlace::Lower, scales.rightLow, scales.rightHigh);
    return scales;
}
