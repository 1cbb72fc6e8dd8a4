#pragma once

#include "plot/chart_data.h"

#include <windows.h>

#include <string>
#include <vector>

// The checks of what the chart shows and of the CSV separator; the exports only while there are records.
void showMenuState(HMENU menu, const ChartOptions& options, int separator, bool haveData);
// Plik → Ostatnie pliki: the recent files as the commands ID_RECENT_FIRST on, "(brak)" without any.
void showRecentFiles(HMENU menu, const std::vector<std::string>& recent);
