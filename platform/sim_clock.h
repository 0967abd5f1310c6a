// The simulated hardware's clock in timer ticks, one per channel (132.096 MHz on the
// standard controller, whose one point timer serves every channel; 200 MHz on the FS
// controller, whose FPGA times each channel's sweep). It advances only by what the hardware
// is programmed to take (point periods, delays), so the dwell a sweep shows is exact whatever
// the host's scheduler does; wall time only paces the players (scaled by KR_SIM_TIME_SCALE).
// Caller holds simhw_lock.
#pragma once

#include <cstdint>

constexpr double SIMCLOCK_HZ = 132.096e6;
constexpr double SIMCLOCK_FS_HZ = 200e6;

uint64_t simclock_ticks(int channel = 0);
// channel -1: every channel.
void simclock_advance(uint64_t ticks, int channel = -1);
// Seconds in whole ticks of the standard controller.
uint64_t simclock_ticksOf(double seconds);
void simclock_reset();
