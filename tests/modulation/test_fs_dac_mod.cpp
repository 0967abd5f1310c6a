// DAC modulation on the simulated 40 GHz board of an FS controller: the table-length rule,
// the ADC scaling's gain ranges and saturation, the modulation register's fields, the setter
// restart rules and the nesting of pauses.
#include <gtest/gtest.h>

#include "device/device.h"
#include "hw/fs_fpga_registers.h"
#include "modulation/fs_dac_mod.h"
#include "platform/sim/hardware_sim.h"
#include "platform/sim_fpga.h"
#include "scpi/scpi_errorcodes.h"
#include "scpi/scpi_status.h"
#include "tests/support/sim_device.h"

namespace {

TEST(FsDacModTable, SpansWholePeriodsUntilItHoldsTheMinimum) {
    double duration, rate;
    uint32_t n;
    // 100 kHz at 1.81 us: 512 periods.
    ASSERT_EQ(fs_dac_mod_findClosestFm(1 / 1.81e-6, 1e5, 2000, &duration, &rate, &n), 0);
    EXPECT_EQ(n, 2829u);
    EXPECT_NEAR(duration, 2829 * 1.81e-6, 1e-12);
    EXPECT_NEAR(rate * duration, 512.0, 1e-9);  // whole periods
    // 400 Hz: two periods; 0.01 Hz asks for far more samples than a table holds.
    fs_dac_mod_findClosestFm(1 / 1.81e-6, 400, 2000, &duration, &rate, &n);
    EXPECT_EQ(n, 2762u);
    fs_dac_mod_findClosestFm(1 / 1.81e-6, 0.01, 2000, &duration, &rate, &n);
    EXPECT_GE(n, FS_DAC_MOD_MAX_SAMPLES);
    EXPECT_EQ(fs_dac_mod_findClosestFm(1 / 1.81e-6, 0, 2000, &duration, &rate, &n),
              KR_E_DATA_OUT_OF_RANGE);
}

TEST(FsDacModScaling, GainRangesAndSaturation) {
    const double limit = 66437775.36;
    struct Case {
        double x;
        uint32_t gain, factor;
    } cases[] = {{1.0, 0, 65536},
                 {limit / 65536 * 1.01, 1, (uint32_t)(limit / 65536 * 1.01 * 256)},
                 {limit / 2, 2, (uint32_t)(limit / 2)},
                 {limit * 100, 3, (uint32_t)(limit * 100 / 256)}};
    for (const Case &c : cases) {
        uint32_t gain, factor;
        EXPECT_EQ(fs_dac_mod_calculateFactorGainReg(c.x, &gain, &factor), 0) << c.x;
        EXPECT_EQ(gain, c.gain) << c.x;
        EXPECT_EQ(factor, c.factor) << c.x;
    }
    uint32_t gain, factor;
    EXPECT_EQ(fs_dac_mod_calculateFactorGainReg(1e30, &gain, &factor), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(factor, (1u << 26) - 1);
}

TEST(FsDacModScaling, RegisterFields) {
    uint64_t r = fs_dac_mod_modulationRegister(2, 0x3FFFFFF, 1, 0xDEADBEEF);
    EXPECT_EQ(r & 3, 3u);
    EXPECT_EQ((r >> 2) & 3, 2u);
    EXPECT_EQ((r >> 4) & 3, 1u);
    EXPECT_EQ((r >> 6) & 0x3FFFFFF, 0x3FFFFFFu);
    EXPECT_EQ(r >> 32, 0xDEADBEEFu);
    EXPECT_EQ(fs_dac_mod_adcLimitsField(65535, 0), 63u * 64);
    EXPECT_EQ(fs_dac_mod_adcLimitsField(1024, 512), 4u * 64 + 2);
}

class FsDacModDevice : public SimDeviceTest {
  protected:
    std::string serial() const override { return "1E0-0B0L1000B-0008"; }
    FsDacMod *mod() { return Device_getFsDacMod(device_, 0); }
    int setFreq(int (*set)(Device *, const KrFreq *), int64_t hz) {
        KrFreq f = krfreqHz(hz);
        return set(device_, &f);
    }
};

TEST_F(FsDacModDevice, SettersRestartOnlyWhatTheyBelongTo) {
    ASSERT_NE(mod(), nullptr);
    EXPECT_EQ(mod()->fmDeviation, 1000);
    EXPECT_EQ(mod()->fmCenter, 5.0);
    // The center of an internal FM is only stored.
    ASSERT_EQ(Device_enableFm(device_), 0);
    ASSERT_TRUE(simfpga_waitIdle(30));
    EXPECT_TRUE(simfpga_isLooping(0));
    EXPECT_EQ(Device_setFmCenter(device_, 2.0), 0);
    EXPECT_EQ(mod()->fmCenter, 2.0);
    EXPECT_EQ(Device_setFmCenter(device_, 9.5), KR_E_DATA_OUT_OF_RANGE);
    // A deviation setter restarts the running FM; PM cannot join it.
    EXPECT_EQ(setFreq(Device_setFmDeviation, 5000), 0);
    EXPECT_EQ(Device_isFmEnabled(device_), 1);
    EXPECT_EQ(Device_enablePm(device_), KR_E_SETTINGS_CONFLICT);
    EXPECT_EQ(Device_isPmEnabled(device_), 0);
    ASSERT_EQ(Device_disableFm(device_), 0);
    ASSERT_TRUE(simfpga_waitIdle(30));
    EXPECT_FALSE(simfpga_isLooping(0));
}

TEST_F(FsDacModDevice, ExternalSourcesProgramTheAdcAndTheModulationRegister) {
    auto adcMode = [] { return (simfpga_register(FS_REG_CONTROL) >> FS_CONTROL_ADC_MODE_LOW) & 3; };
    ASSERT_EQ(Device_setFmSourceExternal(device_), 0);
    ASSERT_EQ(Device_setFmCouplingDc(device_), 0);
    ASSERT_EQ(Device_enableFm(device_), 0);
    uint64_t r = simfpga_register(fs_regModulation(0));
    EXPECT_EQ(r & 3, 3u);
    EXPECT_EQ((r >> FS_MOD_KIND_LOW) & 3, FS_MOD_KIND_FREQUENCY);
    EXPECT_EQ(adcMode(), FS_ADC_MODE_DC);
    // The center moves the ADC's zero: a DC-coupled FM restarts with a new offset.
    ASSERT_EQ(Device_setFmCenter(device_, 0.0), 0);
    EXPECT_GT(simfpga_register(fs_regModulation(0)) >> 32, r >> 32);
    ASSERT_EQ(Device_disableFm(device_), 0);
    EXPECT_EQ(simfpga_register(fs_regModulation(0)), 0u);
    ASSERT_EQ(Device_enableFsk(device_), 0);
    EXPECT_EQ(adcMode(), FS_ADC_MODE_BINARY);
    ASSERT_EQ(Device_disableFsk(device_), 0);
}

TEST_F(FsDacModDevice, PausesNest) {
    ASSERT_EQ(Device_enableFm(device_), 0);
    ASSERT_EQ(fs_dac_mod_pause(device_, 0), 0);
    ASSERT_EQ(fs_dac_mod_pause(device_, 0), 0);
    EXPECT_EQ(Device_isFmEnabled(device_), 0);
    EXPECT_EQ(mod()->fmPauseCount, 2);
    ASSERT_EQ(fs_dac_mod_resume(device_, 0), 0);
    EXPECT_EQ(Device_isFmEnabled(device_), 0);
    ASSERT_EQ(fs_dac_mod_resume(device_, 0), 0);
    EXPECT_EQ(Device_isFmEnabled(device_), 1);
    // A resume with nothing paused changes nothing.
    ASSERT_EQ(fs_dac_mod_resume(device_, 0), 0);
    EXPECT_EQ(Device_isFmEnabled(device_), 1);
    Device_disableFm(device_);
}

TEST_F(FsDacModDevice, PhaseTablesDescribeTheSameModulationAndFlagLargeSteps) {
    ASSERT_EQ(togglePowFtw(device_, 0), 0);
    ASSERT_EQ(setFreq(Device_setPmInternalFrequency, 1000), 0);
    ASSERT_EQ(Device_enablePm(device_), 0);
    ASSERT_TRUE(simfpga_waitIdle(30));
    std::string state = simhw_stateJson();
    EXPECT_NE(state.find("\"kind\": \"pm\", \"source\": \"internal\", \"deviation_rad\": 1,"),
              std::string::npos)
        << state;
    const uint16_t questionableModulation = 1u << 7;
    DeviceStatusRegisters *regs = Device_getStatusRegisters(device_);
    EXPECT_FALSE(regs->questionable.condition & questionableModulation);
    // 1000 rad at 1 kHz steps the NCO by far more than pi / 6 per sample.
    KrAngle a = 1000;
    ASSERT_EQ(Device_setPmDeviation(device_, &a), 0);
    EXPECT_TRUE(regs->questionable.condition & questionableModulation);
    a = 1;
    ASSERT_EQ(Device_setPmDeviation(device_, &a), 0);
    EXPECT_FALSE(regs->questionable.condition & questionableModulation);
    Device_disablePm(device_);
}

}  // namespace
