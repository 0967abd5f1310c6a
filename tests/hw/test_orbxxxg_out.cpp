// Generic output board on the simulated hardware of a generic-board instrument: the frequency
// plan (path, filter, N1, N2, R) as the board's chips see it, the exact output against the
// simulated synthesizer, the model's maximum, band edges, the fallback when no window takes a
// candidate, settling times, phase steps, RF and level bits, power-down and temperature.
#include "hw/orbxxxg_out.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "hw/krgio.h"
#include "hw_test_support.h"
#include "platform/sim/int128.h"
#include "tests/support/param_name.h"

namespace {

using u128 = kr_u128;

// Position 1: model (A 06G, B 12G, C 20G); position 7 '3': the generic board.
constexpr const char *SERIAL_20G = "0C0-000310000-0001";
constexpr const char *SERIAL_12G = "0B0-000310000-0001";
constexpr const char *SERIAL_06G = "0A0-000310000-0001";

const double DDS_STEP_HZ = (double)ORBXXXG_OUT_DDS_CLOCK_HZ / std::ldexp(1.0, 48);

// Same storage for every test: the ALC DAC's invalidation listener points into it.
OrbxxxgOutBoard board;

using hwtest::hz;
using hwtest::sameFreq;
using hwtest::toDouble;

class GenericBoardTest : public OutBoardTest {
  protected:
    GenericBoardTest() : OutBoardTest(board, 2) {}
    const char *serial() const override { return SERIAL_20G; }
    virtual const OrbxxxgOutPlan *plan() const { return &ORBXXXG_OUT_PLAN; }
    int initBoard() override {
        int r = ORBXXXG_OUT_initWithPlan(&board, plan());
        o = ORBXXXG_OUT_record(&board);
        return r;
    }
    int tune(const KrFreq &f) {
        int r = ORBXXXG_OUT_setFrequency(&board, &f);
        hardware_sim_waitIdle();
        return r;
    }
    // Bits take effect at the channel's I/O update, as the channel device issues it.
    SimChannelState updated() {
        krgio_ioupdate();
        hardware_sim_waitIdle();
        return hardware_sim_channel(0);
    }
    KrFreq exact() {
        KrFreq f;
        EXPECT_EQ(ORBXXXG_OUT_getFrequencyExact(&board, &f), 0);
        return f;
    }
    // The simulated output equals the reported exact frequency bit for bit and lies at most
    // one output step below the request (the word is truncated, never rounded up).
    void expectExactOutput(const KrFreq &request) {
        SimChannelState st = hardware_sim_channel(0);
        ASSERT_TRUE(st.generic);
        ASSERT_TRUE(st.frequencyValid);
        KrFreq e = exact();
        EXPECT_TRUE(sameFreq(st.frequency, e))
            << "simulated " << hardware_sim_freqText(st.frequency) << ", reported "
            << hardware_sim_freqText(e);
        KrFreq diff;
        krfreqSubtract(&diff, &request, &e);
        ASSERT_FALSE(krfreqNegative(&diff)) << hardware_sim_freqText(e);
        double step = DDS_STEP_HZ;
        if (std::string(st.path) == "pll") step = step * st.n2 / ((double)st.r * st.n1);
        EXPECT_LE(toDouble(diff), step) << hardware_sim_freqText(e);
    }
    ORBXXXG_OUT *o = nullptr;
};

// ---------------------------------------------------------------------------------------
// Frequency plan

struct PlanRow {
    const char *name;
    KrFreq f;
    const char *path;
    int filter;
};

void PrintTo(const PlanRow &row, std::ostream *os) {
    *os << row.name;
}

class GenericPlanTest : public GenericBoardTest, public ::testing::WithParamInterface<PlanRow> {};

TEST_P(GenericPlanTest, SimulatedOutputIsTheExactFrequencyWithinOneStep) {
    const PlanRow &row = GetParam();
    ASSERT_EQ(tune(row.f), 0);
    SimChannelState st = hardware_sim_channel(0);
    EXPECT_STREQ(st.path, row.path);
    EXPECT_EQ(st.filter, row.filter);
    uint32_t n1 = 0, n2 = 0, r = 0;
    ORBXXXG_OUT_getPllN1Divider(&board, &n1);
    ORBXXXG_OUT_getPllN2Divider(&board, &n2);
    ORBXXXG_OUT_getPllRDivider(&board, &r);
    EXPECT_EQ(st.n1, n1);
    EXPECT_EQ(st.n2, n2);
    EXPECT_EQ(st.r, r);
    expectExactOutput(row.f);
}

TEST_P(GenericPlanTest, DividersKeepVcoAndDdsInsideTheirRanges) {
    const PlanRow &row = GetParam();
    ASSERT_EQ(tune(row.f), 0);
    SimChannelState st = hardware_sim_channel(0);
    KrFreq vco;
    ORBXXXG_OUT_getVcoFrequency(&board, &vco);
    if (std::string(row.path) == "direct") {
        EXPECT_EQ(toDouble(vco), 0.0);
        EXPECT_EQ(st.n1 + st.n2 + st.r, 3u);
        EXPECT_TRUE(sameFreq(st.ddsFrequency, st.frequency));
        return;
    }
    EXPECT_GE(toDouble(vco), (double)ORBXXXG_OUT_PLAN.vcoMinHz);
    EXPECT_LT(toDouble(vco), (double)ORBXXXG_OUT_PLAN.vcoMaxHz);
    EXPECT_TRUE(o->spurFree);
    double dds = toDouble(st.ddsFrequency);
    bool inside = false;
    for (uint32_t i = 0; i < ORBXXXG_OUT_PLAN.windowCount; i++)
        inside = inside || (dds > ORBXXXG_OUT_PLAN.windows[i].lowHz &&
                            dds < ORBXXXG_OUT_PLAN.windows[i].highHz);
    EXPECT_TRUE(inside) << dds;
    // The phase detector sees the same frequency from both sides.
    KrFreq pd;
    ORBXXXG_OUT_getPDFrequency(&board, &pd);
    EXPECT_NEAR(toDouble(pd) * st.n2 * st.r, toDouble(vco) * st.r, 1e-3);
}

const uint64_t FRACTION_0_234 = (uint64_t)(((u128)234 << 64) / 1000);

INSTANTIATE_TEST_SUITE_P(
    Rows, GenericPlanTest,
    ::testing::Values(PlanRow{"Direct100kHz", hz(100000), "direct", 0},
                      PlanRow{"Direct100MHz", hz(100000000), "direct", 0},
                      PlanRow{"DirectJustBelowTheLimit", hz(299999999, ~0ull), "direct", 0},
                      PlanRow{"PllAtTheDirectLimit", hz(300000000), "pll", 1},
                      PlanRow{"Pll1GHz", hz(1000000000), "pll", 1},
                      PlanRow{"FilterEdge1_5GHz", hz(1500000000), "pll", 2},
                      PlanRow{"JustBelow3GHz", hz(2999999999ull), "pll", 2},
                      PlanRow{"FilterEdge3GHz", hz(3000000000ull), "pll", 3},
                      PlanRow{"Pll6GHz", hz(6000000000ull), "pll", 4},
                      PlanRow{"VcoAlone10GHz", hz(10000000000ull), "pll", 4},
                      PlanRow{"Fractional7_123456789GHz", hz(7123456789ull, FRACTION_0_234), "pll",
                              4},
                      PlanRow{"FilterEdge12_5GHz", hz(12500000000ull), "pll", 5},
                      PlanRow{"Top20_1GHz", hz(20100000000ull), "pll", 5}),
    [](const ::testing::TestParamInfo<PlanRow> &i) { return std::string(i.param.name); });

TEST_F(GenericBoardTest, NegativeFrequenciesAreRefusedAndTheOutputKept) {
    ASSERT_EQ(tune(hz(5000000000ull)), 0);
    SimChannelState before = hardware_sim_channel(0);
    EXPECT_EQ(tune({-1, 0}), KR_E_DATA_OUT_OF_RANGE);
    SimChannelState after = hardware_sim_channel(0);
    EXPECT_TRUE(sameFreq(before.frequency, after.frequency));
    EXPECT_EQ(before.ftw, after.ftw);
}

TEST_F(GenericBoardTest, BeforeInitNoSlotReachesAChip) {
    OrbxxxgOutBoard fresh = {};  // zero-filled like the channel record
    hardware_sim_waitIdle();
    const uint32_t slave0 = board_outSlave(0, BOARD_OUT_SRI);
    const uint32_t dds0 = board_outSlave(0, BOARD_OUT_DDS48);
    uint64_t frames = hardware_sim_chipFrames(slave0), ddsFrames = hardware_sim_chipFrames(dds0);
    int (*const actions[])(OrbxxxgOutBoard *) = {
        ORBXXXG_OUT_SRI_applyPreset, ORBXXXG_OUT_enableRf,      ORBXXXG_OUT_disableRf,
        ORBXXXG_OUT_enableAlc,       ORBXXXG_OUT_enableAlcHold, ORBXXXG_OUT_enableAlcRfMute,
        ORBXXXG_OUT_powerDown,
    };
    for (auto action : actions)
        EXPECT_EQ(action(&fresh), KR_E_HARDWARE_MISSING);
    KrFreq f = hz(1000000000);
    EXPECT_EQ(ORBXXXG_OUT_setFrequency(&fresh, &f), KR_E_HARDWARE_MISSING);
    EXPECT_EQ(ORBXXXG_LEVEL_setPowerSync(&fresh, 0, 0, 0, &f), KR_E_HARDWARE_MISSING);
    double c;
    EXPECT_EQ(ORBXXXG_OUT_getTemperature(&fresh, &c), KR_E_HARDWARE_MISSING);
    EXPECT_EQ(ORBXXXG_OUT_getFrequencyExact(&fresh, &f), KR_E_HARDWARE_MISSING);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_chipFrames(slave0), frames);
    EXPECT_EQ(hardware_sim_chipFrames(dds0), ddsFrames);
}

// ---------------------------------------------------------------------------------------
// The model's range

struct ModelRow {
    const char *serial;
    uint64_t maxHz;
    std::vector<uint64_t> edges;
};

class GenericModelTest : public GenericBoardTest, public ::testing::WithParamInterface<ModelRow> {
  protected:
    const char *serial() const override { return GetParam().serial; }
};

TEST_P(GenericModelTest, BandEdgesEndAtTheModelMaximum) {
    const ModelRow &row = GetParam();
    KrFreq array[16] = {};
    int32_t count = 0;
    ASSERT_EQ(ORBXXXG_OUT_getFrequencyBands(&board, array, 16, &count), 0);
    ASSERT_EQ(count, (int32_t)row.edges.size());
    for (size_t i = 0; i < row.edges.size(); i++)
        EXPECT_TRUE(sameFreq(array[i], hz(row.edges[i]))) << i;
    // One entry short: -321, the array filled as far as it goes.
    count = 0;
    int32_t capacity = (int32_t)row.edges.size() - 1;
    EXPECT_EQ(ORBXXXG_OUT_getFrequencyBands(&board, array, capacity, &count), KR_E_OUT_OF_MEMORY);
    EXPECT_EQ(count, capacity);
    // Appended after what the array already holds.
    count = 2;
    EXPECT_EQ(ORBXXXG_OUT_getFrequencyBands(&board, array, 16, &count), 0);
    EXPECT_EQ(count, 2 + (int32_t)row.edges.size());
}

TEST_P(GenericModelTest, RequestsAboveTheMaximumTuneToTheMaximum) {
    const ModelRow &row = GetParam();
    ASSERT_EQ(tune(hz(row.maxHz + 1000000)), 0);
    expectExactOutput(hz(row.maxHz));
    EXPECT_NEAR(toDouble(hardware_sim_channel(0).frequency), (double)row.maxHz, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(
    Models, GenericModelTest,
    ::testing::Values(
        ModelRow{SERIAL_06G, 6000000000ull, {300000000, 1500000000, 3000000000ull, 6000000000ull}},
        ModelRow{SERIAL_12G,
                 12500000000ull,
                 {300000000, 1500000000, 3000000000ull, 6000000000ull, 12500000000ull}},
        ModelRow{
            SERIAL_20G,
            20100000000ull,
            {300000000, 1500000000, 3000000000ull, 6000000000ull, 12500000000ull, 20100000000ull}}),
    [](const ::testing::TestParamInfo<ModelRow> &info) { return paramName(info.param.serial); });

// ---------------------------------------------------------------------------------------
// No spur-free candidate

const OrbxxxgOutWindow unreachable[] = {{1.0, 2.0}};
const OrbxxxgOutPlan NO_WINDOW_PLAN = {
    unreachable, 1, 200000000ull, 400000000ull, 4, 10000000000ull, 20200000000ull};

class GenericNoWindowTest : public GenericBoardTest {
  protected:
    const OrbxxxgOutPlan *plan() const override { return &NO_WINDOW_PLAN; }
};

TEST_F(GenericNoWindowTest, TheLastCandidateStillGivesACompleteSetting) {
    const uint64_t requests[] = {300000000ull, 1234567890ull, 9876543210ull, 20100000000ull};
    for (uint64_t f : requests) {
        ASSERT_EQ(tune(hz(f)), 0) << f;
        EXPECT_FALSE(o->spurFree) << f;
        SimChannelState st = hardware_sim_channel(0);
        EXPECT_STREQ(st.path, "pll");
        EXPECT_GT(st.n2, 0u);
        EXPECT_LE(toDouble(st.ddsFrequency), 400e6);
        expectExactOutput(hz(f));
    }
}

// ---------------------------------------------------------------------------------------
// Times, phase, RF, level, temperature

TEST_F(GenericBoardTest, SettlingAndTuningTimesFollowPathFilterAndDividerChanges) {
    struct Step {
        uint64_t f;
        bool settling, tuning;
    };
    const Step steps[] = {
        {100000000, true, false},    // first path: direct
        {200000000, false, false},   // same path and filter
        {1000000000, true, true},    // to the loop
        {1000000000, false, false},  // nothing changes
        {1600000000, true, true},    // filter and dividers
        {100000000, true, false},    // back to direct: no loop to tune
    };
    for (const Step &s : steps) {
        ASSERT_EQ(tune(hz(s.f)), 0);
        KrTime settling = -1, tuning = -1;
        ORBXXXG_OUT_getPathSettlingTime(&board, &settling);
        ORBXXXG_OUT_getVcoTuneTime(&board, &tuning);
        EXPECT_EQ(settling > 0, s.settling) << s.f;
        EXPECT_EQ(tuning > 0, s.tuning) << s.f;
    }
}

TEST_F(GenericBoardTest, PhaseMovesTheDdsInStepsOfAtMost30Degrees) {
    ASSERT_EQ(tune(hz(100000000)), 0);  // direct: the DDS phase is the output phase
    uint64_t before = hardware_sim_ioupdates();
    KrAngle a = M_PI;
    ASSERT_EQ(ORBXXXG_OUT_setPhase(&board, &a), 0);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_ioupdates() - before, 6u);
    EXPECT_NEAR(hardware_sim_channel(0).phaseRad, M_PI, 2 * M_PI / 16384);
    KrAngle got = 0;
    ORBXXXG_OUT_getPhase(&board, &got);
    EXPECT_DOUBLE_EQ(got, M_PI);
    // Wrapped into [0, 2 pi); non-finite angles refused.
    a = -M_PI / 2;
    ASSERT_EQ(ORBXXXG_OUT_setPhase(&board, &a), 0);
    ORBXXXG_OUT_getPhase(&board, &got);
    EXPECT_NEAR(got, 1.5 * M_PI, 1e-12);
    a = NAN;
    EXPECT_EQ(ORBXXXG_OUT_setPhase(&board, &a), KR_E_ILLEGAL_PARAMETER_VALUE);
}

TEST_F(GenericBoardTest, PhaseOnThePllPathIsScaledByTheDividers) {
    ASSERT_EQ(tune(hz(5000000000ull)), 0);
    SimChannelState st = hardware_sim_channel(0);
    double k = (double)st.r * st.n1 / st.n2;
    KrAngle a = 0.1;
    ASSERT_EQ(ORBXXXG_OUT_setPhase(&board, &a), 0);
    hardware_sim_waitIdle();
    EXPECT_NEAR(hardware_sim_channel(0).phaseRad, std::fmod(0.1 * k, 2 * M_PI), 2 * M_PI / 16384);
}

TEST_F(GenericBoardTest, RfMuteAndLevelLoopBitsReachTheBoard) {
    ASSERT_EQ(tune(hz(2000000000ull)), 0);
    EXPECT_STREQ(hardware_sim_channel(0).rf, "off");
    uint32_t condition = 0;
    ORBXXXG_OUT_getAlcCondition(&board, &condition);
    EXPECT_EQ(condition, 3u);  // RF off: nothing to level
    ASSERT_EQ(ORBXXXG_OUT_enableRf(&board), 0);
    EXPECT_STREQ(updated().rf, "on");
    ASSERT_EQ(ORBXXXG_OUT_enableAlcRfMute(&board), 0);
    EXPECT_STREQ(updated().rf, "muted");
    ASSERT_EQ(ORBXXXG_OUT_disableAlcRfMute(&board), 0);
    ASSERT_EQ(ORBXXXG_OUT_disableAlc(&board), 0);
    SimChannelState st = updated();
    EXPECT_STREQ(st.rf, "on");
    EXPECT_FALSE(st.alcEnabled);
    EXPECT_EQ(ORBXXXG_OUT_isAlcEnabled(&board), 0);
    ASSERT_EQ(ORBXXXG_OUT_enableAlc(&board), 0);
    ASSERT_EQ(ORBXXXG_OUT_enableAlcHold(&board), 0);
    EXPECT_TRUE(updated().alcEnabled);
    EXPECT_EQ(ORBXXXG_OUT_isAlcHoldEnabled(&board), 1);
    std::vector<uint8_t> image = hardware_sim_shiftRegisterImage(board_outSlave(0, BOARD_OUT_SRI));
    ASSERT_EQ(image.size(), ORBXXXG_OUT_SRI_BYTES);
    EXPECT_TRUE(image[0] & (1u << ORBXXXG_OUT_BIT_ALC_HOLD));

    ASSERT_EQ(ORBXXXG_OUT_disableAlcHold(&board), 0);
    // The loop holds what the modulator can reach; beyond it the controller sits at a rail.
    struct PowerRow {
        uint32_t dac;
        uint32_t condition;
    };
    const PowerRow powers[] = {{0, 0}, {8000, 0}, {16383, 1}};
    const KrFreq f = hz(2000000000ull);
    for (const PowerRow &row : powers) {
        ASSERT_EQ(ORBXXXG_LEVEL_setPowerSync(&board, 0, row.dac, 0, &f), 0);
        EXPECT_EQ(updated().alcDac, row.dac);
        ORBXXXG_OUT_getAlcCondition(&board, &condition);
        EXPECT_EQ(condition, row.condition) << row.dac;
    }
}

TEST_F(GenericBoardTest, PowerDownSilencesTheBoardUntilTheNextFrequency) {
    ASSERT_EQ(tune(hz(4000000000ull)), 0);
    ASSERT_EQ(ORBXXXG_OUT_enableRf(&board), 0);
    ASSERT_EQ(ORBXXXG_OUT_powerDown(&board), 0);
    SimChannelState st = updated();
    EXPECT_TRUE(st.ddsPoweredDown);
    EXPECT_STREQ(st.rf, "off");
    EXPECT_FALSE(st.frequencyValid);
    ASSERT_EQ(tune(hz(4000000000ull)), 0);
    st = hardware_sim_channel(0);
    EXPECT_FALSE(st.ddsPoweredDown);
    EXPECT_STREQ(st.path, "pll");
    expectExactOutput(hz(4000000000ull));
}

TEST_F(GenericBoardTest, TemperatureComesFromTheBoardSensor) {
    hardware_sim_setTemperature(0, 42.5);
    double c = 0;
    ASSERT_EQ(ORBXXXG_OUT_getTemperature(&board, &c), 0);
    EXPECT_NEAR(c, 42.5, 0.0625);
}

TEST_F(GenericBoardTest, StateFileNamesTheGenericBoard) {
    ASSERT_EQ(tune(hz(1000000000)), 0);
    std::string json = hardware_sim_stateJson();
    EXPECT_NE(json.find("\"board\": \"generic\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"path\": \"pll\""), std::string::npos) << json;
}

}  // namespace
