#pragma once

#include "base/settings_store.h"
#include "plot/statistics.h"

// The limits and ΔH kept in plot.ini, section LIMITS: T_LOW, T_HIGH, RH_LOW, RH_HIGH (empty for none) and MKT_DH
// (kJ/mol). They are written only once the user has set them, so a plot.ini of a user who never does stays as it
// was; a key that is missing or does not read as a number keeps its default.
void readAnalysis(const CSettingsStore& store, AnalysisSettings& settings);
void writeAnalysis(CSettingsStore& store, const AnalysisSettings& settings);
