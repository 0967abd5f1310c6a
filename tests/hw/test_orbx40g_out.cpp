// 40 GHz output board on the simulated hardware of a 40 GHz instrument: the frequency plan
// (path, N1, R, doubler, filter) as the board's chips see it, the exact output against the
// simulated synthesizer, the divider table and its spur windows, band edges, settling times,
// phase steps, RF and level-loop bits, set point and temperature.
#include "hw/orbx40g_out.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "hw/krgio.h"
#include "hw_test_support.h"
#include "platform/sim/int128.h"

namespace {

using u128 = kr_u128;

constexpr const char *SERIAL_40G = "1E0-000L10000-0003";
constexpr const char *SERIAL_40G_LIMITED_VCO = "1E0-000L10000-0888";

// Same storage for every test: the ALC DAC's invalidation listener points into it.
OrbxxxgOutBoard board;

using hwtest::hz;
using hwtest::sameFreq;
using hwtest::toDouble;

class Orbx40gTest : public OutBoardTest {
  protected:
    Orbx40gTest() : OutBoardTest(board, 12) {}
    const char *serial() const override { return SERIAL_40G; }
    int initBoard() override {
        int r = ORBX40G_OUT_init(&board);
        b = ORBX40G_OUT_record(&board);
        return r;
    }
    int tune(const KrFreq &f) {
        int r = ORBX40G_OUT_setFrequency(&board, &f);
        hardware_sim_waitIdle();
        return r;
    }
    KrFreq exact() {
        KrFreq f;
        EXPECT_EQ(ORBX40G_OUT_getFrequencyExact(&board, &f), 0);
        return f;
    }
    ORBX40G_OUT *b = nullptr;
};

// ---------------------------------------------------------------------------------------
// Frequency plan

struct PlanRow {
    const char *name;
    KrFreq f;
    const char *path;
    uint32_t n1, r, multiplier;
    int filter;
};

void PrintTo(const PlanRow &row, std::ostream *os) {
    *os << row.name;
}

class Orbx40gPlanTest : public Orbx40gTest, public ::testing::WithParamInterface<PlanRow> {};

TEST_P(Orbx40gPlanTest, SimulatedOutputIsTheExactFrequencyWithinOneStep) {
    const PlanRow &row = GetParam();
    ASSERT_EQ(tune(row.f), 0);
    SimChannelState st = hardware_sim_channel(0);
    EXPECT_TRUE(st.board40g);
    EXPECT_STREQ(st.path, row.path);
    EXPECT_EQ(st.n1, row.n1);
    EXPECT_EQ(st.r, row.r);
    EXPECT_EQ(st.n2, 1u);
    EXPECT_EQ(st.multiplier, row.multiplier);
    EXPECT_EQ(st.filter, row.filter);

    uint32_t n1 = 0, n2 = 0, r = 0;
    ORBX40G_OUT_getPllN1Divider(&board, &n1);
    ORBX40G_OUT_getPllN2Divider(&board, &n2);
    ORBX40G_OUT_getPllRDivider(&board, &r);
    EXPECT_EQ(n1, row.n1);
    EXPECT_EQ(n2, 1u);
    EXPECT_EQ(r, row.r);

    ASSERT_TRUE(st.frequencyValid);
    KrFreq e = exact();
    EXPECT_TRUE(sameFreq(st.frequency, e)) << "simulated " << hardware_sim_freqText(st.frequency)
                                           << ", reported " << hardware_sim_freqText(e);
    // The word is truncated: never above the request, less than one output step below.
    KrFreq diff;
    krfreqSubtract(&diff, &row.f, &e);
    ASSERT_FALSE(krfreqNegative(&diff)) << hardware_sim_freqText(e);
    double step =
        (double)ORBX40G_OUT_DAC_CLOCK_HZ / std::ldexp(1.0, 48) * row.r * row.multiplier / row.n1;
    EXPECT_LE(toDouble(diff), step) << hardware_sim_freqText(e);
}

TEST_P(Orbx40gPlanTest, N1IsTheLargestDividerThatKeepsTheVcoInRange) {
    const PlanRow &row = GetParam();
    ASSERT_EQ(tune(row.f), 0);
    KrFreq vco;
    ORBX40G_OUT_getVcoFrequency(&board, &vco);
    if (std::string(row.path) == "direct") {
        EXPECT_EQ(toDouble(vco), 0.0);
        return;
    }
    KrFreq fp = row.f, next, limit = hz(ORBX40G_OUT_VCO_MAX_HZ);
    if (row.multiplier == 2) krfreqShiftRight(&fp, 1);
    KrFreq want;
    krfreqMultiplyByInt32(&want, &fp, (int32_t)row.n1);
    krfreqMultiplyByInt32(&next, &fp, (int32_t)row.n1 + 1);
    EXPECT_TRUE(sameFreq(vco, want));
    EXPECT_LE(krfreqCompare(&vco, &limit), 0);
    EXPECT_GT(krfreqCompare(&next, &limit), 0);
    // The DAC is the loop's reference at VCO / R.
    KrFreq pd;
    ORBX40G_OUT_getPDFrequency(&board, &pd);
    EXPECT_NEAR(toDouble(pd) * row.r, toDouble(vco), 1e-6);
}

// 12.345678901234 GHz: 12345678901 Hz and 0.234 Hz.
const uint64_t FRACTION_0_234 = (uint64_t)(((u128)234 << 64) / 1000);

INSTANTIATE_TEST_SUITE_P(
    Rows, Orbx40gPlanTest,
    ::testing::Values(PlanRow{"Direct100MHz", hz(100000000), "direct", 1, 1, 1, 0},
                      PlanRow{"DirectJustBelowTheLimit", hz(1099999000), "direct", 1, 1, 1, 0},
                      PlanRow{"PllAtTheDirectLimit", hz(1100000000), "pll", 18, 7, 1, 0},
                      PlanRow{"Vco12GHzWindowGives5", hz(12000000000ull), "pll", 1, 5, 1, 3},
                      PlanRow{"Vco13_5GHzWindowGives4", hz(13500000000ull), "pll", 1, 4, 1, 3},
                      PlanRow{"Vco18GHzWindowGives5", hz(6000000000ull), "pll", 3, 5, 1, 2},
                      PlanRow{"Vco18_18GHzFromTheTable", hz(6060000000ull), "pll", 3, 6, 1, 2},
                      PlanRow{"Vco19_2GHzWindowGives5", hz(9600000000ull), "pll", 2, 5, 1, 3},
                      PlanRow{"Vco20GHzWindowGives7", hz(10000000000ull), "pll", 2, 7, 1, 3},
                      PlanRow{"JustBelowTheDoubler", hz(20099999999ull), "pll", 1, 7, 1, 4},
                      PlanRow{"DoublerFrom20_1GHz", hz(20100000000ull), "doubler", 2, 7, 2, 3},
                      PlanRow{"Doubler40GHz", hz(40000000000ull), "doubler", 1, 7, 2, 4},
                      PlanRow{"Doubler41GHz", hz(41000000000ull), "doubler", 1, 7, 2, 4},
                      PlanRow{"Fractional12_345678901234GHz", hz(12345678901ull, FRACTION_0_234),
                              "pll", 1, 4, 1, 3},
                      PlanRow{"HalfHertz7_78GHz", hz(7777777777ull, 1ull << 63), "pll", 2, 5, 1,
                              2}),
    [](const ::testing::TestParamInfo<PlanRow> &i) { return std::string(i.param.name); });

class Orbx40gLimitedVcoTest : public Orbx40gTest {
  protected:
    const char *serial() const override { return SERIAL_40G_LIMITED_VCO; }
};

TEST_F(Orbx40gLimitedVcoTest, TheVcoStaysAtOrBelow20_1GHz) {
    ASSERT_EQ(tune(hz(10100000000ull)), 0);  // 2 x 10.1 GHz would be 20.2 GHz
    EXPECT_EQ(hardware_sim_channel(0).n1, 1u);
    ASSERT_EQ(tune(hz(10050000000ull)), 0);  // exactly at the limit
    EXPECT_EQ(hardware_sim_channel(0).n1, 2u);
    EXPECT_TRUE(sameFreq(hardware_sim_channel(0).frequency, exact()));
}

TEST_F(Orbx40gTest, UnreachableFrequenciesAreRefusedAndTheOutputKept) {
    ASSERT_EQ(tune(hz(5000000000ull)), 0);
    SimChannelState before = hardware_sim_channel(0);
    KrFreq negative = {-1, 0};
    EXPECT_EQ(tune(hz(41100000000ull)), KR_E_DATA_OUT_OF_RANGE);  // twice the VCO's top
    EXPECT_EQ(tune(negative), KR_E_DATA_OUT_OF_RANGE);
    SimChannelState after = hardware_sim_channel(0);
    EXPECT_TRUE(sameFreq(before.frequency, after.frequency));
    EXPECT_EQ(before.n1, after.n1);
}

TEST_F(Orbx40gTest, WithoutTheReadyFlagThePresetOnlyStoresTheFrequency) {
    b->ready = 0;
    KrFreq f = hz(3000000000ull);
    EXPECT_EQ(ORBX40G_OUT_presetSetFrequency(&board, &f), 0);
    EXPECT_TRUE(sameFreq(b->frequency, f));
    EXPECT_EQ(b->path, 0);
    EXPECT_EQ(b->dac.nco.ftw, 0u);
}

TEST_F(Orbx40gTest, BeforeInitNoSlotReachesAChip) {
    OrbxxxgOutBoard fresh = {};  // zero-filled like the channel record
    fresh.channel = 1;
    hardware_sim_waitIdle();
    const uint32_t slave0 = board_outSlave(0, BOARD_OUT_SRI);
    uint64_t frames = hardware_sim_chipFrames(slave0);
    int (*const actions[])(OrbxxxgOutBoard *) = {
        ORBX40G_OUT_SRI_applyPreset, ORBX40G_OUT_enableRf,      ORBX40G_OUT_disableRf,
        ORBX40G_OUT_enableAlc,       ORBX40G_OUT_enableAlcHold, ORBX40G_OUT_enableAlcRfMute,
        ORBX40G_OUT_powerDown,
    };
    for (auto action : actions)
        EXPECT_EQ(action(&fresh), KR_E_HARDWARE_MISSING);
    const KrFreq f = {};
    EXPECT_EQ(ORBXXXG_LEVEL_setPowerSync(&fresh, 0, 0, 0, &f), KR_E_HARDWARE_MISSING);
    double c;
    EXPECT_EQ(ORBX40G_OUT_getTemperature(&fresh, &c), KR_E_HARDWARE_MISSING);
    uint32_t condition;
    EXPECT_EQ(ORBX40G_OUT_getAlcCondition(&fresh, &condition), KR_E_HARDWARE_MISSING);
    KrAngle a = 1.0, got = 0;
    EXPECT_EQ(ORBX40G_OUT_setPhase(&fresh, &a), 0);  // stored for later
    ORBX40G_OUT_getPhase(&fresh, &got);
    EXPECT_DOUBLE_EQ(got, 1.0);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_chipFrames(slave0), frames);
}

// ---------------------------------------------------------------------------------------
// Divider table

struct WindowRow {
    KrFreq vco;
    uint32_t r;
};

TEST_F(Orbx40gTest, DividerTableAndSpurWindows) {
    const uint64_t G = 1000000000ull;
    const WindowRow rows[] = {
        {hz(10250000000ull), 4},      // first table row
        {hz(11900000000ull), 4},      // window bounds are exclusive
        {hz(11900000000ull, 1), 5},   // just inside (11.9, 12.1)
        {hz(12100000000ull), 4},      // neither window
        {hz(12120000000ull), 4},      // (12.1, 12.15)
        {hz(12800000000ull - 1), 4},  // the table's next row starts at 12.8 GHz
        {hz(12800000000ull), 5},      //
        {hz(13500000000ull), 4},      // (13.4, 13.6)
        {hz(14400000000ull), 4},      // (14.3, 14.5)
        {hz(14800000000ull), 4},      // (14.7, 14.9)
        {hz(15000000000ull), 5},      //
        {hz(16000000000ull), 5},      // (15.9, 16.1) over the table's 6
        {hz(16100000000ull), 6},      //
        {hz(18000000000ull), 5},      // (17.9, 18.1)
        {hz(19200000000ull), 5},      // (19.1, 19.3) over the table's 7
        {hz(19300000000ull), 7},      //
        {hz(20 * G), 7},              // (19.9, 20.1)
        {hz(20500000000ull), 7},      //
    };
    for (const WindowRow &row : rows)
        EXPECT_EQ(ORBX40G_OUT_lookupDivider(b, &row.vco), row.r) << hardware_sim_freqText(row.vco);
}

TEST_F(Orbx40gTest, FullDividerTableIsSearchedForTheLastThresholdAtOrBelow) {
    uint64_t thresholds[ORBX40G_OUT_DIVIDER_ROWS];
    uint8_t r[ORBX40G_OUT_DIVIDER_ROWS];
    for (int i = 0; i < ORBX40G_OUT_DIVIDER_ROWS; i++) {
        thresholds[i] = 10000000000ull + (uint64_t)i * 25000000ull;  // up to 11.575 GHz
        r[i] = (uint8_t)(i + 1);
    }
    ASSERT_EQ(ORBX40G_OUT_setDividerTable(&board, thresholds, r, ORBX40G_OUT_DIVIDER_ROWS), 0);
    for (int i = 0; i < ORBX40G_OUT_DIVIDER_ROWS; i++) {
        KrFreq at = hz(thresholds[i]), inside = hz(thresholds[i] + 12500000ull);
        EXPECT_EQ(ORBX40G_OUT_lookupDivider(b, &at), (uint32_t)i + 1) << i;
        EXPECT_EQ(ORBX40G_OUT_lookupDivider(b, &inside), (uint32_t)i + 1) << i;
        if (i > 0) {
            KrFreq below = hz(thresholds[i] - 1, ~0ull);
            EXPECT_EQ(ORBX40G_OUT_lookupDivider(b, &below), (uint32_t)i) << i;
        }
    }
}

TEST_F(Orbx40gTest, MalformedDividerTablesAreRefused) {
    const uint64_t down[] = {12000000000ull, 11000000000ull};
    const uint64_t up[] = {11000000000ull, 12000000000ull};
    const uint8_t r[] = {4, 5}, zero[] = {4, 0};
    EXPECT_EQ(ORBX40G_OUT_setDividerTable(&board, down, r, 2), KR_E_ILLEGAL_PARAMETER_VALUE);
    EXPECT_EQ(ORBX40G_OUT_setDividerTable(&board, up, zero, 2), KR_E_ILLEGAL_PARAMETER_VALUE);
    EXPECT_EQ(ORBX40G_OUT_setDividerTable(&board, up, r, 0), KR_E_ILLEGAL_PARAMETER_VALUE);
    EXPECT_EQ(ORBX40G_OUT_setDividerTable(&board, up, r, ORBX40G_OUT_DIVIDER_ROWS + 1),
              KR_E_ILLEGAL_PARAMETER_VALUE);
    KrFreq vco = hz(11500000000ull);
    EXPECT_EQ(ORBX40G_OUT_lookupDivider(b, &vco), 4u);  // the default table is still in place
}

// ---------------------------------------------------------------------------------------
// Band edges

struct BandRow {
    int32_t capacity, start;
    int result;
    int32_t count;
};

TEST_F(Orbx40gTest, BandEdgesAreAppendedUntilTheArrayIsFull) {
    const uint64_t edges[] = {1100000000ull, 2200000000ull,  4400000000ull,
                              8800000000ull, 14000000000ull, 20100000000ull};
    const BandRow rows[] = {
        {6, 0, 0, 6},
        {16, 0, 0, 6},
        {5, 0, KR_E_OUT_OF_MEMORY, 5},
        {0, 0, KR_E_OUT_OF_MEMORY, 0},
        {8, 2, 0, 8},
        {7, 2, KR_E_OUT_OF_MEMORY, 7},
    };
    for (const BandRow &row : rows) {
        KrFreq array[16] = {};
        int32_t count = row.start;
        EXPECT_EQ(ORBX40G_OUT_getFrequencyBands(&board, array, row.capacity, &count), row.result)
            << row.capacity << "/" << row.start;
        EXPECT_EQ(count, row.count);
        for (int32_t i = row.start; i < count; i++)
            EXPECT_EQ(array[i].integer, (int64_t)edges[i - row.start]);
        EXPECT_EQ(array[row.count].integer, 0);  // nothing written beyond the capacity
    }
}

TEST_F(Orbx40gTest, DirectBandLimitAnd_I_OUpdateAddress) {
    KrFreq f;
    ORBX40G_OUT_getDirectBandLimit(&board, &f);
    EXPECT_TRUE(sameFreq(f, hz(1100000000ull)));
    uint32_t address = 0x144800;
    EXPECT_EQ(ORBX40G_OUT_getBaseAddress(&board, &address), 0);
    EXPECT_NE(address, 0x144800u);
    EXPECT_EQ(address & 0x144800u, 0x144800u);  // inside the channel's window
    EXPECT_EQ(board.ioupdateAddress, address);
}

// ---------------------------------------------------------------------------------------
// Settling and tuning times

struct TimesRow {
    KrFreq f;
    bool settling, tuning;
};

TEST_F(Orbx40gTest, SettlingAndTuningTimesFollowPathAndDividerChanges) {
    const TimesRow rows[] = {
        {hz(100000000), true, false},       // into the direct path
        {hz(200000000), false, false},      // same path
        {hz(5000000000ull), true, true},    // into the PLL path
        {hz(5000100000ull), false, false},  // same N1 and R
        {hz(6000000000ull), false, true},   // N1 4 -> 3
        {hz(30000000000ull), true, true},   // the doubler
        {hz(30000001000ull), false, false},
    };
    for (const TimesRow &row : rows) {
        KrFreq f = row.f;
        ASSERT_EQ(ORBX40G_OUT_presetSetFrequency(&board, &f), 0);
        KrTime settling = -1, tuning = -1;
        ORBX40G_OUT_getPathSettlingTime(&board, &settling);
        ORBX40G_OUT_getVcoTuneTime(&board, &tuning);
        EXPECT_EQ(settling > 0, row.settling) << f.integer;
        EXPECT_EQ(tuning > 0, row.tuning) << f.integer;
        EXPECT_GE(settling, 0.0);
        EXPECT_GE(tuning, 0.0);
    }
}

// ---------------------------------------------------------------------------------------
// Phase

TEST_F(Orbx40gTest, PhaseMovesTheNcoInStepsOfAtMost30Degrees) {
    ASSERT_EQ(tune(hz(100000000)), 0);  // direct: the NCO phase is the output phase
    uint64_t before = hardware_sim_ioupdates();
    KrAngle a = M_PI;
    ASSERT_EQ(ORBX40G_OUT_setPhase(&board, &a), 0);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_ioupdates() - before, 6u);
    EXPECT_NEAR(hardware_sim_channel(0).phaseRad, M_PI, 2 * M_PI / 65536);
    KrAngle got;
    ORBX40G_OUT_getPhase(&board, &got);
    EXPECT_DOUBLE_EQ(got, M_PI);

    before = hardware_sim_ioupdates();
    a = M_PI + 0.1;  // a small move is one step
    ASSERT_EQ(ORBX40G_OUT_setPhase(&board, &a), 0);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_ioupdates() - before, 1u);
}

TEST_F(Orbx40gTest, PhaseOnThePllPathIsScaledByTheDividers) {
    ASSERT_EQ(tune(hz(10000000000ull)), 0);  // N1 2, R 7: the NCO moves 2/7 of the output
    KrAngle a = M_PI / 2;
    ASSERT_EQ(ORBX40G_OUT_setPhase(&board, &a), 0);
    hardware_sim_waitIdle();
    EXPECT_NEAR(hardware_sim_channel(0).phaseRad, M_PI / 2 * 2 / 7, 2 * M_PI / 65536);
}

TEST_F(Orbx40gTest, PhaseIsWrappedAndNonFiniteAnglesRefused) {
    ASSERT_EQ(tune(hz(100000000)), 0);
    KrAngle a = -M_PI / 2, got;
    ASSERT_EQ(ORBX40G_OUT_setPhase(&board, &a), 0);
    ORBX40G_OUT_getPhase(&board, &got);
    EXPECT_NEAR(got, 1.5 * M_PI, 1e-12);
    a = NAN;
    EXPECT_EQ(ORBX40G_OUT_setPhase(&board, &a), KR_E_ILLEGAL_PARAMETER_VALUE);
    ORBX40G_OUT_getPhase(&board, &got);
    EXPECT_NEAR(got, 1.5 * M_PI, 1e-12);
}

// ---------------------------------------------------------------------------------------
// RF state, level loop, set point, temperature

TEST_F(Orbx40gTest, RfAndMuteBitsReachTheOutput) {
    ASSERT_EQ(tune(hz(3000000000ull)), 0);
    EXPECT_STREQ(hardware_sim_channel(0).rf, "off");
    struct Step {
        int (*action)(OrbxxxgOutBoard *);
        const char *rf;
    } steps[] = {
        {ORBX40G_OUT_enableRf, "on"},         {ORBX40G_OUT_enableAlcRfMute, "muted"},
        {ORBX40G_OUT_disableAlcRfMute, "on"}, {ORBX40G_OUT_disableRf, "off"},
        {ORBX40G_OUT_enableRf, "on"},         {ORBX40G_OUT_powerDown, "off"},
    };
    for (const Step &s : steps) {
        ASSERT_EQ(s.action(&board), 0);
        krgio_ioupdate();
        hardware_sim_waitIdle();
        EXPECT_STREQ(hardware_sim_channel(0).rf, s.rf);
    }
    EXPECT_FALSE(hardware_sim_channel(0).frequencyValid);  // powered down: no path
    ASSERT_EQ(tune(hz(3000000000ull)), 0);                 // the next change selects it again
    EXPECT_STREQ(hardware_sim_channel(0).path, "pll");
}

TEST_F(Orbx40gTest, LevelLoopFlagsAndCondition) {
    const uint32_t detector = board_outSlave(0, BOARD_OUT_ALC_ADC);
    uint32_t condition = 9;
    hardware_sim_setAdc(detector, 0);
    EXPECT_EQ(ORBX40G_OUT_getAlcCondition(&board, &condition), 0);
    EXPECT_EQ(condition, 0u);  // open loop: nothing to level
    ASSERT_EQ(ORBX40G_OUT_enableAlc(&board), 0);
    EXPECT_EQ(ORBX40G_OUT_isAlcEnabled(&board), 1);
    const struct { uint32_t adc, condition; } rows[] = {{0, 1}, {30000, 0}, {65535, 1}, {65000, 0}};
    for (const auto &row : rows) {
        hardware_sim_setAdc(detector, row.adc);
        EXPECT_EQ(ORBX40G_OUT_getAlcCondition(&board, &condition), 0);
        EXPECT_EQ(condition, row.condition) << row.adc;
    }
    ASSERT_EQ(ORBX40G_OUT_enableAlcHold(&board), 0);
    ASSERT_EQ(ORBX40G_OUT_enableAlcHoldSampleMode(&board), 0);
    EXPECT_EQ(ORBX40G_OUT_isAlcHoldEnabled(&board), 1);
    hardware_sim_waitIdle();
    std::vector<uint8_t> image = hardware_sim_shiftRegisterImage(board_outSlave(0, BOARD_OUT_SRI));
    ASSERT_EQ(image.size(), (size_t)ORBX40G_OUT_SRI_BYTES);
    auto bit = [&](int n) { return (image[n / 8] >> (n % 8)) & 1; };
    EXPECT_EQ(bit(ORBX40G_OUT_BIT_ALC_ENABLE), 1);
    EXPECT_EQ(bit(ORBX40G_OUT_BIT_ALC_HOLD), 1);
    EXPECT_EQ(bit(ORBX40G_OUT_BIT_ALC_SAMPLE), 1);
    ASSERT_EQ(ORBX40G_OUT_disableAlcHold(&board), 0);
    ASSERT_EQ(ORBX40G_OUT_disableAlcHoldSampleMode(&board), 0);
    ASSERT_EQ(ORBX40G_OUT_disableAlc(&board), 0);
    EXPECT_EQ(ORBX40G_OUT_isAlcEnabled(&board), 0);
    EXPECT_EQ(ORBX40G_OUT_isAlcHoldEnabled(&board), 0);
    hardware_sim_waitIdle();
    image = hardware_sim_shiftRegisterImage(board_outSlave(0, BOARD_OUT_SRI));
    EXPECT_EQ(bit(ORBX40G_OUT_BIT_ALC_ENABLE) | bit(ORBX40G_OUT_BIT_ALC_HOLD) |
                  bit(ORBX40G_OUT_BIT_ALC_SAMPLE),
              0);
}

TEST_F(Orbx40gTest, PowerStagesLatchBeforeTheIoUpdate) {
    const KrFreq f = {};
    ASSERT_EQ(ORBXXXG_LEVEL_setPowerSync(&board, 6, 9000, 1, &f), 0);
    ASSERT_EQ(ORBXXXG_LEVEL_setPowerAsync(&board, 9100), 0);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    const SimChannelState ch = hardware_sim_channel(0);
    EXPECT_EQ(ch.alcDac, 9100u);
    EXPECT_DOUBLE_EQ(ch.attenuationADb, 3.0);
    EXPECT_DOUBLE_EQ(ch.attenuationBDb, 0.5);
}

TEST_F(Orbx40gTest, TemperatureComesFromTheBoardSensor) {
    hardware_sim_setTemperature(0, 42.5);
    double c = 0;
    ASSERT_EQ(ORBX40G_OUT_getTemperature(&board, &c), 0);
    EXPECT_NEAR(c, 42.5, 0.0625);
}

TEST_F(Orbx40gTest, LoopFilterFollowsTheDividers) {
    ASSERT_EQ(tune(hz(10000000000ull)), 0);  // R 7
    EXPECT_EQ(b->r1, 700u);
    EXPECT_NEAR(hardware_sim_channel(0).loopFilterOhm, 700.0, 1000.0 / 256);
    ASSERT_EQ(tune(hz(12000000000ull)), 0);  // R 5: 80 + 2.5e11 / 2.4e9
    EXPECT_EQ(b->r1, 184u);
    EXPECT_NEAR(hardware_sim_channel(0).loopFilterOhm, 184.0, 1000.0 / 256);
}

// ---------------------------------------------------------------------------------------
// Through the board function table

TEST_F(Orbx40gTest, RegisteredSlotsDriveTheBoardAndOthersAnswerUndefined) {
    ORBX40G_OUT_registerFunctions();
    EXPECT_TRUE(BOARD_ORBXXXG_OUT_ISREG(setFrequencySync));
    EXPECT_TRUE(BOARD_ORBXXXG_OUT_ISREG(getFrequencyExact));
    EXPECT_FALSE(BOARD_ORBXXXG_OUT_ISREG(getSpurs));
    char text[8];
    EXPECT_EQ(BOARD_ORBXXXG_OUT_getSpurs(&board, text, (int32_t)sizeof(text)),
              KR_E_UNDEFINED_HEADER);

    KrFreq f = hz(25000000000ull);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setFrequencySync(&board, &f), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_SRI_applyPreset(&board), 0);
    ASSERT_EQ(krgio_ioupdate(), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setFrequencyAsync(&board, &f), 0);
    hardware_sim_waitIdle();
    KrFreq e;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getFrequencyExact(&board, &e), 0);
    EXPECT_TRUE(sameFreq(hardware_sim_channel(0).frequency, e));
    EXPECT_STREQ(hardware_sim_channel(0).path, "doubler");
    AD9164 *dac = nullptr;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getAd9164(&board, &dac), 0);
    EXPECT_EQ(dac, &b->dac);
}

}  // namespace
