// The simulated pulse modulators: what each channel's modulator does, derived from what the
// hardware holds. The standard controller's single modulator (channel 0) follows the
// krssc_pulm driver requests and the control board's shift register; on an FS controller
// each channel's modulator follows its FPGA registers, the bit pattern in FPGA RAM and, for
// a train, the entries of the channel's sweep loop.
#pragma once

#include <cstdint>
#include <string>

// A krssc_pulm request (0xE084..0xE08B) whose record the recorder has read. Takes
// simhw_lock. 0 or -errno.
int simpulse_request(int request, void *arg);
// The external pulse input's level (stimulus). Takes simhw_lock.
void simpulse_setInput(bool high);

// Caller holds simhw_lock.
void simpulse_reset();
// An FS register write about to take effect; returns the value the register keeps (the
// times load strobe does not stay set).
uint64_t simpulse_fpgaRegisterWrite(uint32_t reg, uint64_t old, uint64_t value);
// The register now holds its value: the state file follows.
void simpulse_fpgaRegisterStored(uint32_t reg);
// The bit pattern in FPGA RAM or a channel's sweep loop (a train) changed.
void simpulse_fpgaChanged();
// The channel's "rf" text: "pulsed" for an output that is on and modulated.
const char *simpulse_rf(int channel, const char *rf);
// Appends the channel's ", \"pulse\": {...}" to the state file's channel object.
void simpulse_appendJson(int channel, std::string &json);
