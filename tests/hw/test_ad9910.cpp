// AD9910 driver against the simulated chip: register frames, where the tuning word goes,
// the exact output frequency after an I/O update, power, input divider, high resolution.
#include "hw/ad9910.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "hw/board_slaves.h"
#include "hw/fs_fpga.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "hw_test_support.h"
#include "kr_generic_io.h"
#include "platform/sim/int128.h"
#include "tests/support/param_name.h"

namespace {

using u128 = kr_u128;

u128 q64(const KrFreq &f) {
    return ((u128)(uint64_t)f.integer << 64) | f.fraction;
}

const uint32_t ddsWord = krspi_makeWord(board_outSlave(0, BOARD_OUT_DDS), 0, 2);

class Ad9910Test : public HwTest {
  protected:
    void SetUp() override {
        HwTest::SetUp();
        ASSERT_EQ(AD9910_init(&dds, ddsWord, 0), 0);
        KrFreq clock = {1000000000, 0};
        AD9910_setDDSIn(&dds, &clock);
        AD9910_powerUp(&dds);
        krgio_ioupdate();
        hardware_sim_waitIdle();
        gio_record_clear();
    }
    uint64_t buffered(int reg) { return hardware_sim_ddsRegister(0, reg, false); }
    uint64_t active(int reg) { return hardware_sim_ddsRegister(0, reg, true); }
    void update() {
        krgio_ioupdate();
        ASSERT_TRUE(hardware_sim_waitIdle());
    }
    AD9910 dds;
};

TEST_F(Ad9910Test, InitWritesTheThreeControlRegistersAsFrames) {
    gio_record_clear();
    AD9910 fresh;
    ASSERT_EQ(AD9910_init(&fresh, ddsWord, 0), 0);
    EXPECT_TRUE(fresh.poweredDown);
    EXPECT_EQ(fresh.ftw.width, 32u);
    std::vector<GioIoRecord> r = ioRecords();
    ASSERT_EQ(r.size(), 3u);
    // Data in memory order, so that the instruction byte goes out first.
    EXPECT_EQ(r[1].data, std::vector<uint8_t>({0x60, 0, 0, 0, AD9910_REG_CFR2}));
    EXPECT_EQ(r[2].data, std::vector<uint8_t>({0x00, 0xC4, 0x3F, 0x0F, AD9910_REG_CFR3}));
    hardware_sim_waitIdle();
    EXPECT_EQ(buffered(AD9910_REG_CFR2), AD9910_CFR2_INITIAL);
    EXPECT_EQ(buffered(AD9910_REG_CFR3), AD9910_CFR3_INITIAL);
    EXPECT_STREQ(krspi_getSlaveName(ddsWord), "AD9910");
    expectNoViolations();
}

struct TargetRow {
    bool parallelPort;
    int written;
    int untouched;
};

class FtwTargetTest : public Ad9910Test, public ::testing::WithParamInterface<TargetRow> {};

TEST_P(FtwTargetTest, TuningWordGoesToProfile0OrRegister7) {
    if (GetParam().parallelPort) AD9910_enableParallelPort(&dds);
    KrFreq out = {250000000, 0};
    AD9910_presetDDSOut(&dds, &out);
    ASSERT_EQ(AD9910_applyFtw(&dds), 0);
    hardware_sim_waitIdle();
    EXPECT_EQ(buffered(GetParam().written) & 0xFFFFFFFFu, 1u << 30);
    EXPECT_EQ(buffered(GetParam().untouched) & 0xFFFFFFFFu, 0u);
    update();
    EXPECT_EQ(hardware_sim_channel(0).ftw, 1u << 30);
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, FtwTargetTest,
                         ::testing::Values(TargetRow{false, AD9910_REG_PROFILE0, AD9910_REG_FTW},
                                           TargetRow{true, AD9910_REG_FTW, AD9910_REG_PROFILE0}),
                         [](const ::testing::TestParamInfo<TargetRow> &info) {
                             return info.param.parallelPort ? "ParallelPort" : "SerialPort";
                         });

struct FreqRow {
    int64_t hz;
    uint64_t fraction;
};

class RoundTripTest : public Ad9910Test, public ::testing::WithParamInterface<FreqRow> {};

TEST_P(RoundTripTest, SimulatedOutputIsExactlyWhatTheWordGives) {
    KrFreq out = {GetParam().hz, GetParam().fraction};
    AD9910_presetDDSOut(&dds, &out);
    AD9910_calculatePreset(&dds);
    ASSERT_EQ(AD9910_applyFtwOnly(&dds), 0);
    update();
    SimChannelState s = hardware_sim_channel(0);
    KrFreq real = *AD9910_calculateAndGetRealFout(&dds);
    EXPECT_EQ(s.ftw, dds.presetFtw);
    EXPECT_EQ(s.ddsFrequency.integer, real.integer);
    EXPECT_EQ(s.ddsFrequency.fraction, real.fraction);
    EXPECT_EQ(q64(real), (q64(dds.ftw.in) * dds.presetFtw) >> 32);
    EXPECT_LE(q64(real), q64(out));
    EXPECT_FALSE(s.ddsPoweredDown);
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies, RoundTripTest,
    ::testing::Values(FreqRow{100000000, 0}, FreqRow{123456789, 1ull << 63},
                      FreqRow{399999999, 0xFFFFFFFFFFFFFFFFull}, FreqRow{1, 0}, FreqRow{0, 0}),
    [](const ::testing::TestParamInfo<FreqRow> &info) {
        return std::to_string(info.param.hz) + "Hz" +
               (info.param.fraction ? "_Frac" + std::to_string(info.param.fraction) : "");
    });

TEST_F(Ad9910Test, WritesTakeEffectOnlyAtTheIoUpdate) {
    KrFreq out = {250000000, 0};  // exactly 2^30
    AD9910_presetDDSOut(&dds, &out);
    AD9910_applyFtw(&dds);
    hardware_sim_waitIdle();
    EXPECT_NE(buffered(AD9910_REG_PROFILE0), active(AD9910_REG_PROFILE0));
    EXPECT_EQ(hardware_sim_channel(0).ftw, 0u);
    update();
    EXPECT_EQ(buffered(AD9910_REG_PROFILE0), active(AD9910_REG_PROFILE0));
    EXPECT_EQ(hardware_sim_channel(0).ddsFrequency.integer, 250000000);
    EXPECT_EQ(hardware_sim_channel(0).ddsFrequency.fraction, 0u);
}

TEST_F(Ad9910Test, SequenceWrittenInACaptureReachesTheChipOnlyWithTheBlock) {
    uint64_t before = hardware_sim_ioupdates();
    krspi_startCapture();
    KrFreq out = {125000000, 0};  // exactly 2^29
    AD9910_presetDDSOut(&dds, &out);
    AD9910_applyFtw(&dds);
    AD9910_setPhaseOffsetU16(&dds, 0x4000);
    krgio_ioupdate();
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_ioupdates(), before);
    EXPECT_EQ(buffered(AD9910_REG_PROFILE0) & 0xFFFFFFFFu, 0u);
    EXPECT_EQ(gio_record_count(), 0u);
    krspi_stopCapture();
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_EQ(gio_record_countRequest(KRSPI_IOC_SEND_IOBLOCK), 1u);
    EXPECT_EQ(hardware_sim_ioupdates(), before + 1);
    SimChannelState s = hardware_sim_channel(0);
    EXPECT_EQ(s.ddsFrequency.integer, 125000000);
    EXPECT_NEAR(s.phaseRad, M_PI / 2, 1e-12);
}

TEST_F(Ad9910Test, PowerDownAndUp) {
    ASSERT_EQ(AD9910_powerDown(&dds), 0);
    update();
    EXPECT_TRUE(hardware_sim_channel(0).ddsPoweredDown);
    EXPECT_EQ(active(AD9910_REG_CFR1) & AD9910_CFR1_POWER_DOWN, AD9910_CFR1_POWER_DOWN);
    gio_record_clear();
    ASSERT_EQ(AD9910_powerUp(&dds), 0);
    EXPECT_EQ(ioRecords().size(), 3u);  // CFR1, CFR2, CFR3
    update();
    EXPECT_FALSE(hardware_sim_channel(0).ddsPoweredDown);
}

TEST_F(Ad9910Test, InputDividerHalvesTheClock) {
    ASSERT_EQ(AD9910_enableInputDivider(&dds), 0);
    EXPECT_EQ(ioRecords().size(), 3u);  // CFR3, single-tone word, profile 0
    update();
    EXPECT_EQ(hardware_sim_channel(0).ddsClock.integer, 500000000);
    AD9910_disableInputDivider(&dds);
    update();
    EXPECT_EQ(hardware_sim_channel(0).ddsClock.integer, 1000000000);
}

TEST_F(Ad9910Test, DisablingHighResolutionWhenNotActiveSendsNothing) {
    EXPECT_EQ(AD9910_disableHighResolution(&dds), 0);
    EXPECT_EQ(gio_record_count(), 0u);
}

TEST_F(Ad9910Test, HighResolutionDithersToTheWantedAverage) {
    // 100 MHz + 0.1 Hz lies between two words (a word step is 0.23 Hz).
    KrFreq out = {100000000, 0x199999999999999Aull};
    AD9910_presetDDSOut(&dds, &out);
    AD9910_applyFtw(&dds);
    update();
    ASSERT_EQ(AD9910_enableHighResolution(&dds), 0);
    EXPECT_TRUE(dds.highResolution);
    ASSERT_TRUE(hardware_sim_waitIdle());
    SimChannelState s = hardware_sim_channel(0);
    EXPECT_TRUE(s.highResolution);
    double got =
        (double)s.ddsFrequency.integer + (double)s.ddsFrequency.fraction / 18446744073709551616.0;
    EXPECT_NEAR(got, 100000000.1, 1e-6);
    gio_record_clear();
    ASSERT_EQ(AD9910_disableHighResolution(&dds), 0);
    std::vector<GioIoRecord> r = ioRecords();
    ASSERT_EQ(r.size(), 2u);  // CFR2 without the ramp, then the I/O update
    EXPECT_EQ(r[1].address, KR_IO_ADDR_IOUPD);
    hardware_sim_waitIdle();
    EXPECT_FALSE(hardware_sim_channel(0).highResolution);
    expectNoViolations();
}

TEST_F(Ad9910Test, RefusedWritesReportTheirCodes) {
    // Another thread holds the SPI lock for a sweep: the writes are refused.
    std::atomic<int> phase{0};
    std::thread sweep([&] {
        krspiLockForThread();
        phase = 1;
        while (phase != 2)
            std::this_thread::yield();
        krspiUnlockForThread();
    });
    while (phase != 1)
        std::this_thread::yield();
    EXPECT_EQ(AD9910_writeCFR1(&dds), -200);
    EXPECT_EQ(AD9910_writeCFR2(&dds), -200);
    EXPECT_EQ(AD9910_writePOW(&dds), -1);  // the transport's own code
    EXPECT_EQ(AD9910_writeCFR3(&dds), -1);
    phase = 2;
    sweep.join();
    krspiMutexLockFailed();
    EXPECT_EQ(gio_record_count(), 0u);
}

TEST_F(Ad9910Test, ChirpProgramsARampBetweenTheLimits) {
    KrFreq a = {100000000, 0}, b = {200000000, 0}, step = {1000, 0};
    ASSERT_EQ(AD9910_enableChirp(&dds, &a, &b, &step, 10), 0);
    update();
    EXPECT_EQ(active(AD9910_REG_DRG_LIMIT) & 0xFFFFFFFFu, 0x1999999Au - 1);
    EXPECT_TRUE(active(AD9910_REG_CFR2) & AD9910_CFR2_DRG_ENABLE);
    AD9910_disableChirp(&dds);
    update();
    EXPECT_FALSE(active(AD9910_REG_CFR2) & AD9910_CFR2_DRG_ENABLE);
}

}  // namespace

namespace {

// The same driver on the FS variant: its frames travel through the FPGA's buffered stream.
class FsAd9910Test : public FsHwTest {};

TEST_F(FsAd9910Test, DdsProgrammedThroughTheFpgaReportsTheExactFrequency) {
    AD9910 dds;
    const uint32_t word = krspi_makeWord(board_outSlave(2, BOARD_OUT_DDS), 0, 2, KRSPI_ROUTE_FS);
    ASSERT_EQ(AD9910_init(&dds, word, 0), 0);
    KrFreq clock = {1000000000, 0}, out = {87654321, 1ull << 62};
    AD9910_setDDSIn(&dds, &clock);
    AD9910_powerUp(&dds);
    AD9910_presetDDSOut(&dds, &out);
    AD9910_applyFtw(&dds);
    krgio_ioupdate();
    FS_FPGA_flush();
    ASSERT_TRUE(hardware_sim_waitIdle());
    SimChannelState s = hardware_sim_channel(2);
    const KrFreq *real = AD9910_calculateAndGetRealFout(&dds);
    EXPECT_EQ(s.ftw, dds.presetFtw);
    EXPECT_EQ(s.ddsFrequency.integer, real->integer);
    EXPECT_EQ(s.ddsFrequency.fraction, real->fraction);
    EXPECT_EQ(gio_record_countRequest(KRSPI_IOC_SEND_IOBLOCK), 0u);
    expectNoViolations();
}

}  // namespace
