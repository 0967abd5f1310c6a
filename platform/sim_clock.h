// The simulated hardware's clock in timer ticks (132.096 MHz on the standard controller). It
// advances only by what the hardware is programmed to take (point periods, delays), so the
// dwell a sweep shows is exact whatever the host's scheduler does; wall time only paces the
// player (scaled by KR_SIM_TIME_SCALE). Caller holds simhw_lock.
#pragma once

#include <cstdint>

constexpr double SIMCLOCK_HZ = 132.096e6;

uint64_t simclock_ticks();
void simclock_advance(uint64_t ticks);
// Seconds in whole ticks.
uint64_t simclock_ticksOf(double seconds);
void simclock_reset();
