// HMC611 power detector: the DAC correction for its characteristic (see power_detector.h).
#pragma once

#include "hw/power_detector.h"

extern const PowerDetectorPart HMC611_PART;
int32_t HMC611_getDacCorrection(KrPow power);
