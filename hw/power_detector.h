// Power detectors of the ALC loop: the DAC correction that straightens a detector's
// characteristic, by linear interpolation in the detector's table (counts per input power).
// Pure computation; any thread.
#pragma once

#include <cstdint>

#include "device/krquantity.h"

struct PowerDetectorPoint {
    float dbm;
    int32_t counts;
};

struct PowerDetectorPart {
    const char *name;
    const PowerDetectorPoint *points;  // ascending power
    int count;
};

// Correction at power p; outside the table the end values hold.
int32_t powerDetector_dacCorrection(const PowerDetectorPart *part, KrPow p);
