#pragma once

#include "plot/report.h"
#include "plot/win/chart_painter.h"

#include <string>

// Draws the chart at `width` x `height` pixels and encodes it as PNG through GDI+.
bool encodePng(int width, int height, const ChartData& data, const ChartOptions& options, const CTimeZone& zone,
               std::string& png);
// encodePng in `zone`, for the report job.
ChartEncoder pngEncoder(const CTimeZone& zone);
