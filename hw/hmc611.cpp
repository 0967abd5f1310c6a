// HMC611 logarithmic detector: deviation of its log conformance, in DAC counts, as
// measured for this build's boards.
#include "hw/hmc611.h"

namespace {

const PowerDetectorPoint points[] = {{-60, 180}, {-50, 60}, {-40, 0}, {-30, -20},
                                     {-20, -10}, {-10, 0},  {0, 40},  {5, 120}};

}  // namespace

const PowerDetectorPart HMC611_PART = {"HMC611", points, sizeof(points) / sizeof(points[0])};

int32_t HMC611_getDacCorrection(KrPow power) {
    return powerDetector_dacCorrection(&HMC611_PART, power);
}
