#pragma once

#include "plot/statistics.h"

#include <windows.h>

// Widok → Granice: the limits of both quantities and ΔH of the mean kinetic temperature. Edits a copy of `settings`
// and puts it back on OK; false when cancelled.
bool runLimitsDialog(HWND owner, AnalysisSettings& settings);
