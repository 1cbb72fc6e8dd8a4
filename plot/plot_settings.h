#pragma once

#include "base/settings_store.h"
#include "plot/statistics.h"

#include <cstddef>
#include <string>
#include <vector>

// What Plot keeps in plot.ini beside the program: the recent files (section RECENT, FILE1 to FILE6) and the limits
// and ΔH (section LIMITS: T_LOW, T_HIGH, RH_LOW, RH_HIGH, empty for none, and MKT_DH in kJ/mol). Read once at start;
// at exit only the sections changed meanwhile are written. The limits are written only once the user has set them,
// so a plot.ini of a user who never does stays as it was; a key that is missing or does not read as a number keeps
// its default.
class CPlotIni {
public:
    static constexpr std::size_t kRecentFiles = 6;

    void read(const CSettingsStore& store);
    // Writes the changed sections into `store`, which holds the file as it is at exit.
    void write(CSettingsStore& store) const;
    bool changed() const { return !changed_.empty(); }

    // Newest first.
    const std::vector<std::string>& recent() const { return recent_; }
    const AnalysisSettings& analysis() const { return analysis_; }
    // After a reading of files (UTF-8 paths, in the order opened): each goes first in the recent files, once
    // (compared without regard to ASCII case), the oldest dropped beyond kRecentFiles.
    void rememberFiles(const std::vector<std::string>& paths);
    void setAnalysis(const AnalysisSettings& analysis);

private:
    enum class Section { Recent, Limits };
    void touch(Section section);

    std::vector<std::string> recent_;
    AnalysisSettings analysis_;
    std::vector<Section> changed_;
};
