// The calibration file of a channel: semicolon-separated rows of decimal integers in sections
// (power table, power-extension rows, ALC-loop attenuator, margins, AM, gain stages, ...),
// ended by the first empty line. Read into a calibration record and written back in the same
// form. Main loop.
#pragma once

#include "level/calibration.h"

// Longest line of a calibration file, line feed included.
constexpr int CSVTABLES_LINE_MAX = 32767;

// Reads the file (firmware path) into the record, replacing what it held. 0, or a CalStatus:
// the record is then empty (both counts 0) and "status=%d in row=%d, col=%d" is reported.
int Csvtables_Csv2Cal(const char *path, Calibration *cal);
// Writes the record in the file's form (replaced whole, never torn). 0 or -200.
int Csvtables_Cal2Csv(const Calibration *cal, const char *path);
