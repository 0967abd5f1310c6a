// The channel device's calibration: one table per channel, read from the channel's file
// ("/korvane/dev/calibration<n>.csv", n the 0-based channel number) at start-up, after a
// reset and whenever a new file arrives. Main loop.
#pragma once

struct Device;

void analog_registerCalibrationFunctions();
// Points the current channel at its table and empties it (start-up and reset).
void analog_initCalibration(Device *device);
// Reads the current channel's file (or name) into its table and defines the bands from the
// board's band edges; with reapply the current power is set again through the new table.
// 0, or -200 when the file is missing or broken (the table is then empty).
int analog_readCalibration(Device *device, const char *name, bool reapply);
