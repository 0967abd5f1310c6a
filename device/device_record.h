// The single instrument record created by Device_create.
#pragma once

struct Device {
    char modelName[32];
};
