#pragma once

#include "plot/chart_data.h"
#include "plot/time_zone.h"

#include <windows.h>

// The plot area inside a client rectangle (room for both value axes, the statistics and the time labels).
RECT plotArea(const RECT& client);

// Draws the chart; `band` (when its right exceeds its left) is a selection being dragged, `cursorX` a cursor line.
void paintChart(HDC dc, const RECT& client, const ChartData& data, const ChartOptions& options, const CTimeZone& zone,
                const RECT& band, int cursorX);
