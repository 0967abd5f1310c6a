// The system subtree (interfaces, errors, settings, firmware), the power unit, abort and initiate,
// the self tests and the trigger subsystem.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include "scpi/scpi_tree.h"

extern const ScpiNode scpi_cmd_systemNodes[];
extern const ScpiNode scpi_cmd_unitNodes[];
extern const ScpiNode scpi_cmd_initNodes[];
extern const ScpiNode scpi_cmd_testNodes[];
extern const ScpiNode scpi_cmd_triggerNodes[];
