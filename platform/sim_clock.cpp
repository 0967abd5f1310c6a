#include "sim_clock.h"

#include <cmath>

namespace {

uint64_t ticks = 0;

}  // namespace

uint64_t simclock_ticks() {
    return ticks;
}

void simclock_advance(uint64_t n) {
    ticks += n;
}

uint64_t simclock_ticksOf(double seconds) {
    return seconds > 0 ? (uint64_t)std::llround(seconds * SIMCLOCK_HZ) : 0;
}

void simclock_reset() {
    ticks = 0;
}
