// The instrument's command tree: the root table and the subtrees below it, in the order the
// keywords are tried. The first root set (common commands and the roots before the implied
// [SOURce] branch), the branch, then the second root set, tried only when nothing inside the
// implied branch matched.
//
// Context: main loop (inside scpi_parser).
#pragma once

#include "scpi/scpi_tree.h"

extern const ScpiNode scpi_rootNodes[];
