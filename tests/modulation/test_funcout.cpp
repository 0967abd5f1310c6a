// Function output and LF generator on the simulated control board: the amplitude cap and its
// DAC word, the square wave's level, routing applied once for a repeated low source, the
// frequency limits, and the user DAC refused on an older board before anything moves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/device.h"
#include "hw/ad5432_registers.h"
#include "hw/board_slaves.h"
#include "hw/krcont_registers.h"
#include "modulation/funcout.h"
#include "platform/sim/gio_record.h"
#include "platform/sim/hardware_sim.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/trigger.h"
#include "tests/support/sim_device.h"

namespace {

Trigger trigger;
Device *const device = nullptr;

class FuncoutTest : public SimDeviceTest {
  protected:
    // Control-board revision code at position 5 ('0' older than 1E, '3' 1E).
    explicit FuncoutTest(char cont = '0') : serial_("0C0-000010000-0001") { serial_[5] = cont; }
    std::string serial() const override { return serial_; }
    bool initDevice() const override { return false; }
    void SetUp() override {
        SimDeviceTest::SetUp();
        Device_getTriggerPtr = [](Device *) { return &trigger; };
        Trigger_init(device);
        ASSERT_EQ(Funcout_init(device), 0);
        hardware_sim_waitIdle();
        gio_record_clear();
    }
    bool bit(int b) {
        hardware_sim_waitIdle();
        std::vector<uint8_t> image = hardware_sim_shiftRegisterImage(BOARD_CONT_SRI);
        size_t i = (size_t)b / 8;
        return i < image.size() && (image[i] >> (b % 8) & 1);
    }
    std::string serial_;
};

TEST_F(FuncoutTest, AmplitudeIsCappedAndSquareReadsItsFixedLevel) {
    EXPECT_EQ(Device_isFuncoutSourceLfg(device), 1);
    EXPECT_EQ(Device_isFuncoutEnabled(device), 0);
    ASSERT_EQ(Device_enableFuncout(device), 0);
    ASSERT_EQ(Device_setLfgAmplitude(device, 2.0), 0);
    EXPECT_FLOAT_EQ(Device_getLfgAmplitude(device), 1.8);
    hardware_sim_waitIdle();
    EXPECT_EQ(
        hardware_sim_chipRegister(BOARD_CONT_LFG_AMP, AD5432_CTRL_LOAD_UPDATE) >> AD5432_DATA_SHIFT,
        818u);
    ASSERT_EQ(Device_setLfgAmplitude(device, -1.0), 0);
    EXPECT_EQ(Device_getLfgAmplitude(device), 0.0);
    ASSERT_EQ(Device_setLfgShapeSquare(device), 0);
    EXPECT_FLOAT_EQ(Device_getLfgAmplitude(device), 2.5);
    EXPECT_TRUE(bit(KRCONT_SRI_FUNCOUT_SEL0));
    EXPECT_TRUE(bit(KRCONT_SRI_FUNCOUT_SEL1));
    EXPECT_FALSE(bit(KRCONT_SRI_LFG_POWER_OFF));
}

TEST_F(FuncoutTest, FrequencyOutsideTheGeneratorsRangeIsRefused) {
    KrFreq low = krfreqHz(9), high = krfreqHz(5000001), ok = krfreqHz(1000);
    EXPECT_EQ(Device_setLfgFrequency(device, &low), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(Device_setLfgFrequency(device, &high), KR_E_DATA_OUT_OF_RANGE);
    ASSERT_EQ(Device_setLfgFrequency(device, &ok), 0);
    EXPECT_EQ(krfreqCompareHz(Device_getLfgFrequency(device), 1000), 0);
}

TEST_F(FuncoutTest, LowTwiceAppliesTheRoutingOnce) {
    ASSERT_EQ(Device_setFuncoutSourceLow(device), 0);
    hardware_sim_waitIdle();
    uint64_t frames = hardware_sim_chipFrames(BOARD_CONT_SRI);
    ASSERT_EQ(Device_setFuncoutSourceLow(device), 0);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_chipFrames(BOARD_CONT_SRI), frames);
    EXPECT_EQ(gio_record_countRequest(KRTPT_IOC_TRIGOUTPUT), 2u) << "the line, both times";
}

TEST_F(FuncoutTest, UserDacOnAnOlderBoardChangesNothing) {
    ASSERT_EQ(Device_setFuncoutSourceHigh(device), 0);
    gio_record_clear();
    EXPECT_EQ(Device_setFuncoutSourceDac(device), KR_E_HARDWARE_MISSING);
    EXPECT_EQ(Device_isFuncoutSourceHigh(device), 1);
    EXPECT_EQ(gio_record_countRequest(KRTPT_IOC_TRIGOUTPUT), 0u);
}

class Cont1eFuncoutTest : public FuncoutTest {
  protected:
    Cont1eFuncoutTest() : FuncoutTest('3') {}
};

TEST_F(Cont1eFuncoutTest, UserDacRoutesTheConnector) {
    ASSERT_EQ(Device_setFuncoutSourceDac(device), 0);
    ASSERT_EQ(Device_enableFuncout(device), 0);
    EXPECT_TRUE(bit(KRCONT_SRI_FUNCOUT_DAC));
    EXPECT_TRUE(bit(KRCONT_SRI_FUNCOUT_SEL1));
    EXPECT_FALSE(bit(KRCONT_SRI_FUNCOUT_SEL0));
    EXPECT_EQ(Device_setFuncoutDac(device, FUNCOUT_DAC_MAX + 1), KR_E_DATA_OUT_OF_RANGE);
    ASSERT_EQ(Device_disableFuncout(device), 0);
    EXPECT_FALSE(bit(KRCONT_SRI_FUNCOUT_DAC));
}

}  // namespace
