// Stepped phase moves shared by the output-board modules.
#include "hw/orbxxxg_phase.h"

#include <cmath>

namespace {
constexpr double PHASE_STEP_MAX = M_PI / 6;
}

double orbxxxg_wrapAngle(double radians) {
    double a = std::fmod(radians, 2 * M_PI);
    if (a < 0) a += 2 * M_PI;
    if (a >= 2 * M_PI) a = 0;
    return a;
}

int orbxxxg_stepPhase(double from, double to, int (*write)(void *context, double phase),
                      void *context, double *reached) {
    *reached = from;
    int steps = (int)std::ceil(std::fabs(to - from) / PHASE_STEP_MAX - 1e-12);
    for (int i = 1; i <= steps; i++) {
        double p = i == steps ? to : from + (to - from) * i / steps;
        int r = write(context, p);
        if (r) return r;
        *reached = p;
    }
    return 0;
}
