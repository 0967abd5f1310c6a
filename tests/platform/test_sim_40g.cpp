// The simulated 40 GHz output board: the AD9164 emulator on its own (buffered tuning word and
// phase, the load bit, reads, malformed frames) and the board's observable state decoded from
// raw shift-register and DAC frames on a 40 GHz instrument.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "hw/ad9164_registers.h"
#include "hw/board_slaves.h"
#include "hw/orbx40g_out_registers.h"
#include "platform/sim/hardware_sim.h"
#include "platform/sim/int128.h"
#include "platform/sim_ad9164.h"
#include "platform_test_support.h"

namespace {

using u128 = kr_u128;

const uint64_t CLOCK = ORBX40G_OUT_DAC_CLOCK_HZ;

// A write frame as it goes over the wire: instruction, then data from the addressed byte down.
std::vector<uint8_t> writeFrame(uint16_t address, uint64_t value, int bytes) {
    return simtest_writeFrame(address, value, bytes);
}

std::vector<uint8_t> load() {
    return writeFrame(AD9164_REG_NCO_UPDATE, 1, 1);
}

KrFreq expectedOutput(uint64_t ftw) {
    return simtest_wordOutput(CLOCK, ftw);
}

class SimAd9164Test : public SimChipTest<SimAd9164> {
  protected:
    SimAd9164Test() : SimChipTest(0, board_outSlave(0, BOARD_OUT_RFDAC), CLOCK) {}
};

struct NcoRow {
    const char *name;
    std::vector<std::vector<uint8_t>> frames;
    uint64_t ftw;
    uint16_t phase;
    bool pending;
};

class SimAd9164NcoTest : public SimAd9164Test, public ::testing::WithParamInterface<NcoRow> {};

TEST_P(SimAd9164NcoTest, WordAndPhaseTakeEffectAtTheLoadBit) {
    for (const auto &f : GetParam().frames)
        frame(f);
    EXPECT_EQ(chip.ftw(), GetParam().ftw);
    EXPECT_EQ(chip.phaseWord(), GetParam().phase);
    EXPECT_EQ(chip.pending(), GetParam().pending);
    KrFreq out = chip.output(), want = expectedOutput(GetParam().ftw);
    EXPECT_EQ(out.integer, want.integer);
    EXPECT_EQ(out.fraction, want.fraction);
    EXPECT_TRUE(hardware_sim_violations().empty());
}

const uint64_t HALF = 1ull << 47;

INSTANTIATE_TEST_SUITE_P(
    Rows, SimAd9164NcoTest,
    ::testing::Values(
        NcoRow{"WordWithoutLoad", {writeFrame(AD9164_REG_NCO_FTW_HIGH, HALF, 6)}, 0, 0, true},
        NcoRow{
            "WordThenLoad", {writeFrame(AD9164_REG_NCO_FTW_HIGH, HALF, 6), load()}, HALF, 0, false},
        NcoRow{"SmallestStep", {writeFrame(AD9164_REG_NCO_FTW_HIGH, 1, 6), load()}, 1, 0, false},
        NcoRow{"AllOnes",
               {writeFrame(AD9164_REG_NCO_FTW_HIGH, 0xFFFFFFFFFFFFull, 6), load()},
               0xFFFFFFFFFFFFull,
               0,
               false},
        NcoRow{
            "LoadBitClear",
            {writeFrame(AD9164_REG_NCO_FTW_HIGH, HALF, 6), writeFrame(AD9164_REG_NCO_UPDATE, 0, 1)},
            0,
            0,
            true},
        NcoRow{"WordAndLoadInOneFrame",
               {writeFrame(AD9164_REG_NCO_FTW_HIGH, (0x123456789ABCull << 8) | 1, 7)},
               0x123456789ABCull,
               0,
               false},
        NcoRow{
            "PhaseWaitsForTheLoad", {writeFrame(AD9164_REG_NCO_PHASE_HIGH, 0x4000, 2)}, 0, 0, true},
        NcoRow{"PhaseLoaded",
               {writeFrame(AD9164_REG_NCO_PHASE_HIGH, 0x4000, 2), load()},
               0,
               0x4000,
               false},
        NcoRow{"LowWordBytesOnly",
               {writeFrame(AD9164_REG_NCO_FTW_HIGH, HALF, 6),
                writeFrame(AD9164_REG_NCO_FTW_LOW + 1, 0x0102, 2), load()},
               HALF | 0x0102,
               0,
               false}),
    [](const ::testing::TestParamInfo<NcoRow> &i) { return std::string(i.param.name); });

TEST_F(SimAd9164Test, ReadsReturnRegistersAndSynchronisedLanes) {
    frame(writeFrame(AD9164_REG_DATAPATH, AD9164_DATAPATH_NCO, 1));
    EXPECT_TRUE(chip.ncoEnabled());
    std::vector<uint8_t> miso = frame(
        {(uint8_t)((AD9164_READ | AD9164_REG_DATAPATH) >> 8), (uint8_t)AD9164_REG_DATAPATH, 0});
    EXPECT_EQ(miso[2], AD9164_DATAPATH_NCO);
    miso = frame({(uint8_t)((AD9164_READ | AD9164_REG_JESD_STATUS) >> 8),
                  (uint8_t)AD9164_REG_JESD_STATUS, 0});
    EXPECT_EQ(miso[2], 0xFF);
    // A read leaves the registers alone.
    EXPECT_EQ(chip.reg(AD9164_REG_JESD_STATUS, 7), 7u);
    chip.reset();
    EXPECT_FALSE(chip.ncoEnabled());
    EXPECT_TRUE(hardware_sim_violations().empty());
}

TEST_F(SimAd9164Test, FramesWithoutInstructionOrDataAreFlagged) {
    frame({0x01});
    frame(writeFrame(AD9164_REG_NCO_UPDATE, 0, 0));
    EXPECT_EQ(hardware_sim_violations().size(), 2u);
    EXPECT_EQ(chip.ftw(), 0u);
}

// ---------------------------------------------------------------------------------------
// The board on a 40 GHz instrument

class Sim40gBoardTest : public SimBlockTest {
  protected:
    const char *serial() const override { return "1E0-000L20000-0003"; }  // two channels
    void dacFrame(int channel, std::vector<uint8_t> wire) {
        wireFrame(board_outSlave(channel, BOARD_OUT_RFDAC), std::move(wire));
    }
};

struct PathRow {
    std::vector<int> bits;
    const char *path;
    uint32_t n1, r, multiplier;
    bool valid;
};

TEST_F(Sim40gBoardTest, PathBitsAndDividersGiveTheSynthesizedFrequency) {
    const uint64_t ftw = 0x4A5B6C7D8E9Full;
    const PathRow rows[] = {
        {{ORBX40G_OUT_BIT_PATH_DIRECT}, "direct", 3, 5, 1, true},
        {{ORBX40G_OUT_BIT_PATH_PLL}, "pll", 3, 5, 1, true},
        {{ORBX40G_OUT_BIT_PATH_PLL, ORBX40G_OUT_BIT_PATH_DOUBLER}, "doubler", 3, 5, 2, true},
        {{ORBX40G_OUT_BIT_PATH_DIRECT, ORBX40G_OUT_BIT_PATH_PLL}, "unknown", 3, 5, 1, false},
        {{ORBX40G_OUT_BIT_PATH_PLL}, "pll", 0, 5, 1, false},  // no divider set
    };
    dacFrame(1, writeFrame(AD9164_REG_DATAPATH, AD9164_DATAPATH_NCO, 1));
    dacFrame(1, writeFrame(AD9164_REG_NCO_FTW_HIGH, ftw, 6));
    dacFrame(1, load());
    for (const PathRow &row : rows) {
        std::vector<uint8_t> image(ORBX40G_OUT_SRI_BYTES, 0);
        for (int b : row.bits)
            image[b / 8] |= (uint8_t)(1 << (b % 8));
        image[ORBX40G_OUT_BIT_RF_ENABLE / 8] |= 1 << ORBX40G_OUT_BIT_RF_ENABLE;
        image[ORBX40G_OUT_BIT_N1 / 8] = (uint8_t)row.n1;
        image[ORBX40G_OUT_BIT_R / 8] = (uint8_t)row.r;
        record(board_outSlave(1, BOARD_OUT_SRI), image);
        send();
        SimChannelState st = hardware_sim_channel(1);
        EXPECT_TRUE(st.board40g);
        EXPECT_STREQ(st.path, row.path);
        EXPECT_EQ(st.multiplier, row.multiplier) << row.path;
        EXPECT_STREQ(st.rf, "on");
        KrFreq dac = expectedOutput(ftw);
        EXPECT_EQ(st.ddsFrequency.integer, dac.integer);
        EXPECT_EQ(st.ddsFrequency.fraction, dac.fraction);
        ASSERT_EQ(st.frequencyValid, row.valid) << row.path;
        if (!row.valid) continue;
        u128 q = ((u128)(uint64_t)dac.integer << 64) | dac.fraction;
        if (std::string(row.path) != "direct") q = q * row.r / row.n1 * row.multiplier;
        EXPECT_EQ((uint64_t)st.frequency.integer, (uint64_t)(q >> 64)) << row.path;
        EXPECT_EQ(st.frequency.fraction, (uint64_t)q) << row.path;
    }
    EXPECT_TRUE(hardware_sim_violations().empty());
}

TEST_F(Sim40gBoardTest, StateFileMarksTheBoardAndTheDdsSlotIsEmpty) {
    std::vector<uint8_t> image(ORBX40G_OUT_SRI_BYTES, 0);
    image[0] = (1 << ORBX40G_OUT_BIT_RF_ENABLE) | (1 << ORBX40G_OUT_BIT_ALC_ENABLE) |
               (1 << ORBX40G_OUT_BIT_ALC_RF_MUTE) | (1 << ORBX40G_OUT_BIT_PATH_PLL) |
               (1 << ORBX40G_OUT_BIT_PATH_DOUBLER);
    record(board_outSlave(0, BOARD_OUT_SRI), image);
    send();
    SimChannelState st = hardware_sim_channel(0);
    EXPECT_STREQ(st.rf, "off");  // the NCO is not on yet
    dacFrame(0, writeFrame(AD9164_REG_DATAPATH, AD9164_DATAPATH_NCO, 1));
    send();
    st = hardware_sim_channel(0);
    EXPECT_STREQ(st.rf, "muted");  // by the level loop
    EXPECT_TRUE(st.alcEnabled);
    std::string json = hardware_sim_stateJson();
    EXPECT_NE(json.find("\"path\": \"doubler\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"board\": \"40g\", \"multiplier\": 2, \"alc\": true"), std::string::npos)
        << json;
    // No AD9910 on this board: a frame there reaches no chip.
    record(board_outSlave(0, BOARD_OUT_DDS), {0x00, 0x00, 0x00, 0x00, 0x00});
    send();
    EXPECT_EQ(hardware_sim_violations().size(), 1u);
}

// Each channel has a number of its own ('Z' at position 7); the firmware drives every channel
// with the board module of the first channel's number, and the simulation builds that board.
class SimMixedModelTest : public Sim40gBoardTest {
  protected:
    const char *serial() const override { return "1Z0-000Z20000-0001"; }
    const char *snAll() const override {
        return "SNCH0-1E0-000L10000-0001\nSNCH1-1C0-000B10000-0001\n";
    }
};

TEST_F(SimMixedModelTest, EveryChannelGetsTheBoardOfTheFirstChannelsNumber) {
    EXPECT_TRUE(hardware_sim_channel(0).board40g);
    EXPECT_TRUE(hardware_sim_channel(1).board40g);
    std::vector<uint8_t> image(ORBX40G_OUT_SRI_BYTES, 0);
    record(board_outSlave(1, BOARD_OUT_SRI), image);  // the 40 GHz register's length
    send();
    EXPECT_TRUE(hardware_sim_violations().empty());
    std::string json = hardware_sim_stateJson();
    size_t first = json.find("\"board\": \"40g\"");
    EXPECT_NE(first, std::string::npos);
    EXPECT_NE(first, json.rfind("\"board\": \"40g\""));  // both channels
}

}  // namespace
