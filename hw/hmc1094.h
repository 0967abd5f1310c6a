// HMC1094 power detector: the DAC correction for its characteristic (see power_detector.h).
#pragma once

#include "hw/power_detector.h"

extern const PowerDetectorPart HMC1094_PART;
int32_t HMC1094_getDacCorrection(KrPow power);
