#pragma once

#include <cstdint>

#include "platform/serial_port.h"

// Shows the modem lines, the hold and XOFF conditions on the nine lamps, and reports each line
// error flag as an event line.
void ShowLineStatus(uint32_t eventMask, uint32_t errors, const platform::ComStat& status);
// All nine lamps off: with the port closed nothing holds the line any more.
void TurnLampsOff();
