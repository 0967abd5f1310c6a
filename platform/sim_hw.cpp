// The simulated hardware: layout, I/O update, observable state, state file, log.
#include "sim_hw.h"

#include <pthread.h>

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>

#include "config/output_board.h"
#include "core/krpath.h"
#include "hw/board_slaves.h"
#include "hw/orbx20g_out_registers.h"
#include "hw/orbx40g_out_registers.h"
#include "hw/orbxxxg_out_registers.h"
#include "hw/orbxxxg_ref_registers.h"
#include "kr_generic_io.h"
#include "platform/sim/int128.h"
#include "sim_ad9164.h"
#include "sim_ad9910.h"
#include "sim_ad9912.h"
#include "sim_chip.h"
#include "sim_clock.h"
#include "sim_cont.h"
#include "sim_control.h"
#include "sim_fpga.h"
#include "sim_level.h"
#include "sim_mod.h"
#include "sim_player.h"
#include "sim_pulse.h"
#include "sim_trace.h"

// The firmware's root prefix when the path module is linked in; otherwise the environment.
const char *krpath_root() __attribute__((weak));

namespace {

using u128 = kr_u128;
using Clock = std::chrono::steady_clock;

constexpr size_t logRingLines = 1000;
constexpr size_t violationsKept = 256;
constexpr auto stateFileInterval = std::chrono::milliseconds(50);

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

// ---------------------------------------------------------------------------------------
// Log and violations
//
// One line per register write or decoded change, each written with its own write() so that
// a person following the file sees a setting as it happens. Lines are formatted into fixed
// buffers: the chips log from the player and FPGA threads, in sweeps too.

constexpr size_t logLineMax = 512;
constexpr unsigned logLinesPerSecond = 10000;  // a looping sweep at full speed floods no disk

struct Log {
    std::mutex mutex;
    char ring[logRingLines][logLineMax];
    size_t ringNext = 0, ringCount = 0;
    std::vector<std::string> violations;
    int fd = -1;
    char fileRoot[PATH_MAX] = {};
    char path[PATH_MAX + 8] = {};
    long fileBytes = 0;
    uint64_t sequence = 0;
    long second = -1;  // the second the rate count runs for
    unsigned linesThisSecond = 0;
    uint64_t leftOut = 0;
    Clock::time_point start = Clock::now();
};

Log &logState() {
    static Log *l = new Log;
    return *l;
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

// The log file of the current root, opened (or reopened when the root changed). Caller holds
// the log's lock.
bool logFile(Log &l) {
    const char *r = rootText();
    if (strcmp(r, l.fileRoot) != 0) {
        if (l.fd >= 0) close(l.fd);
        l.fd = -1;
        snprintf(l.fileRoot, sizeof(l.fileRoot), "%s", r);
    }
    if (l.fd >= 0) return true;
    if (!*r) return false;
    snprintf(l.path, sizeof(l.path), "%s/sim", r);
    mkdir(l.path, 0755);
    snprintf(l.path, sizeof(l.path), "%s/sim/hardware.log", r);
    l.fd = open(l.path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    struct stat st;
    l.fileBytes = l.fd >= 0 && fstat(l.fd, &st) == 0 ? (long)st.st_size : 0;
    return l.fd >= 0;
}

// Bounded: past the limit the current file becomes the one old file kept.
void rotateLog(Log &l) {
    close(l.fd);
    char old[sizeof(l.path) + 2];
    snprintf(old, sizeof(old), "%s.1", l.path);
    rename(l.path, old);
    l.fd = open(l.path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    l.fileBytes = 0;
}

// Caller holds the log's lock.
void emit(Log &l, double t, const char *where, const char *text) {
    char *line = l.ring[l.ringNext];
    int n = snprintf(line, logLineMax, "%.6f #%llu %s %s", t, (unsigned long long)++l.sequence,
                     where, text);
    size_t len = n < 0 ? 0 : (size_t)n < logLineMax ? (size_t)n : logLineMax - 1;
    l.ringNext = (l.ringNext + 1) % logRingLines;
    if (l.ringCount < logRingLines) l.ringCount++;
    if (!logFile(l)) return;
    // The newline goes out with the line, so no reader sees half of one.
    char out[logLineMax + 1];
    memcpy(out, line, len);
    out[len] = '\n';
    if (write(l.fd, out, len + 1) > 0) l.fileBytes += (long)len + 1;
    if (l.fileBytes > SIMHW_LOG_FILE_BYTES) rotateLog(l);
}

// where: "ch<n>", "board" or "-" (the simulation itself). Violations are never left out.
// Starts the next second's budget of lines once a second has passed, noting what the last one
// left out. Caller holds l.mutex.
double rollover(Log &l) {
    double t = std::chrono::duration<double>(Clock::now() - l.start).count();
    long second = (long)t;
    if (second != l.second) {
        l.second = second;
        l.linesThisSecond = 0;
        if (l.leftOut) {
            char note[96];
            snprintf(note, sizeof(note), "SIM %llu line(s) left out: more than %u in a second",
                     (unsigned long long)l.leftOut, logLinesPerSecond);
            l.leftOut = 0;
            emit(l, t, "-", note);
        }
    }
    return t;
}

// A line that would be left out is counted without being formatted.
bool budgetSpent() {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    rollover(l);
    if (l.linesThisSecond < logLinesPerSecond) return false;
    l.leftOut++;
    return true;
}

void logLine(const char *where, const char *text, bool always = false) {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    double t = rollover(l);
    if (!always && ++l.linesThisSecond > logLinesPerSecond) {
        l.leftOut++;
        return;
    }
    emit(l, t, where, text);
}

// ---------------------------------------------------------------------------------------
// Layout

// An instrument of mixed models keeps each channel's own number in sn_all, one
// "SNCH<n>-<number>" line per channel; 'Z' at a position of the instrument number means
// that position is read from the channel's number.
void channelCodes(const std::string &r, int position, char *code) {
    FILE *f = fopen((r + "/korvane/dev/sn_all").c_str(), "r");
    if (!f) return;
    char line[96];
    while (fgets(line, sizeof(line), f)) {
        if (strncmp(line, "SNCH", 4) != 0 || line[4] < '0' || line[4] > '7' || line[5] != '-')
            continue;
        if ((int)strlen(line + 6) > position)
            code[line[4] - '0'] = (char)toupper((unsigned char)line[6 + position]);
    }
    fclose(f);
}

Layout readLayout() {
    Layout lay;
    std::string r = root();
    std::string path = r + "/korvane/dev/sn";
    FILE *f = r.empty() ? nullptr : fopen(path.c_str(), "r");
    if (!f) return lay;
    char sn[64] = {};
    if (!fgets(sn, sizeof(sn), f)) sn[0] = 0;
    fclose(f);
    for (char *p = sn; *p; p++)
        *p = (char)toupper((unsigned char)*p);
    if (strlen(sn) < 18) return lay;
    char count = sn[8];
    lay.channels = (count >= '2' && count <= '8') ? count - '0' : 1;
    bool refExcluded = strchr("14A", sn[0]) && sn[1] >= 'A' && sn[1] <= 'H';
    lay.uln = sn[6] > '1' && !refExcluded;
    char board[SIMHW_CHANNELS];
    memset(board, sn[7], sizeof(board));
    if (sn[7] == 'Z') channelCodes(r, 7, board);
    // The firmware builds every channel's board from the first channel's code.
    OutputBoardFamily family = outputBoardFamily(board[0]);
    for (int c = 0; c < SIMHW_CHANNELS; c++) {
        lay.sspe[c] = strchr("123", sn[10]) ? sn[10] : 0;
        lay.board40g[c] = outputBoardIs40G(family);
        lay.vcoLoop[c] = !lay.board40g[c] && sn[7] > '5' && sn[7] <= 'Z';
        lay.generic[c] = family == OutputBoardFamily::Generic;
    }
    return lay;
}

template <class T, class... A>
T *place(Hw &h, A... args) {
    T *chip = new T(args...);
    h.chips.emplace_back(chip);
    return chip;
}

void build(Hw &h, const Layout &lay) {
    h.chips.clear();
    h.layout = lay;
    using L = SimRegisterChip::Layout;
    for (int c = 0; c < SIMHW_CHANNELS; c++) {
        ChannelChips &k = h.ch[c];
        auto at = [c](uint32_t chip) { return board_outSlave(c, chip); };
        if (lay.board40g[c]) {
            k.sri = place<SimShiftRegister>(h, "ORBX40G_OUT_SRI", c, at(BOARD_OUT_SRI),
                                            (size_t)ORBX40G_OUT_SRI_BYTES);
            k.dds = nullptr;  // the AD9164 is this board's DDS
        } else if (lay.generic[c]) {
            k.sri = place<SimShiftRegister>(h, "ORBXXXG_OUT_SRI", c, at(BOARD_OUT_SRI),
                                            (size_t)ORBXXXG_OUT_SRI_BYTES);
            k.dds = nullptr;  // the AD9912 is this board's DDS
        } else {
            k.sri = place<SimShiftRegister>(h, "ORBX20G_OUT_SRI", c, at(BOARD_OUT_SRI),
                                            (size_t)ORBX20G_OUT_SRI_BYTES);
            k.dds = place<SimAd9910>(h, c, at(BOARD_OUT_DDS), ORBX20G_OUT_DDS_CLOCK_HZ);
        }
        k.pot = place<SimAd8402>(h, c, at(BOARD_OUT_LOOP_POT));
        k.attA = place<SimStepAttenuator>(h, "HMC624", c, at(BOARD_OUT_ATT_A));
        k.attB = place<SimStepAttenuator>(h, "HMC624", c, at(BOARD_OUT_ATT_B));
        k.alcDac = place<SimAd5643>(h, c, at(BOARD_OUT_ALC_DAC));
        k.temp = place<SimTc77>(h, c, at(BOARD_OUT_TEMP));
        k.alcAdc = place<SimAdc>(h, "AD7680", c, at(BOARD_OUT_ALC_ADC), 30000u,
                                 SimAdc::Reads::LevelController);
        k.vcoAdc =
            place<SimAdc>(h, "LTC2313", c, at(BOARD_OUT_VCO_ADC), 0u, SimAdc::Reads::VcoTuning);
        k.sspe = place<SimShiftRegister>(h, "SSPE", c, at(BOARD_OUT_SSPE), (size_t)2);
        place<SimRegisterChip>(h, "ADF5355", c, at(BOARD_OUT_PLL), L::ControlLow, (size_t)4, 4);
        k.rfdac = place<SimAd9164>(h, c, at(BOARD_OUT_RFDAC), ORBX40G_OUT_DAC_CLOCK_HZ);
        k.dds48 = place<SimAd9912>(h, c, at(BOARD_OUT_DDS48), ORBXXXG_OUT_DDS_CLOCK_HZ);
        k.attLoop = place<SimStepAttenuator>(h, "HMC1018", c, at(BOARD_OUT_ATT_LOOP));
        h.level[c] = LevelTrack();
    }
    h.refSri = place<SimShiftRegister>(h, "ORBXXXG_REF_SRI", -1, BOARD_REF_SRI, (size_t)0);
    if (lay.uln) {
        place<SimRegisterChip>(h, "HMC7043", -1, BOARD_REF_ULN_CLOCK, L::AddressHigh16, (size_t)3,
                               0);
        place<SimRegisterChip>(h, "HMC987", -1, BOARD_REF_ULN_FANOUT, L::Address8Data8, (size_t)2,
                               0);
        place<SimAd5760>(h, -1, BOARD_REF_ULN_OSC_DAC);
        place<SimRegisterChip>(h, "ADF4002", -1, BOARD_REF_ULN_PLL, L::ControlLow, (size_t)3, 2);
        place<SimAdc>(h, "AD7940", -1, BOARD_REF_ULN_ADC, 8000u);
        place<SimAd5640>(h, -1, BOARD_REF_ULN_LOCK_DAC);
    } else {
        place<SimAd5643>(h, -1, BOARD_REF_TUNE_DAC);
        place<SimAdc>(h, "AD7940", -1, BOARD_REF_ADC, 8000u);
        place<SimRegisterChip>(h, "HMC987", -1, BOARD_REF_FANOUT, L::Address8Data8, (size_t)2, 0);
    }
    place<SimShiftRegister>(h, "KRCONT_SRI", -1, BOARD_CONT_SRI, (size_t)0);
    place<SimTc77>(h, -1, BOARD_CONT_TEMP);
    place<SimRegisterChip>(h, "AD5932", -1, BOARD_CONT_LFG, L::Address4High, (size_t)2, 0);
    place<SimRegisterChip>(h, "AD5432", -1, BOARD_CONT_LFG_AMP, L::Address4High, (size_t)2, 0);
    place<SimAd5640>(h, -1, BOARD_CONT_USER_DAC);
    place<SimAdc>(h, "AD7680", -1, BOARD_CONT_USER_ADC, 0u);
    place<SimW25q>(h, -1, BOARD_CONT_FLASH);
    place<SimRegisterChip>(h, "MCP4131", -1, BOARD_CONT_FAN_POT, L::Address4High, (size_t)2, 0);
    place<SimShiftRegister>(h, "SSPE", -1, BOARD_CONT_SSPE, (size_t)2);
}

// ---------------------------------------------------------------------------------------
// State

u128 q64(const KrFreq &f) {
    return ((u128)(uint64_t)f.integer << 64) | f.fraction;
}

KrFreq freq(u128 v) {
    return {(int64_t)(uint64_t)(v >> 64), (uint64_t)v};
}

template <size_t N>
bool exactly(const SimShiftRegister *s, const int (&bits)[N], const int *all, size_t nAll) {
    for (size_t i = 0; i < nAll; i++) {
        bool want = false;
        for (int b : bits)
            want = want || b == all[i];
        if (s->bit(all[i]) != want) return false;
    }
    return true;
}

const char *decodePath(const SimShiftRegister *s, int *code) {
    const int *all = ORBX20G_OUT_PATH_ALL_BITS;
    size_t n = sizeof(ORBX20G_OUT_PATH_ALL_BITS) / sizeof(int);
    if (exactly(s, ORBX20G_OUT_PATH_DIRECT_BITS, all, n))
        return *code = ORBX20G_OUT_PATH_DIRECT, "direct";
    if (exactly(s, ORBX20G_OUT_PATH_BAND0_BITS, all, n))
        return *code = ORBX20G_OUT_PATH_BAND0, "band0";
    if (exactly(s, ORBX20G_OUT_PATH_BAND1_BITS, all, n))
        return *code = ORBX20G_OUT_PATH_BAND1, "band1";
    if (exactly(s, ORBX20G_OUT_PATH_BAND2_BITS, all, n))
        return *code = ORBX20G_OUT_PATH_BAND2, "band2";
    *code = 0;
    return "unknown";
}

int decodeFilter(const SimShiftRegister *s) {
    constexpr int n = (int)(sizeof(ORBX20G_OUT_FILTER_ALL_BITS) / sizeof(int));
    // Each filter's switch bits as a mask over the filter bits, worked out once.
    static const auto masks = [] {
        std::array<uint32_t, ORBX20G_OUT_FILTERS> m{};
        for (int i = 0; i < ORBX20G_OUT_FILTERS; i++)
            for (int j = 0; j < n; j++)
                for (int x : ORBX20G_OUT_FILTER_BITS[i])
                    if (x == ORBX20G_OUT_FILTER_ALL_BITS[j]) m[i] |= 1u << j;
        return m;
    }();
    uint32_t got = 0;
    for (int j = 0; j < n; j++)
        if (s->bit(ORBX20G_OUT_FILTER_ALL_BITS[j])) got |= 1u << j;
    for (int i = 0; i < ORBX20G_OUT_FILTERS; i++)
        if (masks[i] == got) return i;
    return -1;
}

// The step attenuator module: bits relative to base, as the modules switch them.
void decodeSspe(char type, const SimShiftRegister *s, int base, SimChannelState *st) {
    auto bit = [&](int i) { return s->bit(base + i); };
    uint32_t c1 = 0, c2 = 0;
    bool through = false;
    switch (type) {
        case '2':
        case '3':  // SSPE40G, inverted
            st->sspeType = "SSPE40G";
            through = bit(0);
            for (int i = 0; i < 6; i++) {
                if (!bit(1 + i)) c1 |= 1u << i;
                if (!bit(7 + i)) c2 |= 1u << i;
            }
            break;
        case '1':  // SSPE12G, direct, weight 1 at the top
            st->sspeType = "SSPE12G";
            through = !bit(0);
            for (int i = 0; i < 6; i++) {
                if (bit(6 - i)) c1 |= 1u << i;
                if (bit(12 - i)) c2 |= 1u << i;
            }
            break;
        case '4':  // SSPE20G, inverted, path not switched
            st->sspeType = "SSPE20G";
            for (int i = 1; i < 6; i++)
                if (!bit(1 + i)) c1 |= 1u << i;
            for (int i = 2; i < 6; i++)
                if (!bit(7 + i)) c2 |= 1u << i;
            break;
        default:
            st->sspeType = "";
            st->sspePath = "";
            return;
    }
    st->sspePath = type == '4' ? "" : through ? "through" : "attenuated";
    st->sspeCode1 = c1;
    st->sspeCode2 = c2;
    st->sspeDb = through ? 0.0 : (c1 + c2) * 0.5;
}

// The channel's power extension: on the board's shift register ('3') or in its own.
void decodeChannelSspe(Hw &h, int c, SimChannelState *st) {
    const ChannelChips &k = h.ch[c];
    char type = h.layout.sspe[c];
    if (type != '3') return decodeSspe(type, k.sspe, 0, st);
    int base = h.layout.board40g[c]  ? ORBX40G_OUT_BIT_SSPE
               : h.layout.generic[c] ? ORBXXXG_OUT_BIT_SSPE
                                     : ORBX20G_OUT_BIT_SSPE;
    decodeSspe(type, k.sri, base, st);
}

// The board's chips other than the synthesizer: levels, loop filter, temperature, RF state.
void computeCommon(Hw &h, int c, bool rfEnabled, bool muted, SimChannelState *st) {
    ChannelChips &k = h.ch[c];
    // Blanking between points: with the point timer running the output is muted only while
    // a point changes, so what each point shows is unmuted.
    st->blanking = h.blanking[c] && !simtrace_timerRunning(c);
    st->rf = !rfEnabled ? "off" : st->blanking || muted ? "muted" : "on";
    st->attenuationADb = k.attA->attenuationDb();
    st->attenuationBDb = k.attB->attenuationDb();
    st->attenuationLoopDb = k.attLoop->attenuationDb();
    st->alcDac = k.alcDac->dac(0);
    st->loopFilterOhm = k.pot->wiper(0) / 256.0 * 1000.0 + 50.0;
    st->temperatureC = k.temp->celsius();
}

const char *decodePath40g(const SimShiftRegister *s, int *code) {
    const int *all = ORBX40G_OUT_PATH_ALL_BITS;
    size_t n = sizeof(ORBX40G_OUT_PATH_ALL_BITS) / sizeof(int);
    if (exactly(s, ORBX40G_OUT_PATH_DIRECT_BITS, all, n))
        return *code = ORBX40G_OUT_PATH_DIRECT, "direct";
    if (exactly(s, ORBX40G_OUT_PATH_PLL_BITS, all, n)) return *code = ORBX40G_OUT_PATH_PLL, "pll";
    if (exactly(s, ORBX40G_OUT_PATH_DOUBLER_BITS, all, n))
        return *code = ORBX40G_OUT_PATH_DOUBLER, "doubler";
    *code = 0;
    return "unknown";
}

// 40 GHz board: the DAC output directly, or the VCO locked to DAC x R, divided by N1 and
// doubled on the doubler path.
SimChannelState computeChannel40g(Hw &h, int c) {
    SimChannelState st = {};
    ChannelChips &k = h.ch[c];
    st.index = c + 1;
    st.board40g = true;
    st.ftw = k.rfdac->ftw();
    st.ddsFrequency = k.rfdac->output();
    st.ddsClock = k.rfdac->clock();
    st.ddsPoweredDown = !k.rfdac->ncoEnabled();
    st.phaseRad = k.rfdac->phaseWord() * (2 * M_PI / 65536.0);
    int path;
    st.path = decodePath40g(k.sri, &path);
    uint64_t filter = k.sri->field(ORBX40G_OUT_BIT_FILTER, ORBX40G_OUT_FILTER_WIDTH);
    st.filter = filter < (uint64_t)ORBX40G_OUT_FILTERS ? (int)filter : -1;
    st.n1 = (uint32_t)k.sri->field(ORBX40G_OUT_BIT_N1, ORBX40G_OUT_DIVIDER_WIDTH);
    st.r = (uint32_t)k.sri->field(ORBX40G_OUT_BIT_R, ORBX40G_OUT_DIVIDER_WIDTH);
    st.n2 = 1;
    st.multiplier = path == ORBX40G_OUT_PATH_DOUBLER ? 2 : 1;
    st.alcEnabled = k.sri->bit(ORBX40G_OUT_BIT_ALC_ENABLE);
    st.alcHold = k.sri->bit(ORBX40G_OUT_BIT_ALC_HOLD);
    if (!st.ddsPoweredDown) {
        if (path == ORBX40G_OUT_PATH_DIRECT) {
            st.frequency = st.ddsFrequency;
            st.frequencyValid = true;
        } else if (path != 0 && st.n1 != 0 && st.r != 0) {
            u128 vco = q64(st.ddsFrequency) * st.r;
            st.frequency = freq(vco / st.n1 * st.multiplier);
            st.frequencyValid = true;
            st.vcoHz = (double)(uint64_t)(vco >> 64);
        }
    }
    bool rfEnabled = k.sri->bit(ORBX40G_OUT_BIT_RF_ENABLE) && !st.ddsPoweredDown;
    computeCommon(h, c, rfEnabled, k.sri->bit(ORBX40G_OUT_BIT_ALC_RF_MUTE), &st);
    decodeChannelSspe(h, c, &st);
    return st;
}

const char *decodePathGeneric(const SimShiftRegister *s, int *code) {
    bool direct = s->bit(ORBXXXG_OUT_BIT_PATH_DIRECT), pll = s->bit(ORBXXXG_OUT_BIT_PATH_PLL);
    *code = direct && !pll ? ORBXXXG_OUT_PATH_DIRECT : pll && !direct ? ORBXXXG_OUT_PATH_PLL : 0;
    return *code == ORBXXXG_OUT_PATH_DIRECT ? "direct" : *code ? "pll" : "unknown";
}

// Generic board: the DDS output directly, or the VCO locked so that VCO / N2 = DDS / R and
// divided by N1 to the output.
SimChannelState computeChannelGeneric(Hw &h, int c) {
    SimChannelState st = {};
    ChannelChips &k = h.ch[c];
    st.index = c + 1;
    st.generic = true;
    st.multiplier = 1;
    st.ftw = k.dds48->ftw();
    st.ddsFrequency = k.dds48->output();
    st.ddsClock = k.dds48->clock();
    st.ddsPoweredDown = k.dds48->poweredDown();
    st.phaseRad = k.dds48->phaseWord() * (2 * M_PI / 16384.0);
    int path;
    st.path = decodePathGeneric(k.sri, &path);
    uint64_t filter = k.sri->field(ORBXXXG_OUT_BIT_FILTER, ORBXXXG_OUT_FILTER_WIDTH);
    st.filter = filter < (uint64_t)ORBXXXG_OUT_FILTERS ? (int)filter : -1;
    st.n1 = (uint32_t)k.sri->field(ORBXXXG_OUT_BIT_N1, ORBXXXG_OUT_DIVIDER_WIDTH);
    st.n2 = (uint32_t)k.sri->field(ORBXXXG_OUT_BIT_N2, ORBXXXG_OUT_DIVIDER_WIDTH);
    st.r = (uint32_t)k.sri->field(ORBXXXG_OUT_BIT_R, ORBXXXG_OUT_DIVIDER_WIDTH);
    st.alcEnabled = k.sri->bit(ORBXXXG_OUT_BIT_ALC_ENABLE);
    st.alcHold = k.sri->bit(ORBXXXG_OUT_BIT_ALC_HOLD);
    if (!st.ddsPoweredDown) {
        if (path == ORBXXXG_OUT_PATH_DIRECT) {
            st.frequency = st.ddsFrequency;
            st.frequencyValid = true;
        } else if (path != 0 && st.n1 != 0 && st.n2 != 0 && st.r != 0) {
            st.frequency = freq(q64(st.ddsFrequency) * st.n2 / st.r / st.n1);
            st.frequencyValid = true;
            st.vcoHz = (double)st.frequency.integer * st.n1;
        }
    }
    bool rfEnabled = k.sri->bit(ORBXXXG_OUT_BIT_RF_ENABLE) && !st.ddsPoweredDown;
    computeCommon(h, c, rfEnabled, k.sri->bit(ORBXXXG_OUT_BIT_ALC_RF_MUTE), &st);
    decodeChannelSspe(h, c, &st);
    return st;
}

// The ramp's words at the output, through the loop as the fixed frequency goes.
void decodeChirp(Hw &h, int c, int path, SimChannelState *st) {
    SimAd9910::Chirp ramp = h.ch[c].dds->chirp();
    bool loop = path != ORBX20G_OUT_PATH_DIRECT && path != 0 && st->r != 0 && st->n2 != 0;
    if (!ramp.on || (path != ORBX20G_OUT_PATH_DIRECT && !loop)) return;
    uint32_t n1 = h.layout.vcoLoop[c] && st->n1 > 1 ? st->n1 : 1;
    auto output = [&](u128 dds, bool offset) {
        if (!loop) return freq(dds);
        if (offset) dds += (u128)ORBX20G_OUT_PFD_OFFSET_HZ << 64;
        return freq(dds * st->n2 / st->r / n1);
    };
    const SimAd9910 *dds = h.ch[c].dds;
    st->chirpRamping = true;
    st->chirpLow = output(q64(dds->tone(ramp.low)), true);
    st->chirpHigh = output(q64(dds->tone(ramp.high)), true);
    st->chirpStep = output(q64(dds->tone(ramp.step)), false);
    st->chirpRampSeconds = ramp.rampSeconds;
    st->chirpDirection = ramp.direction;
}

SimChannelState computeChannel(Hw &h, int c) {
    if (h.layout.board40g[c]) return computeChannel40g(h, c);
    if (h.layout.generic[c]) return computeChannelGeneric(h, c);
    SimChannelState st = {};
    ChannelChips &k = h.ch[c];
    st.index = c + 1;
    st.multiplier = 1;
    st.ftw = k.dds->ftw();
    st.ddsFrequency = k.dds->output();
    st.ddsClock = k.dds->sysclk();
    st.ddsPoweredDown = k.dds->poweredDown();
    st.highResolution = k.dds->dithering();
    st.phaseRad = k.dds->pow() * (2 * M_PI / 65536.0);
    int path;
    st.path = decodePath(k.sri, &path);
    st.filter = decodeFilter(k.sri);
    st.r = (uint32_t)k.sri->field(ORBX20G_OUT_BIT_R, 8);
    st.n2 = (uint32_t)k.sri->field(ORBX20G_OUT_BIT_N2, 8);
    st.n1 = (uint32_t)k.sri->field(ORBX20G_OUT_BIT_N1, 8);
    st.gainStage = (int)k.sri->field(ORBX20G_OUT_BIT_GAIN_LOW, ORBX20G_OUT_GAIN_BITS);
    st.alcEnabled = k.sri->bit(ORBX20G_OUT_BIT_ALC_ENABLE);
    st.alcHold = k.sri->bit(ORBX20G_OUT_BIT_ALC_HOLD);
    if (path == ORBX20G_OUT_PATH_DIRECT) {
        st.frequency = st.ddsFrequency;
        st.frequencyValid = true;
    } else if (path != 0 && st.r != 0 && st.n2 != 0) {
        // The loop locks f x R / N2 to the DDS output plus 1 GHz; f is the output on the
        // oldest boards, the VCO (then divided by N1) on the newer ones.
        u128 x = q64(st.ddsFrequency) + ((u128)ORBX20G_OUT_PFD_OFFSET_HZ << 64);
        u128 f = x * st.n2 / st.r;
        if (h.layout.vcoLoop[c] && st.n1 > 1) f /= st.n1;
        st.frequency = freq(f);
        st.frequencyValid = true;
        st.vcoHz = (double)st.frequency.integer * (st.n1 > 1 ? st.n1 : 1);
    }
    decodeChirp(h, c, path, &st);
    bool rfEnabled = k.sri->bit(ORBX20G_OUT_BIT_RF_ENABLE) && !st.ddsPoweredDown;
    computeCommon(h, c, rfEnabled, k.sri->bit(ORBX20G_OUT_BIT_ALC_RF_MUTE), &st);
    decodeChannelSspe(h, c, &st);
    return st;
}

SimReferenceState computeReference(Hw &h) {
    SimReferenceState r = {};
    const SimShiftRegister *s = h.refSri;
    uint64_t f = 10000000;
    bool external = false;
    if (h.layout.uln) {
        if (s->bit(ORBXXXG_REF_ULN_BIT_SYSCLK) && s->bit(ORBXXXG_REF_ULN_BIT_SYSCLK_IN)) {
            external = true;
            f = 1000000000;
        } else if (s->bit(ORBXXXG_REF_ULN_BIT_EXT)) {
            external = true;
            f = s->bit(ORBXXXG_REF_ULN_BIT_EXT_1G)    ? 1000000000
                : s->bit(ORBXXXG_REF_ULN_BIT_EXT_10M) ? 10000000
                                                      : 100000000;
        }
        r.outputOn = s->bit(ORBXXXG_REF_ULN_BIT_REFOUT_ON);
        r.outputFrequency = krfreqHz(s->bit(ORBXXXG_REF_ULN_BIT_REFOUT_10M) ? 10000000 : 100000000);
    } else {
        if (s->bit(ORBXXXG_REF_BIT_EXT_1G)) {
            external = true;
            f = 1000000000;
        } else if (s->bit(ORBXXXG_REF_BIT_EXT_100M)) {
            external = true;
            f = 100000000;
        } else if (s->bit(ORBXXXG_REF_BIT_EXT_10M)) {
            external = true;
        }
        r.outputOn = s->bit(ORBXXXG_REF_BIT_REFOUT_ON);
        r.outputFrequency = krfreqHz(s->bit(ORBXXXG_REF_BIT_REFOUT_10M) ? 10000000 : 100000000);
    }
    r.source = external ? "external" : "internal";
    r.frequency = krfreqHz(f);
    r.locked = !external || h.extRefPresent;
    return r;
}

// ---------------------------------------------------------------------------------------
// Level

double hardwareNow(Hw &h) {
    Clock::time_point now = Clock::now();
    double s = scale().load();
    if (s > 0) h.hardwareS += std::chrono::duration<double>(now - h.hardwareAt).count() / s;
    h.hardwareAt = now;
    return h.hardwareS;
}

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

void recordLatch(Hw &h, int c, const char *stage, double value) {
    LevelTrack &t = h.level[c];
    if (t.trace.size() >= SIMHW_LEVEL_TRACE_MAX) t.trace.pop_front();
    t.trace.push_back({c, stage, value, h.ioupdates});
    char out[24];
    dbmText(out, levelDbm(h.snapshot[c]));
    simhw_logAt(c, "LEVEL", stage, "%g ioupdate=%llu output_dbm=%s", value,
                (unsigned long long)h.ioupdates, out);
}

// The level-loop bits of the board's register image: enable 1, hold 2, sample 4, mute 8. The
// 40 GHz and generic boards keep them at the same places.
static_assert(ORBX40G_OUT_BIT_ALC_ENABLE == ORBXXXG_OUT_BIT_ALC_ENABLE &&
              ORBX40G_OUT_BIT_ALC_RF_MUTE == ORBXXXG_OUT_BIT_ALC_RF_MUTE);
int alcBits(const Hw &h, int c) {
    const SimShiftRegister *s = h.ch[c].sri;
    const bool other = h.layout.board40g[c] || h.layout.generic[c];
    const int bits[4] = {
        other ? ORBX40G_OUT_BIT_ALC_ENABLE : ORBX20G_OUT_BIT_ALC_ENABLE,
        other ? ORBX40G_OUT_BIT_ALC_HOLD : ORBX20G_OUT_BIT_ALC_HOLD,
        other ? ORBX40G_OUT_BIT_ALC_SAMPLE : ORBX20G_OUT_BIT_ALC_SAMPLE,
        other ? ORBX40G_OUT_BIT_ALC_RF_MUTE : ORBX20G_OUT_BIT_ALC_RF_MUTE,
    };
    int v = 0;
    for (int i = 0; i < 4; i++)
        v |= s->bit(bits[i]) ? 1 << i : 0;
    return v;
}

void snapshot(Hw &h) {
    for (int c = 0; c < SIMHW_CHANNELS; c++) {
        h.snapshot[c] = computeChannel(h, c);
        evaluateLevel(h, c, &h.snapshot[c]);
    }
    h.reference = computeReference(h);
}

// After a reset or a new layout: the level as it stands is the settled one.
void restartLevels(Hw &h) {
    for (int c = 0; c < SIMHW_CHANNELS; c++) {
        h.level[c] = LevelTrack();
        evaluateLevel(h, c, &h.snapshot[c]);
        h.level[c].settledDbm = levelDbm(h.snapshot[c]);
    }
}

// The clock the channels' point timers count.
double tickHz() {
    return simfpga_present() ? SIMCLOCK_FS_HZ : SIMCLOCK_HZ;
}

// What the trigger-output connector shows.
const char *triggerOutputName(uint32_t value) {
    static const struct {
        uint32_t bit;
        const char *name;
    } modes[] = {{KRTPT_OUT_VALID, "valid"},
                 {KRTPT_OUT_GATE, "gate"},
                 {KRTPT_OUT_IOUPDATE, "ioupdate"},
                 {KRTPT_OUT_POINT, "point"},
                 {KRTPT_OUT_TRIGGER, "trigger"},
                 {KRTPT_OUT_HIGH, "high"},
                 {KRTPT_OUT_LOW, "low"}};
    for (const auto &m : modes)
        if (value & m.bit) return m.name;
    return "off";
}

std::string json(Hw &h) {
    std::string j = "{\"channels\": [";
    char text[1024];
    for (int c = 0; c < h.layout.channels; c++) {
        const SimChannelState &s = h.snapshot[c];
        snprintf(text, sizeof(text),
                 "%s\n  {\"index\": %d, \"rf\": \"%s\", \"frequency_hz\": %s%s%s, "
                 "\"dds_frequency_hz\": \"%s\", \"dds_clock_hz\": \"%s\", \"ftw\": %llu, "
                 "\"dds_high_resolution\": %s, \"phase_rad\": %.9f, \"path\": \"%s\", "
                 "\"filter\": %d, \"n1\": %u, \"n2\": %u, \"r\": %u, \"gain_stage\": %d, "
                 "\"attenuation_a_db\": %.1f, \"attenuation_b_db\": %.1f, "
                 "\"attenuation_loop_db\": %.1f, \"alc_dac\": %u, \"loop_filter_ohm\": %.1f, "
                 "\"blanking\": %s, \"temperature_c\": %.4f",
                 c ? "," : "", s.index, simpulse_rf(c, s.rf), s.frequencyValid ? "\"" : "",
                 s.frequencyValid ? simhw_freqText(s.frequency).c_str() : "null",
                 s.frequencyValid ? "\"" : "", simhw_freqText(s.ddsFrequency).c_str(),
                 simhw_freqText(s.ddsClock).c_str(), (unsigned long long)s.ftw,
                 s.highResolution ? "true" : "false", s.phaseRad, s.path, s.filter, s.n1, s.n2, s.r,
                 s.gainStage, s.attenuationADb, s.attenuationBDb, s.attenuationLoopDb, s.alcDac,
                 s.loopFilterOhm, s.blanking ? "true" : "false", s.temperatureC);
        j += text;
        if (s.board40g) {
            snprintf(text, sizeof(text), ", \"board\": \"40g\", \"multiplier\": %u, \"alc\": %s",
                     s.multiplier, s.alcEnabled ? "true" : "false");
            j += text;
        }
        if (s.generic) {
            snprintf(text, sizeof(text), ", \"board\": \"generic\", \"alc\": %s",
                     s.alcEnabled ? "true" : "false");
            j += text;
        }
        char out[24];
        dbmText(out, levelDbm(s));
        const ChannelChips &k = h.ch[c];
        snprintf(text, sizeof(text),
                 ", \"output_dbm\": %s, \"levelled\": %s, \"alc_adc\": %u, \"vco_adc\": %u, "
                 "\"level_violations\": %llu",
                 s.outputOn ? out : "null", s.levelled ? "true" : "false", k.alcAdc->reading() >> 2,
                 k.vcoAdc->reading(), (unsigned long long)s.levelViolations);
        j += text;
        if (*s.sspeType) {
            snprintf(text, sizeof(text),
                     ", \"power_extension\": {\"type\": \"%s\", \"path\": \"%s\", \"code1\": %u, "
                     "\"code2\": %u, \"attenuation_db\": %.1f}",
                     s.sspeType, s.sspePath, s.sspeCode1, s.sspeCode2, s.sspeDb);
            j += text;
        }
        // The standard driver's records mark no pass boundary; the FPGA counts its passes.
        char passes[24] = "null";
        if (simfpga_present())
            snprintf(passes, sizeof(passes), "%llu", (unsigned long long)simfpga_passes(c));
        snprintf(text, sizeof(text),
                 ", \"sweep\": {\"timer\": %s, \"point_time_s\": %.9g, \"points_played\": "
                 "%lld, \"passes\": %s, \"tick\": %llu, \"tick_hz\": %.0f}",
                 simtrace_timerRunning(c) ? "true" : "false", simtrace_pointPeriod(c) / tickHz(),
                 (long long)(simtrace_point(c) < 0 ? 0 : simtrace_point(c) + 1), passes,
                 (unsigned long long)simclock_ticks(c), tickHz());
        j += text;
        simpulse_appendJson(c, j);
        simmod_appendJson(c, j);
        if (s.chirpRamping)
            snprintf(text, sizeof(text),
                     ", \"chirp\": {\"ramping\": true, \"low_hz\": \"%s\", \"high_hz\": \"%s\", "
                     "\"step_hz\": \"%s\", \"ramp_time_s\": %.9g, \"direction\": \"%s\"}",
                     simhw_freqText(s.chirpLow).c_str(), simhw_freqText(s.chirpHigh).c_str(),
                     simhw_freqText(s.chirpStep).c_str(), s.chirpRampSeconds, s.chirpDirection);
        else
            snprintf(text, sizeof(text),
                     ", \"chirp\": {\"ramping\": false, \"low_hz\": null, \"high_hz\": null, "
                     "\"step_hz\": null, \"ramp_time_s\": null, \"direction\": null}");
        j += text;
        simfpga_appendFcpJson(c, j);
        snprintf(text, sizeof(text),
                 ", \"fs\": {\"looping\": %s, \"passes\": %llu, \"output_valid\": %d}}",
                 simfpga_isLooping(c) ? "true" : "false", (unsigned long long)simfpga_passes(c),
                 simfpga_outputValidCode(c));
        j += text;
    }
    static const char *const types[] = {"normal", "gate", "point"};
    snprintf(text, sizeof(text),
             "],\n \"trigger\": {\"immediate\": %s, \"type\": \"%s\", \"gate\": %s, "
             "\"triggers\": %llu, \"output\": \"%s\", \"output_inverted\": %s}",
             h.triggerImmediate ? "true" : "false", h.triggerType < 3 ? types[h.triggerType] : "?",
             h.gateHigh ? "true" : "false", (unsigned long long)h.triggers,
             triggerOutputName(h.triggerOutput),
             (h.triggerOutput & KRTPT_OUT_FLAG_INVERSE_POLARITY) ? "true" : "false");
    j += text;
    simcont_json(j, h.triggerOutput);
    const SimReferenceState &r = h.reference;
    snprintf(text, sizeof(text),
             ",\n \"reference\": {\"source\": \"%s\", \"frequency_hz\": \"%s\", \"locked\": %s, "
             "\"output\": %s, \"output_frequency_hz\": \"%s\"},\n \"ioupdates\": %llu, "
             "\"violations\": %zu}\n",
             r.source, simhw_freqText(r.frequency).c_str(), r.locked ? "true" : "false",
             r.outputOn ? "true" : "false", simhw_freqText(r.outputFrequency).c_str(),
             (unsigned long long)h.ioupdates, simhw_violations().size());
    j += text;
    return j;
}

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

bool sameFreq(const KrFreq &a, const KrFreq &b) {
    return a.integer == b.integer && a.fraction == b.fraction;
}

// The fields of a channel's state that an I/O update changed, under the state file's names.
void describeChanges(const SimChannelState &o, const SimChannelState &n, Pairs &p) {
    if (strcmp(o.rf, n.rf) != 0) p.add("rf=%s", n.rf);
    if (o.frequencyValid != n.frequencyValid || !sameFreq(o.frequency, n.frequency)) {
        if (n.frequencyValid)
            p.freq("frequency_hz", n.frequency);
        else
            p.add("frequency_hz=null");
    }
    if (!sameFreq(o.ddsFrequency, n.ddsFrequency)) p.freq("dds_frequency_hz", n.ddsFrequency);
    if (!sameFreq(o.ddsClock, n.ddsClock)) p.freq("dds_clock_hz", n.ddsClock);
    if (o.ftw != n.ftw) p.add("ftw=%llu", (unsigned long long)n.ftw);
    if (o.highResolution != n.highResolution)
        p.add("dds_high_resolution=%s", n.highResolution ? "true" : "false");
    if (o.phaseRad != n.phaseRad) p.add("phase_rad=%.9f", n.phaseRad);
    if (strcmp(o.path, n.path) != 0) p.add("path=%s", n.path);
    if (o.filter != n.filter) p.add("filter=%d", n.filter);
    if (o.n1 != n.n1) p.add("n1=%u", n.n1);
    if (o.n2 != n.n2) p.add("n2=%u", n.n2);
    if (o.r != n.r) p.add("r=%u", n.r);
    if (o.multiplier != n.multiplier) p.add("multiplier=%u", n.multiplier);
    if (o.gainStage != n.gainStage) p.add("gain_stage=%d", n.gainStage);
    if (o.attenuationADb != n.attenuationADb) p.add("attenuation_a_db=%.1f", n.attenuationADb);
    if (o.attenuationBDb != n.attenuationBDb) p.add("attenuation_b_db=%.1f", n.attenuationBDb);
    if (o.attenuationLoopDb != n.attenuationLoopDb)
        p.add("attenuation_loop_db=%.1f", n.attenuationLoopDb);
    if (o.alcDac != n.alcDac) p.add("alc_dac=%u", n.alcDac);
    if (o.alcEnabled != n.alcEnabled) p.add("alc=%s", n.alcEnabled ? "true" : "false");
    if (o.loopFilterOhm != n.loopFilterOhm) p.add("loop_filter_ohm=%.1f", n.loopFilterOhm);
    if (o.blanking != n.blanking) p.add("blanking=%s", n.blanking ? "true" : "false");
    if (o.chirpRamping != n.chirpRamping) p.add("chirp=%s", n.chirpRamping ? "true" : "false");
    if (o.sspeDb != n.sspeDb || strcmp(o.sspePath, n.sspePath) != 0)
        p.add("power_extension=%s/%.1f", *n.sspePath ? n.sspePath : "-", n.sspeDb);
    if (levelDbm(o) != levelDbm(n)) {
        char out[24];
        dbmText(out, levelDbm(n));
        p.add("output_dbm=%s", out);
    }
    if (o.levelled != n.levelled) p.add("levelled=%s", n.levelled ? "true" : "false");
}

void traceRow(Hw &h, int c) {
    const SimChannelState &s = h.snapshot[c];
    SimTraceRow row{simclock_ticks(c),
                    c,
                    simtrace_point(c),
                    s.frequency,
                    s.outputOn,
                    s.outputDbm,
                    s.attenuationADb,
                    s.attenuationBDb,
                    s.sspeDb,
                    s.alcDac,
                    s.phaseRad,
                    simpulse_rf(c, s.rf),
                    s.blanking,
                    simtrace_dwellTicks(c),
                    simtrace_delayTicks(c)};
    simtrace_record(row);
}

// Caller holds the lock. true while a change remains unwritten.
// A level change still settling keeps it unwritten while hardware time runs by itself.
bool writeStateFile(Hw &h, bool force) {
    bool settling = settleLevels(h) && scale().load() > 0;
    if (!h.stateDirty) return settling;
    Clock::time_point now = Clock::now();
    if (!force && now - h.lastStateWrite < stateFileInterval) return true;
    std::string path = simFile("hardware-state.json");
    h.stateDirty = false;
    h.lastStateWrite = now;
    if (path.empty()) return false;
    std::string text = json(h);
    std::string tmp = path + ".tmp";
    FILE *f = fopen(tmp.c_str(), "w");
    if (!f) return false;
    fputs(text.c_str(), f);
    fclose(f);
    rename(tmp.c_str(), path.c_str());
    return settling;
}

}  // namespace

// ---------------------------------------------------------------------------------------

void simhw_spawn(void (*body)(intptr_t), intptr_t argument) {
    struct Start {
        void (*body)(intptr_t);
        intptr_t argument;
    };
    Start *start = new Start{body, argument};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    // Generous for the emulators' frames, also under the sanitizers.
    pthread_attr_setstacksize(&attr, 1024 * 1024);
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
              lay.uln ? "low-noise" : "standard",
              lay.board40g[0]  ? "40 GHz"
              : lay.generic[0] ? "generic"
                               : "20 GHz");
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

void simhw_describeShiftRegister(const SimShiftRegister *s, char *out, size_t size) {
    Hw &h = hw();
    Pairs p(out, size);
    if (s == h.refSri) {
        SimReferenceState r = computeReference(h);
        p.add("source=%s", r.source);
        p.freq("frequency_hz", r.frequency);
        p.add("output=%s", r.outputOn ? "on" : "off");
        p.freq("output_frequency_hz", r.outputFrequency);
        return;
    }
    for (int c = 0; c < SIMHW_CHANNELS; c++) {
        const ChannelChips &k = h.ch[c];
        if (s != k.sri && s != k.sspe) continue;
        SimChannelState st = computeChannel(h, c);
        if (s == k.sspe) {
            if (*st.sspeType && h.layout.sspe[c] != '3')
                p.add("power_extension=%s path=%s attenuation_db=%.1f", st.sspeType,
                      *st.sspePath ? st.sspePath : "-", st.sspeDb);
            return;
        }
        int rfBit = h.layout.board40g[c]  ? ORBX40G_OUT_BIT_RF_ENABLE
                    : h.layout.generic[c] ? ORBXXXG_OUT_BIT_RF_ENABLE
                                          : ORBX20G_OUT_BIT_RF_ENABLE;
        p.add("path=%s filter=%d n1=%u n2=%u r=%u", st.path, st.filter, st.n1, st.n2, st.r);
        if (h.layout.board40g[c] || h.layout.generic[c])
            p.add("alc=%s", st.alcEnabled ? "true" : "false");
        else
            p.add("gain_stage=%d", st.gainStage);
        p.add("rf_enable=%d", s->bit(rfBit) ? 1 : 0);
        return;
    }
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

void simhw_traceNow() {
    Hw &h = hw();
    snapshot(h);
    h.stateDirty = true;
    for (int c = 0; c < h.layout.channels; c++)
        traceRow(h, c);
}

void simhw_setBlanking(int channel, bool on) {
    Hw &h = hw();
    for (int c = 0; c < SIMHW_CHANNELS; c++)
        if (channel < 0 || channel == c) h.blanking[c] = on;
}

uint64_t simhw_ioupdateCount() {
    return hw().ioupdates;
}

bool SimLayout::operator==(const SimLayout &o) const {
    return channels == o.channels && uln == o.uln && memcmp(sspe, o.sspe, sizeof(sspe)) == 0 &&
           memcmp(board40g, o.board40g, sizeof(board40g)) == 0 &&
           memcmp(vcoLoop, o.vcoLoop, sizeof(vcoLoop)) == 0 &&
           memcmp(generic, o.generic, sizeof(generic)) == 0;
}

SimLayout simhw_readLayout() {
    return readLayout();
}

SimLevelBoard simhw_levelBoard(const SimLayout &lay, int channel) {
    return lay.board40g[channel]  ? SimLevelBoard::Orbx40G
           : lay.generic[channel] ? SimLevelBoard::Generic
                                  : SimLevelBoard::Orbx20G;
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
    int gain = h.layout.board40g[c] || h.layout.generic[c]
                   ? 0
                   : (int)k.sri->field(ORBX20G_OUT_BIT_GAIN_LOW, ORBX20G_OUT_GAIN_BITS);
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

void simhw_violation(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    {
        Log &l = logState();
        std::lock_guard<std::mutex> g(l.mutex);
        if (l.violations.size() < violationsKept) l.violations.push_back(text);
    }
    char line[600];
    snprintf(line, sizeof(line), "VIOLATION %s", text);
    logLine("-", line, true);
}

void simhw_log(const char *format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof(text), format, args);
    va_end(args);
    logLine("-", text);
}

bool simhw_logFull() {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    rollover(l);
    return l.linesThisSecond >= logLinesPerSecond;
}

void simhw_logRegister(int channel, const char *chip, const char *reg, const char *format,
                       va_list args) {
    if (budgetSpent()) return;
    char text[logLineMax];
    int n = snprintf(text, sizeof(text), "%s %s = ", chip, reg);
    if (n > 0 && (size_t)n < sizeof(text))
        vsnprintf(text + n, sizeof(text) - (size_t)n, format, args);
    char where[16];
    if (channel >= 0)
        snprintf(where, sizeof(where), "ch%d", channel + 1);
    else
        snprintf(where, sizeof(where), "board");
    logLine(where, text);
}

void simhw_logAt(int channel, const char *chip, const char *reg, const char *format, ...) {
    va_list args;
    va_start(args, format);
    simhw_logRegister(channel, chip, reg, format, args);
    va_end(args);
}

std::vector<std::string> simhw_violations() {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    return l.violations;
}

void simhw_clearViolations() {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    l.violations.clear();
}

std::vector<std::string> simhw_logTail(size_t lines) {
    Log &l = logState();
    std::lock_guard<std::mutex> g(l.mutex);
    size_t n = std::min(lines, l.ringCount);
    std::vector<std::string> tail;
    for (size_t i = n; i > 0; i--)
        tail.push_back(l.ring[(l.ringNext + logRingLines - i) % logRingLines]);
    return tail;
}

double simhw_timeScale() {
    return scale().load();
}

void simhw_setTimeScale(double s) {
    scale() = s < 0 ? 0 : s;
    hw().changed.notify_all();
}

bool simhw_waitHardware(std::unique_lock<std::mutex> &lk, double seconds, uint64_t generation) {
    Hw &h = hw();
    double s = scale().load();
    if (s == 0 && seconds > 0) h.hardwareS += seconds;
    if (s > 0 && seconds > 0) {
        auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(seconds * s));
        h.changed.wait_until(lk, deadline, [&] { return h.abortGeneration != generation; });
    }
    return h.abortGeneration == generation;
}

uint64_t simhw_abortGeneration() {
    return hw().abortGeneration;
}

void simhw_abortWaits() {
    Hw &h = hw();
    {
        std::lock_guard<std::mutex> g(h.mutex);
        h.abortGeneration++;
    }
    h.changed.notify_all();
}

void simhw_triggerLocked() {
    Hw &h = hw();
    h.pendingTriggers++;
    h.triggers++;
    h.changed.notify_all();
}

void simhw_trigger() {
    std::lock_guard<std::mutex> g(hw().mutex);
    simhw_triggerLocked();
}

void simhw_externalEdge(bool rising) {
    bool take;
    {
        std::lock_guard<std::mutex> g(hw().mutex);
        take = hw().slopeBoth || hw().slopeRising == rising;
    }
    if (take) simhw_trigger();
}

void simhw_setTriggerSlope(bool rising) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().slopeRising = rising;
}

void simhw_setTriggerSlopeBoth(bool both) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().slopeBoth = both;
}

uint64_t simhw_triggerCount() {
    return hw().triggers;
}

// Also called by the FPGA's register writes, which hold the lock.
void simhw_setTriggerSourceImmediate(bool immediate) {
    hw().triggerImmediate = immediate;
    hw().changed.notify_all();
}

bool simhw_triggerSourceImmediate() {
    return hw().triggerImmediate;
}

// A trigger acts after the event count has been skipped.
bool simhw_waitTrigger(std::unique_lock<std::mutex> &lk, uint64_t generation) {
    Hw &h = hw();
    // Whoever looks finds the output as it waits.
    if (!h.triggerImmediate) writeStateFile(h, true);
    for (;;) {
        h.changed.wait(lk, [&] {
            return h.triggerImmediate || h.pendingTriggers > 0 || h.abortGeneration != generation;
        });
        if (h.abortGeneration != generation) return false;
        if (h.triggerImmediate) return true;
        h.pendingTriggers--;
        if (h.eventsSkipped >= h.eventCount) break;
        h.eventsSkipped++;
    }
    h.eventsSkipped = 0;
    return true;
}

void simhw_setTriggerType(uint32_t type) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().triggerType = type;
}

uint32_t simhw_triggerType() {
    return hw().triggerType;
}

void simhw_setTriggerDelay(uint64_t ticks) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().triggerDelay = ticks;
}

uint64_t simhw_triggerDelay() {
    return hw().triggerDelay;
}

void simhw_setTriggerEventCount(uint32_t count) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().eventCount = count;
    hw().eventsSkipped = 0;
}

void simhw_setTriggerOutput(uint32_t value) {
    std::lock_guard<std::mutex> g(hw().mutex);
    hw().triggerOutput = value;
    hw().stateDirty = true;
}

void simhw_setGate(bool high) {
    {
        std::lock_guard<std::mutex> g(hw().mutex);
        hw().gateHigh = high;
    }
    hw().changed.notify_all();
}

bool simhw_waitGate(std::unique_lock<std::mutex> &lk, uint64_t generation) {
    Hw &h = hw();
    if (!h.gateHigh) writeStateFile(h, true);
    h.changed.wait(lk, [&] { return h.gateHigh || h.abortGeneration != generation; });
    return h.abortGeneration == generation;
}

bool simhw_channelState(int channel, SimChannelState *out) {
    if (channel < 0 || channel >= SIMHW_CHANNELS) return false;
    *out = hw().snapshot[channel];
    return true;
}

SimReferenceState simhw_referenceState() {
    return hw().reference;
}

std::string simhw_stateJson() {
    return json(hw());
}

void simhw_boardRegisterChanged() {
    Hw &h = hw();
    h.reference = computeReference(h);
    h.stateDirty = true;
}

void simhw_setExternalReferencePresent(bool present) {
    Hw &h = hw();
    h.extRefPresent = present;
    h.reference = computeReference(h);
    h.stateDirty = true;
}

bool simhw_flushStateFile(bool force) {
    return writeStateFile(hw(), force);
}

void simhw_settle(std::unique_lock<std::mutex> &lk, bool (*busy)()) {
    Hw &h = hw();
    while (!busy() && writeStateFile(h, false))
        h.changed.wait_for(lk, stateFileInterval, busy);
}

namespace {

// Exact decimal text, 20 fraction digits; the length.
int freqDigits(char (&text)[64], const KrFreq &f) {
    bool negative = f.integer < 0;
    u128 v = q64(f);
    if (negative) v = ~v + 1;
    uint64_t integer = (uint64_t)(v >> 64), fraction = (uint64_t)v;
    int n =
        snprintf(text, sizeof(text), "%s%llu.", negative ? "-" : "", (unsigned long long)integer);
    for (int i = 0; i < 20; i++) {
        u128 x = (u128)fraction * 10;
        text[n++] = (char)('0' + (int)(x >> 64));
        fraction = (uint64_t)x;
    }
    text[n] = 0;
    return n;
}

}  // namespace

std::string simhw_simFile(const char *name) {
    return simFile(name);
}

std::string simhw_freqText(const KrFreq &f) {
    char text[64];
    freqDigits(text, f);
    return text;
}

void simhw_formatFreq(char *out, size_t size, const KrFreq &f) {
    char text[64];
    int n = freqDigits(text, f);
    while (text[n - 1] == '0')
        n--;
    if (text[n - 1] == '.') n--;
    text[n] = 0;
    snprintf(out, size, "%s", text);
}
