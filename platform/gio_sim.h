// The simulated real-time drivers kr_generic_io and krssc_pulm as registered devices: the
// device registry registers them in place of real drivers on first use.
#pragma once

#include "rtdev.h"

// The ops record shared by the simulated devices; the context is the device index.
const RtDevOps *gio_sim_ops();
const char *gio_sim_deviceName(int device);
int gio_sim_deviceCount();
