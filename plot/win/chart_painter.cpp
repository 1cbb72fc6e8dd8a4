#include "plot/win/chart_painter.h"

#include "plot/time_axis.h"
#include "win/gdi.h"
#include "win/text.h"

#include <algorithm>
#include <cmath>

namespace {

const COLORREF kTemperatureColour = RGB(200, 40, 40);
const COLORREF kHumidityColour = RGB(30, 90, 200);
const COLORREF kDewPointColour = RGB(190, 110, 0);
const COLORREF kAbsoluteColour = RGB(20, 140, 60);
const COLORREF kGridColour = RGB(225, 225, 225);
const COLORREF kAxisColour = RGB(90, 90, 90);

struct Scale {
    double low, high;
    int top, bottom;
    int y(double value) const {
        return bottom - static_cast<int>(std::lround((value - low) / (high - low) * (bottom - top)));
    }
};

void drawText(HDC dc, int x, int y, const std::string& utf8, UINT align, COLORREF colour) {
    const std::wstring text = widen(utf8);
    SetTextAlign(dc, align);
    SetTextColor(dc, colour);
    TextOutW(dc, x, y, text.c_str(), static_cast<int>(text.size()));
}

int textWidth(HDC dc, const std::string& utf8) {
    const std::wstring text = widen(utf8);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
}

void drawTrace(HDC dc, const RECT& area, const std::vector<TracePoint>& points, const Scale& scale, COLORREF colour) {
    GdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, colour));
    SelectGuard keepPen(dc, pen.get());
    Brush brush(CreateSolidBrush(colour));
    const TracePoint* previous = nullptr;
    for (const TracePoint& point : points) {
        const int x = area.left + static_cast<int>(std::floor(point.x));
        const int yLow = scale.y(point.low / 10.0), yHigh = scale.y(point.high / 10.0);
        if (point.joined && previous) {
            MoveToEx(dc, area.left + static_cast<int>(std::floor(previous->x)),
                     scale.y((previous->low + previous->high) / 20.0), nullptr);
            LineTo(dc, x, (yLow + yHigh) / 2);
        }
        MoveToEx(dc, x, yLow, nullptr);
        LineTo(dc, x, yHigh - 1);
        // A value with no neighbour to join would otherwise be a single pixel.
        const bool joinsNext = &point != &points.back() && (&point + 1)->joined;
        if (!point.joined && !joinsNext) {
            const RECT dot{x - 1, yHigh - 1, x + 2, yLow + 2};
            FillRect(dc, &dot, brush.get());
        }
        previous = &point;
    }
}

// A limit: a dashed line across the plot in its quantity's colour.
void drawLimit(HDC dc, const RECT& area, bool has, std::int32_t hundredths, const Scale& scale, COLORREF colour) {
    if (!has)
        return;
    GdiObject<HPEN> pen(CreatePen(PS_DASH, 1, colour));
    SelectGuard keepPen(dc, pen.get());
    const int y = scale.y(hundredths / 100.0);
    MoveToEx(dc, area.left, y, nullptr);
    LineTo(dc, area.right, y);
}

} // namespace

RECT plotArea(const RECT& client) {
    const LONG left = client.left + kPlotSideRoom, top = client.top + kPlotTopRoom;
    return {left, top, std::max(left + 1, client.right - kPlotSideRoom),
            std::max(top + 1, client.bottom - kPlotBottomRoom)};
}

void paintChart(HDC dc, const RECT& client, const ChartData& data, const ChartOptions& options, const CTimeZone& zone,
                const RECT& band, int cursorX) {
    const RECT area = plotArea(client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    Font font(CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, CLEARTYPE_QUALITY, 0, L"Tahoma"));
    SelectGuard keepFont(dc, font.get());
    GdiObject<HPEN> grid(CreatePen(PS_SOLID, 1, kGridColour));
    GdiObject<HPEN> axis(CreatePen(PS_SOLID, 1, kAxisColour));

    const ChartScales scales = chartScales(data, options);
    const Scale temperature{scales.leftLow, scales.leftHigh, area.top, area.bottom};
    const Scale humidity{scales.rightLow, scales.rightHigh, area.top, area.bottom};
    const bool left = options.temperature || options.dewPoint, right = options.humidity || options.absoluteHumidity;
    const int height = area.bottom - area.top, width = area.right - area.left;

    {
        SelectGuard keepPen(dc, grid.get());
        for (const TimeTick& tick : timeTicks(zone, data.view.t0, data.view.t1, width, 90)) {
            const int x =
                area.left +
                static_cast<int>(std::lround((tick.time - data.view.t0) / (data.view.t1 - data.view.t0) * width));
            MoveToEx(dc, x, area.top, nullptr);
            LineTo(dc, x, area.bottom + 4);
            drawText(dc, x, area.bottom + 6, tick.label, TA_CENTER | TA_TOP, kAxisColour);
            if (!tick.context.empty())
                drawText(dc, x, area.bottom + 22, tick.context, TA_CENTER | TA_TOP, kAxisColour);
        }
        // Horizontal lines follow the first quantity shown, so they meet its labels.
        const bool byTemperature = left;
        const Scale& gridScale = byTemperature ? temperature : humidity;
        for (const ValueTick& tick : valueTicks(gridScale.low, gridScale.high, height, 28)) {
            const int y = gridScale.y(tick.value);
            MoveToEx(dc, area.left, y, nullptr);
            LineTo(dc, area.right, y);
        }
    }
    if (left) {
        for (const ValueTick& tick : valueTicks(temperature.low, temperature.high, height, 28)) {
            drawText(dc, area.left - 6, temperature.y(tick.value) - 7, tick.label, TA_RIGHT | TA_TOP,
                     kTemperatureColour);
        }
        drawText(dc, area.left - 6, area.top - 20, "°C", TA_RIGHT | TA_TOP, kTemperatureColour);
    }
    if (right) {
        for (const ValueTick& tick : valueTicks(humidity.low, humidity.high, height, 28))
            drawText(dc, area.right + 6, humidity.y(tick.value) - 7, tick.label, TA_LEFT | TA_TOP, kHumidityColour);
        const char* unit = !options.absoluteHumidity ? "%" : options.humidity ? "%, g/m³" : "g/m³";
        drawText(dc, area.right + 6, area.top - 20, unit, TA_LEFT | TA_TOP, kHumidityColour);
    }
    {
        SelectGuard keepPen(dc, axis.get());
        SelectGuard keepBrush(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, area.left, area.top, area.right + 1, area.bottom + 1);
    }
    if (options.temperature) {
        drawText(dc, area.left, 4, "Temperatura: " + statsText(data.stats.temperature, "°C"), TA_LEFT | TA_TOP,
                 kTemperatureColour);
    }
    if (options.humidity) {
        drawText(dc, options.temperature ? area.left + width / 2 : area.left, 4,
                 "Wilgotność: " + statsText(data.stats.humidity, "%"), TA_LEFT | TA_TOP, kHumidityColour);
    }
    // Below the temperature's and the humidity's figures, those of the dew point and the absolute humidity; the
    // range shown at the right end, where it leaves them room.
    int used = area.left;
    const auto drawFigures = [&](int x, const std::string& text, COLORREF colour) {
        drawText(dc, x, 24, text, TA_LEFT | TA_TOP, colour);
        used = std::max(used, x + textWidth(dc, text));
    };
    if (options.dewPoint)
        drawFigures(area.left, "Punkt rosy: " + moistAirText(data.stats.moistAir, true), kDewPointColour);
    if (options.absoluteHumidity) {
        drawFigures(options.dewPoint ? area.left + width / 2 : area.left,
                    "Wilg. bezwzgl.: " + moistAirText(data.stats.moistAir, false), kAbsoluteColour);
    }
    const std::string range = formatStamp(zone.toLocal(static_cast<std::int64_t>(std::floor(data.view.t0)))) + " – " +
                              formatStamp(zone.toLocal(static_cast<std::int64_t>(std::ceil(data.view.t1))));
    if (area.right - textWidth(dc, range) > used + 12)
        drawText(dc, area.right, 24, range, TA_RIGHT | TA_TOP, kAxisColour);

    const int saved = SaveDC(dc);
    IntersectClipRect(dc, area.left + 1, area.top + 1, area.right, area.bottom);
    if (options.temperature) {
        drawLimit(dc, area, options.temperatureLimits.hasLow, options.temperatureLimits.low, temperature,
                  kTemperatureColour);
        drawLimit(dc, area, options.temperatureLimits.hasHigh, options.temperatureLimits.high, temperature,
                  kTemperatureColour);
    }
    if (options.humidity) {
        drawLimit(dc, area, options.humidityLimits.hasLow, options.humidityLimits.low, humidity, kHumidityColour);
        drawLimit(dc, area, options.humidityLimits.hasHigh, options.humidityLimits.high, humidity, kHumidityColour);
    }
    if (options.absoluteHumidity)
        drawTrace(dc, area, data.trace.absoluteHumidity, humidity, kAbsoluteColour);
    if (options.dewPoint)
        drawTrace(dc, area, data.trace.dewPoint, temperature, kDewPointColour);
    if (options.humidity)
        drawTrace(dc, area, data.trace.humidity, humidity, kHumidityColour);
    if (options.temperature)
        drawTrace(dc, area, data.trace.temperature, temperature, kTemperatureColour);
    if (cursorX >= area.left && cursorX < area.right) {
        SelectGuard keepPen(dc, axis.get());
        MoveToEx(dc, cursorX, area.top, nullptr);
        LineTo(dc, cursorX, area.bottom);
    }
    if (band.right > band.left) {
        RECT shown{band.left, area.top, band.right, area.bottom};
        InvertRect(dc, &shown);
    }
    RestoreDC(dc, saved);
}
