// The simulated hardware's own record and what its modules (sim_hw.cpp, sim_hw_log.cpp,
// sim_layout.cpp, sim_decode.cpp, sim_level_track.cpp, sim_state_file.cpp, sim_trigger.cpp)
// call of one another. Private to them: everything else goes through sim_hw.h.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/sim/int128.h"
#include "sim_ad9164.h"
#include "sim_ad9910.h"
#include "sim_ad9912.h"
#include "sim_chip.h"
#include "sim_hw.h"

namespace simhw_detail {

using u128 = kr_u128;
using Clock = std::chrono::steady_clock;

using Layout = SimLayout;

struct ChannelChips {
    SimShiftRegister *sri = nullptr;
    SimAd9910 *dds = nullptr;  // 20 GHz board
    SimAd9164 *rfdac = nullptr;
    SimAd9912 *dds48 = nullptr;  // generic board
    SimAd8402 *pot = nullptr;
    SimStepAttenuator *attA = nullptr, *attB = nullptr, *attLoop = nullptr;
    SimAd5643 *alcDac = nullptr;
    SimTc77 *temp = nullptr;
    SimShiftRegister *sspe = nullptr;
    SimAdc *alcAdc = nullptr, *vcoAdc = nullptr;
};

// The level stages' values as last latched, the modulator drive a hold froze, and the level
// change in progress with the highest output it passed through.
struct LevelTrack {
    int gainStage = -1;
    int alcBits = -1;
    double moduleDb = -1;
    double drive = 0;
    bool held = false;
    double heldDrive = 0;
    double settledDbm = -INFINITY;  // -inf: RF off
    bool changing = false;
    double peakDbm = -INFINITY;
    double lastEventS = 0;
    uint64_t violations = 0;
    std::deque<SimLevelLatch> trace;
};

struct Hw {
    std::mutex mutex;
    std::condition_variable changed;
    bool attached = false;
    Layout layout;
    std::vector<std::unique_ptr<SimChip>> chips;
    ChannelChips ch[SIMHW_CHANNELS];
    SimShiftRegister *refSri = nullptr;
    bool extRefPresent = true;
    bool blanking[SIMHW_CHANNELS] = {};
    uint64_t ioupdates = 0;
    SimChannelState snapshot[SIMHW_CHANNELS] = {};
    SimReferenceState reference = {};
    uint64_t abortGeneration = 0;
    uint64_t pendingTriggers = 0;
    uint64_t triggers = 0;
    std::atomic<bool> triggerImmediate{true};
    bool slopeRising = true, slopeBoth = false;
    uint32_t triggerType = 0, eventCount = 0, eventsSkipped = 0;
    uint64_t triggerDelay = 0;
    bool gateHigh = false;
    uint32_t triggerOutput = 0;  // KRTPT_OUT_* as the driver was given it
    bool stateDirty = false;
    Clock::time_point lastStateWrite;
    LevelTrack level[SIMHW_CHANNELS];
    // Hardware time: real time divided by the scale, or at scale 0 the waits alone.
    double hardwareS = 0;
    Clock::time_point hardwareAt = Clock::now();
};

// Appends " name=value" pairs to a fixed buffer, for the log.
struct Pairs {
    char *out;
    size_t size, used = 0;
    Pairs(char *o, size_t s) : out(o), size(s) { out[0] = 0; }
    void add(const char *format, ...) __attribute__((format(printf, 2, 3))) {
        if (used + 1 >= size) return;
        out[used++] = ' ';
        va_list args;
        va_start(args, format);
        int n = vsnprintf(out + used, size - used, format, args);
        va_end(args);
        used = n < 0 ? used - 1 : std::min(size - 1, used + (size_t)n);
        out[used] = 0;
    }
    void freq(const char *name, const KrFreq &f) {
        char text[64];
        simhw_formatFreq(text, sizeof(text), f);
        add("%s=%s", name, text);
    }
};

// sim_hw.cpp: the record, the simulation root, hardware time (real time over the scale).
Hw &hw();
std::atomic<double> &scale();
const char *rootText();
std::string root();
std::string simFile(const char *name);
double hardwareNow(Hw &h);

// sim_layout.cpp: the serial number's layout and the chips placed for it.
Layout readLayout();
void build(Hw &h, const Layout &lay);

// sim_decode.cpp: the state the chips' registers make.
u128 q64(const KrFreq &f);
KrFreq fromQ64(u128 v);
void decodeChannelSspe(Hw &h, int c, SimChannelState *st);
SimChannelState computeChannel(Hw &h, int c);
SimReferenceState computeReference(Hw &h);

// sim_level_track.cpp: the output level and its changes.
void evaluateLevel(Hw &h, int c, SimChannelState *st);
double levelDbm(const SimChannelState &s);
void dbmText(char (&text)[24], double dbm);
bool settleLevel(Hw &h, int c, double nowS);
void levelMoved(Hw &h, int c, double nowS);
bool settleLevels(Hw &h);
void restartLevels(Hw &h);

// sim_state_file.cpp: the state as the state file, the log and the trace show it.
void snapshot(Hw &h);
void describeChanges(const SimChannelState &o, const SimChannelState &n, Pairs &p);
void traceRow(Hw &h, int c);
bool writeStateFile(Hw &h, bool force);

}  // namespace simhw_detail
