// Factory calibration tables of the simulated instrument, made from the level model
// (platform/sim_level.h) as a calibration bench would measure them: per channel the power
// table of /korvane/dev/calibration<n>.csv (section 32512) with its frequency points, power
// zones and, per point, step attenuations A and B and the ALC set point. Tests and tools only.
#pragma once

#include "level/calibration.h"
#include "platform/sim_hw.h"

// Board power zones: A and B stay constant inside one so that only the set point
// interpolates; the loop point (power + A + B) stays well inside the loop's range.
struct SimCalZone {
    int lowDbm, highDbm;
    int stepsA, stepsB;  // 0.5 dB steps
};
inline constexpr SimCalZone SIMCAL_ZONES[] = {
    {-90, -55, 63, 63}, {-55, -25, 30, 30}, {-25, 30, 0, 0}};

// The power table of one channel of the layout.
void simcal_fill(const SimLayout &lay, int channel, Calibration *cal);
// Writes the table of every channel of the current root's serial number, keeping a file
// that exists unless replace. The number written, or -1 when a file could not be written.
int simcal_writeTables(bool replace);
