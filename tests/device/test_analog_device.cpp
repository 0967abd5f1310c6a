// The channel device's sequences against a recording board: source selection, the blank
// modes of a frequency change, preset mode, RF state with switching bits, the reference jump,
// band edges. The device is built on the simulated hardware, then the board slots are
// replaced by recorders so that the order of board operations can be checked.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "config/device_config.h"
#include "core/krpath.h"
#include "device/analog_device.h"
#include "device/device.h"
#include "device/device_board.h"
#include "hw/krspi.h"
#include "hw/orbx20g_out.h"
#include "hw/orbxxxg_ref.h"
#include "modulation/krcont.h"
#include "platform/sim/hardware_sim.h"
#include "rtdev.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_execute.h"
#include "tests/support/sim_device.h"

namespace {

std::vector<std::string> calls;
int alcHold = 0;
double settlingTime = 0, tuneTime = 0;
int refJumps = 0;

#define RECORD(name)                    \
    int rec_##name(OrbxxxgOutBoard *) { \
        calls.push_back(#name);         \
        return 0;                       \
    }
RECORD(SRI_applyPreset)
RECORD(blankRf)
RECORD(unblankRf)
RECORD(enableIoupdateAlcBlanking)
RECORD(disableIoupdateAlcBlanking)
RECORD(disableIoupdateAlcBlanking_enableHardAlcHold)
RECORD(disableHardAlcHold)
RECORD(enableRf)
RECORD(disableRf)
RECORD(disableAlcRfMute)

int rec_setFrequencySync(OrbxxxgOutBoard *, const KrFreq *) {
    calls.push_back("setFrequencySync");
    return 0;
}
int rec_setFrequencyAsync(OrbxxxgOutBoard *, const KrFreq *) {
    calls.push_back("setFrequencyAsync");
    return 0;
}
int rec_isAlcHoldEnabled(OrbxxxgOutBoard *) {
    return alcHold;
}
int rec_settling(OrbxxxgOutBoard *, KrTime *t) {
    *t = settlingTime;
    return 0;
}
int rec_tune(OrbxxxgOutBoard *, KrTime *t) {
    *t = tuneTime;
    return 0;
}
int rec_bands(OrbxxxgOutBoard *, KrFreq *a, int32_t capacity, int32_t *count) {
    const int64_t edges[] = {3, 1, 2, 2, 5, 1};
    for (int64_t e : edges) {
        if (*count >= capacity) return KR_E_OUT_OF_MEMORY;
        a[(*count)++] = KrFreq{e, 0};
    }
    return 0;
}
int rec_refJump(OrbxxxgRefBoard *, const KrFreq *) {
    refJumps++;
    return 0;
}

int count(const std::string &name) {
    return (int)std::count(calls.begin(), calls.end(), name);
}

class AnalogDeviceTest : public SimDeviceTest {
  protected:
    // 20 GHz board revision 1C, two channels.
    std::string serial() const override { return "1C0-000720000-0001"; }

    void SetUp() override {
        SimDeviceTest::SetUp();
        BOARD_ORBXXXG_OUT_SRI_applyPreset = rec_SRI_applyPreset;
        BOARD_ORBXXXG_OUT_blankRf = rec_blankRf;
        BOARD_ORBXXXG_OUT_unblankRf = rec_unblankRf;
        BOARD_ORBXXXG_OUT_enableIoupdateAlcBlanking = rec_enableIoupdateAlcBlanking;
        BOARD_ORBXXXG_OUT_disableIoupdateAlcBlanking = rec_disableIoupdateAlcBlanking;
        BOARD_ORBXXXG_OUT_disableIoupdateAlcBlanking_enableHardAlcHold =
            rec_disableIoupdateAlcBlanking_enableHardAlcHold;
        BOARD_ORBXXXG_OUT_disableHardAlcHold = rec_disableHardAlcHold;
        BOARD_ORBXXXG_OUT_enableRf = rec_enableRf;
        BOARD_ORBXXXG_OUT_disableRf = rec_disableRf;
        BOARD_ORBXXXG_OUT_disableAlcRfMute = rec_disableAlcRfMute;
        BOARD_ORBXXXG_OUT_setFrequencySync = rec_setFrequencySync;
        BOARD_ORBXXXG_OUT_setFrequencyAsync = rec_setFrequencyAsync;
        BOARD_ORBXXXG_OUT_isAlcHoldEnabled = rec_isAlcHoldEnabled;
        BOARD_ORBXXXG_OUT_getPathSettlingTime = rec_settling;
        BOARD_ORBXXXG_OUT_getVcoTuneTime = rec_tune;
        BOARD_ORBXXXG_OUT_getFrequencyBands = rec_bands;
        BOARD_ORBXXXG_REF_setReferenceFrequencyJump = rec_refJump;
        calls.clear();
        alcHold = 0;
        settlingTime = tuneTime = 0;
        refJumps = 0;
    }

    int setFrequency(uint64_t hz) {
        KrFreq f{(int64_t)hz, 0};
        return Device_setFrequency(device_, &f);
    }
};

TEST_F(AnalogDeviceTest, SourceSelectionRefusesSuffixesBeyondTheChannelCount) {
    EXPECT_EQ(Device_getSourceIndexMax(device_), 2);
    ASSERT_EQ(Device_setSourceIndex(device_, 2), 0);
    EXPECT_EQ(Device_getSource(device_), 1);
    for (int32_t bad : {3, 0, -1, 9})
        EXPECT_EQ(Device_setSourceIndex(device_, bad), KR_E_SUFFIX_OUT_OF_RANGE) << bad;
    EXPECT_EQ(Device_getSource(device_), 1);
    // No suffix: the default source.
    ASSERT_EQ(Device_setSourceIndex(device_, DEVICE_NO_SUFFIX), 0);
    EXPECT_EQ(Device_getSource(device_), 0);
    ASSERT_EQ(Device_setDefaultSourceIndex(device_, 2), 0);
    EXPECT_EQ(Device_getDefaultSourceIndex(device_), 2);
    ASSERT_EQ(Device_setSourceIndex(device_, DEVICE_NO_SUFFIX), 0);
    EXPECT_EQ(Device_getSource(device_), 1);
    EXPECT_EQ(Device_setDefaultSourceIndex(device_, 3), KR_E_SUFFIX_OUT_OF_RANGE);
}

TEST_F(AnalogDeviceTest, EnumerationVisitsEveryChannelAndEndsOnTheDefault) {
    Device_setDefaultSourceIndex(device_, 2);
    Device_setSource(device_, 0);
    std::vector<int> seen;
    Device_enumerateSources(device_);
    while (Device_nextSource(device_))
        seen.push_back(Device_getSource(device_));
    EXPECT_EQ(seen, (std::vector<int>{0, 1}));
    EXPECT_EQ(Device_getSource(device_), 1);
}

// Blank mode by the board's state: hold, settling time, tuning time.
struct BlankRow {
    int hold;
    double settling, tune;
    int blanks, reduceOn, reduceOff, holdOn, holdOff;
};

class BlankModeTest : public AnalogDeviceTest, public ::testing::WithParamInterface<BlankRow> {};

TEST_P(BlankModeTest, FrequencyChangeBlanksAsTheBoardNeeds) {
    const BlankRow &row = GetParam();
    alcHold = row.hold;
    settlingTime = row.settling;
    tuneTime = row.tune;
    ASSERT_EQ(setFrequency(5000000000ull), 0);
    EXPECT_EQ(count("blankRf"), row.blanks);
    EXPECT_EQ(count("unblankRf"), row.blanks);
    EXPECT_EQ(count("enableIoupdateAlcBlanking"), row.reduceOn);
    EXPECT_EQ(count("disableIoupdateAlcBlanking"), row.reduceOff);
    EXPECT_EQ(count("disableIoupdateAlcBlanking_enableHardAlcHold"), row.holdOn);
    EXPECT_EQ(count("disableHardAlcHold"), row.holdOff);
    // The queued settings go out before the tuning starts.
    auto sync = std::find(calls.begin(), calls.end(), "setFrequencySync");
    auto apply = std::find(calls.begin(), calls.end(), "SRI_applyPreset");
    auto async = std::find(calls.begin(), calls.end(), "setFrequencyAsync");
    ASSERT_NE(async, calls.end());
    EXPECT_LT(sync - calls.begin(), apply - calls.begin());
    EXPECT_LT(apply - calls.begin(), async - calls.begin());
}

INSTANTIATE_TEST_SUITE_P(Modes, BlankModeTest,
                         ::testing::Values(BlankRow{1, 5e-6, 50e-6, 0, 0, 0, 0,
                                                    0},  // ALC hold: no blanking at all
                                           BlankRow{0, 5e-6, 0, 1, 0, 0, 0, 0},   // quick blank
                                           BlankRow{0, 0, 30e-6, 0, 1, 0, 1, 1},  // reduce and hold
                                           BlankRow{0, 0, 0, 0, 1, 1, 0, 0}),     // reduce
                         [](const ::testing::TestParamInfo<BlankRow> &info) {
                             const BlankRow &row = info.param;
                             return row.hold       ? "AlcHold"
                                    : row.holdOn   ? "ReduceAndHold"
                                    : row.reduceOn ? "Reduce"
                                                   : "QuickBlank";
                         });

TEST_F(AnalogDeviceTest, OutputBlankingBlanksEvenInHold) {
    alcHold = 1;
    Device_enableOutputBlanking(device_);
    ASSERT_EQ(setFrequency(4000000000ull), 0);
    EXPECT_EQ(count("blankRf"), 1);
    EXPECT_EQ(count("unblankRf"), 1);
}

TEST_F(AnalogDeviceTest, PresetModeStoresAndTheApplyChangesOnce) {
    ASSERT_EQ(Device_sweepDefinePreset(device_), 0);
    ASSERT_EQ(setFrequency(7000000000ull), 0);
    KrPow p = -7.5f;
    ASSERT_EQ(Device_setPower(device_, &p), 0);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(Device_getFrequency(device_)->integer, 7000000000);
    ASSERT_EQ(Device_sweepApplyPreset(device_), 0);
    EXPECT_EQ(count("setFrequencySync"), 1);
    EXPECT_EQ(*Device_getPower(device_), -7.5f);
    calls.clear();
    ASSERT_EQ(setFrequency(7100000000ull), 0);
    EXPECT_EQ(count("setFrequencySync"), 1);  // preset mode is over
}

TEST_F(AnalogDeviceTest, RfOnAndOffSwitchTheHardware) {
    ASSERT_EQ(Device_enableRf(device_), 0);
    EXPECT_EQ(count("enableRf"), 1);
    EXPECT_EQ(Device_isRfEnabled(device_), 1);
    EXPECT_EQ(Device_enableRf(device_), 0);
    EXPECT_EQ(count("enableRf"), 1);  // already on
    ASSERT_EQ(Device_disableRf(device_), 0);
    EXPECT_EQ(count("disableRf"), 1);
    EXPECT_EQ(Device_isRfEnabled(device_), 0);
}

TEST_F(AnalogDeviceTest, SwitchingBitKeepsTheHardwareOnAndOnlyMutes) {
    ASSERT_EQ(Device_enableRf(device_), 0);
    ASSERT_EQ(analog_setRfSwitchingBits(device_, DEVICE_RF_SWITCHING_AM), 0);
    calls.clear();
    ASSERT_EQ(Device_disableRf(device_), 0);
    EXPECT_EQ(count("disableRf"), 0);
    EXPECT_TRUE(device_->current->rfHardwareOn);
    EXPECT_TRUE(device_->current->pulmForcedOff);
    // Clearing the bit lets the request take effect.
    ASSERT_EQ(analog_setRfSwitchingBits(device_, 0), 0);
    EXPECT_EQ(count("disableRf"), 1);
    EXPECT_FALSE(device_->current->rfHardwareOn);
}

TEST_F(AnalogDeviceTest, ReferenceJumpReappliesEveryChannelAndKeepsTheSource) {
    Device_setSource(device_, 1);
    setFrequency(3000000000ull);
    Device_setSource(device_, 0);
    setFrequency(2000000000ull);
    Device_setSource(device_, 1);
    calls.clear();
    KrFreq f{100000000, 0};
    ASSERT_EQ(Device_setReferenceFrequencyJump(device_, &f), 0);
    EXPECT_EQ(refJumps, 1);
    EXPECT_EQ(count("setFrequencySync"), 2);
    EXPECT_EQ(Device_getSource(device_), 1);
    EXPECT_EQ(Device_getFrequency(device_)->integer, 3000000000);
}

TEST_F(AnalogDeviceTest, BandEdgesAreSortedWithoutRepeats) {
    KrFreq edges[16];
    int32_t n = 0;
    ASSERT_EQ(Device_getFrequencyBands(device_, edges, 16, &n), 4);
    ASSERT_EQ(n, 4);
    const int64_t want[] = {1, 2, 3, 5};
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(edges[i].integer, want[i]);
    n = 0;
    EXPECT_EQ(Device_getFrequencyBands(device_, edges, 3, &n), KR_E_OUT_OF_MEMORY);
}

TEST_F(AnalogDeviceTest, DefaultsFollowTheModelAndBoard) {
    EXPECT_STREQ(Device_getName(device_), "ORBX20G");
    EXPECT_EQ(Device_getFrequencyMin(device_)->integer, 100000);  // revision 1B or newer
    EXPECT_EQ(Device_getFrequencyMax(device_)->integer, 20100000000);
    EXPECT_EQ(*Device_getPowerMin(device_), -40.0f);
    EXPECT_EQ(*Device_getPowerMax(device_), 30.0f);
    EXPECT_DOUBLE_EQ(device_->channels[1].delayOffset, -8.57e-10);
    EXPECT_EQ(Device_getFrequency(device_)->integer, 1000000000);
}

TEST_F(AnalogDeviceTest, ForwardedOperationsAnswerMinus113WithoutTheBoardSlot) {
    auto saved = BOARD_ORBXXXG_OUT_setSynCore;
    BOARD_ORBXXXG_OUT_setSynCore = &Board_fallback<OrbxxxgOutBoard *, uint32_t>;
    EXPECT_EQ(Device_setSynCore(device_, 3), KR_E_UNDEFINED_HEADER);
    BOARD_ORBXXXG_OUT_setSynCore = saved;
    EXPECT_EQ(Device_getSynCore(device_), 0u);
}

// ---- Supervision -------------------------------------------------------------------------

int lockReading = 1;
int fakeLocked(OrbxxxgRefBoard *) {
    return lockReading;
}
uint32_t alcCondition = 0;
int fakeCondition(OrbxxxgOutBoard *, uint32_t *c) {
    *c = alcCondition;
    return 0;
}
int pulmOn = 0;
int fakePulmEnabled(Device *) {
    return pulmOn;
}

class SupervisionTest : public AnalogDeviceTest {
  protected:
    void SetUp() override {
        AnalogDeviceTest::SetUp();
        // The real boards again: supervision reads their temperatures and switches them.
        ORBX20G_OUT_registerFunctions();
        ORBXXXG_REF_registerFunctions();
        KRCONT_setFanAuto(1);
        heat(35.0);
        lockReading = 1;
        alcCondition = 0;
        pulmOn = 0;
    }
    // A supervision pass in which every step is due.
    void tick() { Device_periodic(device_, 0); }
    void heat(double celsius) {
        hardware_sim_setTemperature(0, celsius);
        hardware_sim_setTemperature(1, celsius);
    }
    uint16_t questionable() { return device_->statusRegisters.questionable.condition; }
};

TEST_F(SupervisionTest, FanFollowsTheTemperatureWithHysteresis) {
    heat(33.0);  // above 31.25: steep curve of the 1C board
    tick();
    EXPECT_EQ(KRCONT_isFanEnabled(), 1);
    EXPECT_DOUBLE_EQ(KRCONT_getFanDac(), (33.0 - 31.25) * 0.125 + 0.75);
    heat(31.0);  // between the thresholds: unchanged
    tick();
    EXPECT_EQ(KRCONT_isFanEnabled(), 1);
    heat(30.0);
    tick();
    EXPECT_EQ(KRCONT_isFanEnabled(), 0);
    EXPECT_EQ(KRCONT_getFanDac(), 0.0);
}

TEST_F(SupervisionTest, OverTemperatureShutsDownBlinksAndRecoversWithoutRf) {
    for (int c = 0; c < 2; c++) {
        Device_setSource(device_, c);
        Device_enableRf(device_);
    }
    Device_setSource(device_, 1);
    heat(80.0);
    tick();
    EXPECT_TRUE(questionable() & 16);
    EXPECT_TRUE(device_->overTemperature);
    EXPECT_DOUBLE_EQ(KRCONT_getFanDac(), 1.0);
    EXPECT_EQ(Device_getSource(device_), 1);
    for (int c = 0; c < 2; c++)
        EXPECT_FALSE(device_->channels[c].rfRequested) << c;
    // The LEDs of all channels blink together on every second tick.
    Device_periodic(device_, 2);
    uint8_t led = device_->channels[0].ledOn;
    Device_periodic(device_, 2);
    EXPECT_NE(device_->channels[0].ledOn, led);
    EXPECT_EQ(device_->channels[1].ledOn, device_->channels[0].ledOn);
    Device_periodic(device_, 2);
    EXPECT_EQ(device_->channels[0].ledOn, led);
    heat(31.0);  // still above the fan-off threshold
    tick();
    EXPECT_TRUE(questionable() & 16);
    heat(25.0);
    tick();
    EXPECT_FALSE(questionable() & 16);
    EXPECT_FALSE(device_->overTemperature);
    for (int c = 0; c < 2; c++)
        EXPECT_FALSE(device_->channels[c].rfRequested) << c;
}

TEST_F(SupervisionTest, WithoutBoardTemperaturesTheFanStopsAndNothingShutsDown) {
    heat(33.0);
    tick();
    EXPECT_EQ(KRCONT_isFanEnabled(), 1);
    auto saved = BOARD_ORBXXXG_OUT_getTemperature;
    BOARD_ORBXXXG_OUT_getTemperature = &Board_fallback<OrbxxxgOutBoard *, double *>;
    heat(120.0);
    tick();
    BOARD_ORBXXXG_OUT_getTemperature = saved;
    EXPECT_EQ(KRCONT_isFanEnabled(), 0);
    EXPECT_FALSE(questionable() & 16);
}

TEST_F(SupervisionTest, LostReferenceLockSetsBit5UntilItReturns) {
    BOARD_ORBXXXG_REF_isReferencePhaseLocked = fakeLocked;
    tick();
    EXPECT_FALSE(questionable() & 32);
    lockReading = 0;
    tick();
    EXPECT_TRUE(questionable() & 32);
    tick();
    EXPECT_TRUE(questionable() & 32);
    lockReading = 1;
    tick();
    EXPECT_FALSE(questionable() & 32);
}

TEST_F(SupervisionTest, UnlevelledOutputSetsBit3UnlessPulseModulated) {
    BOARD_ORBXXXG_OUT_getAlcCondition = fakeCondition;
    Device_isPulmEnabled = fakePulmEnabled;
    Device_enableRf(device_);
    alcCondition = 2;
    tick();
    EXPECT_TRUE(questionable() & 8);
    alcCondition = 3;  // counts as levelled
    tick();
    EXPECT_FALSE(questionable() & 8);
    alcCondition = 1;
    tick();
    EXPECT_TRUE(questionable() & 8);
    pulmOn = 1;
    tick();
    EXPECT_FALSE(questionable() & 8);
    pulmOn = 0;
    Device_disableRf(device_);
    tick();
    EXPECT_FALSE(questionable() & 8);
    Device_isPulmEnabled = &Device_fallback<int, Device *>;
}

}  // namespace

// ---- Digital-board variant ------------------------------------------------------------------

namespace {

int dalcEnabled = 0;
int rec_enableDalc(OrbxxxgOutBoard *) {
    calls.push_back("enableDalc");
    dalcEnabled = 1;
    return 0;
}
int rec_disableDalc(OrbxxxgOutBoard *) {
    calls.push_back("disableDalc");
    dalcEnabled = 0;
    return 0;
}
int rec_phaseReset(OrbxxxgOutBoard *) {
    calls.push_back("phaseReset");
    return 0;
}

// A 3B-generation instrument with phase coherence.
class Out3bDeviceTest : public AnalogDeviceTest {
  protected:
    std::string serial() const override { return "1C0-000M1000A-0010"; }
    void SetUp() override {
        AnalogDeviceTest::SetUp();
        BOARD_ORBXXXG_OUT_enableDalc = rec_enableDalc;
        BOARD_ORBXXXG_OUT_disableDalc = rec_disableDalc;
        BOARD_ORBXXXG_OUT_phaseReset = rec_phaseReset;
        dalcEnabled = 0;
    }
};

TEST_F(Out3bDeviceTest, TheDigitalGenerationIsChosenFromTheBoardRevision) {
    EXPECT_EQ(isOrbxxxgOut3B(), 1);
    EXPECT_TRUE(device_->generation3B);
}

TEST_F(Out3bDeviceTest, EveryFrequencyChangeResetsThePhaseOnPhaseCoherentBuilds) {
    ASSERT_EQ(setFrequency(3000000000ull), 0);
    ASSERT_EQ(setFrequency(3500000000ull), 0);
    EXPECT_EQ(count("phaseReset"), 2);
    // After the tuning has started.
    auto async = std::find(calls.begin(), calls.end(), "setFrequencyAsync");
    auto reset = std::find(calls.begin(), calls.end(), "phaseReset");
    EXPECT_LT(async - calls.begin(), reset - calls.begin());
}

TEST_F(Out3bDeviceTest, AlcControllerModes) {
    ASSERT_EQ(Device_setAlcControllerInternal(device_), 0);
    EXPECT_EQ(count("disableDalc"), 1);
    EXPECT_EQ(Device_isAlcControllerInternal(device_), 1);
    // The FPGA loop with a digital ALC: enabled, and the frequency applied again.
    device_->current->dalcAvailable = 1;
    calls.clear();
    ASSERT_EQ(Device_setAlcControllerFpga(device_), 0);
    EXPECT_EQ(count("enableDalc"), 1);
    EXPECT_EQ(count("setFrequencySync"), 1);
    EXPECT_EQ(Device_isAlcControllerFpga(device_), 1);
    EXPECT_EQ(Device_isAlcControllerInternal(device_), 0);
    // Without one it is switched off, and with no slot at all the answer is -113.
    device_->current->dalcAvailable = 0;
    calls.clear();
    ASSERT_EQ(Device_setAlcControllerFpga(device_), 0);
    EXPECT_EQ(count("disableDalc"), 1);
    BOARD_ORBXXXG_OUT_disableDalc = &Board_fallback<OrbxxxgOutBoard *>;
    EXPECT_EQ(Device_setAlcControllerFpga(device_), KR_E_UNDEFINED_HEADER);
    EXPECT_EQ(Device_isAlcControllerFpga(device_), 1);
}

TEST_F(Out3bDeviceTest, PhaseResetModes) {
    EXPECT_EQ(out3b_phaseReset(device_, 0), 0);
    EXPECT_EQ(count("phaseReset"), 1);
}

}  // namespace

// ---- Background VCO calibration ---------------------------------------------------------------

namespace {

std::atomic<int> calibrated{0};
std::atomic<int> calibrationResult{0};
int fakeCalibration(OrbxxxgOutBoard *) {
    calibrated++;
    return calibrationResult.load();
}

bool waitNotRunning(Device *device) {
    for (int i = 0; i < 2000 && Device_isVcoCalibrationRunning(device); i++)
        usleep(1000);
    return !Device_isVcoCalibrationRunning(device);
}

TEST_F(AnalogDeviceTest, VcoCalibrationRunsEveryChannelInTheBackground) {
    BOARD_ORBXXXG_OUT_createVcoCalibration = fakeCalibration;
    calibrated = 0;
    calibrationResult = 0;
    ASSERT_EQ(Device_createVcoCalibration(device_), 0);
    ASSERT_TRUE(waitNotRunning(device_));
    EXPECT_EQ(calibrated.load(), 2);
    EXPECT_EQ(Device_isVcoCalibrationSuccessful(device_), 1);
    EXPECT_DOUBLE_EQ(Device_getVcoCalibrationCompletion(device_), 1.0);
    // A board that fails makes the whole run unsuccessful; the thread is collected on restart.
    calibrationResult = KR_E_HARDWARE_ERROR;
    ASSERT_EQ(Device_createVcoCalibration(device_), 0);
    ASSERT_TRUE(waitNotRunning(device_));
    EXPECT_EQ(Device_isVcoCalibrationSuccessful(device_), 0);
}

TEST_F(AnalogDeviceTest, ResetEndsACalibrationWaitingForTheDevice) {
    BOARD_ORBXXXG_OUT_createVcoCalibration = fakeCalibration;
    calibrated = 0;
    calibrationResult = 0;
    // The main loop holds the device: the calibration cannot get at it until the reset.
    openSynchronousDeviceAccess();
    ASSERT_EQ(Device_createVcoCalibration(device_), 0);
    EXPECT_EQ(Device_isVcoCalibrationRunning(device_), 1);
    EXPECT_EQ(Device_reset(device_), 0);
    closeSynchronousDeviceAccess();
    EXPECT_EQ(calibrated.load(), 0);
    EXPECT_EQ(Device_isVcoCalibrationRunning(device_), 0);
}

TEST_F(AnalogDeviceTest, VcoCalibrationWithoutTheBoardOperationIsUndefined) {
    BOARD_ORBXXXG_OUT_createVcoCalibration = &Board_fallback<OrbxxxgOutBoard *>;
    EXPECT_EQ(Device_createVcoCalibration(device_), KR_E_UNDEFINED_HEADER);
}

}  // namespace

// ---- Output level ----------------------------------------------------------------------------

TEST_F(AnalogDeviceTest, FirstSettingWritesEveryStageAndAmWidensTheAlcMargin) {
    // The start values (200) match no setting: the power at start-up replaced every one.
    for (uint32_t c = 0; c < device_->channelCount; c++) {
        const DeviceChannel &ch = device_->channels[c];
        EXPECT_EQ(ch.stepAttACurrent, ch.stepAttATarget) << c;
        EXPECT_EQ(ch.stepAttBCurrent, ch.stepAttBTarget) << c;
        EXPECT_FLOAT_EQ(ch.peAttCurrent, ch.peAttTarget) << c;
        EXPECT_LE(ch.dacCurrent, 16383u) << c;
    }
    // One zone with A = 30 steps and an ALC margin of 4 everywhere.
    Calibration *cal = device_->current->calibration;
    ASSERT_NE(cal, nullptr);
    Calibration_reset(cal);
    cal->powerCount = cal->frequencyCount = 2;
    cal->power[0] = -50.0f;
    cal->power[1] = 0.0f;
    cal->frequency[1] = 20000000000LL;
    for (auto &row : cal->cell)
        for (auto &cell : row)
            cell = CalibrationCell{4000, 30, 0};
    for (auto &m : cal->alcMargin)
        m = 4;
    ASSERT_EQ(Calibration_validate(cal), 0);
    KrPow p = -20.0f;
    ASSERT_EQ(Device_setPower(device_, &p), 0);
    EXPECT_EQ(device_->current->stepAttATarget, 26u);
    device_->current->rfSwitchingBits |= DEVICE_RF_SWITCHING_AM;
    ASSERT_EQ(Device_setPower(device_, &p), 0);
    EXPECT_EQ(device_->current->stepAttATarget, 18u);  // margin 12 whatever the table says
    device_->current->rfSwitchingBits &= ~DEVICE_RF_SWITCHING_AM;
}

// The blanking a frequency change takes, first match wins.
TEST(BlankModeTest, ChosenFromBlankingHoldSettlingAndTuning) {
    struct Row {
        bool pre, hold;
        double settling, tuning;
        BlankMode want;
    };
    const Row rows[] = {
        {true, true, 1e-3, 1e-3, BLANK_PRE},      {false, true, 1e-3, 1e-3, BLANK_NONE},
        {false, false, 2e-6, 1e-3, BLANK_QUICK},  {false, false, 1e-6, 2e-6, BLANK_REDUCE_HOLD},
        {false, false, 1e-6, 1e-6, BLANK_REDUCE},
    };
    for (const Row &r : rows)
        EXPECT_EQ(analog_chooseBlankMode(r.pre, r.hold, r.settling, r.tuning), r.want)
            << r.pre << r.hold << " " << r.settling << " " << r.tuning;
}
