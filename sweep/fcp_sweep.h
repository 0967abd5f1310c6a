// Fast channel programming (FS variant): every point an external word may select is recorded
// as the chips' programming into one block of the FS FPGA's block memory, and look-up tables
// map frequency and amplitude words to blocks; the FPGA then replays a block per word without
// the program. Word kinds: list word (LW, a list point), frequency word (FW), amplitude word
// (AW) and both (FW + AW). The state lives in the channel's sweep record (Sweep::fcp).
// Main loop only.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"

struct Device;

// Band edges fetched per start: more frequency bands than the table holds are cut by the
// table, not by the fetch, so that the cut is reported.
constexpr int32_t FCP_FREQUENCY_BANDS_MAX = 8192;
constexpr int32_t FCP_POWER_BANDS_MAX = 16;
// The state FCP reports to the device while it runs (Device_notifyState).
constexpr uint32_t FCP_NOTIFY_STATE = 32;

// Word width of the interface: 0 = 16-bit, 1 = 8-bit (shared by the channels).
uint8_t fcp_sweep_wordWidth();

// Clears the channel's FCP state (channel current); -241 when a slot FCP needs is missing,
// else 16-bit words and the operations registered.
int fcp_sweep_init(Device *device, uint32_t channel);
void fcp_sweep_registerFunctions();

// Records the blocks and tables for the enabled word kind and turns FCP on (current channel).
int fcp_sweep_start(Device *device);
// Turns FCP off and puts the channel back on its fixed frequency; nothing when not running.
int fcp_sweep_stop(Device *device);

// An amplitude word: round(power * 128) as a 16-bit integer, saturated.
int16_t fcp_amplitudeWord(KrPow power);

// Test words on the interface's test output (loop-back diagnostics): 8-bit mode in four
// nibbles, 16-bit mode in two bytes, least significant first, each strobed.
int fcp_common_writeFcpTwM8Bit(Device *device, uint32_t word);
int fcp_common_writeFcpFwM8Bit(Device *device, uint32_t word);
int fcp_common_writeFcpAwM8Bit(Device *device, uint32_t word);
int fcp_common_writeFcpTwM16Bit(Device *device, uint32_t word);
int fcp_common_writeFcpFwM16Bit(Device *device, uint32_t word);
int fcp_common_writeFcpAwM16Bit(Device *device, uint32_t word);
