// A channel's and the reference's observable state, decoded from what the chips hold: the
// frequency through the board's path and dividers, filter, level stages, power extension,
// chirp, the reference's source and output.
#include <bit>
#include <cmath>
#include <cstring>

#include "hw/orbxxxg_ref_registers.h"
#include "sim_board.h"
#include "sim_chip.h"
#include "sim_hw.h"
#include "sim_hw_internal.h"
#include "sim_trace.h"

using namespace simhw_detail;

namespace {

// The register's bits under the mask, at their places.
uint64_t readBits(const SimShiftRegister *s, uint64_t mask) {
    uint64_t got = 0;
    for (uint64_t m = mask; m; m &= m - 1) {
        int i = std::countr_zero(m);
        if (s->bit(i)) got |= 1ull << i;
    }
    return got;
}

const char *decodePath(const SimBoard &b, const SimShiftRegister *s, int *code) {
    uint64_t got = readBits(s, b.pathBits);
    for (const SimBoardPath &p : b.paths)
        if (p.code && p.bits == got) return *code = p.code, p.name;
    *code = 0;
    return "unknown";
}

int decodeFilter(const SimBoard &b, const SimShiftRegister *s) {
    if (b.filterWidth) {
        uint64_t index = s->field(b.filterBit, b.filterWidth);
        return index < (uint64_t)b.filters ? (int)index : -1;
    }
    uint64_t got = readBits(s, b.filterSwitchBits);
    for (int i = 0; i < b.filters; i++)
        if (b.filterPatterns[i] == got) return i;
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

}  // namespace

namespace simhw_detail {

u128 q64(const KrFreq &f) {
    return ((u128)(uint64_t)f.integer << 64) | f.fraction;
}

KrFreq fromQ64(u128 v) {
    return {(int64_t)(uint64_t)(v >> 64), (uint64_t)v};
}

// The channel's power extension: on the board's shift register ('3') or in its own.
void decodeChannelSspe(Hw &h, int c, SimChannelState *st) {
    const ChannelChips &k = h.ch[c];
    char type = h.layout.sspe[c];
    if (type != '3') return decodeSspe(type, k.sspe, 0, st);
    decodeSspe(type, k.sri, simboard(h.layout.board[c]).bitSspe, st);
}

SimChannelState computeChannel(Hw &h, int c) {
    const SimBoard &b = simboard(h.layout.board[c]);
    const SimShiftRegister *s = h.ch[c].sri;
    SimChannelState st = {};
    st.index = c + 1;
    st.board40g = b.kind == SimLevelBoard::Orbx40G;
    st.generic = b.kind == SimLevelBoard::Generic;
    st.multiplier = 1;
    int path;
    st.path = decodePath(b, s, &path);
    st.filter = decodeFilter(b, s);
    st.n1 = (uint32_t)s->field(b.bitN1, b.dividerWidth);
    st.n2 = b.bitN2 < 0 ? 1 : (uint32_t)s->field(b.bitN2, b.dividerWidth);
    st.r = (uint32_t)s->field(b.bitR, b.dividerWidth);
    st.gainStage = b.gainStage(s);
    st.alcEnabled = s->bit(b.alcBits[0]);
    st.alcHold = s->bit(b.alcBits[1]);
    b.synthesize(h, c, path, &st);
    bool rfEnabled = s->bit(b.bitRfEnable) && !st.ddsPoweredDown;
    computeCommon(h, c, rfEnabled, s->bit(b.alcBits[3]), &st);
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
        const SimBoard &b = simboard(h.layout.board[c]);
        p.add("path=%s filter=%d n1=%u n2=%u r=%u", st.path, st.filter, st.n1, st.n2, st.r);
        if (b.bitGain >= 0)
            p.add("gain_stage=%d", st.gainStage);
        else
            p.add("alc=%s", st.alcEnabled ? "true" : "false");
        p.add("rf_enable=%d", s->bit(b.bitRfEnable) ? 1 : 0);
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
