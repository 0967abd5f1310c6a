// The output, memory and display roots.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include "scpi/scpi_tree.h"

extern const ScpiNode scpi_cmd_outputNodes[];
extern const ScpiNode scpi_cmd_memoryNodes[];
extern const ScpiNode scpi_cmd_displayNodes[];
