#include "sim_clock.h"

#include <cmath>

#include "sim_hw.h"

namespace {

uint64_t ticks[SIMHW_CHANNELS] = {};

}  // namespace

uint64_t simclock_ticks(int channel) {
    return channel >= 0 && channel < SIMHW_CHANNELS ? ticks[channel] : ticks[0];
}

void simclock_advance(uint64_t n, int channel) {
    for (int c = 0; c < SIMHW_CHANNELS; c++)
        if (channel < 0 || channel == c) ticks[c] += n;
}

uint64_t simclock_ticksOf(double seconds) {
    return seconds > 0 ? (uint64_t)std::llround(seconds * SIMCLOCK_HZ) : 0;
}

void simclock_reset() {
    for (uint64_t &t : ticks)
        t = 0;
}
