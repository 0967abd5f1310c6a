// The output trace: one row per channel and I/O update, with the hardware clock, the point of
// the running point timer and what leaves the channel (frequency, level stages, phase, RF and
// blanking) and the point timing in force. Kept in memory for tests (bounded) and written to
// sim/output-trace.csv, which starts over with its header once it holds SIMTRACE_FILE_ROWS.
// Caller holds simhw_lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/krfreq.h"

constexpr size_t SIMTRACE_MEMORY_ROWS = 20000;
constexpr size_t SIMTRACE_FILE_ROWS = 200000;

struct SimTraceRow {
    uint64_t tick;
    int channel;    // 0-based
    int64_t point;  // points since the timer started; -1 without a running timer
    KrFreq frequency;
    bool outputOn;
    double outputDbm;
    double attenuationADb, attenuationBDb, moduleDb;
    uint32_t alcDac;
    double phaseRad;
    const char *rf;  // "on", "pulsed", "muted", "off"
    bool blanking;
    uint64_t dwellTicks, delayTicks;
};

// The point timer of a channel as its player runs it (channel -1: every channel).
void simtrace_setTimer(bool running, int64_t point, uint64_t dwellTicks, uint64_t delayTicks,
                       int channel = -1);
int64_t simtrace_point(int channel = 0);
bool simtrace_timerRunning(int channel = 0);
uint64_t simtrace_pointPeriod(int channel = 0);
uint64_t simtrace_dwellTicks(int channel = 0);
uint64_t simtrace_delayTicks(int channel = 0);
void simtrace_record(const SimTraceRow &row);
// Rows reach the file in blocks (a write per row cost the simulation a fifth of a setting).
// Written out with every state file write, before every wait of the simulated hardware and by
// simhw_traceNow, so a reader never finds the trace behind the state or a waiting output.
void simtrace_flush();
std::vector<SimTraceRow> simtrace_rows(int channel);
// Forgets the rows and starts the file of the current root over with its header.
void simtrace_clear();
