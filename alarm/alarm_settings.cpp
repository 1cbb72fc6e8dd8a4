#include "alarm/alarm_settings.h"

#include <algorithm>
#include <utility>

// Swapping keeps both limits watched: dropping one would silently end the watch on that side.
void boundAlarmSettings(AlarmSettings& settings) {
    for (AlarmLimits& limits : settings.limits) {
        if (limits.lowTenths && limits.highTenths && *limits.lowTenths > *limits.highTenths)
            std::swap(limits.lowTenths, limits.highTenths);
    }
    settings.delaySeconds = std::clamp(settings.delaySeconds, 0, kMaxAlarmDelaySeconds);
    settings.hysteresisTenths = std::clamp(settings.hysteresisTenths, 0, kMaxAlarmHysteresisTenths);
    settings.linkMinutes = std::clamp(settings.linkMinutes, 0, kMaxAlarmLinkMinutes);
}
