// Test API of the simulated hardware: timing, the observable state of each channel and the
// reference, peeks into the chip emulators and the FS FPGA, stimuli (temperatures, ADC
// readings, triggers) and the protocol violations the emulators found. Tests and tools only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sim_hw.h"
#include "platform/sim_trace.h"

// Hardware time is multiplied by the scale (0: delays, timers and waits take no time).
void sim_hw_setTimeScale(double scale);
double sim_hw_timeScale();
// Waits until the I/O program player and the FPGA streams (loops aside) have nothing left.
bool sim_hw_waitIdle(double timeoutSeconds = 5.0);
// Power-on state of every chip, empty queues, no violations.
void sim_hw_reset();
// Layout instead of the serial number: see simhw_configure.
void sim_hw_configure(int channels, bool uln, const char *sspe);

// Observable state after the last I/O update; channel counts from 0.
SimChannelState sim_hw_channel(int channel);
SimReferenceState sim_hw_reference();
std::string sim_hw_stateJson();
uint64_t sim_hw_ioupdates();
std::string sim_hw_freqText(const KrFreq &f);

// Chip peeks.
uint64_t sim_hw_ddsRegister(int channel, int reg, bool active = true);
std::vector<uint8_t> sim_hw_shiftRegisterImage(uint32_t slave);
// A register of a word chip (DACs, potentiometers, attenuators, clock chips), or otherwise.
uint64_t sim_hw_chipRegister(uint32_t slave, uint32_t address, uint64_t otherwise = 0);
uint64_t sim_hw_chipFrames(uint32_t slave);
bool sim_hw_chipSelected(uint32_t slave);

// Stimuli.
void sim_hw_setTemperature(int channel, double celsius);  // -1: the controller board
void sim_hw_setAdc(uint32_t slave, uint32_t value);
void sim_hw_setExternalReferencePresent(bool present);
void sim_hw_trigger();

// FS FPGA peeks.
uint64_t sim_hw_fpgaRegister(uint32_t reg);
bool sim_hw_fpgaLooping(int channel);
uint64_t sim_hw_fpgaPasses(int channel);
int sim_hw_fpgaOutputValid(int channel);
uint64_t sim_hw_fpgaCommands();
// Fast channel programming: a word on the interface (SimFcpWord kind, see sim_fpga.h), the
// channels that played a block; and a RAM of the FPGA (FS_RAM_INDEX_* / fs_ram*Lut).
int sim_hw_fcpWord(int kind, int64_t value);
std::vector<uint8_t> sim_hw_fpgaRam(uint32_t index, uint32_t address, uint32_t length);

// The level stages' latches of a channel in order (bounded, see SIMHW_LEVEL_TRACE_MAX), and
// the level changes whose output overshot (channel -1: all channels).
std::vector<SimLevelLatch> sim_hw_levelTrace(int channel);
void sim_hw_clearLevelTrace();
uint64_t sim_hw_levelViolations(int channel = -1);
// The output trace's rows kept in memory (bounded, SIMTRACE_MEMORY_ROWS), channel -1: all.
std::vector<SimTraceRow> sim_hw_outputTrace(int channel = 0);

// Protocol violations found by the emulators, and the newest hardware log lines.
std::vector<std::string> sim_hw_violations();
void sim_hw_clearViolations();
std::vector<std::string> sim_hw_logTail(size_t lines);
