// Power-detector corrections.
#include "hw/power_detector.h"

#include <cmath>

int32_t powerDetector_dacCorrection(const PowerDetectorPart *part, KrPow p) {
    const PowerDetectorPoint *t = part->points;
    int n = part->count;
    if (n <= 0) return 0;
    if (!(p > t[0].dbm)) return t[0].counts;
    if (p >= t[n - 1].dbm) return t[n - 1].counts;
    int i = 1;
    while (t[i].dbm < p)
        i++;
    double f = (p - t[i - 1].dbm) / (t[i].dbm - t[i - 1].dbm);
    return (int32_t)std::lround(t[i - 1].counts + f * (t[i].counts - t[i - 1].counts));
}
