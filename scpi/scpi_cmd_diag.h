// The service functions below DIAGnostic<n>: calibration, look-up tables, converters, loops,
// boards and logs.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include "scpi/scpi_tree.h"

extern const ScpiNode scpi_cmd_diagnosticNodes[];
