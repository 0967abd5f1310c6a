// The simulated output level: the 20 GHz board's chips set it through the level model, the
// controller and VCO tuning converters read it (or their stimulus files), the level stages'
// latches are traced and a change that overshoots is flagged.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <initializer_list>
#include <string>

#include "hw/ad5643_registers.h"
#include "hw/ad9910_registers.h"
#include "hw/board_slaves.h"
#include "hw/orbx20g_out_registers.h"
#include "hw/step_attenuator_registers.h"
#include "kr_generic_io.h"
#include "platform/sim_level.h"
#include "platform_test_support.h"

namespace {

constexpr SimLevelBoard kBoard = SimLevelBoard::Orbx20G;

uint32_t out0(uint32_t chip) {
    return board_outSlave(0, chip);
}

class LevelTest : public SimBlockTest {
  protected:
    const char *serial() const override { return "1C0-000B10000-0001"; }
    // Band 1 at about 3.75 GHz from a 15 GHz VCO (R 2, N2 28, N1 4), RF on, the given bits.
    void board(std::initializer_list<int> bits, int gain = 0) {
        std::vector<uint8_t> image = simtest_band1Image(2, 28, 4);
        for (int b : bits)
            image[b / 8] |= (uint8_t)(1 << (b % 8));
        image[0] |= (uint8_t)(gain << ORBX20G_OUT_BIT_GAIN_LOW);
        record(out0(BOARD_OUT_SRI), image);
    }
    void tone() {
        auto frame = [](uint8_t reg, uint64_t value, int n) {
            std::vector<uint8_t> d(n + 1);
            for (int i = 0; i < n; i++)
                d[i] = (uint8_t)(value >> (8 * i));
            d[n] = reg;
            return d;
        };
        record(out0(BOARD_OUT_DDS), frame(AD9910_REG_CFR3, AD9910_CFR3_INITIAL, 4));
        record(out0(BOARD_OUT_DDS), frame(AD9910_REG_PROFILE0, 0x12345678, 8));
    }
    void dac(uint32_t code) {
        uint32_t w = ad5643_word(AD5643_CMD_WRITE_UPDATE, AD5643_ADDR_A, code << AD5643_DATA_SHIFT);
        wireFrame(out0(BOARD_OUT_ALC_DAC), {(uint8_t)(w >> 16), (uint8_t)(w >> 8), (uint8_t)w});
    }
    void att(uint32_t chip, const StepAttenuatorPart &part, double db) {
        wireFrame(out0(chip), {stepAtt_word(part, (uint32_t)std::lround(db / part.stepDb))});
    }
    void opcode(uint32_t address, uint32_t options = 0) {
        KrIoBlockRecordHeader h = {address, 0, options};
        size_t at = block.size();
        block.resize(at + kr_ioblock_recordSize(0), 0);
        memcpy(block.data() + at, &h, sizeof(h));
    }
    // Longer than a level change may take, in hardware time (the test runs at scale 0).
    void pause() {
        opcode(KR_IO_ADDR_DELAY_US, 30000);
        send();
    }
    double f() { return (double)hardware_sim_channel(0).frequency.integer; }
    double loop(uint32_t code) { return simlevel_loopPointDbm(kBoard, f(), code, 0); }
    void stimulus(const char *name, const char *text) {
        std::string path = root + "/sim/" + name;
        if (text)
            std::ofstream(path) << text;
        else
            unlink(path.c_str());
    }
    std::string state() { return hardware_sim_stateJson(); }
};

TEST_F(LevelTest, LoopLevelsThroughTheAttenuatorsAndReadsMidRange) {
    tone();
    board({ORBX20G_OUT_BIT_ALC_ENABLE});
    dac(8000);
    att(BOARD_OUT_ATT_A, STEP_ATT_HMC624, 10);
    att(BOARD_OUT_ATT_B, STEP_ATT_HMC624, 5.5);
    send();
    SimChannelState s = hardware_sim_channel(0);
    ASSERT_TRUE(s.outputOn);
    EXPECT_TRUE(s.levelled);
    EXPECT_NEAR(s.outputDbm, loop(8000) - 15.5, 1e-9);
    EXPECT_GT(s.controllerCode >> 2, 2000u);
    EXPECT_LT(s.controllerCode >> 2, 14000u);
    EXPECT_GT(s.vcoCode, 4000u);  // 15 GHz inside the tuning range
    EXPECT_LT(s.vcoCode, 12000u);
    char text[64];
    snprintf(text, sizeof(text), "\"output_dbm\": %.2f, \"levelled\": true", s.outputDbm);
    EXPECT_NE(state().find(text), std::string::npos) << state();
    // The loop attenuator raises the loop point; the attenuators act at their latch.
    att(BOARD_OUT_ATT_LOOP, STEP_ATT_HMC1018, 10);
    att(BOARD_OUT_ATT_A, STEP_ATT_HMC624, 0);
    send();
    EXPECT_NEAR(hardware_sim_channel(0).outputDbm, loop(8000) + 10 - 5.5, 1e-9);
    // Stimulus files force the readings until they are removed.
    stimulus("alc-adc-0", "1234\n");
    stimulus("vco-adc-0", "77\n");
    EXPECT_NE(state().find("\"alc_adc\": 1234, \"vco_adc\": 77"), std::string::npos);
    stimulus("alc-adc-0", nullptr);
    stimulus("vco-adc-0", nullptr);
    snprintf(text, sizeof(text), "\"alc_adc\": %u, \"vco_adc\": %u",
             hardware_sim_channel(0).controllerCode >> 2, s.vcoCode);
    EXPECT_NE(state().find(text), std::string::npos) << state();
    EXPECT_TRUE(hardware_sim_violations().empty());
}

TEST_F(LevelTest, RailsOpenLoopHoldAndMute) {
    tone();
    board({ORBX20G_OUT_BIT_ALC_ENABLE}, 3);  // the loop point lies below the modulator
    dac(0);
    send();
    const double top = simlevel_openLoopDbm(kBoard, f(), 0);
    SimChannelState s = hardware_sim_channel(0);
    EXPECT_FALSE(s.levelled);
    EXPECT_EQ(s.controllerCode, 0u);
    EXPECT_NEAR(s.outputDbm, top + 18 - SIMLEVEL_MODULATOR_RANGE_DB, 1e-9);
    board({ORBX20G_OUT_BIT_ALC_ENABLE});  // and above the open-loop power
    dac(SIMLEVEL_DAC_MAX);
    att(BOARD_OUT_ATT_LOOP, STEP_ATT_HMC1018, 31);
    send();
    s = hardware_sim_channel(0);
    EXPECT_FALSE(s.levelled);
    EXPECT_EQ(s.controllerCode, SIMLEVEL_CONTROLLER_RAIL);
    EXPECT_NEAR(s.outputDbm, top, 1e-9);
    board({});  // open loop: the DAC drives the modulator
    dac(8192);
    att(BOARD_OUT_ATT_LOOP, STEP_ATT_HMC1018, 0);
    send();
    EXPECT_NEAR(hardware_sim_channel(0).outputDbm,
                top - SIMLEVEL_MODULATOR_RANGE_DB * (1 - 8192.0 / SIMLEVEL_DAC_MAX), 1e-9);
    board({ORBX20G_OUT_BIT_ALC_ENABLE});
    dac(8000);
    send();
    const double held = hardware_sim_channel(0).outputDbm;
    board({ORBX20G_OUT_BIT_ALC_ENABLE, ORBX20G_OUT_BIT_ALC_HOLD});
    send();
    dac(12000);  // frozen: the set point no longer acts, the attenuators still do
    att(BOARD_OUT_ATT_A, STEP_ATT_HMC624, 3);
    send();
    EXPECT_NEAR(hardware_sim_channel(0).outputDbm, held - 3, 1e-9);
    board({ORBX20G_OUT_BIT_ALC_ENABLE, ORBX20G_OUT_BIT_ALC_RF_MUTE});
    send();
    EXPECT_FALSE(hardware_sim_channel(0).outputOn);
    EXPECT_NE(state().find("\"output_dbm\": null, \"levelled\": false"), std::string::npos);
}

// Lowering before raising keeps a change inside its end levels; the other order overshoots.
TEST_F(LevelTest, LatchesAreTracedAndOvershootsFlagged) {
    tone();
    board({ORBX20G_OUT_BIT_ALC_ENABLE});
    dac(10520);
    att(BOARD_OUT_ATT_A, STEP_ATT_HMC624, 20);
    send();
    pause();
    hardware_sim_clearLevelTrace();
    const uint64_t before = hardware_sim_ioupdates();
    dac(8000);  // the set point 9.7 dB down first
    opcode(KR_IO_ADDR_IOUPD);
    att(BOARD_OUT_ATT_A, STEP_ATT_HMC624, 10);
    send();
    pause();
    EXPECT_EQ(hardware_sim_levelViolations(0), 0u);
    std::vector<SimLevelLatch> trace = hardware_sim_levelTrace(0);
    ASSERT_EQ(trace.size(), 2u);
    EXPECT_STREQ(trace[0].stage, "alc_dac");
    EXPECT_EQ(trace[0].value, 8000);
    EXPECT_EQ(trace[0].ioupdate, before);
    EXPECT_STREQ(trace[1].stage, "att_a");
    EXPECT_EQ(trace[1].value, 10);
    EXPECT_EQ(trace[1].ioupdate, before + 1);
    att(BOARD_OUT_ATT_A, STEP_ATT_HMC624, 0);  // 10 dB up before the set point comes down
    dac(5480);
    send();
    pause();
    EXPECT_EQ(hardware_sim_levelViolations(0), 1u);
    EXPECT_NE(state().find("\"level_violations\": 1"), std::string::npos);
    bool logged = false;
    for (const std::string &line : hardware_sim_logTail(20))
        logged = logged || line.find("ch1 LEVEL OVERSHOOT = ") != std::string::npos;
    EXPECT_TRUE(logged);
    EXPECT_TRUE(hardware_sim_violations().empty());  // not a protocol violation
}

}  // namespace
