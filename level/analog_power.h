// The levelling steps around every frequency and power change: everything that lowers the
// output first (decrease step, before the I/O update), everything that raises it afterwards
// (increase step). This build hands the requested power to the board's own power slots;
// calibration, flatness, the power extension and the digital levelling loops slot in here.
// Main loop.
#pragma once

#include "device/device_record.h"

int analog_setPowerDecrease(Device *device);
int analog_setPowerIncrease(Device *device);
// Low-power mode of the 40 GHz boards without a step attenuator.
int analog_isLowPowerModeCase(Device *device, const KrPow *p);
int analog_enterLowPowerMode(Device *device, const KrPow *p);
int analog_leaveLowPowerMode(Device *device);
