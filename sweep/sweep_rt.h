// Real-time sweep execution: plays a configured sweep or list with point timing that the
// hardware keeps. The point generator produces each point's chip writes ahead of time,
// interleaved with I/O program steps (wait for the point timer, mute, start the timer). On
// the standard controller a co-kernel task runs the generator and hands I/O blocks to the
// driver, which plays them in step with its point timer; on the FS controller the generator
// runs once in the caller, queues one pass between a jump label and a jump, and the FPGA
// repeats it on its own.
//
// Context: start, stop, pause and resume on the main loop; the generator on the sweep task
// (standard) or the main loop (FS). The run flags shared with the task are accessed
// atomically (sweep_rt_flag*).
#pragma once

#include <cstdint>

#include "device/krquantity.h"
#include "sweep/sweep.h"

struct SweepList;

// Start playing according to the modes: 0, or -221 (trigger conflict), -240 when the sweep
// never became triggerable (it is stopped again).
int Sweep_start(Sweep *sweep);
// Stops one sweep (null: every channel's); blank allows forced blanking at the stop.
int Sweep_stop(Sweep *sweep, int blank);
int Sweep_pause(Sweep *sweep);
int Sweep_resume(Sweep *sweep);
// The preset of a sweep with the ALC held: a list record of its own made from the sweep's
// points (-223 beyond the list capacity), and the control value measured at each point.
int Sweep_createPresetSweepList(Sweep *sweep);
int Sweep_measurePreset(Sweep *sweep, SweepList *list);
// ALC sweep on the driver's SPI timer.
int Sweep_start_alc(Sweep *sweep, uint32_t a, KrTime t, uint32_t b);
// The time the hardware realises for t.
int Sweep_checkTiming(KrTime t, KrTime *out);
KrTime sweep_rt_checkTiming(KrTime t);
// Reloads the point timer (point time t1, dwell t2).
int sweep_rt_settime(Sweep *sweep, KrTime t1, KrTime t2);

// Constant point timing (point time t1, dwell t2) played by handler: on the sweep task
// (standard, joined by sweep_rt_stop of the same sweep) or at once in the caller (FS).
int sweep_rt_start_consttime(Sweep *sweep, void (*handler)(Sweep *), KrTime t1, KrTime t2);

int sweep_rt_init();
void sweep_rt_free();
int sweep_rt_stop(Sweep *sweep);

// The device the sweeps of this process play on (set by Sweep_init).
void sweep_rt_setDevice(Device *device);

// A running sweep plays a copy of its points taken at the start: a change restarts it.
void sweep_rt_planChanged(Sweep *sweep);

// Run flags shared with the task.
uint8_t sweep_rt_flag(const uint8_t &flag);
void sweep_rt_setFlag(uint8_t &flag, uint8_t value);
