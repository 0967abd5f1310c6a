// The simulated hardware: the record of its chips and state, attach, reset and a new layout,
// the chips' lookup, the I/O update, the simulation root and hardware time. Its other modules:
// sim_hw_log.cpp, sim_layout.cpp, sim_decode.cpp, sim_level_track.cpp, sim_state_file.cpp and
// sim_trigger.cpp (sim_hw_internal.h).
#include "sim_hw.h"

#include <pthread.h>

#include <limits.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/krpath.h"
#include "hw/board_slaves.h"
#include "sim_board.h"
#include "sim_chip.h"
#include "sim_control.h"
#include "sim_fpga.h"
#include "sim_hw_internal.h"
#include "sim_player.h"
#include "sim_trace.h"

// The firmware's root prefix when the path module is linked in; otherwise the environment.
const char *krpath_root() __attribute__((weak));

namespace simhw_detail {

// Never destroyed: the player and FPGA threads may still run while the process exits.
Hw &hw() {
    static Hw *h = new Hw;
    return *h;
}

std::atomic<double> &scale() {
    static std::atomic<double> *s = [] {
        const char *e = getenv("KR_SIM_TIME_SCALE");
        return new std::atomic<double>(e && *e ? atof(e) : 1.0);
    }();
    return *s;
}

const char *rootText() {
    const char *r = krpath_root ? krpath_root() : getenv("KORVANE_ROOT");
    return r ? r : "";
}

std::string root() {
    return rootText();
}

// Files go below the simulation root only, never into the host's own /sim.
std::string simFile(const char *name) {
    std::string r = root();
    if (r.empty()) return "";
    std::string dir = r + "/sim";
    mkdir(dir.c_str(), 0755);
    return dir + "/" + name;
}

double hardwareNow(Hw &h) {
    Clock::time_point now = Clock::now();
    double s = scale().load();
    if (s > 0) h.hardwareS += std::chrono::duration<double>(now - h.hardwareAt).count() / s;
    h.hardwareAt = now;
    return h.hardwareS;
}

}  // namespace simhw_detail

using namespace simhw_detail;

void simhw_spawn(void (*body)(intptr_t), intptr_t argument) {
    struct Start {
        void (*body)(intptr_t);
        intptr_t argument;
    };
    Start *start = new Start{body, argument};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    // Ample for the emulators' frames; the pages are locked, so not more.
    size_t stack = 256 * 1024;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    stack *= 4;  // instrumented frames are several times larger
#endif
    pthread_attr_setstacksize(&attr, stack);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int r = pthread_create(
        &thread, &attr,
        [](void *p) -> void * {
            Start s = *static_cast<Start *>(p);
            delete static_cast<Start *>(p);
            s.body(s.argument);
            return nullptr;
        },
        start);
    pthread_attr_destroy(&attr);
    if (r != 0) {
        delete start;
        simhw_violation("simulation: worker thread could not start (%d)", r);
    }
}

std::mutex &simhw_lock() {
    return hw().mutex;
}

std::condition_variable &simhw_changed() {
    return hw().changed;
}

void simhw_attach() {
    Hw &h = hw();
    std::lock_guard<std::mutex> g(h.mutex);
    Layout lay = readLayout();
    if (h.attached && lay == h.layout) return;
    // Nothing may go on with a transfer to a chip of the old layout.
    simfpga_forgetChips();
    build(h, lay);
    simtrace_clear();  // a trace file of its own root
    h.attached = true;
    snapshot(h);
    restartLevels(h);
    h.stateDirty = true;
    writeStateFile(h, true);  // a person finds the power-on state before the first update
    simcontrol_start();
    simhw_log("SIM attach: %d channel(s), %s reference board, %s output board(s)", lay.channels,
              lay.uln ? "low-noise" : "standard", simboard(lay.board[0]).logName);
}

void simhw_reset() {
    simplayer_reset();
    simfpga_reset();
    Hw &h = hw();
    {
        std::lock_guard<std::mutex> g(h.mutex);
        if (!h.attached) {
            build(h, readLayout());
            h.attached = true;
        }
        for (auto &c : h.chips) {
            c->resetWire();
            c->reset();
        }
        for (bool &b : h.blanking)
            b = false;
        h.ioupdates = 0;
        h.pendingTriggers = 0;
        h.triggerImmediate = true;
        h.triggerType = h.eventCount = h.eventsSkipped = 0;
        h.triggerDelay = 0;
        h.gateHigh = false;
        h.triggerOutput = 0;
        h.extRefPresent = true;
        h.abortGeneration++;
        simtrace_clear();
        snapshot(h);
        restartLevels(h);
        h.stateDirty = true;
    }
    h.changed.notify_all();
    simhw_clearViolations();
}

void simhw_configure(int channels, bool uln, const char *sspe) {
    Hw &h = hw();
    std::lock_guard<std::mutex> g(h.mutex);
    Layout lay;
    lay.channels = channels < 1 ? 1 : channels > SIMHW_CHANNELS ? SIMHW_CHANNELS : channels;
    lay.uln = uln;
    for (int c = 0; c < SIMHW_CHANNELS && sspe && sspe[c]; c++)
        lay.sspe[c] = sspe[c] == '0' ? 0 : sspe[c];
    simfpga_forgetChips();
    build(h, lay);
    h.attached = true;
    snapshot(h);
    restartLevels(h);
    h.stateDirty = true;
}

SimChip *simhw_chipAt(uint32_t bus, uint32_t slave) {
    for (auto &c : hw().chips)
        if (c->slave() == slave && c->bus() == bus) return c.get();
    return nullptr;
}

SimChip *simhw_chipBySlave(uint32_t slave) {
    for (auto &c : hw().chips)
        if (c->slave() == slave) return c.get();
    return nullptr;
}

SimAd9910 *simhw_dds(int channel) {
    return channel >= 0 && channel < SIMHW_CHANNELS ? hw().ch[channel].dds : nullptr;
}

SimAd9164 *simhw_rfdac(int channel) {
    return channel >= 0 && channel < SIMHW_CHANNELS ? hw().ch[channel].rfdac : nullptr;
}

SimAd5643 *simhw_alcDac(int channel) {
    return channel >= 0 && channel < SIMHW_CHANNELS ? hw().ch[channel].alcDac : nullptr;
}

SimTc77 *simhw_temperatureSensor(int channel) {
    if (channel < 0) return dynamic_cast<SimTc77 *>(simhw_chipBySlave(BOARD_CONT_TEMP));
    return channel < SIMHW_CHANNELS ? hw().ch[channel].temp : nullptr;
}

int simhw_channelCount() {
    return hw().layout.channels;
}

void simhw_ioupdate(int channel) {
    Hw &h = hw();
    for (auto &c : h.chips)
        if (channel < 0 || c->channel() < 0 || c->channel() == channel) c->ioupdate();
    h.ioupdates++;
    double nowS = hardwareNow(h);
    for (int c = 0; c < h.layout.channels; c++)
        settleLevel(h, c, nowS);
    SimChannelState before[SIMHW_CHANNELS];
    memcpy(before, h.snapshot, sizeof(before));
    snapshot(h);
    // What took effect, one line per channel whose output changed.
    for (int c = 0; c < h.layout.channels; c++) {
        if (levelDbm(before[c]) != levelDbm(h.snapshot[c])) levelMoved(h, c, nowS);
        if (channel >= 0 && channel != c) continue;
        char changes[400];
        Pairs p(changes, sizeof(changes));
        describeChanges(before[c], h.snapshot[c], p);
        if (p.used)
            simhw_logAt(c, "OUTPUT", "IOUPDATE", "%llu%s", (unsigned long long)h.ioupdates,
                        changes);
    }
    for (int c = 0; c < h.layout.channels; c++)
        if (channel < 0 || channel == c) traceRow(h, c);
    h.stateDirty = true;
    writeStateFile(h, false);
    h.changed.notify_all();
}

void simhw_setBlanking(int channel, bool on) {
    Hw &h = hw();
    for (int c = 0; c < SIMHW_CHANNELS; c++)
        if (channel < 0 || channel == c) h.blanking[c] = on;
}

uint64_t simhw_ioupdateCount() {
    return hw().ioupdates;
}

bool simhw_stimulus(const char *name, double *value) {
    const char *r = rootText();
    if (!*r) return false;
    char path[PATH_MAX];
    snprintf(path, sizeof(path), "%s/sim/%s", r, name);
    FILE *f = fopen(path, "r");
    if (!f) return false;
    bool ok = fscanf(f, "%lf", value) == 1;
    fclose(f);
    return ok;
}

double simhw_timeScale() {
    return scale().load();
}

void simhw_setTimeScale(double s) {
    scale() = s < 0 ? 0 : s;
    hw().changed.notify_all();
}

std::string simhw_simFile(const char *name) {
    return simFile(name);
}
