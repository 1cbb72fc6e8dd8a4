#include "plot/plot_settings.h"

#include "base/number_format.h"

#include <algorithm>
#include <cctype>

namespace {

const char kRecentSection[] = "RECENT";
const char kLimitsSection[] = "LIMITS";

std::string recentKey(std::size_t index) {
    return "FILE" + std::to_string(index + 1);
}

void readLimit(const CSettingsStore& store, const char* key, bool& has, std::int32_t& hundredths) {
    bool readHas = false;
    std::int32_t read = 0;
    if (parseLimit(store.getString(kLimitsSection, key, ""), readHas, read)) {
        has = readHas;
        hundredths = read;
    }
}

void readAnalysis(const CSettingsStore& store, AnalysisSettings& settings) {
    AnalysisSettings read = settings;
    readLimit(store, "T_LOW", read.temperature.hasLow, read.temperature.low);
    readLimit(store, "T_HIGH", read.temperature.hasHigh, read.temperature.high);
    readLimit(store, "RH_LOW", read.humidity.hasLow, read.humidity.low);
    readLimit(store, "RH_HIGH", read.humidity.hasHigh, read.humidity.high);
    double activation = 0;
    if (parseActivation(store.getString(kLimitsSection, "MKT_DH", ""), activation))
        read.activation = activation;
    if (limitsValid(read.temperature) && limitsValid(read.humidity))
        settings = read;
}

void writeAnalysis(CSettingsStore& store, const AnalysisSettings& settings) {
    store.setString(kLimitsSection, "T_LOW", limitText(settings.temperature.hasLow, settings.temperature.low));
    store.setString(kLimitsSection, "T_HIGH", limitText(settings.temperature.hasHigh, settings.temperature.high));
    store.setString(kLimitsSection, "RH_LOW", limitText(settings.humidity.hasLow, settings.humidity.low));
    store.setString(kLimitsSection, "RH_HIGH", limitText(settings.humidity.hasHigh, settings.humidity.high));
    store.setString(kLimitsSection, "MKT_DH", formatFixed(settings.activation, 3));
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<std::string> rememberFile(std::vector<std::string> recent, const std::string& path, std::size_t keep) {
    recent.erase(std::remove_if(recent.begin(), recent.end(),
                                [&path](const std::string& other) { return sameIgnoringCase(other, path); }),
                 recent.end());
    recent.insert(recent.begin(), path);
    if (recent.size() > keep)
        recent.resize(keep);
    return recent;
}

} // namespace

void CPlotIni::read(const CSettingsStore& store) {
    recent_.clear();
    for (std::size_t i = 0; i < kRecentFiles; ++i) {
        const std::string path = store.getString(kRecentSection, recentKey(i), "");
        if (!path.empty())
            recent_.push_back(path);
    }
    readAnalysis(store, analysis_);
}

// Each section is written whole, even when nothing in it differs from the file: the store writes only what does.
// A section the file lacks is added in the order the sections first changed, where it went when every change was
// written at once.
void CPlotIni::write(CSettingsStore& store) const {
    for (const Section section : changed_) {
        if (section == Section::Limits) {
            writeAnalysis(store, analysis_);
            continue;
        }
        for (std::size_t i = 0; i < kRecentFiles; ++i)
            store.setString(kRecentSection, recentKey(i), i < recent_.size() ? recent_[i] : "");
    }
}

void CPlotIni::rememberFiles(const std::vector<std::string>& paths) {
    for (const std::string& path : paths)
        recent_ = rememberFile(recent_, path, kRecentFiles);
    touch(Section::Recent);
}

void CPlotIni::setAnalysis(const AnalysisSettings& analysis) {
    analysis_ = analysis;
    touch(Section::Limits);
}

void CPlotIni::touch(Section section) {
    if (std::find(changed_.begin(), changed_.end(), section) == changed_.end())
        changed_.push_back(section);
}
