// Phase moves of the output boards: an angle brought into [0, 2 pi), and a DDS phase moved
// to its target in steps of at most 30 degrees (a larger jump of the reference phase would
// unlock the loop). Main loop.
#pragma once

double orbxxxg_wrapAngle(double radians);

// write(context, phase) sends one step, with its I/O update. Returns 0 or the first error;
// *reached is the phase last written (from when nothing was).
int orbxxxg_stepPhase(double from, double to, int (*write)(void *context, double phase),
                      void *context, double *reached);
