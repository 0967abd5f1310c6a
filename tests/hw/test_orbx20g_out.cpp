// 20 GHz output boards against the simulated board: path, filter and dividers as the board
// decodes them from the shift register, the synthesized frequency against the exact one
// computed from the tuning word, band edges, phase steps, RF and the boards that share the
// plan (ultra-low-noise, digital levelling).
#include "hw/orbx20g_out.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "core/krdebug.h"
#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "hw/fs_fpga.h"
#include "hw/krgio.h"
#include "hw/orbx20g_out_digital.h"
#include "hw/orbx20g_out_registers.h"
#include "hw/orbx20g_out_uln.h"
#include "hw_test_support.h"
#include "platform/sim/int128.h"

namespace {

using u128 = kr_u128;

u128 q64(const KrFreq &f) {
    return ((u128)(uint64_t)f.integer << 64) | f.fraction;
}

KrFreq fromQ64(u128 v) {
    return {(int64_t)(uint64_t)(v >> 64), (uint64_t)v};
}

using hwtest::hz;

// frac / 10^digits of a hertz as a 2^-64 fraction, truncated.
uint64_t decimalFraction(uint64_t frac, int digits) {
    u128 den = 1;
    for (int i = 0; i < digits; i++)
        den *= 10;
    return (uint64_t)(((u128)frac << 64) / den);
}

double absDiffHz(const KrFreq &a, const KrFreq &b) {
    u128 x = q64(a), y = q64(b);
    u128 d = x > y ? x - y : y - x;
    return (double)d / 18446744073709551616.0;
}

const char *pathName(int path) {
    switch (path) {
        case ORBX20G_OUT_PATH_DIRECT:
            return "direct";
        case ORBX20G_OUT_PATH_BAND0:
            return "band0";
        case ORBX20G_OUT_PATH_BAND1:
            return "band1";
        case ORBX20G_OUT_PATH_BAND2:
            return "band2";
        default:
            return "unknown";
    }
}

enum class Module { Standard, Uln, Digital };

class Orbx20gOutTest : public HwTest {
  protected:
    explicit Orbx20gOutTest(bool fs = false) : HwTest(fs) {}

    void start(uint32_t code, Module module = Module::Standard) {
        // Empty table first: another board's registration from an earlier test must not show.
#define BOARD_OUT_SLOT(name, ...) BOARD_ORBXXXG_OUT_##name = &Board_fallback<__VA_ARGS__>;
#include "device/board_out_slots.def"
#undef BOARD_OUT_SLOT
        if (module == Module::Standard)
            ORBX20G_OUT_registerFunctions();
        else if (module == Module::Uln)
            ORBX20G_OUT_ULN_registerFunctions();
        else
            ORBX20G_OUT_DIGITAL_registerFunctions();
        memset(&board, 0, sizeof(board));
        board.revisionCode = code;
        board.channel = 0;
        uint32_t address = 0x144800;
        ASSERT_EQ(BOARD_ORBXXXG_OUT_getBaseAddress(&board, &address), 0);
        ASSERT_EQ(BOARD_ORBXXXG_OUT_init(&board), 0);
        o = ORBX20G_OUT_record(&board);
        ASSERT_TRUE(hardware_sim_waitIdle());
    }

    // The channel device's order: preset, apply, I/O update, the step after it.
    SimChannelState tune(const KrFreq &f) {
        EXPECT_EQ(BOARD_ORBXXXG_OUT_setFrequencySync(&board, &f), 0);
        EXPECT_EQ(BOARD_ORBXXXG_OUT_SRI_applyPreset(&board), 0);
        EXPECT_EQ(krgio_ioupdate(), 0);
        EXPECT_EQ(BOARD_ORBXXXG_OUT_setFrequencyAsync(&board, &f), 0);
        // The FS link's transmit thread may still hold the commands.
        if (fs_) FS_FPGA_flush();
        EXPECT_TRUE(hardware_sim_waitIdle());
        return hardware_sim_channel(0);
    }

    // The simulated board locks (DDS + 1 GHz) x N2 / R wherever the loop is closed; from 1B
    // on the loop takes the VCO itself, so the output is that divided by N1 (one truncating
    // division, as the board's own arithmetic).
    KrFreq simOutput(const SimChannelState &st) {
        if (o->plan->legacySearch || o->path == ORBX20G_OUT_PATH_DIRECT || st.n1 == 0)
            return st.frequency;
        return fromQ64(q64(st.frequency) / st.n1);
    }

    // One DDS word step seen at the output.
    double stepHz() {
        double step = 1e9 / 4294967296.0;
        if (o->path == ORBX20G_OUT_PATH_DIRECT) return step;
        return step * o->n2 / o->r / (o->plan->legacySearch ? 1 : o->n1);
    }

    // The simulated board shows its state as of the last I/O update.
    SimChannelState observe() {
        EXPECT_EQ(krgio_ioupdate(), 0);
        if (fs_) FS_FPGA_flush();
        EXPECT_TRUE(hardware_sim_waitIdle());
        return hardware_sim_channel(0);
    }

    KrFreq exact() {
        KrFreq e = {};
        EXPECT_EQ(BOARD_ORBXXXG_OUT_getFrequencyExact(&board, &e), 0);
        return e;
    }

    // Tuned, decoded as the record says, exact, and within the given error of the request.
    void expectTuned(const SimChannelState &st, const KrFreq &f, double tolerance) {
        EXPECT_TRUE(st.frequencyValid);
        EXPECT_STREQ(st.path, pathName(o->path));
        EXPECT_EQ(st.filter, o->filter);
        EXPECT_EQ(st.n1, o->n1);
        EXPECT_EQ(st.n2, o->n2);
        EXPECT_EQ(st.r, o->r);
        KrFreq sim = simOutput(st), e = exact();
        EXPECT_EQ(sim.integer, e.integer);
        EXPECT_EQ(sim.fraction, e.fraction);
        EXPECT_LE(absDiffHz(e, f), tolerance) << hardware_sim_freqText(e);
    }

    OrbxxxgOutBoard board;
    ORBX20G_OUT *o = nullptr;
};

struct TuneRow {
    const char *name;
    uint64_t hz;
    uint64_t fraction;
    int path;
    int filter;
    bool windowed1A;  // 1A finds a spur-free candidate (low frequencies may not)
};

const TuneRow tuneRows[] = {
    {"100MHz", 100000000, 0, ORBX20G_OUT_PATH_DIRECT, 0, true},
    {"139_999999MHz", 139999999, 0, ORBX20G_OUT_PATH_DIRECT, 0, true},
    {"140MHz", 140000000, 0, ORBX20G_OUT_PATH_BAND0, 0, true},
    {"143MHz", 143000000, 0, ORBX20G_OUT_PATH_BAND0, 0, false},
    {"400MHz", 400000000, 0, ORBX20G_OUT_PATH_BAND0, 1, false},
    {"2_999GHz", 2999000000, 0, ORBX20G_OUT_PATH_BAND0, 6, true},
    {"3GHz", 3000000000, 0, ORBX20G_OUT_PATH_BAND1, 7, true},
    {"5_9GHz", 5900000000, 0, ORBX20G_OUT_PATH_BAND1, 10, true},
    {"Band2Edge", ORBX20G_OUT_BAND2_EDGE_HZ, 0, ORBX20G_OUT_PATH_BAND2, 11, true},
    {"20GHz", 20000000000, 0, ORBX20G_OUT_PATH_BAND2, 13, true},
    {"1GHzPlus1e18", 1000000000, decimalFraction(1, 18), ORBX20G_OUT_PATH_BAND0, 4, true},
    {"12_345678901234GHz", 12345678901, decimalFraction(234, 3), ORBX20G_OUT_PATH_BAND2, 12, true},
};

class Orbx20gOutTuneTest : public Orbx20gOutTest,
                           public ::testing::WithParamInterface<std::tuple<uint32_t, TuneRow>> {};

TEST_P(Orbx20gOutTuneTest, SimulatedBoardSynthesizesTheExactFrequency) {
    uint32_t code = std::get<0>(GetParam());
    const TuneRow &row = std::get<1>(GetParam());
    start(code);
    // A first setting on another path, so that the row's path and filter are switched.
    tune(hz(5000000000));
    uint8_t n1 = o->n1, n2 = o->n2, r = o->r;
    KrFreq f = hz(row.hz, row.fraction);
    SimChannelState st = tune(f);
    EXPECT_EQ(o->path, row.path);
    EXPECT_EQ(o->filter, row.filter);
    expectTuned(st, f, stepHz());
    if (row.path == ORBX20G_OUT_PATH_DIRECT) {
        // No PLL settings below the direct-band limit: the dividers stay as they were.
        EXPECT_EQ(o->n1, n1);
        EXPECT_EQ(o->n2, n2);
        EXPECT_EQ(o->r, r);
        EXPECT_EQ(o->ddsFrequency.integer, f.integer);
    } else {
        // The VCO stays in its range and the DDS inside its band.
        EXPECT_GE(o->vcoFrequency.integer, 10000000000);
        EXPECT_LT(o->vcoFrequency.integer, 20200000000);
        EXPECT_GT(o->ddsFrequency.integer, 60000000);
        EXPECT_LT(o->ddsFrequency.integer, 450000000);
        EXPECT_EQ(o->spurFree, code >= 4 || row.windowed1A);
    }
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Revisions, Orbx20gOutTuneTest,
                         ::testing::Combine(::testing::Values(3u, 5u),
                                            ::testing::ValuesIn(tuneRows)),
                         [](const ::testing::TestParamInfo<std::tuple<uint32_t, TuneRow>> &info) {
                             return std::string("Code") + std::to_string(std::get<0>(info.param)) +
                                    "_" + std::get<1>(info.param).name;
                         });

TEST_F(Orbx20gOutTest, Revision1AUsesPowerOfTwoN1AndRevision1BAnyMultiplier) {
    start(3);
    tune(hz(3100000000));
    EXPECT_EQ(o->n1, 4);  // 12.4 GHz
    EXPECT_EQ(o->vcoFrequency.integer, 12400000000);
    start(5);
    tune(hz(3100000000));
    EXPECT_EQ(o->n1 * 3100000000ull, (uint64_t)o->vcoFrequency.integer);
    EXPECT_GE(o->vcoFrequency.integer, 10000000000);
}

TEST_F(Orbx20gOutTest, Revision1ALowFrequencyWithoutWindowLocksJustAboveTheFloor) {
    start(3);
    // 143 MHz: no R up to 15 puts 143 MHz x R / N2 into a window.
    tune(hz(143000000));
    EXPECT_EQ(o->n1, 128);
    EXPECT_EQ(o->n2, 1);
    EXPECT_EQ(o->r, 8);  // 1.144 GHz, the first multiple above 1103 MHz
    EXPECT_EQ(o->ddsFrequency.integer, 144000000);
    EXPECT_EQ(o->r1SetpointOhm, 100 + 400 + 200);
    // Above 340 MHz N2 = 2 and the floor doubles.
    tune(hz(400000000));
    EXPECT_EQ(o->n2, 2);
    EXPECT_EQ(o->r, 6);
    EXPECT_EQ(o->n1, 32);
}

struct ErrorRow {
    uint32_t code;
    uint64_t hz;
};

class Orbx20gOutErrorTest : public Orbx20gOutTest,
                            public ::testing::WithParamInterface<ErrorRow> {};

// With a window no candidate can hit, the search ends without a spur-free set: the message
// is printed and the setting still tunes, with the DDS inside its band.
TEST_P(Orbx20gOutErrorTest, NoSpurFreeCandidateStillTunes) {
    start(GetParam().code);
    static const Orbx20gOutWindow nowhere[] = {{1399.9999999e6, 1399.99999991e6}};
    Orbx20gOutPlan plan = *o->plan;
    plan.windows = nowhere;
    plan.windowCount = 1;
    plan.pfdNarrowHz = 0;
    o->plan = &plan;
    KrFreq f = hz(GetParam().hz, decimalFraction(5, 1));
    int saved = debugEnabled;
    debugEnabled = 1;
    ::testing::internal::CaptureStdout();
    SimChannelState st = tune(f);
    std::string out = ::testing::internal::GetCapturedStdout();
    debugEnabled = saved;
    EXPECT_NE(out.find("------------> ERRRROOORRRRR \n"), std::string::npos);
    EXPECT_FALSE(o->spurFree);
    expectTuned(st, f, stepHz());
    EXPECT_GT(o->ddsFrequency.integer, 60000000);
    EXPECT_LT(o->ddsFrequency.integer, 450000000);
    EXPECT_NE(o->r, 0);
}

INSTANTIATE_TEST_SUITE_P(Revisions, Orbx20gOutErrorTest,
                         ::testing::Values(ErrorRow{3, 700000000}, ErrorRow{3, 19999000000},
                                           ErrorRow{5, 700000000}, ErrorRow{5, 19999000000}),
                         [](const ::testing::TestParamInfo<ErrorRow> &info) {
                             return "Code" + std::to_string(info.param.code) + "_" +
                                    std::to_string(info.param.hz) + "Hz";
                         });

TEST_F(Orbx20gOutTest, HighResolutionDithersToTheRequestExactly) {
    start(5);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setFrequencyResolutionHigh(&board), 0);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_isFrequencyResolutionHigh(&board), 1);
    KrFreq f = hz(12345678901, decimalFraction(234, 3));
    SimChannelState st = tune(f);
    EXPECT_TRUE(st.highResolution);
    expectTuned(st, f, stepHz() / 20000);
    // Back to low resolution: the plain word again, exact all the same.
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setFrequencyResolutionLow(&board), 0);
    st = tune(hz(2345678901, decimalFraction(7, 1)));
    EXPECT_FALSE(st.highResolution);
    expectTuned(st, hz(2345678901, decimalFraction(7, 1)), stepHz());
}

TEST_F(Orbx20gOutTest, StandaloneSetFrequencyTunesWithoutTheChannelDevice) {
    start(3);
    KrFreq f = hz(8765432109);
    ASSERT_EQ(ORBX20G_OUT_setFrequency(o, &f), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());
    expectTuned(hardware_sim_channel(0), f, stepHz());
    // The loop filter follows the plan: N2 of 7 or more, N1 = 2, VCO 17.5 GHz.
    EXPECT_NEAR(hardware_sim_channel(0).loopFilterOhm, o->r1SetpointOhm, 1000.0 / 256);
}

TEST_F(Orbx20gOutTest, PathAndFilterBitsAreOnlyWrittenWhenTheyChange) {
    start(5);
    tune(hz(4500000000));
    // A stray bit among the path and filter bits survives a change inside the same band
    // and filter: neither is rewritten.
    SRI_presetSetBit(&o->sri, ORBX20G_OUT_PATH_BAND2_BITS[0]);
    SRI_presetSetBit(&o->sri, ORBX20G_OUT_FILTER_BITS[0][0]);
    KrFreq f = hz(4600000000);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setFrequencySync(&board, &f), 0);
    EXPECT_EQ(o->pathChanged, 0);
    EXPECT_EQ(SRI_getPresetBit(&o->sri, ORBX20G_OUT_PATH_BAND2_BITS[0]), 1);
    EXPECT_EQ(SRI_getPresetBit(&o->sri, ORBX20G_OUT_FILTER_BITS[0][0]), 1);
    // Another filter in the same band rewrites the filter bits only.
    f = hz(5500000000);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setFrequencySync(&board, &f), 0);
    EXPECT_EQ(SRI_getPresetBit(&o->sri, ORBX20G_OUT_FILTER_BITS[0][0]), 0);
    EXPECT_EQ(SRI_getPresetBit(&o->sri, ORBX20G_OUT_PATH_BAND2_BITS[0]), 1);
    // Another band rewrites the path.
    f = hz(8000000000);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setFrequencySync(&board, &f), 0);
    EXPECT_EQ(o->pathChanged, 1);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_SRI_applyPreset(&board), 0);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    EXPECT_STREQ(hardware_sim_channel(0).path, "band2");
    EXPECT_EQ(hardware_sim_channel(0).filter, 11);
}

TEST_F(Orbx20gOutTest, UnchangedBand2FilterSaysNothingToDo) {
    start(5);
    tune(hz(15000000000));
    int saved = debugEnabled;
    debugEnabled = 1;
    ::testing::internal::CaptureStdout();
    tune(hz(15500000000));
    std::string out = ::testing::internal::GetCapturedStdout();
    debugEnabled = saved;
    EXPECT_NE(out.find("ORBX20G_OUT_presetSetBand2Filter(): nothing to do\n"), std::string::npos);
    EXPECT_NE(out.find("ORBX20G_OUT_presetSetFrequency frequency: 15500000000 Hz\n"),
              std::string::npos);
    EXPECT_EQ(out.find("setBand2FilterSync"), std::string::npos);
}

struct BandRow {
    Module module;
    uint32_t code;
    std::vector<uint64_t> edgesMHz;
};

class Orbx20gOutBandTest : public Orbx20gOutTest, public ::testing::WithParamInterface<BandRow> {};

TEST_P(Orbx20gOutBandTest, EdgesAreAppendedAfterTheCount) {
    start(GetParam().code, GetParam().module);
    KrFreq edges[32] = {};
    int32_t count = 2;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getFrequencyBands(&board, edges, 32, &count), 0);
    const std::vector<uint64_t> &want = GetParam().edgesMHz;
    ASSERT_EQ(count, (int32_t)want.size() + 2);
    for (size_t i = 0; i < want.size(); i++) {
        EXPECT_EQ(edges[i + 2].integer, (int64_t)(want[i] * 1000000)) << i;
        EXPECT_EQ(edges[i + 2].fraction, 0u);
    }
    EXPECT_EQ(edges[0].integer, 0);
    // Too small an array: -321, filled to its capacity.
    count = 0;
    EXPECT_EQ(BOARD_ORBXXXG_OUT_getFrequencyBands(&board, edges, 5, &count), -321);
    EXPECT_EQ(count, 5);
}

const std::vector<uint64_t> edges1A = {140,  200,  460,  650,  900,   1500,  2200, 3000,
                                       4000, 5000, 5800, 7000, 10000, 14000, 20000};
const std::vector<uint64_t> edges1C = {140,  200,  460,  650,  900,   1500,  2200,  3000,
                                       4000, 5000, 5800, 7000, 10000, 14000, 16000, 20000};
const std::vector<uint64_t> edges6G = {140,  200,  460,  650,  900,  1500,
                                       2200, 3000, 4000, 5000, 5800, 6000};

INSTANTIATE_TEST_SUITE_P(
    Boards, Orbx20gOutBandTest,
    ::testing::Values(BandRow{Module::Standard, 3, edges1A}, BandRow{Module::Standard, 4, edges1A},
                      BandRow{Module::Standard, 5, edges1C}, BandRow{Module::Uln, 7, edges1A},
                      BandRow{Module::Uln, 8, edges6G}, BandRow{Module::Digital, 14, edges1A}),
    [](const ::testing::TestParamInfo<BandRow> &info) {
        return "Code" + std::to_string(info.param.code);
    });

TEST_F(Orbx20gOutTest, PhaseMovesInStepsOfAtMostThirtyDegrees) {
    start(5);
    tune(hz(100000000));
    gio_record_clear();
    uint64_t updates = hardware_sim_ioupdates();
    KrAngle half = M_PI;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setPhase_async(&board, &half), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());
    std::vector<int> words;
    for (const GioIoRecord &r : ioRecords())
        if (r.data.size() == 9 && r.data[8] == AD9910_REG_PROFILE0)
            words.push_back(r.data[4] | r.data[5] << 8);
    ASSERT_GE(words.size(), 6u);
    EXPECT_GE(hardware_sim_ioupdates() - updates, words.size());
    int previous = 0;
    for (int w : words) {
        EXPECT_LE(std::abs(w - previous), 65536 / 12 + 1);
        previous = w;
    }
    EXPECT_EQ(words.back(), 32768);
    EXPECT_NEAR(hardware_sim_channel(0).phaseRad, M_PI, 1e-4);
    KrAngle stored = 0;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getPhase(&board, &stored), 0);
    EXPECT_DOUBLE_EQ(stored, M_PI);
    // Angles are brought into [0, 2 pi); without phase control only the angle is stored.
    ORBX20G_OUT_setPhaseControl(o, 0);
    gio_record_clear();
    KrAngle minus = -M_PI / 2;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setPhase_async(&board, &minus), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getPhase(&board, &stored), 0);
    EXPECT_DOUBLE_EQ(stored, 1.5 * M_PI);
    EXPECT_TRUE(ioRecords().empty());
}

// Behind the loop a DDS phase step is scaled by f / (DDS + 1 GHz) at the output, so the DDS
// moves by the output angle times (DDS + 1 GHz) / f.
TEST_F(Orbx20gOutTest, PhaseOnAPllPathMovesTheDdsByTheLoopRatio) {
    for (uint32_t code : {3u, 5u}) {
        start(code);
        tune(hz(1300000000));
        double k = ((double)o->ddsFrequency.integer + 1e9) / 1.3e9;
        gio_record_clear();
        KrAngle target = 2.5;
        ASSERT_EQ(BOARD_ORBXXXG_OUT_setPhase_async(&board, &target), 0);
        ASSERT_TRUE(hardware_sim_waitIdle());
        int words = 0;
        for (const GioIoRecord &r : ioRecords())
            words += r.data.size() == 9 && r.data[8] == AD9910_REG_PROFILE0;
        EXPECT_EQ(words, (int)std::ceil(2.5 * k / (M_PI / 6)));
        double want = std::fmod(2.5 * k, 2 * M_PI);
        EXPECT_NEAR(hardware_sim_channel(0).phaseRad, want, 2 * M_PI / 65536) << code;
    }
}

TEST_F(Orbx20gOutTest, RfEnableBitAndPowerDown) {
    start(5);
    tune(hz(6000000000));
    EXPECT_STREQ(hardware_sim_channel(0).rf, "off");
    uint32_t condition = 0;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getAlcCondition(&board, &condition), 0);
    EXPECT_EQ(condition, 3u);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_enableRf(&board), 0);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    EXPECT_STREQ(hardware_sim_channel(0).rf, "on");
    const KrFreq f = hz(6000000000);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setPowerSync(&board, 0, 8000, 0, &f), 0);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getAlcCondition(&board, &condition), 0);
    EXPECT_EQ(condition, 0u);
    // A frequency change keeps the RF bit.
    tune(hz(7500000000));
    EXPECT_STREQ(hardware_sim_channel(0).rf, "on");
    ASSERT_EQ(BOARD_ORBXXXG_OUT_disableRf(&board), 0);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    EXPECT_STREQ(hardware_sim_channel(0).rf, "off");
    ASSERT_EQ(BOARD_ORBXXXG_OUT_enableRf(&board), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_powerDown(&board), 0);
    hardware_sim_waitIdle();
    EXPECT_TRUE(hardware_sim_channel(0).ddsPoweredDown);
    EXPECT_STREQ(hardware_sim_channel(0).rf, "off");
}

TEST_F(Orbx20gOutTest, LevelStagesReachTheChipsAndTemperatureIsRead) {
    start(3);
    tune(hz(6000000000));
    ASSERT_EQ(BOARD_ORBXXXG_OUT_enableRf(&board), 0);
    const KrFreq f = hz(6000000000);
    double last = -1e9;
    for (uint32_t dac : {2000u, 6000u, 10000u, 14000u}) {
        ASSERT_EQ(BOARD_ORBXXXG_OUT_setPowerSync(&board, 4, dac, 2, &f), 0);
        krgio_ioupdate();
        hardware_sim_waitIdle();
        const SimChannelState ch = hardware_sim_channel(0);
        EXPECT_EQ(ch.alcDac, dac);
        EXPECT_DOUBLE_EQ(ch.attenuationADb, 2.0);
        EXPECT_DOUBLE_EQ(ch.attenuationBDb, 1.0);
        EXPECT_TRUE(ch.levelled) << dac;
        EXPECT_GT(ch.outputDbm, last) << dac;
        last = ch.outputDbm;
    }
    uint32_t adc = 0, vco = 0;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getAlcAdc(&board, &adc), 0);
    EXPECT_GT(adc, 0u);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getVcoAdc(&board, &vco), 0);
    EXPECT_EQ(vco, hardware_sim_channel(0).vcoCode);
    hardware_sim_setTemperature(0, 41.5);
    double celsius = 0;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getTemperature(&board, &celsius), 0);
    EXPECT_NEAR(celsius, 41.5, 0.1);
}

// The diagnostics reach the chips at once, with their own I/O update, and the next
// frequency change sets the plan's values again.
TEST_F(Orbx20gOutTest, DdsAndLoopFilterDiagnosticsReachTheChips) {
    start(5);
    tune(hz(6000000000));
    uint64_t word = 0;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getDdsFtw(&board, &word), 0);
    EXPECT_EQ(word, hardware_sim_channel(0).ftw);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setDdsFtw(&board, word + 5), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_EQ(hardware_sim_channel(0).ftw, word + 5);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_setDdsFtw(&board, 1ull << 32), -222);

    const KrFreq out = hz(123000000), half = hz(500000000), clock = hz(999990000);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setDdsFrequency(&board, &out), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_EQ(hardware_sim_channel(0).ftw, (123000000ull << 32) / 1000000000);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_setDdsFrequency(&board, &half), -222);
    // The same output from a clock 10 kHz lower needs a larger word.
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setDdsReferenceFrequency(&board, &clock), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_EQ(hardware_sim_channel(0).ftw, (123000000ull << 32) / 999990000);

    uint32_t fsc = 0;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getDdsFsc(&board, &fsc), 0);
    EXPECT_EQ(fsc, 0x7Fu);  // the chip's reset value
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setDdsFsc(&board, 200), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getDdsFsc(&board, &fsc), 0);
    EXPECT_EQ(fsc, 200u);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_setDdsFsc(&board, 256), -222);

    ASSERT_EQ(BOARD_ORBXXXG_OUT_disableDdsOutput(&board), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_TRUE(hardware_sim_channel(0).ddsPoweredDown);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_isDdsOutputEnabled(&board), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_enableDdsOutput(&board), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_FALSE(hardware_sim_channel(0).ddsPoweredDown);

    ASSERT_EQ(BOARD_ORBXXXG_OUT_setLoopFilter(&board, 850), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_NEAR(hardware_sim_channel(0).loopFilterOhm, 850, 1000.0 / 256);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_setLoopFilter(&board, 0), -222);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_setLoopFilter(&board, 2000), -222);
    // The clock stays what it was set to until it is set back.
    const KrFreq nominal = hz(1000000000);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setDdsReferenceFrequency(&board, &nominal), 0);
    expectTuned(tune(hz(6000000000)), hz(6000000000), stepHz());
    EXPECT_NEAR(hardware_sim_channel(0).loopFilterOhm, o->r1SetpointOhm, 1000.0 / 256);
}

TEST_F(Orbx20gOutTest, SlotsTheBoardLeavesEmpty) {
    start(5);
    EXPECT_FALSE(BOARD_ORBXXXG_OUT_ISREG(getPathSettlingTime));
    EXPECT_FALSE(BOARD_ORBXXXG_OUT_ISREG(getVcoTuneTime));
    EXPECT_FALSE(BOARD_ORBXXXG_OUT_ISREG(blankRf));
    KrFreq limit = {};
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getDirectBandLimit(&board, &limit), 0);
    EXPECT_EQ(limit.integer, 140000000);
    EXPECT_EQ(board.ioupdateAddress, 0x144800u + ORBX20G_OUT_IOUPDATE_OFFSET);
}

TEST_F(Orbx20gOutTest, SlotsBeforeInitAnswerHardwareMissing) {
    ORBX20G_OUT_registerFunctions();
    static OrbxxxgOutBoard blank;  // zero-filled, as the channel device holds it before init
    KrFreq f = hz(1000000000), edges[4];
    int32_t count = 0;
    KrAngle a = 1.0;
    gio_record_clear();
    EXPECT_EQ(BOARD_ORBXXXG_OUT_setFrequencySync(&blank, &f), -241);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_SRI_applyPreset(&blank), -241);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_getFrequencyBands(&blank, edges, 4, &count), -241);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_getFrequencyExact(&blank, &f), -241);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_setPhase_async(&blank, &a), -241);
    EXPECT_TRUE(ioRecords().empty());
}

class Orbx20gOutFsTest : public Orbx20gOutTest {
  protected:
    Orbx20gOutFsTest() : Orbx20gOutTest(true) {}
};

TEST_F(Orbx20gOutFsTest, TunesOverTheFsLink) {
    start(5);
    KrFreq f = hz(12345678901, decimalFraction(234, 3));
    SimChannelState st = tune(f);
    expectTuned(st, f, stepHz());
    EXPECT_STREQ(st.path, "band2");
}

// Boards sharing the plan.

TEST_F(Orbx20gOutTest, UlnReportsSettlingForPathAndVcoDividerChanges) {
    start(7, Module::Uln);
    KrTime settling = -1, tuning = -1;
    tune(hz(2000000000));
    tune(hz(5000000000));  // band 0 to band 1
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getPathSettlingTime(&board, &settling), 0);
    EXPECT_DOUBLE_EQ(settling, ORBX20G_OUT_ULN_PATH_SETTLING_S);
    uint8_t n1 = o->n1;
    tune(hz(5000100000));
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getPathSettlingTime(&board, &settling), 0);
    EXPECT_DOUBLE_EQ(settling, 0.0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getVcoTuneTime(&board, &tuning), 0);
    EXPECT_DOUBLE_EQ(tuning, o->n1 != n1 ? ORBX20G_OUT_ULN_VCO_TUNE_S : 0.0);
    tune(hz(15000000000));
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getVcoTuneTime(&board, &tuning), 0);
    EXPECT_DOUBLE_EQ(tuning, ORBX20G_OUT_ULN_VCO_TUNE_S);  // N1 1 after 2
}

struct UlnRow {
    uint32_t code;
    uint64_t request;
    uint64_t expected;
};

class Orbx20gOutUlnTuneTest : public Orbx20gOutTest,
                              public ::testing::WithParamInterface<UlnRow> {};

TEST_P(Orbx20gOutUlnTuneTest, TunesAndClampsToItsMaximum) {
    start(GetParam().code, GetParam().code == 14 ? Module::Digital : Module::Uln);
    SimChannelState st = tune(hz(GetParam().request));
    expectTuned(st, hz(GetParam().expected), stepHz());
    EXPECT_TRUE(o->spurFree);
}

INSTANTIATE_TEST_SUITE_P(Boards, Orbx20gOutUlnTuneTest,
                         ::testing::Values(UlnRow{6, 1234567890, 1234567890},
                                           UlnRow{7, 19876543210, 19876543210},
                                           UlnRow{8, 5999999999, 5999999999},
                                           UlnRow{8, 7000000000, 6000000000},
                                           UlnRow{14, 9999999999, 9999999999}),
                         [](const ::testing::TestParamInfo<UlnRow> &info) {
                             return "Code" + std::to_string(info.param.code) + "_" +
                                    std::to_string(info.param.request) + "Hz";
                         });

TEST_F(Orbx20gOutTest, DigitalSetsTheLoopFilterOnlyWhenAsked) {
    start(14, Module::Digital);
    double before = hardware_sim_channel(0).loopFilterOhm;
    tune(hz(18500000000));
    ASSERT_GT(o->r1SetpointOhm, 0);
    EXPECT_DOUBLE_EQ(hardware_sim_channel(0).loopFilterOhm, before);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(&board, 0), 0);
    EXPECT_NEAR(observe().loopFilterOhm, o->r1SetpointOhm, 1000.0 / 256);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(&board, 850), 0);
    EXPECT_NEAR(observe().loopFilterOhm, 850, 1000.0 / 256);

    EXPECT_EQ(BOARD_ORBXXXG_OUT_isDalcEnabled(&board), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_enableDalc(&board), 0);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_isDalcEnabled(&board), 1);
    uint32_t condition = 0;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_enableRf(&board), 0);
    const KrFreq f = hz(18500000000);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setPowerSync(&board, 0, 8000, 0, &f), 0);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getDalcCondition(&board, &condition), 0);
    EXPECT_EQ(condition, 0u);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_disableDalc(&board), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getDalcCondition(&board, &condition), 0);
    EXPECT_EQ(condition, 3u);
}

TEST_F(Orbx20gOutTest, DigitalPhaseResetClearsTheAccumulatorForOneUpdate) {
    start(14, Module::Digital);
    tune(hz(3000000000));
    uint64_t updates = hardware_sim_ioupdates();
    ASSERT_EQ(BOARD_ORBXXXG_OUT_phaseReset(&board), 0);
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_EQ(hardware_sim_ioupdates() - updates, 2u);
    EXPECT_EQ(hardware_sim_ddsRegister(0, AD9910_REG_CFR1) & AD9910_CFR1_CLEAR_PHASE, 0u);
    expectTuned(hardware_sim_channel(0), hz(3000000000), stepHz());
}

}  // namespace
