#pragma once

#include "serial/port_list.h"

#include <functional>

// The computer's serial ports COM1..COM256 with their device descriptions: SetupAPI (loaded at run time) first,
// then GetDefaultCommConfigA probing. Both ask `stopRequested` between devices and ports and end early, with what
// they have found, once it says so (the wait box's "Anuluj").
using StopRequested = std::function<bool()>;
bool findPortsBySetupApi(PortTable& table, int count, const StopRequested& stopRequested);
void probePorts(PortTable& table, int count, bool probeAll, const StopRequested& stopRequested);
// ok is false when the text could not be made.
struct PortListResult {
    bool ok = false;
    PortListText list;
};
PortListResult listPorts(const StopRequested& stopRequested);
