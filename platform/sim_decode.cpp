// A channel's and the reference's observable state, decoded from what the chips hold: the
// frequency through the board's path and dividers, filter, level stages, power extension,
// chirp, the reference's source and output.
#include <array>
#include <cmath>
#include <cstring>

#include "hw/orbx20g_out_registers.h"
#include "hw/orbx40g_out_registers.h"
#include "hw/orbxxxg_out_registers.h"
#include "hw/orbxxxg_ref_registers.h"
#include "sim_ad9164.h"
#include "sim_ad9910.h"
#include "sim_ad9912.h"
#include "sim_chip.h"
#include "sim_hw.h"
#include "sim_hw_internal.h"
#include "sim_trace.h"

using namespace simhw_detail;

namespace {

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

}  // namespace

namespace simhw_detail {

u128 q64(const KrFreq &f) {
    return ((u128)(uint64_t)f.integer << 64) | f.fraction;
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

}  // namespace simhw_detail

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

bool simhw_channelState(int channel, SimChannelState *out) {
    if (channel < 0 || channel >= SIMHW_CHANNELS) return false;
    *out = hw().snapshot[channel];
    return true;
}

SimReferenceState simhw_referenceState() {
    return hw().reference;
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
