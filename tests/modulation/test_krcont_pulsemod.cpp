// Pulse modulation on the simulated hardware of both controllers: width and period keeping
// each other consistent, the standard divider search and its driver record, the bit pattern's
// limits and window, pause nesting, and on the FS controller the register contents and a
// pulse train as the FPGA's sweep engine holds it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "device/device.h"
#include "hw/fs_fpga_registers.h"
#include "kr_generic_io.h"
#include "modulation/krcont_pulsemod.h"
#include "platform/sim/gio_record.h"
#include "platform/sim/hardware_sim.h"
#include "platform/sim_fpga.h"
#include "scpi/scpi_errorcodes.h"
#include "tests/support/sim_device.h"

namespace {

class PulsemodTest : public SimDeviceTest {
  protected:
    void SetUp() override {
        SimDeviceTest::SetUp();
        gio_record_clear();
    }
    int setTime(int (*set)(Device *, const KrTime *), double t) { return set(device_, &t); }
    double period() { return *Device_getPulmInternalPeriod(device_); }
    double width() { return *Device_getPulmInternalPulseWidth(device_); }
    std::string pattern() {
        char text[600];
        Device_getPulmBitstream(device_, text, sizeof text);
        return text;
    }
    // The last internal configuration the driver was given.
    KrGioPulmInternal lastInternal() {
        KrGioPulmInternal c{};
        auto records = gio_record_byRequest(KRPULM_IOC_SET_INTERNAL);
        if (!records.empty()) memcpy(&c, records.back().arg, sizeof c);
        return c;
    }
};

TEST_F(PulsemodTest, WidthAndPeriodFollowEachOtherAndTheDividerFitsTheCounter) {
    ASSERT_EQ(setTime(Device_setPulmInternalPeriod, 1e-3), 0);
    ASSERT_EQ(setTime(Device_setPulmInternalPulseWidth, 2e-3), 0);
    EXPECT_NEAR(period(), 2e-3, 1e-9);
    ASSERT_EQ(setTime(Device_setPulmInternalPeriod, 1e-3), 0);
    EXPECT_NEAR(width(), 1e-3, 1e-9);

    ASSERT_EQ(Device_enablePulm(device_), 0);
    setTime(Device_setPulmInternalPeriod, 1.0);
    setTime(Device_setPulmInternalPulseWidth, 0.5);
    KrGioPulmInternal c = lastInternal();
    EXPECT_EQ(c.divider, 2u);
    EXPECT_EQ(c.ones, 16512000u);
    EXPECT_EQ(c.zeroes, 16512000u);
    setTime(Device_setPulmInternalPeriod, 2.0);
    setTime(Device_setPulmInternalPulseWidth, 1.0);
    c = lastInternal();
    EXPECT_EQ(c.divider, 4u);
    EXPECT_EQ(c.ones, 16512000u);
    EXPECT_EQ(c.zeroes, 16512000u);
    EXPECT_DOUBLE_EQ(krfreqToDouble(Device_getPulmInternalFrequency(device_)), 0.5);
    // Out of range: refused, nothing changes.
    EXPECT_EQ(setTime(Device_setPulmInternalPeriod, 0), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_NEAR(period(), 2.0, 1e-9);
}

TEST_F(PulsemodTest, BitPatternLimitsAndWindow) {
    ASSERT_EQ(Device_setPulmBitstream(device_, "a5"), 0);
    EXPECT_EQ(pattern(), "A5");
    EXPECT_EQ(Device_setPulmBitstream(device_, std::string(513, 'F').c_str()), KR_E_TOO_MUCH_DATA);
    EXPECT_EQ(pattern(), "A5");
    EXPECT_EQ(Device_setPulmBitstream(device_, "12X45"), KR_E_ILLEGAL_PARAMETER_VALUE);
    EXPECT_EQ(pattern(), "12");
    ASSERT_EQ(Device_setPulmBitstream(device_, "FFFF"), 0);
    ASSERT_EQ(Device_setPulmBitstreamStartbit(device_, 100), 0);
    EXPECT_EQ(Device_getPulmBitstreamStartbit(device_), 14u);
    EXPECT_EQ(Device_getPulmBitstreamBits(device_), 2u);
    // An empty pattern keeps the window empty instead of wrapping around.
    ASSERT_EQ(Device_setPulmBitstream(device_, ""), 0);
    ASSERT_EQ(Device_setPulmBitstreamStartbit(device_, 5), 0);
    EXPECT_EQ(Device_getPulmBitstreamStartbit(device_), 0u);
    EXPECT_EQ(Device_getPulmBitstreamBits(device_), 0u);
    EXPECT_EQ(Device_setPulmBitstreamRate(device_, 0), KR_E_DATA_OUT_OF_RANGE);
    KrTime zero = 0;
    EXPECT_EQ(Device_setPulmBitstreamTime(device_, &zero), KR_E_DATA_OUT_OF_RANGE);
}

TEST_F(PulsemodTest, PausesNestAndAnUnpairedResumeChangesNothing) {
    ASSERT_EQ(Device_enablePulm(device_), 0);
    Device_pausePulm(device_);
    Device_pausePulm(device_);
    Device_resumePulm(device_);
    EXPECT_EQ(Device_isPulmEnabled(device_), 0);
    Device_resumePulm(device_);
    EXPECT_EQ(Device_isPulmEnabled(device_), 1);
    Device_resumePulm(device_);
    EXPECT_EQ(Device_isPulmEnabled(device_), 1);
    // and the next pause still takes effect.
    Device_pausePulm(device_);
    EXPECT_EQ(Device_isPulmEnabled(device_), 0);
}

class FsPulsemodTest : public PulsemodTest {
  protected:
    // FS controller with the pulse-train option.
    std::string serial() const override { return "110-0B0B10000-0001"; }
};

TEST_F(FsPulsemodTest, RegistersAndATrainOnTheSweepEngine) {
    setTime(Device_setPulmInternalPeriod, 100e-6);
    setTime(Device_setPulmInternalPulseWidth, 1e-6);
    ASSERT_EQ(Device_setPulmPolarityInverted(device_), 0);
    ASSERT_EQ(Device_enablePulm(device_), 0);
    uint64_t times = simfpga_register(fs_regPulmTimes(0));
    EXPECT_EQ(times & 0xFFFFFFFF, 200u);
    EXPECT_EQ(times >> 32, 19800u);
    uint64_t control = simfpga_register(fs_regPulmControl(0));
    EXPECT_TRUE(control >> FS_PULM_ENABLE & 1);
    EXPECT_TRUE(control >> FS_PULM_INVERTED & 1);

    // Pulse 3 brings pulse 2 with it; the train replaces the single pulse.
    ASSERT_EQ(Device_enablePulse3(device_), 0);
    EXPECT_EQ(Device_isPulse2Enabled(device_), 1);
    control = simfpga_register(fs_regPulmControl(0));
    EXPECT_FALSE(control >> FS_PULM_ENABLE & 1);
    EXPECT_TRUE(control >> FS_PULM_TRAIN & 1);
    uint64_t entries[8];
    // The programme goes the buffered way: its loop closes a moment later.
    for (int i = 0; i < 200 && !simfpga_isLooping(0); i++)
        usleep(10000);
    ASSERT_EQ(simfpga_loopSweepTimers(0, entries, 8), 3);
    // {pulse, following gap} in 200 MHz counts: 1 us, then pulse 2 at 20.3 us, pulse 3 at 35.3.
    EXPECT_EQ(entries[0] & 0xFFFFFFFF, 200u);
    EXPECT_NEAR((double)(entries[0] >> 32), 3860, 1);
    EXPECT_EQ(entries[1] & 0xFFFFFFFF, 90u);
    EXPECT_NEAR((double)(entries[1] >> 32), 2910, 1);

    // Continuous immediate trigger: the train loops; a bus trigger makes it wait for one.
    EXPECT_EQ(simfpga_register(fs_regSweepControl(0)) & 0xFFFF, 0u);
    ASSERT_EQ(Device_setTriggerSourceBus(device_), 0);
    EXPECT_EQ(simfpga_register(fs_regSweepControl(0)) & 0xFFFF, 1u);
    ASSERT_EQ(Device_setTriggerSourceImmediate(device_), 0);

    ASSERT_EQ(Device_disablePulse2(device_), 0);
    ASSERT_EQ(Device_disablePulse3(device_), 0);
    control = simfpga_register(fs_regPulmControl(0));
    EXPECT_TRUE(control >> FS_PULM_ENABLE & 1);
    EXPECT_FALSE(control >> FS_PULM_TRAIN & 1);

    ASSERT_EQ(Device_setPulmBitstream(device_, "C3"), 0);
    ASSERT_EQ(Device_setPulmBitstreamStartbit(device_, 2), 0);
    uint8_t ram[1];
    simfpga_readRam(FS_RAM_PULM_PATTERN, ram, 1);
    EXPECT_EQ(ram[0], 0x0C);  // 0xC3 without its first two bits
    EXPECT_EQ(simfpga_register(FS_REG_PULM_BITS) & 0xFFF, 6u);
}

}  // namespace
