#pragma once

#include "serial/port_list.h"

// The computer's serial ports COM1..COM256 with their device descriptions: SetupAPI (loaded at run time) first,
// then GetDefaultCommConfigA probing.
int findPortsBySetupApi(PortTable& table, int count);
void probePorts(PortTable& table, int count, int probeAll);
// ok is false when the text could not be made.
struct PortListResult {
    bool ok = false;
    PortListText list;
};
PortListResult listPorts();
