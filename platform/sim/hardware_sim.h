// Test API of the simulated hardware, the one facade over the platform's simhw_* and friends:
// timing, the observable state of each channel and the reference, peeks into the chip
// emulators and the FS FPGA, stimuli (temperatures, ADC readings, triggers) and the protocol
// violations the emulators found. Tests and tools only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim_hw.h"
#include "platform/sim_trace.h"

// Hardware time is multiplied by the scale (0: delays, timers and waits take no time).
void hardware_sim_setTimeScale(double scale);
double hardware_sim_timeScale();
// Waits until the I/O program player and the FPGA streams (loops aside) have nothing left.
bool hardware_sim_waitIdle(double timeoutSeconds = 5.0);
// Power-on state of every chip, empty queues, no violations.
void hardware_sim_reset();
// Layout instead of the serial number: see simhw_configure.
void hardware_sim_configure(int channels, bool uln, const char *sspe);

// Observable state after the last I/O update; channel counts from 0.
SimChannelState hardware_sim_channel(int channel);
SimReferenceState hardware_sim_reference();
std::string hardware_sim_stateJson();
uint64_t hardware_sim_ioupdates();
std::string hardware_sim_freqText(const KrFreq &f);

// Chip peeks.
uint64_t hardware_sim_ddsRegister(int channel, int reg, bool active = true);
std::vector<uint8_t> hardware_sim_shiftRegisterImage(uint32_t slave);
// A register of a word chip (DACs, potentiometers, attenuators, clock chips), or otherwise.
uint64_t hardware_sim_chipRegister(uint32_t slave, uint32_t address, uint64_t otherwise = 0);
uint64_t hardware_sim_chipFrames(uint32_t slave);
bool hardware_sim_chipSelected(uint32_t slave);

// Stimuli.
void hardware_sim_setTemperature(int channel, double celsius);  // -1: the controller board
void hardware_sim_setAdc(uint32_t slave, uint32_t value);
void hardware_sim_setExternalReferencePresent(bool present);
void hardware_sim_trigger();

// FS FPGA peeks.
uint64_t hardware_sim_fpgaRegister(uint32_t reg);
bool hardware_sim_fpgaLooping(int channel);
uint64_t hardware_sim_fpgaPasses(int channel);
int hardware_sim_fpgaOutputValid(int channel);
uint64_t hardware_sim_fpgaCommands();
// Fast channel programming: a word on the interface (SimFcpWord kind, see sim_fpga.h), the
// channels that played a block; and a RAM of the FPGA (FS_RAM_INDEX_* / fs_ram*Lut).
int hardware_sim_fcpWord(int kind, int64_t value);
std::vector<uint8_t> hardware_sim_fpgaRam(uint32_t index, uint32_t address, uint32_t length);

// The level stages' latches of a channel in order (bounded, see SIMHW_LEVEL_TRACE_MAX), and
// the level changes whose output overshot (channel -1: all channels).
std::vector<SimLevelLatch> hardware_sim_levelTrace(int channel);
void hardware_sim_clearLevelTrace();
uint64_t hardware_sim_levelViolations(int channel = -1);
// The output trace's rows kept in memory (bounded, SIMTRACE_MEMORY_ROWS), channel -1: all.
std::vector<SimTraceRow> hardware_sim_outputTrace(int channel = 0);

// Protocol violations found by the emulators, and the newest hardware log lines.
std::vector<std::string> hardware_sim_violations();
void hardware_sim_clearViolations();
std::vector<std::string> hardware_sim_logTail(size_t lines);
