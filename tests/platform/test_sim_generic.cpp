// The simulated generic output board: the AD9912 emulator on its own (buffered tuning word and
// phase, the register-update bit and the I/O update line, byte counts, reads, power-down) and
// the board's observable state decoded from raw shift-register and DDS frames on a
// generic-board instrument.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "hw/ad9912_registers.h"
#include "hw/board_slaves.h"
#include "hw/orbxxxg_out_registers.h"
#include "platform/sim/hardware_sim.h"
#include "platform/sim/int128.h"
#include "platform/sim_ad9912.h"
#include "platform_test_support.h"

namespace {

using u128 = kr_u128;

const uint64_t CLOCK = ORBXXXG_OUT_DDS_CLOCK_HZ;

// A write frame as it goes over the wire: instruction (with the byte count), then data from
// the addressed byte down.
std::vector<uint8_t> writeFrame(uint16_t address, uint64_t value, int bytes, int count = -1) {
    if (count < 0) count = bytes >= 4 ? 3 : bytes - 1;
    return simtest_writeFrame((uint16_t)(address | (count << AD9912_COUNT_SHIFT)), value, bytes);
}

std::vector<uint8_t> update() {
    return writeFrame(AD9912_REG_IOUPDATE, 1, 1);
}

KrFreq expectedOutput(uint64_t ftw) {
    return simtest_wordOutput(CLOCK, ftw);
}

class SimAd9912Test : public SimChipTest<SimAd9912> {
  protected:
    SimAd9912Test() : SimChipTest(0, board_outSlave(0, BOARD_OUT_DDS48), CLOCK) {}
};

struct WordRow {
    const char *name;
    std::vector<std::vector<uint8_t>> frames;
    bool ioupdateLine;  // the board's I/O update after the frames
    uint64_t ftw;
    uint16_t phase;
    bool pending;
};

class SimAd9912WordTest : public SimAd9912Test, public ::testing::WithParamInterface<WordRow> {};

TEST_P(SimAd9912WordTest, WordAndPhaseTakeEffectAtTheUpdate) {
    for (const auto &f : GetParam().frames)
        frame(f);
    if (GetParam().ioupdateLine) chip.ioupdate();
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
    Rows, SimAd9912WordTest,
    ::testing::Values(
        WordRow{"WordWithoutUpdate", {writeFrame(AD9912_REG_FTW_HIGH, HALF, 6)}, false, 0, 0, true},
        WordRow{"RegisterUpdateBit",
                {writeFrame(AD9912_REG_FTW_HIGH, HALF, 6), update()},
                false,
                HALF,
                0,
                false},
        WordRow{"IoUpdateLine", {writeFrame(AD9912_REG_FTW_HIGH, HALF, 6)}, true, HALF, 0, false},
        WordRow{
            "SmallestStep", {writeFrame(AD9912_REG_FTW_HIGH, 1, 6), update()}, false, 1, 0, false},
        WordRow{"AllOnes",
                {writeFrame(AD9912_REG_FTW_HIGH, 0xFFFFFFFFFFFFull, 6), update()},
                false,
                0xFFFFFFFFFFFFull,
                0,
                false},
        WordRow{"UpdateBitClear",
                {writeFrame(AD9912_REG_FTW_HIGH, HALF, 6), writeFrame(AD9912_REG_IOUPDATE, 0, 1)},
                false,
                0,
                0,
                true},
        WordRow{"Upper16BitsOnly",
                {writeFrame(AD9912_REG_FTW_HIGH, 0x123456789ABCull, 6), update(),
                 writeFrame(AD9912_REG_FTW_HIGH, 0x4321, 2), update()},
                false,
                0x432156789ABCull,
                0,
                false},
        WordRow{"PhaseFourteenBits",
                {writeFrame(AD9912_REG_PHASE_HIGH, 0xFFFF, 2), update()},
                false,
                0,
                0x3FFF,
                false},
        WordRow{"PhaseWaitsForTheUpdate",
                {writeFrame(AD9912_REG_PHASE_HIGH, 0x1000, 2)},
                false,
                0,
                0,
                true}),
    [](const ::testing::TestParamInfo<WordRow> &i) { return std::string(i.param.name); });

TEST_F(SimAd9912Test, ByteCountsAndMalformedFramesAreFlagged) {
    frame({0x01});                                       // no instruction
    frame(writeFrame(AD9912_REG_IOUPDATE, 0, 0, 0));     // no data
    frame(writeFrame(AD9912_REG_POWER, 0x0102, 2, 0));   // announces 1, carries 2
    frame(writeFrame(AD9912_REG_FTW_HIGH, HALF, 6, 2));  // announces 3, carries 6
    EXPECT_EQ(hardware_sim_violations().size(), 4u);
    EXPECT_EQ(chip.ftw(), 0u);
    EXPECT_FALSE(chip.pending());  // a refused frame writes nothing
    hardware_sim_clearViolations();
    frame(writeFrame(AD9912_REG_FTW_HIGH, HALF, 6, 3));  // streaming: any length
    frame(writeFrame(AD9912_REG_PHASE_HIGH, 0x0100, 2, 1));
    EXPECT_TRUE(hardware_sim_violations().empty());
}

TEST_F(SimAd9912Test, PowerRegisterActsAtOnceAndReadsReturnRegisters) {
    frame(writeFrame(AD9912_REG_POWER, AD9912_POWER_DOWN, 1));
    EXPECT_TRUE(chip.poweredDown());
    std::vector<uint8_t> miso =
        frame({(uint8_t)((AD9912_READ | AD9912_REG_POWER) >> 8), (uint8_t)AD9912_REG_POWER, 0});
    EXPECT_EQ(miso[2], AD9912_POWER_DOWN);
    frame(writeFrame(AD9912_REG_POWER, 0, 1));
    EXPECT_FALSE(chip.poweredDown());
    frame(writeFrame(AD9912_REG_FTW_HIGH, HALF, 6));
    frame(update());
    chip.reset();
    EXPECT_EQ(chip.ftw(), 0u);
    EXPECT_FALSE(chip.poweredDown());
    EXPECT_TRUE(hardware_sim_violations().empty());
}

// ---------------------------------------------------------------------------------------
// The board on a generic-board instrument

class SimGenericBoardTest : public SimBlockTest {
  protected:
    const char *serial() const override { return "0B0-000320000-0001"; }  // two channels
    void ddsFrame(int channel, std::vector<uint8_t> wire) {
        wireFrame(board_outSlave(channel, BOARD_OUT_DDS48), std::move(wire));
    }
};

struct PathRow {
    std::vector<int> bits;
    const char *path;
    uint32_t n1, n2, r;
    bool valid;
};

TEST_F(SimGenericBoardTest, PathBitsAndDividersGiveTheSynthesizedFrequency) {
    const uint64_t ftw = 0x5A5B6C7D8E9Full;
    const PathRow rows[] = {
        {{ORBXXXG_OUT_BIT_PATH_DIRECT}, "direct", 3, 40, 2, true},
        {{ORBXXXG_OUT_BIT_PATH_PLL}, "pll", 3, 40, 2, true},
        {{ORBXXXG_OUT_BIT_PATH_PLL}, "pll", 1, 255, 1, true},
        {{ORBXXXG_OUT_BIT_PATH_DIRECT, ORBXXXG_OUT_BIT_PATH_PLL}, "unknown", 3, 40, 2, false},
        {{}, "unknown", 3, 40, 2, false},
        {{ORBXXXG_OUT_BIT_PATH_PLL}, "pll", 3, 0, 2, false},  // no N2 set
    };
    // The word reaches the output with the board's I/O update alone.
    ddsFrame(1, writeFrame(AD9912_REG_FTW_HIGH, ftw, 6));
    for (const PathRow &row : rows) {
        std::vector<uint8_t> image(ORBXXXG_OUT_SRI_BYTES, 0);
        for (int b : row.bits)
            image[b / 8] |= (uint8_t)(1 << (b % 8));
        image[0] |= 1 << ORBXXXG_OUT_BIT_RF_ENABLE;
        image[ORBXXXG_OUT_BIT_N1 / 8] = (uint8_t)row.n1;
        image[ORBXXXG_OUT_BIT_N2 / 8] = (uint8_t)row.n2;
        image[ORBXXXG_OUT_BIT_R / 8] = (uint8_t)row.r;
        record(board_outSlave(1, BOARD_OUT_SRI), image);
        send();
        SimChannelState st = hardware_sim_channel(1);
        EXPECT_TRUE(st.generic);
        EXPECT_FALSE(st.board40g);
        EXPECT_STREQ(st.path, row.path);
        EXPECT_STREQ(st.rf, "on");
        EXPECT_EQ(st.ftw, ftw);
        KrFreq dds = expectedOutput(ftw);
        EXPECT_EQ(st.ddsFrequency.integer, dds.integer);
        EXPECT_EQ(st.ddsFrequency.fraction, dds.fraction);
        ASSERT_EQ(st.frequencyValid, row.valid) << row.path;
        if (!row.valid) continue;
        u128 q = ((u128)(uint64_t)dds.integer << 64) | dds.fraction;
        if (std::string(row.path) == "pll") q = q * row.n2 / (row.r * row.n1);
        EXPECT_EQ((uint64_t)st.frequency.integer, (uint64_t)(q >> 64)) << row.path;
        EXPECT_EQ(st.frequency.fraction, (uint64_t)q) << row.path;
    }
    EXPECT_TRUE(hardware_sim_violations().empty());
}

TEST_F(SimGenericBoardTest, FilterLevelBitsPowerDownAndStateFile) {
    std::vector<uint8_t> image(ORBXXXG_OUT_SRI_BYTES, 0);
    image[0] = (1 << ORBXXXG_OUT_BIT_RF_ENABLE) | (1 << ORBXXXG_OUT_BIT_ALC_ENABLE) |
               (1 << ORBXXXG_OUT_BIT_ALC_RF_MUTE) | (1 << ORBXXXG_OUT_BIT_PATH_PLL);
    image[ORBXXXG_OUT_BIT_FILTER / 8] = 4;
    image[ORBXXXG_OUT_BIT_N1 / 8] = image[ORBXXXG_OUT_BIT_N2 / 8] = image[ORBXXXG_OUT_BIT_R / 8] =
        1;
    record(board_outSlave(0, BOARD_OUT_SRI), image);
    ddsFrame(0, writeFrame(AD9912_REG_FTW_HIGH, 1ull << 46, 6));
    send();
    SimChannelState st = hardware_sim_channel(0);
    EXPECT_STREQ(st.rf, "muted");  // by the level loop
    EXPECT_TRUE(st.alcEnabled);
    EXPECT_EQ(st.filter, 4);
    std::string json = hardware_sim_stateJson();
    EXPECT_NE(json.find("\"board\": \"generic\", \"alc\": true"), std::string::npos) << json;
    EXPECT_NE(json.find("\"path\": \"pll\""), std::string::npos) << json;

    image[ORBXXXG_OUT_BIT_FILTER / 8] = 7;  // no such filter
    record(board_outSlave(0, BOARD_OUT_SRI), image);
    ddsFrame(0, writeFrame(AD9912_REG_POWER, AD9912_POWER_DOWN, 1));
    send();
    st = hardware_sim_channel(0);
    EXPECT_EQ(st.filter, -1);
    EXPECT_TRUE(st.ddsPoweredDown);
    EXPECT_STREQ(st.rf, "off");
    EXPECT_FALSE(st.frequencyValid);

    // No AD9910 on this board, and its register holds the generic board's length.
    record(board_outSlave(0, BOARD_OUT_DDS), {0x00, 0x00, 0x00, 0x00, 0x00});
    record(board_outSlave(0, BOARD_OUT_SRI), std::vector<uint8_t>(10, 0));
    send();
    EXPECT_EQ(hardware_sim_violations().size(), 2u);
}

struct LayoutRow {
    const char *serial;
    bool generic;
    bool board40g;
};

class SimGenericLayoutTest : public SimGenericBoardTest,
                             public ::testing::WithParamInterface<LayoutRow> {
  protected:
    const char *serial() const override { return GetParam().serial; }
};

// The board follows the revision code at position 7, as the firmware's board choice does,
// whatever the model letter says.
TEST_P(SimGenericLayoutTest, PositionSevenChoosesTheBoard) {
    EXPECT_EQ(hardware_sim_channel(0).generic, GetParam().generic) << GetParam().serial;
    EXPECT_EQ(hardware_sim_channel(0).board40g, GetParam().board40g) << GetParam().serial;
}

INSTANTIATE_TEST_SUITE_P(Serials, SimGenericLayoutTest,
                         ::testing::Values(LayoutRow{"0A0-000110000-0001", true, false},
                                           LayoutRow{"0B0-000210000-0001", true, false},
                                           LayoutRow{"0C0-000410000-0001", true, false},
                                           LayoutRow{"0C0-000010000-0001", false, false},
                                           LayoutRow{"0C0-000510000-0001", false, false},
                                           LayoutRow{"1E0-000310000-0001", true, false},
                                           LayoutRow{"1C0-000K10000-0001", false, true},
                                           LayoutRow{"1E0-000M10000-0001", false, false}),
                         [](const ::testing::TestParamInfo<LayoutRow> &info) {
                             std::string name = info.param.serial;
                             for (char &c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

}  // namespace
