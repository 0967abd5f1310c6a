// The measurement roots: measurement, configuration and sense of the built-in analyser.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include "scpi/scpi_tree.h"

extern const ScpiNode scpi_cmd_measureNodes[];
extern const ScpiNode scpi_cmd_configureNodes[];
extern const ScpiNode scpi_cmd_senseNodes[];
extern const ScpiNode scpi_cmd_calculateNodes[];
