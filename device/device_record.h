// The single instrument record created by Device_create.
#pragma once

#include "scpi/scpi_status.h"

struct Device {
    char modelName[32];
    DeviceStatusRegisters statusRegisters;
};
