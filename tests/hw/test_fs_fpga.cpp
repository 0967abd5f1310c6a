// FS FPGA link on the FS variant against the simulated FPGA: command bytes of both paths,
// the buffered reach, SPI writes, selects and reads through the FPGA, flip modes, the
// register-read error rate, the jump-pending refusals, the FPGA repeating a pass, and its
// streams clearing mid-transfer and sharing a bus.
#include "hw/fs_fpga.h"

#include <errno.h>
#include <gmock/gmock.h>

#include <atomic>
#include <thread>

#include "hw/board_slaves.h"
#include "hw/fs_fpga_if.h"
#include "hw/fs_fpga_phslink.h"
#include "hw/fs_fpga_registers.h"
#include "hw/hmc987_registers.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "hw/tc77_registers.h"
#include "hw_test_support.h"
#include "kr_generic_io.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<uint8_t>;

class FsFpgaTest : public FsHwTest {
  protected:
    Bytes stream() {
        FS_FPGA_flush();
        return hwtest_bufferedStream();
    }
};

TEST_F(FsFpgaTest, LongCommandsSendTheirDataLastByteFirst) {
    uint32_t v = 0x11223344;
    ASSERT_EQ(FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, FS_REG_TRIGGER_DELAY, 4, &v), 0);
    EXPECT_THAT(hwtest_immediateSends(), ElementsAre(Bytes{0xF4, 0x00, 8, 0x11, 0x22, 0x33, 0x44}));
    ASSERT_EQ(FS_FPGA_setRegisterBits(FS_FPGA_PATH_BUFFERED, fs_regSweepControl(0), 1u << 29), 0);
    FS_FPGA_short_command(FS_SHORT_NOP);
    EXPECT_THAT(stream(), ElementsAre(0xD4, FS_OP_SET_BITS, 18, 0x20, 0, 0, 0, FS_SHORT_NOP));
    uint8_t sixteen[16] = {};
    EXPECT_EQ(FS_FPGA_longCommand(FS_FPGA_PATH_IMMEDIATE, FS_OP_RAM_WRITE, 0, 16, sixteen), -200);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_fpgaRegister(FS_REG_TRIGGER_DELAY), 0x11223344u);
    EXPECT_EQ(hardware_sim_fpgaRegister(fs_regSweepControl(0)), 1u << 29);
    expectNoViolations();
}

struct ReachRow {
    int channel;
    uint32_t reg;
    int buffered;  // expected result on the buffered path
};

class ReachTest : public FsFpgaTest, public ::testing::WithParamInterface<ReachRow> {};

TEST_P(ReachTest, BufferedPathReachesOnlyTheChannelsOwnRegisters) {
    FS_FPGA_selectChannel(GetParam().channel);
    FS_FPGA_flush();
    gio_record_clear();
    uint32_t v = 1;
    EXPECT_EQ(FS_FPGA_writeRegister(FS_FPGA_PATH_BUFFERED, GetParam().reg, 4, &v),
              GetParam().buffered);
    EXPECT_EQ(FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, GetParam().reg, 4, &v), 0);
    EXPECT_EQ(stream().empty(), GetParam().buffered != 0);
    hardware_sim_waitIdle();
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, ReachTest,
                         ::testing::Values(ReachRow{0, 16, 0}, ReachRow{0, 31, 0},
                                           ReachRow{0, 32, -200}, ReachRow{0, 15, -200},
                                           ReachRow{2, 48, 0}, ReachRow{2, 63, 0},
                                           ReachRow{2, 47, -200}, ReachRow{3, 6, -200}),
                         [](const ::testing::TestParamInfo<ReachRow> &info) {
                             return "Channel" + std::to_string(info.param.channel) + "_Reg" +
                                    std::to_string(info.param.reg);
                         });

TEST_F(FsFpgaTest, ImmediateSpiWriteOf20BytesGoesOutAsTwoChunks) {
    Bytes data(20);
    for (int i = 0; i < 20; i++)
        data[i] = (uint8_t)i;
    uint32_t word = krspi_makeWord(BOARD_CONT_SRI, 0, 5, KRSPI_ROUTE_FS);
    ASSERT_EQ(FS_FPGA_SPI_send(FS_FPGA_PATH_IMMEDIATE, word, 20, data.data()), 0);
    Bytes first = {0xA0, 0x16, BOARD_CONT_SRI, 0xBF};
    for (int i = 19; i >= 4; i--)
        first.push_back((uint8_t)i);
    EXPECT_THAT(hwtest_immediateSends(),
                ElementsAre(Bytes{0xF0, 0x05, 0x10}, first,
                            Bytes{0xB3, 3, 2, 1, 0, 0xA4, 0xF0, 0x05, 0x11}, Bytes{}));
    hardware_sim_waitIdle();
    Bytes image = hardware_sim_shiftRegisterImage(BOARD_CONT_SRI);
    EXPECT_EQ(image, data);  // bit b of the register is bit b of the data
    expectNoViolations();
}

TEST_F(FsFpgaTest, BufferedSpiWriteThroughTheTransport) {
    uint8_t d[3] = {0xAA, 0xBB, 0xCC};
    // No route in the word: the FS default write word (bus 0, clock code 5) with option bits
    // 0 and 1.
    ASSERT_EQ(krspiSend(krspi_makeWord(BOARD_CONT_SRI, 1, 0), 3, 3, d), 0);
    EXPECT_THAT(stream(), ElementsAre(0x80, 0x16 | 0x40 | 0x20, BOARD_CONT_SRI, 0x92, 0xCC, 0xBB,
                                      0xAA, 0x84));
    EXPECT_EQ(gio_record_countRequest(KRSPI_IOC_SEND_IOBLOCK), 0u);
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_shiftRegisterImage(BOARD_CONT_SRI), Bytes({0xAA, 0xBB, 0xCC}));
    // Routed to bus 1, where no chip sits at that address.
    uint32_t bus1 = krspi_makeWord(BOARD_CONT_SRI, 1, 5, KRSPI_ROUTE_FS);
    ASSERT_EQ(krspiSend(bus1, 3, 0, d), 0);
    FS_FPGA_flush();
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_violations().size(), 1u);
}

TEST_F(FsFpgaTest, WordsRoutedToTheDriverBypassTheFpga) {
    uint32_t word = krspi_makeWord(BOARD_CONT_SRI, 1, 5, KRSPI_ROUTE_DRIVER);
    uint8_t d[2] = {1, 2};
    ASSERT_EQ(krspiSend(word, 2, 0, d), 0);
    std::vector<GioRecord> w = gio_record_byRequest(KRSPI_IOC_WRITE);
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].argU32(0), BOARD_CONT_SRI);  // bits 0-7 of the word only
    krspiSelectChip(word);
    krspiDeselectChip();
    EXPECT_EQ(gio_record_byRequest(KRSPI_IOC_SELECT_CHIP)[0].value, BOARD_CONT_SRI);
    EXPECT_EQ(gio_record_countRequest(KRSPI_IOC_DESELECT_CHIP), 1u);
    EXPECT_EQ(krspiSetBitrateDivider(10), 0);  // the FS variant has no driver clock
    EXPECT_EQ(gio_record_countRequest(KRSPI_IOC_SET_DIVIDER), 0u);
    EXPECT_TRUE(stream().empty());
}

TEST_F(FsFpgaTest, OpcodesAreNotSpiTargetsOfTheFpga) {
    EXPECT_EQ(FS_FPGA_SPI_send(FS_FPGA_PATH_BUFFERED, KR_IO_ADDR_IOUPD, 0, nullptr), -200);
    EXPECT_EQ(krspiSend(KR_IO_ADDR_IOUPD, 0, 0, nullptr), 0);  // dropped
    EXPECT_TRUE(stream().empty());
}

TEST_F(FsFpgaTest, FlipModeNeverHoldsDataBackUntilFlipOrFlush) {
    ASSERT_EQ(FS_FPGA_setFlushModeNever(), 0);
    FS_FPGA_IF_noOperation();
    FS_FPGA_IF_setIoupdate();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(gio_record_countRequest(KRFS_IOC_TRANSMIT), 0u);
    ASSERT_EQ(FS_FPGA_flip(), 0);
    EXPECT_EQ(gio_record_countRequest(KRFS_IOC_TRANSMIT), 1u);
    FS_FPGA_IF_noOperation();
    ASSERT_EQ(FS_FPGA_setFlushModeAlways(), 0);  // flips what waits
    EXPECT_EQ(gio_record_countRequest(KRFS_IOC_TRANSMIT), 2u);
    EXPECT_THAT(hwtest_bufferedStream(),
                ElementsAre(FS_SHORT_NOP, FS_SHORT_SET_IOUPDATE, FS_SHORT_NOP));
}

TEST_F(FsFpgaTest, SixthFailedRegisterReadShutsTheLinkDown) {
    gio_record_failNext(KRFS_IOC_FETCH_REPLY, 6, -EIO);
    uint32_t v;
    for (int i = 1; i <= 5; i++) {
        EXPECT_EQ(FS_FPGA_readRegister(0, FS_REG_STATUS, 4, &v), -365);
        EXPECT_EQ(FS_FPGA_getErrorRate(), 1000u * i);
        EXPECT_TRUE(FS_FPGA_isLinkUp()) << i;
    }
    EXPECT_EQ(FS_FPGA_readRegister(0, FS_REG_STATUS, 4, &v), -365);
    EXPECT_FALSE(FS_FPGA_isLinkUp());
    size_t sends = gio_record_countRequest(KRFS_IOC_SEND_IMM);
    EXPECT_EQ(FS_FPGA_readRegister(0, FS_REG_STATUS, 4, &v), -365);  // nothing sent any more
    EXPECT_EQ(gio_record_countRequest(KRFS_IOC_SEND_IMM), sends);
    EXPECT_EQ(FS_FPGA_sendImm("x", 1, 0), -365);
}

TEST_F(FsFpgaTest, SuccessfulReadsLowerTheErrorRateAndFailedConditionalReadsAskTheStatus) {
    uint32_t v = 0;
    gio_record_failNext(KRFS_IOC_FETCH_REPLY, 1, -EIO);
    EXPECT_EQ(FS_FPGA_readRegister(1, 12, 4, &v), -365);
    std::vector<Bytes> sends = hwtest_immediateSends();
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0], (Bytes{0xF1, FS_OP_READ_REGISTER, 12, 1}));
    EXPECT_EQ(sends[1], (Bytes{0xF1, FS_OP_READ_REGISTER, FS_REG_STATUS, 0}));
    EXPECT_EQ(FS_FPGA_getErrorRate(), 999u);  // the status read went through
    uint32_t word = 0x12345678;
    FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, FS_REG_PHS_LINK_TX, 4, &word);
    EXPECT_EQ(FS_FPGA_readRegister(0, FS_REG_PHS_LINK_TX, 4, &v), 0);
    EXPECT_EQ(v, 0x12345678u);
    EXPECT_EQ(FS_FPGA_getErrorRate(), 998u);
}

TEST_F(FsFpgaTest, SpiReadThroughTheBufferedPathReturnsWhatTheChipSends) {
    hardware_sim_setTemperature(1, 42.5);
    FS_FPGA_selectChannel(1);
    uint8_t t[2] = {};
    uint32_t word = krspi_makeWord(board_outSlave(1, BOARD_OUT_TEMP), 0, 0);
    ASSERT_EQ(krspiRecv(word, 0, 2, 0, t), 0);
    uint16_t raw = (uint16_t)(t[0] | t[1] << 8);
    EXPECT_EQ(raw, (uint16_t)((680 << TC77_TEMPERATURE_SHIFT) | TC77_CONVERSION_DONE));
    // A 6-byte read takes two chunks of at most 4 bytes; each is fetched through register 4.
    uint8_t six[6];
    ASSERT_EQ(krspiRecv(word, 0, 6, 0, six), 0);
    EXPECT_EQ(six[5], 0x15);  // first byte on the wire: the temperature's high byte
    EXPECT_EQ(six[4], 0x44);
    expectNoViolations();
}

TEST_F(FsFpgaTest, ImmediateShortReadIsOneAtomicString) {
    hardware_sim_setTemperature(0, -0.0625);
    uint8_t t[2];
    uint32_t word = krspi_makeWord(board_outSlave(0, BOARD_OUT_TEMP), 0, 0, KRSPI_ROUTE_FS);
    ASSERT_EQ(krspiRecv_async(word, 0, 2, 0, t), 0);
    EXPECT_EQ((uint16_t)(t[0] | t[1] << 8), 0xFFFCu);  // -1 step, conversion done
    std::vector<Bytes> sends = hwtest_immediateSends();
    ASSERT_EQ(sends.size(), 2u);  // the transfer, then the register read
    EXPECT_EQ(sends[0],
              (Bytes{0xF0, 5, 0x10, 0xA0, 0x15, (uint8_t)board_outSlave(0, BOARD_OUT_TEMP), 0xB1, 0,
                     0, 0xA4, 0xF0, 5, 0x11}));
}

TEST_F(FsFpgaTest, ChipSelectHoldsTheTransferAndTheSpiLock) {
    uint32_t word = krspi_makeWord(BOARD_CONT_SRI, 0, 5, KRSPI_ROUTE_FS);
    ASSERT_EQ(krspiSelectChip(word), 0);
    FS_FPGA_SPI_selectChip(FS_FPGA_PATH_BUFFERED, word);  // same word again: nothing sent
    uint8_t a = 1, b = 2;
    krspiSend(word, 1, 0, &a);
    krspiSend(word, 1, 0, &b);
    std::atomic<int> refused{-1};
    std::thread other([&] { refused = krspiSend(word, 1, 0, &a); });
    other.join();
    EXPECT_EQ(refused, -240);
    EXPECT_EQ(krspiMutexLockFailed(), 1);
    krspiDeselectChip();
    EXPECT_THAT(stream(), ElementsAre(0x80, 0x16, BOARD_CONT_SRI, 0x80, 0x16, BOARD_CONT_SRI, 0x90,
                                      1, 0x80, 0x16, BOARD_CONT_SRI, 0x90, 2, 0x84));
    // The two FPGA paths run side by side: let the first sequence latch before the next.
    hardware_sim_waitIdle();
    std::thread after([&] { refused = krspiSend(word, 1, 0, &a); });
    after.join();
    EXPECT_EQ(refused, 0);
    hardware_sim_waitIdle();
    // The byte sent last after the lock was released is what the register holds at its end.
    Bytes image = hardware_sim_shiftRegisterImage(BOARD_CONT_SRI);
    ASSERT_FALSE(image.empty());
    EXPECT_EQ(image.back(), 1);
    expectNoViolations();
}

TEST_F(FsFpgaTest, DeselectWithoutSelectIsFlaggedByTheFpga) {
    FS_FPGA_SPI_deselectChip(FS_FPGA_PATH_IMMEDIATE);
    hardware_sim_waitIdle();
    ASSERT_EQ(hardware_sim_violations().size(), 1u);
    EXPECT_NE(hardware_sim_violations()[0].find("deselect without select"), std::string::npos);
}

TEST_F(FsFpgaTest, JumpPendingRefusesTheBufferedPathUntilTheBufferIsCleared) {
    FS_FPGA_IF_setJumpLabel();
    FS_FPGA_IF_jumpToLabel();
    EXPECT_TRUE(FS_FPGA_IF_isBufThrottled());
    uint32_t word = krspi_makeWord(BOARD_CONT_SRI, 0, 5, KRSPI_ROUTE_FS);
    uint8_t a = 1;
    EXPECT_EQ(FS_FPGA_SPI_send(FS_FPGA_PATH_BUFFERED, word, 1, &a), -200);
    EXPECT_EQ(FS_FPGA_SPI_selectChip(FS_FPGA_PATH_BUFFERED, word), -200);
    EXPECT_EQ(FS_FPGA_SPI_deselectChip(FS_FPGA_PATH_BUFFERED), -200);
    uint8_t t[2];
    EXPECT_EQ(FS_FPGA_longSpiRead(FS_FPGA_PATH_BUFFERED, word, 2, nullptr, t), -200);
    EXPECT_EQ(FS_FPGA_IF_awaitIdle(), -200);
    EXPECT_EQ(FS_FPGA_SPI_send(FS_FPGA_PATH_IMMEDIATE, word, 1, &a), 0);
    FS_FPGA_IF_IMM_setCbufState(1);
    FS_FPGA_IF_IMM_setCbufState(0);
    EXPECT_FALSE(FS_FPGA_IF_isBufThrottled());
    EXPECT_EQ(FS_FPGA_SPI_send(FS_FPGA_PATH_BUFFERED, word, 1, &a), 0);
    EXPECT_EQ(FS_FPGA_IF_awaitIdle(), 0);
}

TEST_F(FsFpgaTest, ThrottleAndBufferedModeStopBufferedReads) {
    uint32_t word = krspi_makeWord(BOARD_CONT_TEMP, 0, 5, KRSPI_ROUTE_FS);
    uint8_t t[2];
    FS_FPGA_IF_setBufThrottled(FS_THROTTLE_SWEEP);
    EXPECT_EQ(FS_FPGA_longSpiRead(FS_FPGA_PATH_BUFFERED, word, 2, nullptr, t), -200);
    EXPECT_FALSE(krspiAccessibleByThread());
    FS_FPGA_IF_clearBufThrottled(FS_THROTTLE_SWEEP);
    FS_FPGA_IF_setBufferedMode();
    EXPECT_EQ(FS_FPGA_longSpiRead(FS_FPGA_PATH_BUFFERED, word, 2, nullptr, t), -200);
    FS_FPGA_IF_setDirectMode();
    EXPECT_EQ(FS_FPGA_longSpiRead(FS_FPGA_PATH_BUFFERED, word, 2, nullptr, t), 0);
    EXPECT_TRUE(krspiAccessibleByThread());
}

TEST_F(FsFpgaTest, SweepTimerRegisterHoldsBothCountsHighByteFirst) {
    FS_FPGA_selectChannel(1);
    FS_FPGA_flush();
    gio_record_clear();
    ASSERT_EQ(FS_FPGA_IF_setSweepTimer(1e-6, 2e-6), 0);  // 200 and 400 counts
    EXPECT_THAT(stream(),
                ElementsAre(0xD8, FS_OP_WRITE_REGISTER, 32, 0, 0, 0x01, 0x90, 0, 0, 0, 200));
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_fpgaRegister(32), (400ull << 32) | 200);
}

TEST_F(FsFpgaTest, FpgaRepeatsThePassBetweenLabelAndJumpCountTimes) {
    FS_FPGA_IF_setSweepCount(3);
    uint64_t updates = hardware_sim_ioupdates();
    FS_FPGA_setFlushModeNever();
    FS_FPGA_IF_setJumpLabel();
    FS_FPGA_IF_awaitSweepPointProg();
    FS_FPGA_IF_ioupdate();
    FS_FPGA_IF_ioupdate();
    FS_FPGA_IF_markSweepLastPoint();
    FS_FPGA_IF_jumpToLabel();
    FS_FPGA_flush();
    FS_FPGA_setFlushModeAlways();
    ASSERT_TRUE(hardware_sim_waitIdle());
    for (int i = 0; i < 200 && hardware_sim_fpgaLooping(0); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_FALSE(hardware_sim_fpgaLooping(0));
    EXPECT_EQ(hardware_sim_fpgaPasses(0), 3u);
    EXPECT_EQ(hardware_sim_ioupdates(), updates + 6);
    expectNoViolations();
}

TEST_F(FsFpgaTest, EndlessPassRunsUntilTheCommandBufferIsCleared) {
    FS_FPGA_IF_setSweepCount(0);
    FS_FPGA_IF_setJumpLabel();
    FS_FPGA_IF_ioupdate();
    FS_FPGA_IF_jumpToLabel();
    FS_FPGA_flush();
    for (int i = 0; i < 200 && hardware_sim_fpgaPasses(0) < 50; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(hardware_sim_fpgaLooping(0));
    EXPECT_GE(hardware_sim_fpgaPasses(0), 50u);
    FS_FPGA_IF_IMM_setCbufState(1);
    FS_FPGA_flush();
    FS_FPGA_IF_IMM_setCbufState(0);
    EXPECT_FALSE(hardware_sim_fpgaLooping(0));
}

// A buffered write of the fan-out buffer whose stream pauses between select and data, as a
// stream lagging behind the link does.
void slowFanoutWrite(uint8_t ports, uint32_t pauseUs) {
    const uint8_t start[3] = {FS_CMD_SPI_BUFFERED, FS_SPI_FLAG_SELECT, BOARD_REF_FANOUT};
    const uint8_t rest[4] = {FS_CMD_SPI_CHUNK_BUFFERED | 1, HMC987_REG_PORTS, ports,
                             FS_CMD_SPI_END_BUFFERED};
    FS_FPGA_sendRaw(FS_FPGA_PATH_BUFFERED, sizeof(start), start);
    FS_FPGA_IF_delayUs(pauseUs);
    FS_FPGA_sendRaw(FS_FPGA_PATH_BUFFERED, sizeof(rest), rest);
}

// Hands the stream over and waits until the FPGA has started its transfer.
bool fanoutSelected() {
    FS_FPGA_flush();
    for (int i = 0; i < 200 && !hardware_sim_chipSelected(BOARD_REF_FANOUT); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return hardware_sim_chipSelected(BOARD_REF_FANOUT);
}

void clearCommandBuffer() {
    FS_FPGA_IF_IMM_setCbufState(1);
    FS_FPGA_flush();
    FS_FPGA_IF_IMM_setCbufState(0);
}

void resetStreams() {
    uint32_t one = 1;
    FS_FPGA_writeRegister(FS_FPGA_PATH_IMMEDIATE, FS_REG_RESET, 4, &one);
}

class ClearMidTransferTest : public FsFpgaTest, public ::testing::WithParamInterface<void (*)()> {};

TEST_P(ClearMidTransferTest, ClearingTheStreamEndsTheTransferItWasClocking) {
    hardware_sim_setTimeScale(1.0);
    slowFanoutWrite(0x0F, 300000);
    ASSERT_TRUE(fanoutSelected());
    GetParam()();
    EXPECT_FALSE(hardware_sim_chipSelected(BOARD_REF_FANOUT));
    uint8_t d = 0x5A;  // the stream's next transfer finds the bus free
    ASSERT_EQ(krspiSend(krspi_makeWord(BOARD_CONT_SRI, 0, 5, KRSPI_ROUTE_FS), 1, 0, &d), 0);
    FS_FPGA_flush();
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_EQ(hardware_sim_shiftRegisterImage(BOARD_CONT_SRI), Bytes{0x5A});
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(Rows, ClearMidTransferTest,
                         ::testing::Values(clearCommandBuffer, resetStreams),
                         [](const ::testing::TestParamInfo<void (*)()> &info) {
                             return info.param == clearCommandBuffer ? "ClearCommandBuffer"
                                                                     : "ResetStreams";
                         });

TEST_F(FsFpgaTest, StreamsTakeTurnsOnTheBusOfASharedChip) {
    hardware_sim_setTimeScale(1.0);
    uint64_t frames = hardware_sim_chipFrames(BOARD_REF_FANOUT);
    slowFanoutWrite(0x01, 200000);
    ASSERT_TRUE(fanoutSelected());
    FS_FPGA_selectChannel(1);
    slowFanoutWrite(0x02, 0);  // starts while channel 0's transfer is open
    FS_FPGA_flush();
    ASSERT_TRUE(hardware_sim_waitIdle());
    EXPECT_EQ(hardware_sim_chipFrames(BOARD_REF_FANOUT), frames + 2);
    EXPECT_EQ(hardware_sim_chipRegister(BOARD_REF_FANOUT, HMC987_REG_PORTS), 0x02u);
    expectNoViolations();
}

TEST_F(FsFpgaTest, TransmitReportingTheFpgaDownDisablesTheLink) {
    gio_record_failNext(KRFS_IOC_TRANSMIT, 1, KRFS_ERR_LINK_DOWN);
    FS_FPGA_IF_noOperation();
    FS_FPGA_flush();
    EXPECT_FALSE(FS_FPGA_isLinkUp());
    size_t n = gio_record_countRequest(KRFS_IOC_TRANSMIT);
    FS_FPGA_IF_noOperation();
    FS_FPGA_flush();
    EXPECT_EQ(gio_record_countRequest(KRFS_IOC_TRANSMIT), n);
}

TEST_F(FsFpgaTest, InitRunsOnceAndItsSelfTestShutsADeadLinkDown) {
    EXPECT_EQ(FS_FPGA_init(), 0);  // already initialised
    EXPECT_EQ(gio_record_countRequest(KRFS_IOC_INIT), 0u);
    FS_FPGA_free();
    EXPECT_EQ(FS_FPGA_flush(), -200);  // inactive: every primitive answers -200
    // The first reply is the flash's identification (no flash: init goes on), the second the
    // status register of the self-test.
    gio_record_failNext(KRFS_IOC_FETCH_REPLY, 2, -EIO);
    EXPECT_EQ(FS_FPGA_init(), -200);
    EXPECT_FALSE(FS_FPGA_isLinkUp());
    FS_FPGA_free();
    gio_record_clear();
    ASSERT_EQ(FS_FPGA_init(), 0);
    EXPECT_EQ(gio_record_countRequest(KRFS_IOC_INIT), 1u);
    hardware_sim_waitIdle();
    for (int c = 0; c < 4; c++)
        EXPECT_EQ(hardware_sim_fpgaOutputValid(c), 0) << c;
    EXPECT_EQ(hardware_sim_fpgaRegister(FS_REG_TRIGGER) >> FS_TRIGGER_INIT_CONTINUOUS & 1, 1u);
    expectNoViolations();
}

TEST_F(FsFpgaTest, PhaseLinkModeField) {
    EXPECT_EQ(FS_FPGA_phsLink_setModeSlave(), 0);
    EXPECT_TRUE(FS_FPGA_phsLink_isModeSlave());
    EXPECT_FALSE(FS_FPGA_phsLink_isModeMaster());
    FS_FPGA_phsLink_setModeMaster();
    EXPECT_TRUE(FS_FPGA_phsLink_isModeMaster());
    EXPECT_EQ(hardware_sim_fpgaRegister(FS_REG_PHS_MODE) >> 30, 1u);
    FS_FPGA_phsLink_sendCommand(300);
    EXPECT_EQ(hardware_sim_fpgaRegister(FS_REG_PHS_LINK_TX), 0x44000000u | (300u << 18));
    uint32_t values[3] = {1, 256, 511}, back[3];
    uint32_t w = FS_FPGA_phsLink_packWord(values, 3);
    EXPECT_EQ(w >> 30, 3u);
    EXPECT_EQ(FS_FPGA_phsLink_unpackWord(w, back), 3);
    EXPECT_EQ(back[1], 256u);
    gio_record_failNext(KRFS_IOC_FETCH_REPLY, 1, -EIO);
    EXPECT_FALSE(FS_FPGA_phsLink_isModeMaster());  // a failed read answers 0
}

TEST(FsFpgaInactive, StandardVariantAnswersMinus200) {
    EXPECT_EQ(FS_FPGA_sendRaw(FS_FPGA_PATH_BUFFERED, 1, "x"), -200);
    EXPECT_EQ(FS_FPGA_IF_ioupdate(), -200);
    EXPECT_EQ(FS_FPGA_IF_isBufThrottled(), 1);
    uint32_t v;
    EXPECT_EQ(FS_FPGA_readRegister(0, 5, 4, &v), -200);
}

}  // namespace
