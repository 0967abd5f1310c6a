// The output, memory and display roots.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include "scpi/scpi_tree.h"

extern const ScpiNode scpi_cmd_outputNodes[];
extern const ScpiNode scpi_cmd_memoryNodes[];
extern const ScpiNode scpi_cmd_displayNodes[];

// DISPlay[:ENABle] <bool>: the panel's display on or off.
int scpi_cmd_displayEnable(ScpiCall *call);
