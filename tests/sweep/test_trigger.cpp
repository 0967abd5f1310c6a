// Triggers over a channel record of its own on the simulated driver: the request values of
// sources, edges, delay and output, the key trigger, the output line against its mode, the
// FS register fields and the second initialisation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "config/device_config.h"
#include "core/krpath.h"
#include "device/device.h"
#include "hw/fs_fpga.h"
#include "hw/krspi.h"
#include "modulation/funcout.h"
#include "platform/sim/gio_record.h"
#include "platform/sim/hardware_sim.h"
#include "rtdev.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/trigger.h"
#include "tests/support/sim_device.h"

namespace {

using Values = std::vector<uint32_t>;

Trigger record;
Device *const device = nullptr;

Values sent(int request) {
    Values values;
    for (const GioRecord &r : gio_record_byRequest(request))
        values.push_back(r.argU32());
    return values;
}

class TriggerTest : public SimDeviceTest {
  protected:
    // Serial number: FS controller at position 5, option NEC at position 11.
    explicit TriggerTest(char fs = '0', char nec = '0') : serial_("0C0-000010000-0001") {
        serial_[5] = fs;
        serial_[11] = nec;
    }
    std::string serial() const override { return serial_; }
    bool initDevice() const override { return false; }
    void SetUp() override {
        SimDeviceTest::SetUp();
        if (device_config_usesOptionFs()) {
            ASSERT_EQ(FS_FPGA_init(), 0);
        }
        Device_getTriggerPtr = [](Device *) { return &record; };
        Trigger_init(device);  // the first test's registers, every test's defaults
        Funcout_init(device);  // the pulse at I/O update it forwards
        hardware_sim_waitIdle();
        gio_record_clear();
    }
    void TearDown() override {
        if (device_config_usesOptionFs()) FS_FPGA_free();
        SimDeviceTest::TearDown();
    }
    std::string serial_;
};

TEST_F(TriggerTest, DefaultsAreProgrammedThroughTheSetters) {
    record.source = TRIGGER_SOURCE_KEY;
    trigger_setDefaults(device);
    EXPECT_EQ(record.source, TRIGGER_SOURCE_IMMEDIATE);
    EXPECT_EQ(record.initiateContinuous, 1);
    EXPECT_EQ(record.outputSource, 1u);
    EXPECT_EQ(sent(KRTPT_IOC_SOURCE), Values{0});
    EXPECT_EQ(sent(KRTPT_IOC_INIT_CONT), Values{1});
    EXPECT_EQ(sent(KRTPT_IOC_SLOPE), Values{1});
    EXPECT_EQ(sent(KRTPT_IOC_TRIGOUTPUT), Values{KRTPT_OUT_OFF});
}

TEST_F(TriggerTest, OnlySourceKeyLetsTheKeyTrigger) {
    for (auto set : {Device_setTriggerSourceBus, Device_setTriggerSourceExternal,
                     Device_setTriggerSourceImmediate}) {
        ASSERT_EQ(set(device), 0);
        EXPECT_EQ(Device_triggerKey(device), KR_E_EXECUTION_ERROR);
    }
    EXPECT_EQ(gio_record_countRequest(KRTPT_IOC_TRIGGER), 0u);
    ASSERT_EQ(Device_setTriggerSourceKey(device), 0);
    EXPECT_EQ(Device_triggerKey(device), 0);
    EXPECT_EQ(gio_record_countRequest(KRTPT_IOC_TRIGGER), 1u);
    // Bus and key share the driver's software trigger.
    EXPECT_EQ(sent(KRTPT_IOC_SOURCE), (Values{1, 2, 0, 1}));
}

TEST_F(TriggerTest, EdgesSendTheFirstEdgeThenBoth) {
    struct Row {
        int (*set)(Device *);
        uint32_t first, both;
    };
    for (Row r :
         {Row{Device_setTriggerSlopePositiveNegative, 1, 1},
          Row{Device_setTriggerSlopeNegativePositive, 0, 1},
          Row{Device_setTriggerSlopeNegative, 0, 0}, Row{Device_setTriggerSlopePositive, 1, 0}}) {
        gio_record_clear();
        ASSERT_EQ(r.set(device), 0);
        Values order;
        for (const GioRecord &g : gio_record_all())
            order.insert(order.end(), {(uint32_t)g.request, g.argU32()});
        EXPECT_EQ(order, (Values{KRTPT_IOC_SLOPE, r.first, KRTPT_IOC_SLOPE_BOTH, r.both}));
    }
}

TEST_F(TriggerTest, DelayIsSentInTimerTicks) {
    KrTime us = 1e-6;
    ASSERT_EQ(Device_setTriggerDelay(device, &us), 0);
    std::vector<GioRecord> r = gio_record_byRequest(KRTPT_IOC_DELAY);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].argU64(), 132u);
    EXPECT_DOUBLE_EQ(*Device_getTriggerDelay(device), 1e-6);
}

TEST_F(TriggerTest, AHeldLineIgnoresTheModeUntilItFollowsIt) {
    ASSERT_EQ(Device_setTriggerOutputLineHigh(device), 0);
    ASSERT_EQ(Device_setTriggerOutputModeValid(device), 0);
    EXPECT_EQ(sent(KRTPT_IOC_TRIGOUTPUT), Values{KRTPT_OUT_HIGH});
    ASSERT_EQ(Device_setTriggerOutputLineTrigger(device), 0);
    EXPECT_EQ(sent(KRTPT_IOC_TRIGOUTPUT), (Values{KRTPT_OUT_HIGH, KRTPT_OUT_VALID}));
    EXPECT_EQ(Device_setTriggerOutputModeSysref(device), KR_E_HARDWARE_MISSING);
}

TEST_F(TriggerTest, PointsAtIoUpdateWithInvertedPolarity) {
    ASSERT_EQ(Device_setTriggerOutputPointSourceIoupdate(device), 0);
    EXPECT_EQ(sent(KRTPT_IOC_TRIGOUTPUT), Values{}) << "the line is off";
    ASSERT_EQ(Device_setTriggerOutputPolarityInverted(device), 0);
    ASSERT_EQ(Device_setTriggerOutputModePoint(device), 0);
    gio_record_clear();
    ASSERT_EQ(Device_setTriggerOutputLineTrigger(device), 0);
    EXPECT_EQ(sent(KRTPT_IOC_PULSE_AT_IOUPDATE), Values{3});
    EXPECT_EQ(sent(KRTPT_IOC_TRIGOUTPUT), Values{80});
    gio_record_clear();
    ASSERT_EQ(Device_setTriggerOutputPointSourceTimer(device), 0);
    EXPECT_EQ(sent(KRTPT_IOC_PULSE_AT_IOUPDATE), Values{0});
    EXPECT_EQ(sent(KRTPT_IOC_TRIGOUTPUT),
              Values{KRTPT_OUT_POINT | KRTPT_OUT_FLAG_INVERSE_POLARITY});
}

TEST_F(TriggerTest, ASecondInitRegistersNothing) {
    int (*registered)(Device *) = Device_setTriggerSourceKey;
    Device_setTriggerSourceKey = [](Device *) { return 7; };
    EXPECT_EQ(Trigger_init(device), KR_E_UNDEFINED_HEADER);
    EXPECT_EQ(Device_setTriggerSourceKey(device), 7);
    Device_setTriggerSourceKey = registered;
}

class NecTriggerTest : public TriggerTest {
  protected:
    NecTriggerTest() : TriggerTest('0', '5') {}
};

TEST_F(NecTriggerTest, PointTriggersAreRefused) {
    EXPECT_EQ(Device_setTriggerTypePoint(device), KR_E_NOT_IMPLEMENTED);
    EXPECT_EQ(record.type, TRIGGER_TYPE_NORMAL);
    EXPECT_EQ(gio_record_countRequest(KRTPT_IOC_TYPE), 0u);
}

class FsTriggerTest : public TriggerTest {
  protected:
    FsTriggerTest() : TriggerTest('A') {}
};

TEST_F(FsTriggerTest, SettingsReachTheTriggerRegisterFields) {
    KrTime us = 1e-6;
    ASSERT_EQ(Device_setTriggerSourceExternal(device), 0);
    ASSERT_EQ(Device_setTriggerSlopeNegative(device), 0);
    ASSERT_EQ(Device_setTriggerTypePoint(device), 0);
    ASSERT_EQ(Device_setTriggerOutputModeValid(device), 0);
    ASSERT_EQ(Device_setTriggerOutputPolarityInverted(device), 0);
    ASSERT_EQ(Device_setTriggerOutputSource(device, 3), 0);
    ASSERT_EQ(Device_setTriggerDelay(device, &us), 0);
    EXPECT_EQ(Device_setTriggerOutputModeGate(device), KR_E_HARDWARE_MISSING);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_fpgaRegister(7), (1u << 29) | (1u << 26) | (1u << 24) | (1u << 22) |
                                                (1u << 18) | (1u << 16) | (2u << 13));
    EXPECT_EQ(hardware_sim_fpgaRegister(8), 200u);
}

}  // namespace
