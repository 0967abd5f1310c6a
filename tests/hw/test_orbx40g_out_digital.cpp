// 40 GHz output board with digital levelling on the simulated 40 GHz instrument: the loop
// filter waits for setR1ResistanceToSetpoint, the digital-ALC state, sample time and gain,
// the digital loop's condition from the detector, and the phase reset; all reached through
// the board function table as the channel device reaches them.
#include "hw/orbx40g_out_digital.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "hw/krgio.h"
#include "hw_test_support.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// Position 7 'T': 40 GHz board revision 2B or newer.
constexpr const char *SERIAL_40G_2B = "1E0-000T10000-0003";
constexpr double POT_STEP_OHM = 1000.0 / 256;

OrbxxxgOutBoard board;

using hwtest::hz;

class Orbx40gDigitalTest : public OutBoardTest {
  protected:
    Orbx40gDigitalTest() : OutBoardTest(board, 15) {}
    const char *serial() const override { return SERIAL_40G_2B; }
    // Through the function table, as the channel device initialises the board.
    int initBoard() override {
        ORBX40G_OUT_DIGITAL_registerFunctions();
        int r = BOARD_ORBXXXG_OUT_init(&board);
        b = ORBX40G_OUT_record(&board);
        return r;
    }
    // The channel device's order: preset, apply, I/O update.
    SimChannelState tune(uint64_t f) {
        KrFreq k = hz(f);
        EXPECT_EQ(BOARD_ORBXXXG_OUT_setFrequencySync(&board, &k), 0);
        EXPECT_EQ(BOARD_ORBXXXG_OUT_SRI_applyPreset(&board), 0);
        krgio_ioupdate();
        hardware_sim_waitIdle();
        return hardware_sim_channel(0);
    }
    uint64_t potFrames() {
        hardware_sim_waitIdle();
        return hardware_sim_chipFrames(board_outSlave(0, BOARD_OUT_LOOP_POT));
    }
    ORBX40G_OUT *b = nullptr;
};

TEST_F(Orbx40gDigitalTest, TheLoopFilterWaitsForTheSetpointCall) {
    uint64_t frames = potFrames();
    double initial = hardware_sim_channel(0).loopFilterOhm;
    SimChannelState st = tune(10000000000ull);  // R 7: the plan wants 700 ohms
    EXPECT_STREQ(st.path, "pll");
    EXPECT_EQ(b->r1, 700u);
    EXPECT_EQ(potFrames(), frames);
    EXPECT_DOUBLE_EQ(st.loopFilterOhm, initial);

    ASSERT_EQ(BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(&board, 0), 0);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    EXPECT_NEAR(hardware_sim_channel(0).loopFilterOhm, 700.0, POT_STEP_OHM);
    frames = potFrames();
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(&board, 0), 0);
    EXPECT_EQ(potFrames(), frames);  // unchanged: nothing sent

    // A new set point waits again; an explicit resistance is written as given.
    tune(12000000000ull);  // R 5: 184 ohms
    EXPECT_NEAR(hardware_sim_channel(0).loopFilterOhm, 700.0, POT_STEP_OHM);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(&board, 0), 0);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    EXPECT_NEAR(hardware_sim_channel(0).loopFilterOhm, 184.0, POT_STEP_OHM);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(&board, 400.0), 0);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    EXPECT_NEAR(hardware_sim_channel(0).loopFilterOhm, 400.0, POT_STEP_OHM);

    // The direct path has no loop: the set point call leaves the filter alone.
    tune(500000000ull);
    frames = potFrames();
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(&board, 0), 0);
    EXPECT_EQ(potFrames(), frames);

    EXPECT_EQ(BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(&board, NAN),
              KR_E_ILLEGAL_PARAMETER_VALUE);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_setR1ResistanceToSetpoint(&board, 1e12),
              KR_E_ILLEGAL_PARAMETER_VALUE);
    EXPECT_EQ(potFrames(), frames);
}

TEST_F(Orbx40gDigitalTest, DigitalLoopConditionFromTheDetector) {
    const uint32_t detector = board_outSlave(0, BOARD_OUT_ALC_ADC);
    tune(5000000000ull);
    uint32_t condition = 9;
    hardware_sim_setAdc(detector, 0);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_isDalcEnabled(&board), 1);  // the board's own levelling
    ASSERT_EQ(BOARD_ORBXXXG_OUT_disableDalc(&board), 0);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_isDalcEnabled(&board), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_enableRf(&board), 0);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_getDalcCondition(&board, &condition), 0);
    EXPECT_EQ(condition, 3u);  // loop off
    ASSERT_EQ(BOARD_ORBXXXG_OUT_disableRf(&board), 0);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_enableDalc(&board), 0);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_isDalcEnabled(&board), 1);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_getDalcCondition(&board, &condition), 0);
    EXPECT_EQ(condition, 3u);  // RF off
    ASSERT_EQ(BOARD_ORBXXXG_OUT_enableRf(&board), 0);
    // The analog loop stays open: the digital loop reads the detector all the same.
    ASSERT_EQ(BOARD_ORBXXXG_OUT_disableAlc(&board), 0);
    const struct {
        uint32_t adc, condition;
    } rows[] = {{0, 1}, {16, 1}, {17, 0}, {30000, 0}, {65518, 0}, {65519, 1}, {65535, 1}};
    for (const auto &row : rows) {
        hardware_sim_setAdc(detector, row.adc);
        EXPECT_EQ(BOARD_ORBXXXG_OUT_getDalcCondition(&board, &condition), 0);
        EXPECT_EQ(condition, row.condition) << row.adc;
    }
    ASSERT_EQ(BOARD_ORBXXXG_OUT_disableDalc(&board), 0);
    EXPECT_EQ(BOARD_ORBXXXG_OUT_getDalcCondition(&board, &condition), 0);
    EXPECT_EQ(condition, 3u);
}

TEST_F(Orbx40gDigitalTest, SampleTimeAndGainAcceptOnlyUsableValues) {
    ORBX40G_OUT_DIGITAL *d = ORBX40G_OUT_DIGITAL_record(&board);
    EXPECT_DOUBLE_EQ(d->dalcSampleTime, ORBX40G_OUT_DIGITAL_SAMPLE_TIME_DEFAULT_S);
    EXPECT_DOUBLE_EQ(d->dalcGain, ORBX40G_OUT_DIGITAL_GAIN_DEFAULT);
    const struct {
        double value;
        bool accepted;
    } rows[] = {{2e-6, true}, {1.0, true},  {0.0, false},     {-1e-6, false},
                {1.5, false}, {NAN, false}, {INFINITY, false}};
    for (const auto &row : rows) {
        double time = d->dalcSampleTime, gain = d->dalcGain;
        KrTime t = row.value;
        EXPECT_EQ(BOARD_ORBXXXG_OUT_setDalcSampleTime(&board, &t),
                  row.accepted ? 0 : KR_E_ILLEGAL_PARAMETER_VALUE)
            << row.value;
        EXPECT_DOUBLE_EQ(d->dalcSampleTime, row.accepted ? row.value : time) << row.value;
        // The gain has no upper bound; only 1.5 changes side.
        bool gainAccepted = row.accepted || row.value == 1.5;
        EXPECT_EQ(BOARD_ORBXXXG_OUT_setDalcGain(&board, row.value),
                  gainAccepted ? 0 : KR_E_ILLEGAL_PARAMETER_VALUE)
            << row.value;
        EXPECT_DOUBLE_EQ(d->dalcGain, gainAccepted ? row.value : gain) << row.value;
    }
}

TEST_F(Orbx40gDigitalTest, PhaseResetBringsTheNcoBackToZero) {
    tune(12000000000ull);
    KrAngle a = M_PI / 2;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_setPhase_async(&board, &a), 0);
    hardware_sim_waitIdle();
    EXPECT_GT(hardware_sim_channel(0).phaseRad, 0.1);
    ASSERT_EQ(BOARD_ORBXXXG_OUT_phaseReset(&board), 0);
    hardware_sim_waitIdle();
    EXPECT_NEAR(hardware_sim_channel(0).phaseRad, 0.0, 2 * M_PI / 65536);
    KrAngle got = 1;
    BOARD_ORBXXXG_OUT_getPhase(&board, &got);
    EXPECT_EQ(got, 0.0);
}

TEST_F(Orbx40gDigitalTest, TheFrequencyPlanIsThe40GHzBoards) {
    SimChannelState st = tune(20100000000ull);
    EXPECT_STREQ(st.path, "doubler");
    KrFreq e;
    ASSERT_EQ(BOARD_ORBXXXG_OUT_getFrequencyExact(&board, &e), 0);
    EXPECT_EQ(st.frequency.integer, e.integer);
    EXPECT_EQ(st.frequency.fraction, e.fraction);
}

TEST_F(Orbx40gDigitalTest, BeforeInitTheSlotsReachNoChip) {
    OrbxxxgOutBoard fresh = {};
    uint32_t condition = 0;
    EXPECT_EQ(ORBX40G_OUT_DIGITAL_getDalcCondition(&fresh, &condition), KR_E_HARDWARE_MISSING);
    EXPECT_EQ(ORBX40G_OUT_DIGITAL_setR1ResistanceToSetpoint(&fresh, 500.0), KR_E_HARDWARE_MISSING);
    EXPECT_EQ(ORBX40G_OUT_DIGITAL_SRI_applyPreset(&fresh), KR_E_HARDWARE_MISSING);
}

}  // namespace
