// The simulated FS FPGA's modulation engine.
#include "sim_mod.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "hw/fs_fpga_registers.h"
#include "sim_ad9164.h"
#include "sim_chip.h"
#include "sim_fpga.h"
#include "sim_hw.h"
#include "sim_level.h"

namespace {

constexpr int channels = 4;

struct Hop {
    uint64_t ftw;
    uint16_t phase;
};

struct Capture {
    bool recording = false;
    bool adc = false;
    uint64_t delayTicks = 0;
    uint64_t hopsSeen = 0, amSeen = 0;
    std::vector<Hop> hops;
    std::vector<uint32_t> am;
};

// What the running loop does.
struct Modulation {
    bool running = false;
    bool external = false;
    // Internal tables.
    bool phaseKind = false;  // PM
    double deviation = 0;    // Hz (FM) or rad (PM)
    double rateHz = 0;
    size_t samples = 0;
    double samplePeriod = 0;
    bool am = false;
    double depth = 0;
};

struct State {
    Capture cap[channels];
    Modulation mod[channels];
};

State &state() {
    static State s;
    return s;
}

// Hertz of an exact frequency (the platform does not link the firmware's arithmetic).
double hz(const KrFreq &f) {
    return (double)f.integer + (double)f.fraction * 0x1p-64;
}

bool valid(int c) {
    return c >= 0 && c < channels;
}

// Output frequency over NCO frequency on the channel's present path.
double pathRatio(int c) {
    SimChannelState st;
    if (!simhw_channelState(c, &st) || !st.frequencyValid) return 1.0;
    double dds = hz(st.ddsFrequency), out = hz(st.frequency);
    return dds > 0 && out > 0 ? out / dds : 1.0;
}

double samplePeriod(const Capture &k, size_t samples, double own) {
    if (!k.adc) return own;
    return FS_MOD_ADC_SAMPLE_S + (samples ? (double)k.delayTicks / samples / FS_TIMER_HZ : 0);
}

// Cycles of a periodic sequence: its sign changes about the mean, counted round the loop.
int cycles(const std::vector<double> &x) {
    size_t n = x.size(), changes = 0;
    for (size_t i = 0; i < n; i++)
        if ((x[i] >= 0) != (x[(i + 1) % n] >= 0)) changes++;
    return changes >= 2 ? (int)(changes / 2) : 1;
}

// x (mean removed) ~ a sin(2 pi k i / n) + b cos(2 pi k i / n).
void fit(const std::vector<double> &x, int k, double *a, double *b) {
    size_t n = x.size();
    *a = *b = 0;
    for (size_t i = 0; i < n; i++) {
        double w = 2 * M_PI * k * (double)i / (double)n;
        *a += x[i] * std::sin(w);
        *b += x[i] * std::cos(w);
    }
    *a *= 2.0 / n;
    *b *= 2.0 / n;
}

void removeMean(std::vector<double> &x) {
    double m = 0;
    for (double v : x)
        m += v;
    m /= (double)x.size();
    for (double &v : x)
        v -= m;
}

void describeHops(int c, const Capture &k, Modulation &m) {
    SimAd9164 *dac = simhw_rfdac(c);
    size_t n = k.hops.size();
    double clock = dac ? hz(dac->clock()) : 0;
    double ratio = pathRatio(c);
    m.samples = n;
    m.samplePeriod = samplePeriod(k, n, FS_MOD_HOP_SAMPLE_S);
    // Instantaneous output phase: the NCO's phase offset (unwrapped) plus the accumulated
    // frequency offset, both through the path's ratio.
    std::vector<double> f(n), theta(n);
    double fMean = 0;
    for (size_t i = 0; i < n; i++) {
        f[i] = clock * (double)k.hops[i].ftw / 281474976710656.0;
        fMean += f[i];
    }
    fMean /= (double)n;
    double acc = 0, last = 0;
    for (size_t i = 0; i < n; i++) {
        double p = k.hops[i].phase * (2 * M_PI / 65536.0);
        if (i) p += 2 * M_PI * std::round((last - p) / (2 * M_PI));
        last = p;
        theta[i] = (p + acc) * ratio;
        acc += 2 * M_PI * (f[i] - fMean) * m.samplePeriod;
    }
    removeMean(theta);
    int cyc = cycles(theta);
    double a, b;
    fit(theta, cyc, &a, &b);
    m.rateHz = cyc / (n * m.samplePeriod);
    m.phaseKind = std::fabs(a) >= std::fabs(b);
    double amp = std::hypot(a, b);
    // A frequency table's phase is a sum over samples, not an integral: undo its gain.
    double x = M_PI * m.rateHz * m.samplePeriod;
    m.deviation = m.phaseKind ? amp : amp * m.rateHz * (x > 0 ? std::sin(x) / x : 1.0);
}

void describeAm(int c, const Capture &k, Modulation &m) {
    size_t n = k.am.size();
    SimChannelState st;
    double carrier = simhw_channelState(c, &st) && st.frequencyValid ? hz(st.frequency) : 1e9;
    double att = st.attenuationLoopDb;
    std::vector<double> amp(n);
    for (size_t i = 0; i < n; i++)
        amp[i] = std::pow(
            10.0,
            simlevel_loopPointDbm(SimLevelBoard::Orbx40G, carrier, (double)k.am[i], att) / 20.0);
    std::vector<double> x = amp;
    removeMean(x);
    int cyc = cycles(x);
    double lo = amp[0], hi = amp[0];
    for (double v : amp)
        lo = std::min(lo, v), hi = std::max(hi, v);
    m.am = true;
    m.samples = n;
    m.samplePeriod = samplePeriod(k, n, FS_MOD_AM_SAMPLE_S);
    m.rateHz = cyc / (n * m.samplePeriod);
    m.depth = hi + lo > 0 ? (hi - lo) / (hi + lo) : 0;
}

const char *adcModeName(uint32_t mode) {
    return mode == FS_ADC_MODE_BINARY ? "binary" : mode == FS_ADC_MODE_DC ? "dc" : "normal";
}

void appendExternal(int c, std::string &j) {
    uint64_t r = simfpga_register(fs_regModulation((uint32_t)c));
    uint32_t gain = (uint32_t)(r >> FS_MOD_GAIN_LOW) & 3;
    uint32_t kind = (uint32_t)(r >> FS_MOD_KIND_LOW) & 3;
    uint32_t factor = (uint32_t)(r >> FS_MOD_FACTOR_LOW) & ((1u << FS_MOD_FACTOR_BITS) - 1);
    uint32_t offset = (uint32_t)(r >> FS_MOD_OFFSET_LOW);
    uint64_t control = simfpga_register(FS_REG_CONTROL);
    uint32_t mode = (uint32_t)(control >> FS_CONTROL_ADC_MODE_LOW) & 3;
    // Back from the register to the input's scale: the factor and gain make x, x is the
    // sensitivity in NCO words per ADC step.
    static const double gains[] = {65536.0, 256.0, 1.0, 1.0 / 256.0};
    SimAd9164 *dac = simhw_rfdac(c);
    double clock = dac ? hz(dac->clock()) : 0;
    double x = factor / gains[gain];
    double value = x / (4294967296.0 * (10.0 / 32768.0) * 512.0) * clock * pathRatio(c);
    const char *kindName = "fm", *unit = "sensitivity_hz_per_v";
    if (mode == FS_ADC_MODE_BINARY) {
        kindName = "fsk", unit = "deviation_hz", value /= 0.2;
    } else if (kind == FS_MOD_KIND_PHASE) {
        kindName = "pm", unit = "sensitivity_rad_per_v", value /= 81409.17805212039;
    }
    char text[384];
    snprintf(text, sizeof(text),
             ", \"fm\": {\"kind\": \"%s\", \"source\": \"external\", \"%s\": %.6g, \"gain\": %u, "
             "\"factor\": %u, \"offset\": %u, \"adc_mode\": \"%s\"}",
             kindName, unit, value, gain, factor, offset, adcModeName(mode));
    j += text;
}

}  // namespace

void simmod_reset() {
    state() = State();
}

void simmod_beginLoop(int c) {
    if (!valid(c)) return;
    Capture &k = state().cap[c];
    k = Capture();
    k.recording = true;
    SimAd9164 *dac = simhw_rfdac(c);
    SimAd5643 *am = simhw_alcDac(c);
    k.hopsSeen = dac ? dac->loads() : 0;
    k.amSeen = am ? am->loadsA() : 0;
}

void simmod_afterCommand(int c) {
    if (!valid(c) || !state().cap[c].recording) return;
    Capture &k = state().cap[c];
    if (SimAd9164 *dac = simhw_rfdac(c); dac && dac->loads() != k.hopsSeen) {
        k.hopsSeen = dac->loads();
        k.hops.push_back({dac->ftw(), dac->phaseWord()});
    }
    if (SimAd5643 *am = simhw_alcDac(c); am && am->loadsA() != k.amSeen) {
        k.amSeen = am->loadsA();
        k.am.push_back(am->dac(0));
    }
}

void simmod_adcWait(int c) {
    if (valid(c) && state().cap[c].recording) state().cap[c].adc = true;
}

void simmod_delay(int c, uint64_t ticks) {
    if (valid(c) && state().cap[c].recording) state().cap[c].delayTicks += ticks;
}

bool simmod_pacedByAdc(int c) {
    return valid(c) && state().cap[c].recording && state().cap[c].adc;
}

bool simmod_endLoop(int c, bool freeRunning) {
    if (!valid(c)) return false;
    Capture &k = state().cap[c];
    Modulation &m = state().mod[c];
    k.recording = false;
    m = Modulation();
    uint64_t r = simfpga_register(fs_regModulation((uint32_t)c));
    bool external = ((r >> FS_MOD_ENABLE_LOW) & 3) == 3 && k.adc;
    if (!freeRunning || (!external && k.hops.size() < 2 && k.am.size() < 2)) return false;
    m.running = true;
    m.external = external;
    if (!external && k.hops.size() >= 2)
        describeHops(c, k, m);
    else if (!external)
        describeAm(c, k, m);
    k.hops.clear();
    k.am.clear();
    return true;
}

void simmod_stop(int c) {
    if (!valid(c)) return;
    state().mod[c] = Modulation();
    state().cap[c] = Capture();
}

bool simmod_running(int c) {
    return valid(c) && state().mod[c].running;
}

void simmod_appendJson(int c, std::string &j) {
    const Modulation *m = valid(c) ? &state().mod[c] : nullptr;
    if (m && m->running && m->external) {
        appendExternal(c, j);
    } else if (m && m->running && !m->am) {
        char text[256];
        snprintf(text, sizeof(text),
                 ", \"fm\": {\"kind\": \"%s\", \"source\": \"internal\", \"%s\": %.6g, "
                 "\"rate_hz\": %.6g, \"samples\": %zu, \"sample_period_s\": %.6g}",
                 m->phaseKind ? "pm" : "fm", m->phaseKind ? "deviation_rad" : "deviation_hz",
                 m->deviation, m->rateHz, m->samples, m->samplePeriod);
        j += text;
    } else {
        j += ", \"fm\": null";
    }
    if (m && m->running && m->am) {
        char text[192];
        snprintf(text, sizeof(text),
                 ", \"am\": {\"source\": \"internal\", \"depth\": %.4f, \"rate_hz\": %.6g, "
                 "\"samples\": %zu, \"sample_period_s\": %.6g}",
                 m->depth, m->rateHz, m->samples, m->samplePeriod);
        j += text;
    } else {
        j += ", \"am\": null";
    }
}
