// Manual and service access to the level chain: the power-extension attenuator held by hand
// (POW:ATT with AUTO off), the step attenuators, loop attenuator, gain stage and ALC written
// directly (the DIAG leaves and the legacy words). A direct write goes out with one I/O
// update and becomes the stage's current value, so the next power change starts from what
// the chips hold. Main loop.
#pragma once

#include "device/device_record.h"

// Registers the slots; after the forwarding slots, whose attenuation queries it replaces.
void level_access_registerFunctions();

// The ALC margin the next power change uses: the override when one is set, else the
// calibration's at the channel's coordinates (half-dB steps).
int32_t level_access_alcMargin(Device *device, int32_t calibrated);
