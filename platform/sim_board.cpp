// The simulated output boards' records, and each board's synthesizer: its DDS words and the
// output its loop locks to.
#include "sim_board.h"

#include <array>
#include <cmath>

#include "hw/orbx20g_out.h"
#include "hw/orbx20g_out_registers.h"
#include "hw/orbx40g_out_registers.h"
#include "hw/orbxxxg_out_registers.h"
#include "sim_chip.h"
#include "sim_hw_internal.h"

using namespace simhw_detail;

namespace {

constexpr uint64_t bitsOf(std::span<const int> bits) {
    uint64_t m = 0;
    for (int b : bits)
        if (b >= 0) m |= 1ull << b;
    return m;
}

template <size_t A, size_t B>
constexpr std::array<uint64_t, A + B> join(const uint64_t (&a)[A], const uint64_t (&b)[B]) {
    std::array<uint64_t, A + B> all{};
    for (size_t i = 0; i < A; i++)
        all[i] = a[i];
    for (size_t i = 0; i < B; i++)
        all[A + i] = b[i];
    return all;
}

constexpr auto k20gFilterPatterns = [] {
    std::array<uint64_t, ORBX20G_OUT_FILTERS> m{};
    for (int i = 0; i < ORBX20G_OUT_FILTERS; i++)
        m[i] = bitsOf(ORBX20G_OUT_FILTER_BITS[i]);
    return m;
}();

constexpr uint64_t k20gEdges[] = {ORBX20G_OUT_DIRECT_LIMIT_HZ, ORBX20G_OUT_BAND_EDGE1_HZ,
                                  ORBX20G_OUT_BAND_EDGE2_HZ, ORBX20G_OUT_BAND2_EDGE_HZ};
constexpr uint64_t k40gLimits[] = {ORBX40G_OUT_DIRECT_LIMIT_HZ, ORBX40G_OUT_DOUBLER_EDGE_HZ};
constexpr auto k40gEdges = join(k40gLimits, ORBX40G_OUT_FILTER_EDGES_HZ);
constexpr uint64_t kGenericLimits[] = {ORBXXXG_OUT_DIRECT_LIMIT_HZ};
constexpr auto kGenericEdges = join(kGenericLimits, ORBXXXG_OUT_FILTER_EDGES_HZ);

// The ramp's words at the output, through the loop as the fixed frequency goes.
void decodeChirp(Hw &h, int c, int path, SimChannelState *st) {
    SimAd9910::Chirp ramp = h.ch[c].dds->chirp();
    bool loop = path != ORBX20G_OUT_PATH_DIRECT && path != 0 && st->r != 0 && st->n2 != 0;
    if (!ramp.on || (path != ORBX20G_OUT_PATH_DIRECT && !loop)) return;
    uint32_t n1 = h.layout.vcoLoop[c] && st->n1 > 1 ? st->n1 : 1;
    auto output = [&](u128 dds, bool offset) {
        if (!loop) return fromQ64(dds);
        if (offset) dds += (u128)ORBX20G_OUT_PFD_OFFSET_HZ << 64;
        return fromQ64(dds * st->n2 / st->r / n1);
    };
    const SimAd9910 *dds = h.ch[c].dds;
    st->chirpRamping = true;
    st->chirpLow = output(q64(dds->tone(ramp.low)), true);
    st->chirpHigh = output(q64(dds->tone(ramp.high)), true);
    st->chirpStep = output(q64(dds->tone(ramp.step)), false);
    st->chirpRampSeconds = ramp.rampSeconds;
    st->chirpDirection = ramp.direction;
}

// 20 GHz board: the AD9910 directly, or the loop locking f x R / N2 to the DDS output plus
// 1 GHz; f is the output on the oldest boards, the VCO (then divided by N1) on the newer ones.
void synthesize20g(Hw &h, int c, int path, SimChannelState *st) {
    const SimAd9910 *dds = h.ch[c].dds;
    st->ftw = dds->ftw();
    st->ddsFrequency = dds->output();
    st->ddsClock = dds->sysclk();
    st->ddsPoweredDown = dds->poweredDown();
    st->highResolution = dds->dithering();
    st->phaseRad = dds->pow() * (2 * M_PI / 65536.0);
    if (path == ORBX20G_OUT_PATH_DIRECT) {
        st->frequency = st->ddsFrequency;
        st->frequencyValid = true;
    } else if (path != 0 && st->r != 0 && st->n2 != 0) {
        u128 x = q64(st->ddsFrequency) + ((u128)ORBX20G_OUT_PFD_OFFSET_HZ << 64);
        u128 f = x * st->n2 / st->r;
        if (h.layout.vcoLoop[c] && st->n1 > 1) f /= st->n1;
        st->frequency = fromQ64(f);
        st->frequencyValid = true;
        st->vcoHz = (double)st->frequency.integer * (st->n1 > 1 ? st->n1 : 1);
    }
    decodeChirp(h, c, path, st);
}

// 40 GHz board: the AD9164 directly, or the VCO locked to DAC x R, divided by N1 and doubled
// on the doubler path.
void synthesize40g(Hw &h, int c, int path, SimChannelState *st) {
    const SimAd9164 *dac = h.ch[c].rfdac;
    st->ftw = dac->ftw();
    st->ddsFrequency = dac->output();
    st->ddsClock = dac->clock();
    st->ddsPoweredDown = !dac->ncoEnabled();
    st->phaseRad = dac->phaseWord() * (2 * M_PI / 65536.0);
    st->multiplier = path == ORBX40G_OUT_PATH_DOUBLER ? 2 : 1;
    if (st->ddsPoweredDown) return;
    if (path == ORBX40G_OUT_PATH_DIRECT) {
        st->frequency = st->ddsFrequency;
        st->frequencyValid = true;
    } else if (path != 0 && st->n1 != 0 && st->r != 0) {
        u128 vco = q64(st->ddsFrequency) * st->r;
        st->frequency = fromQ64(vco / st->n1 * st->multiplier);
        st->frequencyValid = true;
        st->vcoHz = (double)(uint64_t)(vco >> 64);
    }
}

// Generic board: the AD9912 directly, or the VCO locked so that VCO / N2 = DDS / R and
// divided by N1 to the output.
void synthesizeGeneric(Hw &h, int c, int path, SimChannelState *st) {
    const SimAd9912 *dds = h.ch[c].dds48;
    st->ftw = dds->ftw();
    st->ddsFrequency = dds->output();
    st->ddsClock = dds->clock();
    st->ddsPoweredDown = dds->poweredDown();
    st->phaseRad = dds->phaseWord() * (2 * M_PI / 16384.0);
    if (st->ddsPoweredDown) return;
    if (path == ORBXXXG_OUT_PATH_DIRECT) {
        st->frequency = st->ddsFrequency;
        st->frequencyValid = true;
    } else if (path != 0 && st->n1 != 0 && st->n2 != 0 && st->r != 0) {
        st->frequency = fromQ64(q64(st->ddsFrequency) * st->n2 / st->r / st->n1);
        st->frequencyValid = true;
        st->vcoHz = (double)st->frequency.integer * st->n1;
    }
}

// In the order of SimLevelBoard.
constexpr SimBoard kBoards[] = {
    {
        .kind = SimLevelBoard::Orbx20G,
        .logName = "20 GHz",
        .stateName = nullptr,
        .tellsMultiplier = false,
        .sriName = "ORBX20G_OUT_SRI",
        .sriBytes = ORBX20G_OUT_SRI_BYTES,
        .ad9910ClockHz = ORBX20G_OUT_DDS_CLOCK_HZ,
        .pathBits = bitsOf(ORBX20G_OUT_PATH_ALL_BITS),
        .paths = {{ORBX20G_OUT_PATH_DIRECT, "direct", bitsOf(ORBX20G_OUT_PATH_DIRECT_BITS)},
                  {ORBX20G_OUT_PATH_BAND0, "band0", bitsOf(ORBX20G_OUT_PATH_BAND0_BITS)},
                  {ORBX20G_OUT_PATH_BAND1, "band1", bitsOf(ORBX20G_OUT_PATH_BAND1_BITS)},
                  {ORBX20G_OUT_PATH_BAND2, "band2", bitsOf(ORBX20G_OUT_PATH_BAND2_BITS)}},
        .filterBit = 0,
        .filterWidth = 0,
        .filters = ORBX20G_OUT_FILTERS,
        .filterSwitchBits = bitsOf(ORBX20G_OUT_FILTER_ALL_BITS),
        .filterPatterns = k20gFilterPatterns.data(),
        .bitN1 = ORBX20G_OUT_BIT_N1,
        .bitN2 = ORBX20G_OUT_BIT_N2,
        .bitR = ORBX20G_OUT_BIT_R,
        .dividerWidth = ORBX20G_OUT_DIVIDER_WIDTH,
        .bitGain = ORBX20G_OUT_BIT_GAIN_LOW,
        .gainWidth = ORBX20G_OUT_GAIN_BITS,
        .bitRfEnable = ORBX20G_OUT_BIT_RF_ENABLE,
        .alcBits = {ORBX20G_OUT_BIT_ALC_ENABLE, ORBX20G_OUT_BIT_ALC_HOLD,
                    ORBX20G_OUT_BIT_ALC_SAMPLE, ORBX20G_OUT_BIT_ALC_RF_MUTE},
        .bitSspe = ORBX20G_OUT_BIT_SSPE,
        .topHz = 20.1e9,
        .edgesHz = k20gEdges,
        .synthesize = synthesize20g,
    },
    {
        .kind = SimLevelBoard::Orbx40G,
        .logName = "40 GHz",
        .stateName = "40g",
        .tellsMultiplier = true,
        .sriName = "ORBX40G_OUT_SRI",
        .sriBytes = ORBX40G_OUT_SRI_BYTES,
        .ad9910ClockHz = 0,
        .pathBits = bitsOf(ORBX40G_OUT_PATH_ALL_BITS),
        .paths = {{ORBX40G_OUT_PATH_DIRECT, "direct", bitsOf(ORBX40G_OUT_PATH_DIRECT_BITS)},
                  {ORBX40G_OUT_PATH_PLL, "pll", bitsOf(ORBX40G_OUT_PATH_PLL_BITS)},
                  {ORBX40G_OUT_PATH_DOUBLER, "doubler", bitsOf(ORBX40G_OUT_PATH_DOUBLER_BITS)}},
        .filterBit = ORBX40G_OUT_BIT_FILTER,
        .filterWidth = ORBX40G_OUT_FILTER_WIDTH,
        .filters = ORBX40G_OUT_FILTERS,
        .filterSwitchBits = 0,
        .filterPatterns = nullptr,
        .bitN1 = ORBX40G_OUT_BIT_N1,
        .bitN2 = -1,
        .bitR = ORBX40G_OUT_BIT_R,
        .dividerWidth = ORBX40G_OUT_DIVIDER_WIDTH,
        .bitGain = -1,
        .gainWidth = 0,
        .bitRfEnable = ORBX40G_OUT_BIT_RF_ENABLE,
        .alcBits = {ORBX40G_OUT_BIT_ALC_ENABLE, ORBX40G_OUT_BIT_ALC_HOLD,
                    ORBX40G_OUT_BIT_ALC_SAMPLE, ORBX40G_OUT_BIT_ALC_RF_MUTE},
        .bitSspe = ORBX40G_OUT_BIT_SSPE,
        .topHz = 41e9,
        .edgesHz = k40gEdges,
        .synthesize = synthesize40g,
    },
    {
        .kind = SimLevelBoard::Generic,
        .logName = "generic",
        .stateName = "generic",
        .tellsMultiplier = false,
        .sriName = "ORBXXXG_OUT_SRI",
        .sriBytes = ORBXXXG_OUT_SRI_BYTES,
        .ad9910ClockHz = 0,
        .pathBits = bitsOf(ORBXXXG_OUT_PATH_ALL_BITS),
        .paths = {{ORBXXXG_OUT_PATH_DIRECT, "direct", bitsOf(ORBXXXG_OUT_PATH_DIRECT_BITS)},
                  {ORBXXXG_OUT_PATH_PLL, "pll", bitsOf(ORBXXXG_OUT_PATH_PLL_BITS)}},
        .filterBit = ORBXXXG_OUT_BIT_FILTER,
        .filterWidth = ORBXXXG_OUT_FILTER_WIDTH,
        .filters = ORBXXXG_OUT_FILTERS,
        .filterSwitchBits = 0,
        .filterPatterns = nullptr,
        .bitN1 = ORBXXXG_OUT_BIT_N1,
        .bitN2 = ORBXXXG_OUT_BIT_N2,
        .bitR = ORBXXXG_OUT_BIT_R,
        .dividerWidth = ORBXXXG_OUT_DIVIDER_WIDTH,
        .bitGain = -1,
        .gainWidth = 0,
        .bitRfEnable = ORBXXXG_OUT_BIT_RF_ENABLE,
        .alcBits = {ORBXXXG_OUT_BIT_ALC_ENABLE, ORBXXXG_OUT_BIT_ALC_HOLD,
                    ORBXXXG_OUT_BIT_ALC_SAMPLE, ORBXXXG_OUT_BIT_ALC_RF_MUTE},
        .bitSspe = ORBXXXG_OUT_BIT_SSPE,
        .topHz = 20.1e9,
        .edgesHz = kGenericEdges,
        .synthesize = synthesizeGeneric,
    },
};

static_assert([] {
    for (size_t i = 0; i < std::size(kBoards); i++)
        if ((size_t)kBoards[i].kind != i) return false;
    return true;
}());

}  // namespace

int SimBoard::gainStage(const SimShiftRegister *s) const {
    return bitGain < 0 ? 0 : (int)s->field(bitGain, gainWidth);
}

const SimBoard &simboard(SimLevelBoard kind) {
    return kBoards[(size_t)kind];
}
