// Level change tracking: the output level as its stages latch (the model itself is
// sim_level.cpp), the change in progress with the highest output it passed through, the
// overshoots it flags, and the trace of the stages' latches.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "sim_board.h"
#include "sim_chip.h"
#include "sim_hw.h"
#include "sim_hw_internal.h"
#include "sim_level.h"

using namespace simhw_detail;

namespace {

void recordLatch(Hw &h, int c, const char *stage, double value) {
    LevelTrack &t = h.level[c];
    if (t.trace.size() >= SIMHW_LEVEL_TRACE_MAX) t.trace.pop_front();
    t.trace.push_back({c, stage, value, h.ioupdates});
    char out[24];
    dbmText(out, levelDbm(h.snapshot[c]));
    simhw_logAt(c, "LEVEL", stage, "%g ioupdate=%llu output_dbm=%s", value,
                (unsigned long long)h.ioupdates, out);
}

// The level-loop bits of the board's register image: enable 1, hold 2, sample 4, mute 8.
int alcBits(const Hw &h, int c) {
    const SimShiftRegister *s = h.ch[c].sri;
    const int *bits = simboard(h.layout.board[c]).alcBits;
    int v = 0;
    for (int i = 0; i < 4; i++)
        v |= s->bit(bits[i]) ? 1 << i : 0;
    return v;
}

}  // namespace

namespace simhw_detail {

// The output level from the chips that act at their latch as they stand and the shift
// registers' bits as of the last I/O update (st). A hold freezes the drive the loop had.
void evaluateLevel(Hw &h, int c, SimChannelState *st) {
    LevelTrack &t = h.level[c];
    bool hold = st->alcEnabled && st->alcHold;
    if (hold && !t.held) t.heldDrive = t.drive;
    t.held = hold;
    SimLevelInput in = {};
    in.board = simhw_levelBoard(h.layout, c);
    in.rfOn = strcmp(st->rf, "on") == 0 && st->frequencyValid;
    in.frequencyHz = (double)st->frequency.integer;
    in.gainStage = st->gainStage;
    in.alcEnabled = st->alcEnabled;
    in.alcHold = st->alcHold;
    in.alcDac = st->alcDac;
    in.attLoopDb = st->attenuationLoopDb;
    in.attADb = st->attenuationADb;
    in.attBDb = st->attenuationBDb;
    in.moduleDb = st->sspeDb;
    in.heldDrive = t.heldDrive;
    SimLevelOutput o = simlevel_evaluate(in);
    if (!hold) t.drive = o.drive;
    st->outputOn = o.on;
    st->outputDbm = o.on ? o.outputDbm : 0;
    st->levelled = o.levelled;
    st->controllerCode = o.controller;
    st->vcoCode = simlevel_vcoReading(st->vcoHz);
    st->levelViolations = t.violations;
}

double levelDbm(const SimChannelState &s) {
    return s.outputOn ? s.outputDbm : -INFINITY;
}

void dbmText(char (&text)[24], double dbm) {
    if (std::isinf(dbm))
        snprintf(text, sizeof(text), "off");
    else
        snprintf(text, sizeof(text), "%.2f", dbm);
}

// Ends the level change in progress once nothing moved for the settle time (the level now is
// the level after it). true while a change goes on.
bool settleLevel(Hw &h, int c, double nowS) {
    LevelTrack &t = h.level[c];
    if (!t.changing || nowS - t.lastEventS < SIMHW_LEVEL_SETTLE_S) return t.changing;
    double after = levelDbm(h.snapshot[c]);
    if (t.peakDbm > std::max(t.settledDbm, after) + SIMHW_LEVEL_OVERSHOOT_DB) {
        h.snapshot[c].levelViolations = ++t.violations;
        char peak[24], before[24], now[24];
        dbmText(peak, t.peakDbm);
        dbmText(before, t.settledDbm);
        dbmText(now, after);
        simhw_logAt(c, "LEVEL", "OVERSHOOT", "%s before_dbm=%s after_dbm=%s", peak, before, now);
        h.stateDirty = true;
    }
    t.settledDbm = after;
    t.changing = false;
    return false;
}

// The output may have moved: part of the change in progress, or the start of one.
void levelMoved(Hw &h, int c, double nowS) {
    LevelTrack &t = h.level[c];
    double dbm = levelDbm(h.snapshot[c]);
    if (!t.changing) t.peakDbm = dbm;
    t.changing = true;
    t.peakDbm = std::max(t.peakDbm, dbm);
    t.lastEventS = nowS;
}

bool settleLevels(Hw &h) {
    double nowS = hardwareNow(h);
    bool open = false;
    for (int c = 0; c < h.layout.channels; c++)
        open = settleLevel(h, c, nowS) || open;
    return open;
}

// After a reset or a new layout: the level as it stands is the settled one.
void restartLevels(Hw &h) {
    for (int c = 0; c < SIMHW_CHANNELS; c++) {
        h.level[c] = LevelTrack();
        evaluateLevel(h, c, &h.snapshot[c]);
        h.level[c].settledDbm = levelDbm(h.snapshot[c]);
    }
}

}  // namespace simhw_detail

SimLevelBoard simhw_levelBoard(const SimLayout &lay, int channel) {
    return lay.board[channel];
}

void simhw_levelLatch(const SimChip *chip) {
    Hw &h = hw();
    int c = chip->channel();
    if (c < 0 || c >= h.layout.channels) return;
    ChannelChips &k = h.ch[c];
    LevelTrack &t = h.level[c];
    SimChannelState &st = h.snapshot[c];
    if (chip == k.attA || chip == k.attB || chip == k.attLoop || chip == k.alcDac) {
        double nowS = hardwareNow(h);
        settleLevel(h, c, nowS);
        st.attenuationADb = k.attA->attenuationDb();
        st.attenuationBDb = k.attB->attenuationDb();
        st.attenuationLoopDb = k.attLoop->attenuationDb();
        st.alcDac = k.alcDac->dac(0);
        evaluateLevel(h, c, &st);
        if (chip == k.alcDac)
            recordLatch(h, c, "alc_dac", st.alcDac);
        else
            recordLatch(h, c,
                        chip == k.attA   ? "att_a"
                        : chip == k.attB ? "att_b"
                                         : "att_loop",
                        static_cast<const SimStepAttenuator *>(chip)->attenuationDb());
        levelMoved(h, c, nowS);
        h.stateDirty = true;
        return;
    }
    if (chip != k.sri && chip != k.sspe) return;
    // The register's stages act with the next update; a latch that changes them is recorded.
    int gain = simboard(h.layout.board[c]).gainStage(k.sri);
    int alc = alcBits(h, c);
    SimChannelState module = {};
    decodeChannelSspe(h, c, &module);
    double moduleDb = module.sspeDb;
    bool changed = gain != t.gainStage || alc != t.alcBits || moduleDb != t.moduleDb;
    if (!changed) return;
    double nowS = hardwareNow(h);
    settleLevel(h, c, nowS);
    if (gain != t.gainStage) recordLatch(h, c, "gain_stage", gain);
    if (alc != t.alcBits) recordLatch(h, c, "alc", alc);
    if (moduleDb != t.moduleDb) recordLatch(h, c, "power_extension", moduleDb);
    t.gainStage = gain;
    t.alcBits = alc;
    t.moduleDb = moduleDb;
    levelMoved(h, c, nowS);
}

uint32_t simhw_levelReading(int channel, bool controller) {
    if (channel < 0 || channel >= SIMHW_CHANNELS) return 0;
    const SimChannelState &s = hw().snapshot[channel];
    return controller ? s.controllerCode : s.vcoCode;
}

std::vector<SimLevelLatch> simhw_levelTrace(int channel) {
    if (channel < 0 || channel >= SIMHW_CHANNELS) return {};
    const std::deque<SimLevelLatch> &t = hw().level[channel].trace;
    return std::vector<SimLevelLatch>(t.begin(), t.end());
}

void simhw_clearLevelTrace() {
    for (LevelTrack &t : hw().level)
        t.trace.clear();
}

uint64_t simhw_levelViolations(int channel) {
    Hw &h = hw();
    settleLevels(h);
    uint64_t n = 0;
    for (int c = 0; c < SIMHW_CHANNELS; c++)
        if (channel < 0 || channel == c) n += h.level[c].violations;
    return n;
}
