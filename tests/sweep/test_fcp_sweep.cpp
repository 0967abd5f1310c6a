// Fast channel programming on a simulated FS instrument: the enabling rules, the blocks of a
// list, the table cut with more bands than the frequency table holds, and the test words'
// strobed sequences.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/krdebug.h"
#include "device/device.h"
#include "hw/fs_fpga_registers.h"
#include "platform/sim/hardware_sim.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/fcp_sweep.h"
#include "sweep/sweep.h"
#include "sweep/sweep_list.h"
#include "tests/support/sim_device.h"

namespace {

class FcpSweepTest : public SimDeviceTest {
  protected:
    std::string serial() const override { return "1C0-0B0B20040-0005"; }  // 2 channels, FS

    Sweep &sweep() { return *Device_getSweepPtr(device_); }
    uint32_t channelMode() { return (uint32_t)hardware_sim_fpgaRegister(fs_regChannelMode(0)); }

    void TearDown() override {
        Device_disableFcpListCtrl(device_);  // the FS stream is not throttled for the next test
        Device_disableFcpFreqCtrl(device_);
        Device_disableFcpAmplCtrl(device_);
        SimDeviceTest::TearDown();
    }

    // Runs f with the debug output captured; its results in *results.
    template <class F>
    std::string captured(F f, std::vector<int> *results) {
        int saved = debugEnabled;
        debugEnabled = 1;
        ::testing::internal::CaptureStdout();
        *results = f();
        std::string out = ::testing::internal::GetCapturedStdout();
        debugEnabled = saved;
        return out;
    }
};

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

TEST_F(FcpSweepTest, ListControlExcludesWordControlAndAConflictChangesNothing) {
    ASSERT_EQ(Device_enableFcpAmplCtrl(device_), 0);
    EXPECT_EQ(Device_enableFcpAmplCtrl(device_), 0);  // already on
    EXPECT_EQ(Device_enableFcpListCtrl(device_), KR_E_SETTINGS_CONFLICT);
    EXPECT_EQ(Device_isFcpListCtrlEnabled(device_), 0);
    // Frequency control joins amplitude control; dropping it leaves amplitude words running.
    ASSERT_EQ(Device_enableFcpFreqCtrl(device_), 0);
    EXPECT_EQ((channelMode() >> FS_MODE_OPERATION_LOW) & 3, FS_FCP_OPERATION_FW_AW);
    ASSERT_EQ(Device_disableFcpFreqCtrl(device_), 0);
    EXPECT_EQ((channelMode() >> FS_MODE_OPERATION_LOW) & 3, FS_FCP_OPERATION_AW);
    EXPECT_EQ(sweep().fcp.running, 1);
    ASSERT_EQ(Device_disableFcpAmplCtrl(device_), 0);
    EXPECT_EQ(sweep().fcp.running, 0);
    EXPECT_EQ(channelMode() & (1u << FS_MODE_FCP | 1u << FS_MODE_BLOCK), 0u);

    ASSERT_EQ(Device_enableFcpListCtrl(device_), 0);
    uint32_t mode = channelMode();
    for (int (*enable)(Device *) : {Device_enableFcpFreqCtrl, Device_enableFcpAmplCtrl}) {
        EXPECT_EQ(enable(device_), KR_E_SETTINGS_CONFLICT);
        EXPECT_EQ(Device_isFcpFreqCtrlEnabled(device_) | Device_isFcpAmplCtrlEnabled(device_), 0);
        EXPECT_EQ(Device_isFcpListCtrlEnabled(device_), 1);
        EXPECT_EQ(channelMode(), mode);
    }
    EXPECT_EQ(Device_disableFcpListCtrl(device_), 0);
    EXPECT_EQ(channelMode() & (1u << FS_MODE_FCP), 0u);
}

TEST_F(FcpSweepTest, FivePointListEndsAtAddress0x1400) {
    SweepList *list = sweep_getActiveSweepList(device_);
    sweep_clearList(list);
    for (uint32_t i = 0; i < 5; i++)
        list->point[i].frequency = KrFreq{(int64_t)(i + 1) * 1000000000, 0};
    list->frequencyCount = 5;
    std::vector<int> r;
    std::string out =
        captured([&] { return std::vector<int>{Device_enableFcpListCtrl(device_)}; }, &r);
    EXPECT_EQ(r, std::vector<int>{0});
    EXPECT_NE(out.find("fcp_sweep_start(): 5 points -> end address 0x1400\n"), std::string::npos);
    EXPECT_EQ(hardware_sim_fpgaRegister(fs_regFcpAddressRange(0)), 0x1400u);
    EXPECT_EQ((channelMode() >> FS_MODE_OPERATION_LOW) & 3, FS_FCP_OPERATION_LIST);
    EXPECT_EQ(count(out, "fcp_sweep_start(): program point "), 5u);
}

// 5000 frequency bands and two power bands: the frequency table is cut once, and both power
// bands still get a block for every frequency band.
TEST_F(FcpSweepTest, FrequencyTableOverflowWarnsOnceAndProgramsEveryBlock) {
    static int programmed;
    programmed = 0;

    Device_getFcpFrequencyBands = [](Device *, char *buffer, int32_t capacity) {
        KrFreq *bands = (KrFreq *)buffer;
        int32_t n = capacity < 5000 ? capacity : 5000;
        for (int32_t i = 0; i < n; i++)
            bands[i] = KrFreq{100000000 + (int64_t)i * 1000000, 0};
        return (int)n;
    };
    Device_getFcpPowerBands = [](Device *, char *buffer, int32_t) {
        KrPow *bands = (KrPow *)buffer;
        bands[0] = -20;
        bands[1] = 0;
        return 2;
    };
    Device_setFrequencyPower_fcp = [](Device *, const KrFreq *, const KrPow *, int32_t) {
        programmed++;
        return 0;
    };
    std::vector<int> r;
    std::string out = captured(
        [&] {
            return std::vector<int>{Device_enableFcpAmplCtrl(device_),
                                    Device_enableFcpFreqCtrl(device_)};
        },
        &r);
    EXPECT_EQ(r, (std::vector<int>{0, 0}));
    // Amplitude words first (one block per power band), then both words.
    EXPECT_EQ(count(out, "FCP frequency LUT overflow, can not cover full frequency span"), 1u);
    EXPECT_EQ(count(out, "amplitude LUT overflow"), 0u);
    EXPECT_EQ(programmed, 2 + 2 * 5000);
    EXPECT_EQ(sweep().fcp.frequencyLutCount, FS_FCP_FREQUENCY_ENTRIES);
    const uint32_t end = FS_FCP_FIRST_POINT_BLOCK + 2 * 5000;
    EXPECT_EQ(hardware_sim_fpgaRegister(fs_regFcpAddressRange(0)), end * FS_FCP_BLOCK_BYTES);
    // Entry 1 is the first band at block 2; the last band that fits is followed by the guard.
    auto entry = [](uint32_t i) {
        std::vector<uint8_t> b = hardware_sim_fpgaRam(fs_ramFrequencyLut(0), i * 8, 8);
        uint64_t e = 0;
        for (int k = 7; k >= 0; k--)
            e = e << 8 | b[(size_t)k];
        return e;
    };
    EXPECT_EQ(entry(1), fs_fcpFrequencyEntry(100000000, FS_FCP_FIRST_POINT_BLOCK));
    EXPECT_EQ(fs_fcpFrequencyEntryBlock(entry(FS_FCP_FREQUENCY_ENTRIES - 2)),
              FS_FCP_FIRST_POINT_BLOCK + FS_FCP_FREQUENCY_ENTRIES - 3);
    EXPECT_EQ(fs_fcpFrequencyEntryBlock(entry(FS_FCP_FREQUENCY_ENTRIES - 1)), end);
    // The second power band's amplitude entry leads to its first block.
    std::vector<uint8_t> a = hardware_sim_fpgaRam(fs_ramAmplitudeLut(0), 2 * 5, 5);
    uint64_t ae = 0;
    for (int k = 4; k >= 0; k--)
        ae = ae << 8 | a[(size_t)k];
    EXPECT_EQ(ae, fs_fcpAmplitudeEntry(0, FS_FCP_FIRST_POINT_BLOCK + 5000));
}

struct WordRow {
    const char *name;
    int (*write)(Device *, uint32_t);
    uint32_t word;
    bool wide;
    std::vector<int32_t> out;
};

std::vector<int32_t> written;

class FcpTestWordTest : public ::testing::TestWithParam<WordRow> {};

// Nibbles (bits 8..5) or bytes (bits 16..9) least significant first, at consecutive
// sub-addresses (bits 4..1 / 8..1), each strobed in bit 0; the output rests at 1.
TEST_P(FcpTestWordTest, StrobesEachPartAtItsSubAddress) {
    written.clear();
    Device_setFcp8BitOutput = [](Device *, int32_t v) {
        written.push_back(v);
        return 0;
    };
    Device_setFcp16BitOutput = [](Device *, int32_t v) {
        written.push_back(-v);  // the width used shows in the sign
        return 0;
    };
    ASSERT_EQ(GetParam().write(nullptr, GetParam().word), 0);
    std::vector<int32_t> expected = GetParam().out;
    if (GetParam().wide)
        for (int32_t &v : expected)
            v = -v;
    EXPECT_EQ(written, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Words, FcpTestWordTest,
    ::testing::Values(
        WordRow{"Time8",
                fcp_common_writeFcpTwM8Bit,
                0x1234,
                false,
                {129, 128, 99, 98, 69, 68, 39, 38, 1}},
        WordRow{"Frequency8",
                fcp_common_writeFcpFwM8Bit,
                0x000F,
                false,
                {0x1E9, 0x1E8, 11, 10, 13, 12, 15, 14, 1}},
        WordRow{"Amplitude8",
                fcp_common_writeFcpAwM8Bit,
                (uint16_t)fcp_amplitudeWord(-10),
                false,
                {25, 24, 27, 26, 381, 380, 511, 510, 1}},
        WordRow{
            "Frequency16", fcp_common_writeFcpFwM16Bit, 10500, true, {2053, 2052, 20999, 20998, 1}},
        WordRow{"Amplitude16",
                fcp_common_writeFcpAwM16Bit,
                0x8001,
                true,
                {(1 << 9 | 6 << 1) + 1, 1 << 9 | 6 << 1, (0x80 << 9 | 7 << 1) + 1,
                 0x80 << 9 | 7 << 1, 1}}),
    [](const ::testing::TestParamInfo<WordRow> &info) { return std::string(info.param.name); });

TEST(FcpAmplitudeWord, RoundsTo128thsOfADbAndSaturates) {
    EXPECT_EQ(fcp_amplitudeWord(-10.0f), -1280);
    EXPECT_EQ(fcp_amplitudeWord(0.004f), 1);  // 0.512 rounds up
    EXPECT_EQ(fcp_amplitudeWord(-256.0f), INT16_MIN);
    EXPECT_EQ(fcp_amplitudeWord(255.0f), 32640);
    EXPECT_EQ(fcp_amplitudeWord(300.0f), INT16_MAX);
}

}  // namespace
