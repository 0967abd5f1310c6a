// HMC1094 RMS detector: deviation of its characteristic, in DAC counts, as measured for
// this build's boards.
#include "hw/hmc1094.h"

namespace {

const PowerDetectorPoint points[] = {{-40, 240}, {-30, 90}, {-20, 10}, {-10, 0},
                                     {0, 0},     {10, 30},  {15, 110}};

}  // namespace

const PowerDetectorPart HMC1094_PART = {"HMC1094", points, sizeof(points) / sizeof(points[0])};

int32_t HMC1094_getDacCorrection(KrPow power) {
    return powerDetector_dacCorrection(&HMC1094_PART, power);
}
