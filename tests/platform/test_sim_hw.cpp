// The simulated hardware behind kr_generic_io: record checks, SPI framing, I/O program
// timing and back-pressure, the 20 GHz board's observable state, the reference board, the
// state file and the hardware log.
#include "platform/sim/hardware_sim.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "core/krpath.h"
#include "hw/ad9910_registers.h"
#include "hw/board_slaves.h"
#include "hw/orbx20g_out_registers.h"
#include "hw/orbxxxg_ref_registers.h"
#include "kr_generic_io.h"
#include "platform/sim/gio_record.h"
#include "platform/sim/int128.h"
#include "platform_test_support.h"
#include "rtdev.h"
#include "rtnative.h"
#include "tests/support/param_name.h"

namespace {

using Clock = std::chrono::steady_clock;

// Builds I/O blocks record by record.
class Block {
  public:
    Block &record(uint32_t address, uint32_t options, const std::vector<uint8_t> &data = {}) {
        KrIoBlockRecordHeader h = {address, (uint32_t)data.size(), options};
        size_t at = bytes.size();
        bytes.resize(at + kr_ioblock_recordSize(h.length), 0);
        memcpy(bytes.data() + at, &h, sizeof(h));
        if (!data.empty()) memcpy(bytes.data() + at + sizeof(h), data.data(), data.size());
        return *this;
    }
    // A write of a register word, most significant byte first on the wire.
    Block &spi(uint32_t slave, uint64_t value, int n) {
        std::vector<uint8_t> d(n);
        for (int i = 0; i < n; i++)
            d[i] = (uint8_t)(value >> (8 * i));
        return record(slave, 0, d);
    }
    std::vector<uint8_t> bytes;
};

class SimHwTest : public SimRootTest {
  protected:
    const char *serial() const override { return "0C0-000030000-0001"; }  // three channels
    void SetUp() override {
        SimRootTest::SetUp();
        if (HasFatalFailure()) return;
        gio_record_resetKnobs();
    }
    int send(const Block &b) {
        KrGioBuffer buf = {b.bytes.data(), (uint32_t)b.bytes.size()};
        return rt_dev_ioctl(fd, KRSPI_IOC_SEND_IOBLOCK, &buf);
    }
    std::string file(const char *name) {
        std::ifstream in(root + "/sim/" + name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static uint64_t ddsWord(uint8_t reg, uint64_t value, int n) {
        return (uint64_t)reg << (8 * n) | value;
    }
    // A DDS register frame of n data bytes (up to 8) in memory order: the instruction last.
    static std::vector<uint8_t> ddsFrame(uint8_t reg, uint64_t value, int n) {
        std::vector<uint8_t> d(n + 1);
        for (int i = 0; i < n; i++)
            d[i] = (uint8_t)(value >> (8 * i));
        d[n] = reg;
        return d;
    }
};

struct BadBlock {
    const char *what;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> header(uint32_t address, uint32_t length, uint32_t options, size_t total) {
    std::vector<uint8_t> b(total, 0);
    KrIoBlockRecordHeader h = {address, length, options};
    memcpy(b.data(), &h, sizeof(h));
    return b;
}

class BadBlockTest : public SimHwTest, public ::testing::WithParamInterface<BadBlock> {};

TEST_P(BadBlockTest, MalformedBlocksAreRefusedAndFlagged) {
    uint64_t before = hardware_sim_ioupdates();
    KrGioBuffer buf = {GetParam().bytes.data(), (uint32_t)GetParam().bytes.size()};
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SEND_IOBLOCK, &buf), -EINVAL);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_violations().size(), 1u) << GetParam().what;
    EXPECT_EQ(hardware_sim_ioupdates(), before);  // no part of it was played
}

std::vector<uint8_t> updateThen(std::vector<uint8_t> tail) {
    std::vector<uint8_t> b = header(KR_IO_ADDR_IOUPD, 0, 0, 12);
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BadBlockTest,
    ::testing::Values(BadBlock{"stray bytes", updateThen({1, 2, 3})},
                      BadBlock{"record past the end", updateThen(header(0x10, 40, 0, 20))},
                      BadBlock{"marker opcode", updateThen(header(KR_IO_ADDR_EMPTY, 0, 0, 12))},
                      BadBlock{"update with data", updateThen(header(KR_IO_ADDR_IOUPD, 4, 0, 16))},
                      BadBlock{"short timer", updateThen(header(KR_IO_ADDR_SET_TIMER, 8, 0, 20))},
                      BadBlock{"beyond the opcodes", updateThen(header(600, 0, 0, 12))},
                      BadBlock{"mute parameter", updateThen(header(KR_IO_ADDR_MUTE, 0, 7, 12))},
                      BadBlock{"no-operation code", updateThen(header(261, 0, 0, 12))}),
    [](const ::testing::TestParamInfo<BadBlock> &i) { return paramName(i.param.what); });

TEST_F(SimHwTest, RequestsWithoutRecordsOrWithBadValuesAreRefused) {
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SET_DIVIDER, 0), -EINVAL);
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SET_CS_DELAY, 256), -EINVAL);
    KrGioBuffer empty = {nullptr, 0};
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SEND_IOBLOCK, &empty), -EINVAL);
    std::vector<uint8_t> big(20000, 0);
    KrGioBuffer tooBig = {big.data(), (uint32_t)big.size()};
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SEND_IOBLOCK, &tooBig), -EINVAL);
    EXPECT_EQ(rt_dev_ioctl(fd, 0xE7FF), -ENOTTY);
    EXPECT_EQ(hardware_sim_violations().size(), 4u);
}

TEST_F(SimHwTest, ChipSelectErrorsAndAbsentChipsAreFlagged) {
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_DESELECT_CHIP), 0);
    hardware_sim_waitIdle();
    ASSERT_EQ(hardware_sim_violations().size(), 1u);
    EXPECT_NE(hardware_sim_violations()[0].find("deselect without select"), std::string::npos);
    rt_dev_ioctl(fd, KRSPI_IOC_SELECT_CHIP, (void *)(uintptr_t)BOARD_CONT_SRI);
    send(Block().spi(BOARD_CONT_TEMP, 0xFF, 1));  // another chip while one is selected
    rt_dev_ioctl(fd, KRSPI_IOC_DESELECT_CHIP);
    send(Block().spi(250, 1, 1));  // no chip there
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_violations().size(), 3u);
}

TEST_F(SimHwTest, DdsFramesOfTheWrongLengthAreFlagged) {
    const uint32_t dds = board_outSlave(0, BOARD_OUT_DDS);
    send(Block().spi(dds, ddsWord(AD9910_REG_CFR1, 0, 3), 4));  // CFR1 has 4 data bytes
    send(Block().spi(dds, 0x05, 1));                            // no register 5
    send(Block().spi(dds, ddsWord(AD9910_REG_POW, 0x1234, 2), 3));
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_violations().size(), 2u);
    EXPECT_EQ(hardware_sim_ddsRegister(0, AD9910_REG_POW, false), 0x1234u);
}

TEST_F(SimHwTest, BandPathAndDividersGiveTheExactSynthesizedFrequency) {
    const uint32_t sri = board_outSlave(1, BOARD_OUT_SRI), dds = board_outSlave(1, BOARD_OUT_DDS);
    SimChannelState before = hardware_sim_channel(1);
    EXPECT_FALSE(before.frequencyValid);
    EXPECT_STREQ(before.rf, "off");
    // Band 1 with the 4 GHz filter bank entry, R = 2, N2 = 7, N1 = 1, RF on.
    std::vector<uint8_t> image = simtest_band1Image(2, 7, 1);
    Block b;
    b.record(sri, 0, image);
    b.spi(dds, ddsWord(AD9910_REG_CFR3, AD9910_CFR3_INITIAL, 4), 5);
    b.record(dds, 0, ddsFrame(AD9910_REG_PROFILE0, 0x12345678, 8));
    EXPECT_EQ(send(b), 0);
    hardware_sim_waitIdle();
    EXPECT_FALSE(hardware_sim_channel(1).frequencyValid);  // nothing takes effect before the update
    send(Block().record(KR_IO_ADDR_IOUPD, 0));
    hardware_sim_waitIdle();
    SimChannelState s = hardware_sim_channel(1);
    EXPECT_STREQ(s.path, "band1");
    EXPECT_EQ(s.filter, 7);
    EXPECT_EQ(s.r, 2u);
    EXPECT_EQ(s.n2, 7u);
    EXPECT_STREQ(s.rf, "on");
    ASSERT_TRUE(s.frequencyValid);
    using u128 = kr_u128;
    u128 dds128 = ((u128)1000000000 << 64) * 0x12345678 >> 32;
    u128 want = (dds128 + ((u128)1000000000 << 64)) * 7 / 2;
    EXPECT_EQ((uint64_t)s.frequency.integer, (uint64_t)(want >> 64));
    EXPECT_EQ(s.frequency.fraction, (uint64_t)want);
    EXPECT_EQ(hardware_sim_violations().size(), 0u);
}

TEST_F(SimHwTest, MuteRecordBlanksTheChannels) {
    std::vector<uint8_t> image(ORBX20G_OUT_SRI_BYTES, 0);
    image[0] = 1 << ORBX20G_OUT_BIT_RF_ENABLE;
    send(Block()
             .record(board_outSlave(0, BOARD_OUT_SRI), 0, image)
             .record(KR_IO_ADDR_MUTE, MUTE_CONF_EN_TPT)
             .record(KR_IO_ADDR_IOUPD, 0));
    hardware_sim_waitIdle();
    EXPECT_STREQ(hardware_sim_channel(0).rf, "muted");
    send(Block().record(KR_IO_ADDR_MUTE, MUTE_CONF_DIS_TPT).record(KR_IO_ADDR_IOUPD, 0));
    hardware_sim_waitIdle();
    EXPECT_STREQ(hardware_sim_channel(0).rf, "on");
}

TEST_F(SimHwTest, ReferenceBoardSourceFromItsShiftRegister) {
    SimReferenceState r = hardware_sim_reference();
    EXPECT_STREQ(r.source, "internal");
    EXPECT_EQ(r.frequency.integer, 10000000);
    EXPECT_TRUE(r.locked);
    send(Block().spi(BOARD_REF_SRI, 1u << ORBXXXG_REF_BIT_EXT_1G, 3).record(KR_IO_ADDR_IOUPD, 0));
    hardware_sim_waitIdle();
    r = hardware_sim_reference();
    EXPECT_STREQ(r.source, "external");
    EXPECT_EQ(r.frequency.integer, 1000000000);
    hardware_sim_setExternalReferencePresent(false);
    EXPECT_FALSE(hardware_sim_reference().locked);
}

TEST_F(SimHwTest, DelaysTakeTheirScaledTime) {
    hardware_sim_setTimeScale(1.0);
    Clock::time_point t0 = Clock::now();
    send(Block().record(KR_IO_ADDR_DELAY_US, 30000).record(KR_IO_ADDR_SLEEP_US, 10000));
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(38));
    hardware_sim_setTimeScale(0.1);
    t0 = Clock::now();
    send(Block().record(KR_IO_ADDR_DELAY_US, 100000));
    ASSERT_TRUE(hardware_sim_waitIdle());
    std::chrono::duration<double> took = Clock::now() - t0;
    EXPECT_GE(took.count(), 0.009);
    EXPECT_LT(took.count(), 0.09);
}

TEST_F(SimHwTest, SenderWaitsWhileEarlierPointsAreStillPlaying) {
    hardware_sim_setTimeScale(1.0);
    // Point timer of 20 ms; every block waits for one point.
    KrGioPointTiming timing = {2 * 1320960, 1320960, {}};
    ASSERT_EQ(rt_dev_ioctl(fd, KRTPT_IOC_SET_CONSTTIME, &timing), 0);
    std::vector<uint8_t> filler(15000, 0);  // the controller's register takes any length
    auto point = [&] {
        return Block().record(KR_IO_ADDR_WAIT_TRAN, 0).record(BOARD_CONT_SRI, 0, filler);
    };
    send(Block().record(KR_IO_ADDR_TRIG_TMR, 0));
    Clock::time_point t0 = Clock::now();
    send(point());
    send(point());
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(15));  // room for two
    send(point());  // waits until the first point has been played
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(15));
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(55));
}

TEST_F(SimHwTest, StopSequenceDropsWhatIsQueuedAndReleasesTheSender) {
    hardware_sim_setTimeScale(1.0);
    std::vector<uint8_t> filler(15000, 0);
    send(Block().record(KR_IO_ADDR_DELAY_US, 5000000).record(BOARD_CONT_SRI, 0, filler));
    send(Block().record(BOARD_CONT_SRI, 0, filler));
    Clock::time_point t0 = Clock::now();
    std::thread sender([&] { send(Block().record(BOARD_CONT_SRI, 0, filler)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(rt_dev_ioctl(fd, KRTPT_IOC_TIMER_OFF, 0), 0);
    sender.join();
    ASSERT_TRUE(hardware_sim_waitIdle(2.0));
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(2));
}

TEST_F(SimHwTest, TriggerWaitEndsAtTheSoftwareTrigger) {
    uint32_t external = 2;
    rt_dev_ioctl(fd, KRTPT_IOC_SOURCE, &external);
    send(Block().record(KR_IO_ADDR_AWAIT_TRIG, 0).record(KR_IO_ADDR_IOUPD, 0));
    EXPECT_FALSE(hardware_sim_waitIdle(0.05));
    uint64_t before = hardware_sim_ioupdates();
    rt_dev_ioctl(fd, KRTPT_IOC_TRIGGER);
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_EQ(hardware_sim_ioupdates(), before + 1);
    uint32_t immediate = 0;
    rt_dev_ioctl(fd, KRTPT_IOC_SOURCE, &immediate);
    send(Block().record(KR_IO_ADDR_AWAIT_TRIG, 0));
    EXPECT_TRUE(hardware_sim_waitIdle(1.0));
}

TEST_F(SimHwTest, StateFileAndLogLiveInTheSimulationRoot) {
    send(
        Block()
            .record(board_outSlave(0, BOARD_OUT_DDS), 0, ddsFrame(AD9910_REG_PROFILE0, 1u << 31, 8))
            .record(KR_IO_ADDR_IOUPD, 0));
    ASSERT_TRUE(hardware_sim_waitIdle());
    std::string state = file("hardware-state.json");
    EXPECT_NE(state.find("\"channels\": ["), std::string::npos);
    EXPECT_NE(state.find("\"index\": 3"), std::string::npos);  // three channels in the number
    EXPECT_EQ(state.find("\"index\": 4"), std::string::npos);
    // Half the word's range at the power-on clock (the input divider halves 1 GHz).
    EXPECT_NE(state.find("\"dds_frequency_hz\": \"250000000.00000000000000000000\""),
              std::string::npos);
    EXPECT_NE(state.find("\"reference\": {\"source\": \"internal\""), std::string::npos);
    EXPECT_EQ(state, hardware_sim_stateJson());
    // The update's decoded change, under the state file's names.
    std::string log = file("hardware.log");
    EXPECT_NE(log.find(" ch1 OUTPUT IOUPDATE = 1 dds_frequency_hz=250000000 ftw=2147483648"),
              std::string::npos)
        << log;
    EXPECT_FALSE(hardware_sim_logTail(5).empty());
}

// Written line by line: the write is on disk when the request returns, with no update, no
// idle player and no state file write after it to flush it.
TEST_F(SimHwTest, RegisterWriteIsLoggedByNameAtOnce) {
    Block b;
    b.record(board_outSlave(1, BOARD_OUT_DDS), 0, ddsFrame(AD9910_REG_PROFILE0, 1u << 31, 8));
    KrGioBuffer buf = {b.bytes.data(), (uint32_t)b.bytes.size()};
    ASSERT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_WRITE_ASYNC, &buf), 0);
    std::string log = file("hardware.log");
    std::string last = log.substr(log.rfind('\n', log.size() - 2) + 1);
    EXPECT_TRUE(std::regex_match(
        last, std::regex("[0-9]+\\.[0-9]{6} #[0-9]+ ch2 AD9910 PROFILE0 = 0x0000000080000000 "
                         "ftw=2147483648 pow=0 asf=0 frequency_hz=250000000\n")))
        << last;
    EXPECT_EQ(hardware_sim_logTail(1).at(0) + "\n", last);
}

// Bounded: past the limit the file moves aside once (an older one is dropped) and the log goes
// on in a fresh one.
TEST_F(SimHwTest, LogMovesAsideOnceAtItsLimit) {
    std::string full = root + "/full";
    mkdir(full.c_str(), 0755);
    mkdir((full + "/sim").c_str(), 0755);
    std::ofstream(full + "/sim/hardware.log.1") << "dropped\n";
    std::ofstream(full + "/sim/hardware.log") << std::string(SIMHW_LOG_FILE_BYTES - 10, '.');
    krpath_setRoot(full.c_str());
    Block b;
    b.record(board_outSlave(0, BOARD_OUT_LOOP_POT), 0, {0x3E, 0x00});
    KrGioBuffer buf = {b.bytes.data(), (uint32_t)b.bytes.size()};
    ASSERT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_WRITE_ASYNC, &buf), 0);
    ASSERT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_WRITE_ASYNC, &buf), 0);
    krpath_setRoot(root.c_str());
    std::ifstream old(full + "/sim/hardware.log.1");
    std::stringstream oldText;
    oldText << old.rdbuf();
    EXPECT_EQ(oldText.str().find("dropped"), std::string::npos);
    EXPECT_NE(oldText.str().find("ch1 AD8402 RDAC1 = 62\n"), std::string::npos);
    std::ifstream now(full + "/sim/hardware.log");
    std::string line;
    ASSERT_TRUE(std::getline(now, line));
    EXPECT_NE(line.find("ch1 AD8402 RDAC1 = 62"), std::string::npos) << line;
    EXPECT_FALSE(std::getline(now, line));
}

TEST(SimHwText, FrequencyTextHasTwentyFractionDigits) {
    EXPECT_EQ(hardware_sim_freqText({2, 1ull << 63}), "2.50000000000000000000");
    EXPECT_EQ(hardware_sim_freqText({-3, 1ull << 63}), "-2.50000000000000000000");
    EXPECT_EQ(hardware_sim_freqText({0, 1}), "0.00000000000000000005");
    EXPECT_EQ(hardware_sim_freqText({20000000000, 0}), "20000000000.00000000000000000000");
}

}  // namespace
