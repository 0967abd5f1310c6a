// The simulated FS FPGA: decodes the byte stream of both paths, keeps its registers, routes
// SPI transfers to the chips (the channels' streams take turns on a bus), answers register
// reads and plays each channel's buffered stream, repeating the pass between jump label and
// jump on the channel's sweep timer.
#pragma once

#include <cstdint>
#include <string>

#include "kr_generic_io.h"

void simfpga_init();
// Buffered path: decoded into the channels' queues; waits while a queue is full.
int simfpga_transmit(const uint8_t *data, uint32_t length);
// Immediate path: executed at once. A register read leaves its reply for the fetch.
int simfpga_sendImm(const uint8_t *data, uint32_t length, bool replyExpected);
int simfpga_fetchReply(KrGioFsReply *reply);
void simfpga_restartRx();
bool simfpga_waitIdle(double timeoutSeconds);
void simfpga_reset();

// Peeks (caller need not hold the simulation lock).
uint64_t simfpga_register(uint32_t reg);
bool simfpga_isLooping(int channel);
// Drops the streams and open transfers before the chips are built anew (another layout);
// caller holds simhw_lock.
void simfpga_forgetChips();
// The firmware brought the FS link up (an FS controller is fitted).
bool simfpga_present();
uint64_t simfpga_passes(int channel);
int simfpga_outputValidCode(int channel);
uint64_t simfpga_commandsExecuted();
// Caller holds simhw_lock. RAM from address; what was never written reads 0.
void simfpga_readRam(uint32_t address, uint8_t *out, uint32_t length);  // the pattern RAM
void simfpga_readRamAt(uint32_t index, uint32_t address, uint8_t *out, uint32_t length);
// The sweep-timer values (on count low, off count high word) the channel's loop writes, in
// play order; at most max. The number found.
int simfpga_loopSweepTimers(int channel, uint64_t *out, int max);

// Fast channel programming: a word presented on the interface (SimFcpWord); every channel
// with FCP on plays the block it selects. The number of channels that played one.
enum SimFcpWord { SIM_FCP_TW = 0, SIM_FCP_FW = 1, SIM_FCP_AW = 2, SIM_FCP_LW = 3 };
int simfpga_fcpWord(int kind, int64_t value);
// Caller holds simhw_lock. Appends the channel's ", \"fcp\": {...}" to the state file.
void simfpga_appendFcpJson(int channel, std::string &json);
