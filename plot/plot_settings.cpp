#include "plot/plot_settings.h"

#include "base/number_format.h"

namespace {

const char kSection[] = "LIMITS";

void readLimit(const CSettingsStore& store, const char* key, bool& has, std::int32_t& hundredths) {
    bool readHas = false;
    std::int32_t read = 0;
    if (parseLimit(store.getString(kSection, key, ""), readHas, read)) {
        has = readHas;
        hundredths = read;
    }
}

} // namespace

void readAnalysis(const CSettingsStore& store, AnalysisSettings& settings) {
    AnalysisSettings read = settings;
    readLimit(store, "T_LOW", read.temperature.hasLow, read.temperature.low);
    readLimit(store, "T_HIGH", read.temperature.hasHigh, read.temperature.high);
    readLimit(store, "RH_LOW", read.humidity.hasLow, read.humidity.low);
    readLimit(store, "RH_HIGH", read.humidity.hasHigh, read.humidity.high);
    double activation = 0;
    if (parseActivation(store.getString(kSection, "MKT_DH", ""), activation))
        read.activation = activation;
    if (limitsValid(read.temperature) && limitsValid(read.humidity))
        settings = read;
}

void writeAnalysis(CSettingsStore& store, const AnalysisSettings& settings) {
    store.setString(kSection, "T_LOW", limitText(settings.temperature.hasLow, settings.temperature.low));
    store.setString(kSection, "T_HIGH", limitText(settings.temperature.hasHigh, settings.temperature.high));
    store.setString(kSection, "RH_LOW", limitText(settings.humidity.hasLow, settings.humidity.low));
    store.setString(kSection, "RH_HIGH", limitText(settings.humidity.hasHigh, settings.humidity.high));
    store.setString(kSection, "MKT_DH", formatFixed(settings.activation, 3));
}
