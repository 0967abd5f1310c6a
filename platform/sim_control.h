// The stimulus socket sim/control.sock of the simulation root: a test (or a person with a
// Unix-socket client) drives the hardware's inputs from outside, one line per stimulus:
//   trigger            a trigger event (as the trigger input or the bus would give)
//   external pos|neg   an edge at the external trigger input
//   gate 0|1           the level at the gate input
// Each line is answered with "ok" or "error: <why>".
#pragma once

#include <string>

// Starts listening below the current root (once per root; any thread).
void simcontrol_start();
// One stimulus line as the socket takes it; the answer without its line feed.
std::string simcontrol_handle(const std::string &line);
// The gate input's level.
bool simcontrol_gate();
