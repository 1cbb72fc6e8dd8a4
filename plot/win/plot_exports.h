#pragma once

#include "plot/report.h"

#include <windows.h>

#include <functional>
#include <string>

// The window's exports of the visible range.
enum class ExportKind { Csv, Png, Report };

// Asks where to write an export of `kind`, then `write`s it there and warns when it could not be written. What is
// written is taken only after the question: the view and the files may have moved on while it was asked.
void exportFile(HWND owner, ExportKind kind, const std::function<bool(const std::wstring& path)>& write);

// The chart drawn at `width` x `height` as a PNG file.
bool writeChartFile(const std::wstring& path, int width, int height, const ChartData& data, const ChartOptions& options,
                    const CTimeZone& zone);
bool writeReportFile(const std::wstring& path, const CPlotModel& model, const ReportJob& job, const ByteReader& reader);
