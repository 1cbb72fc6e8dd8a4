#pragma once

#include "plot/win/chart_painter.h"

#include <string>

// Draws the chart at `width` x `height` pixels and saves it as a PNG file through GDI+.
bool exportPng(const std::wstring& path, int width, int height, const ChartData& data, const ChartOptions& options);
