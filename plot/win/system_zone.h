#pragma once

#include "plot/time_zone.h"

// The computer's time zone, with the rules the system keeps for each year.
const CTimeZone& systemZone();
