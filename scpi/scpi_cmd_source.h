// The signal source branch: frequency, power, phase, sweep and list settings, the modulations, the
// reference oscillator, the multifunction ports, baseband and the other source functions.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include "scpi/scpi_tree.h"

extern const ScpiNode scpi_cmd_sourceNodes[];
