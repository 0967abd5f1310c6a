// SPI transport on the standard variant: capture and the I/O block, unbuffered writes,
// reads, the SPI lock between threads, the asynchronous path, driver settings, slave names
// and invalidation listeners.
#include "hw/krspi.h"

#include <errno.h>
#include <gmock/gmock.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "hw/ad9910_registers.h"
#include "hw/board_slaves.h"
#include "hw_test_support.h"
#include "kr_generic_io.h"
#include "tests/support/param_name.h"

namespace {

using ::testing::ElementsAre;

const uint32_t potWord = krspi_makeWord(board_outSlave(0, BOARD_OUT_LOOP_POT), 0, 5);

class SpiTest : public HwTest {
  protected:
    size_t blocks() { return gio_record_countRequest(KRSPI_IOC_SEND_IOBLOCK); }
    // A potentiometer word: two bytes, harmless for the emulators.
    int sendPot(uint8_t value) {
        uint8_t data[2] = {value, 0};
        return krspiSend(potWord, 2, 0, data);
    }
};

TEST_F(SpiTest, CaptureCollectsRecordsIntoOneBlockWithTheDriverLayout) {
    ASSERT_EQ(krspi_startCapture(), 0);
    EXPECT_TRUE(krspi_isCaptureActive());
    const uint8_t three[3] = {0xA1, 0xA2, 0xA3};
    EXPECT_EQ(krspiSend(krspi_makeWord(0x42, 1, 5), 3, 4, three), 0);
    EXPECT_EQ(krspiSend(KR_IO_ADDR_DELAY_US, 0, 250, nullptr), 0);
    EXPECT_EQ(blocks(), 0u);
    EXPECT_EQ(krspi_getCaptureUsed(), 16u + 12u);
    ASSERT_EQ(krspi_stopCapture(), 0);
    ASSERT_EQ(blocks(), 1u);

    std::vector<uint8_t> block = gio_record_byRequest(KRSPI_IOC_SEND_IOBLOCK)[0].payload;
    ASSERT_EQ(block.size(), 28u);
    uint32_t h[3];
    memcpy(h, block.data(), 12);
    EXPECT_EQ(h[0], 0x42u);  // bits 0-8 of the word only: the bus is not the driver's
    EXPECT_EQ(h[1], 3u);
    EXPECT_EQ(h[2], 4u);
    EXPECT_EQ(block[12], 0xA1);
    EXPECT_EQ(block[14], 0xA3);
    EXPECT_EQ(block[15], 0);  // padding to (3 + 15) & ~3 = 16 bytes
    memcpy(h, block.data() + 16, 12);
    EXPECT_EQ(h[0], KR_IO_ADDR_DELAY_US);
    EXPECT_EQ(h[2], 250u);
    EXPECT_EQ(krspi_getCaptureUsed(), 0u);
}

TEST_F(SpiTest, AlmostFullBlockIsSentBeforeTheNextRecord) {
    krspi_startCapture();
    // 1000 data bytes make 1012-byte records: 16 fill 16192 bytes, 192 remain.
    std::vector<uint8_t> data(1000, 0x11);
    for (int i = 0; i < 16; i++)
        krspiSend(0x10, 1000, 0, data.data());
    EXPECT_EQ(krspi_getCaptureUsed(), 16192u);
    EXPECT_EQ(blocks(), 0u);
    std::vector<uint8_t> more(200, 0x22);  // a 212-byte record does not fit
    krspiSend(0x10, 200, 0, more.data());
    ASSERT_EQ(blocks(), 1u);
    EXPECT_EQ(gio_record_byRequest(KRSPI_IOC_SEND_IOBLOCK)[0].payloadBytes, 16192u);
    EXPECT_EQ(krspi_getCaptureUsed(), 212u);  // the new block starts with the record
    krspi_stopCapture();
    ASSERT_EQ(blocks(), 2u);
    std::vector<GioIoRecord> second;
    ASSERT_TRUE(
        gio_record_parseIoBlock(gio_record_byRequest(KRSPI_IOC_SEND_IOBLOCK)[1].payload, &second));
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].length, 200u);
}

TEST_F(SpiTest, RecordLargerThanTheBlockGoesOutUnbuffered) {
    krspi_startCapture();
    sendPot(1);
    std::vector<uint8_t> big(16500, 0x5A);
    EXPECT_EQ(krspi_doCapture(0x10, (uint32_t)big.size(), 0, big.data()), 1);
    std::vector<GioRecord> all = gio_record_all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].request, KRSPI_IOC_SEND_IOBLOCK);  // what was collected goes first
    EXPECT_EQ(all[1].request, KRSPI_IOC_WRITE);
    EXPECT_EQ(all[1].argU32(1), 16500u);
    EXPECT_EQ(krspi_getCaptureUsed(), 0u);
    krspi_stopCapture();
}

TEST_F(SpiTest, CaptureNestingAndItsErrors) {
    EXPECT_EQ(krspi_stopCapture(), -200);  // stop without start sends nothing
    EXPECT_EQ(gio_record_count(), 0u);
    krspi_startCapture();
    krspi_startCapture();
    sendPot(1);
    EXPECT_EQ(krspi_stopCapture(), 0);
    EXPECT_EQ(blocks(), 0u);  // still collecting until the second stop
    EXPECT_EQ(krspi_stopCapture(), 0);
    EXPECT_EQ(blocks(), 1u);
    EXPECT_EQ(krspi_resumeCapture(), -200);  // resume without break
}

TEST_F(SpiTest, BreakSendsWhatWasCollectedThenRecordsOneByOneUntilResume) {
    krspi_startCapture();
    sendPot(1);
    sendPot(2);
    EXPECT_EQ(krspi_breakCapture(), 0);
    EXPECT_EQ(blocks(), 1u);
    EXPECT_FALSE(krspi_isCaptureActive());
    EXPECT_EQ(krspi_startCapture(), 0);  // ignored during a break
    sendPot(3);
    sendPot(4);
    EXPECT_EQ(blocks(), 3u);
    EXPECT_EQ(krspi_stopCapture(), -200);  // capture still open beneath the break
    krspi_breakCapture();                  // nested break
    EXPECT_EQ(krspi_resumeCapture(), 0);
    sendPot(5);
    EXPECT_EQ(blocks(), 4u);
    EXPECT_EQ(krspi_resumeCapture(), 0);
    EXPECT_TRUE(krspi_isCaptureActive());
    sendPot(6);
    EXPECT_EQ(blocks(), 4u);
    EXPECT_EQ(krspi_stopCapture(), 0);
    EXPECT_EQ(blocks(), 5u);
}

TEST_F(SpiTest, GlobalLockRefusesReadsAndKeepsWritesInTheBlock) {
    krspiLock();
    uint8_t buffer[2];
    EXPECT_EQ(krspiRecv(potWord, 0, 2, 0, buffer), -1);
    EXPECT_EQ(sendPot(7), 0);
    EXPECT_EQ(blocks(), 0u);
    EXPECT_EQ(krspi_getCaptureUsed(), 16u);
    EXPECT_FALSE(krspiAccessibleByThread());
    krspiUnlock();
    sendPot(8);  // a later send flushes both
    ASSERT_EQ(blocks(), 1u);
    std::vector<GioIoRecord> records = ioRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].data[0], 7);
    EXPECT_EQ(records[1].data[0], 8);
}

TEST_F(SpiTest, DriverFailuresAreRetriedOnce) {
    gio_record_failNext(KRSPI_IOC_SEND_IOBLOCK, 1, -EIO);
    EXPECT_EQ(sendPot(1), 0);
    EXPECT_EQ(blocks(), 2u);
    gio_record_failNext(KRSPI_IOC_SEND_IOBLOCK, 2, -EIO);
    EXPECT_EQ(krspi_startCapture(), 0);
    sendPot(2);
    krspi_stopCapture();
    EXPECT_EQ(krspi_getCaptureUsed(), 0u);  // emptied even though both attempts failed
    gio_record_failNext(KRSPI_IOC_WRITE, 2, -EIO);
    uint8_t d[1] = {0};
    EXPECT_EQ(krspi_sendImmediately(0x10, 1, 0, d), -200);
    EXPECT_EQ(krspi_sendImmediately(0x10, 1, 0, nullptr), -200);
    gio_record_failNext(KRSPI_IOC_READ, 2, -EIO);
    EXPECT_EQ(krspiRecv(potWord, 0, 1, 0, d), -1);
    EXPECT_EQ(gio_record_countRequest(KRSPI_IOC_READ), 2u);
}

TEST_F(SpiTest, ReadsCarryTheRecordAndTheChipsAnswer) {
    // The DDS answers a register read with what was written to it.
    const uint32_t dds = krspi_makeWord(board_outSlave(0, BOARD_OUT_DDS), 0, 2);
    uint8_t cfr[5] = {0x78, 0x56, 0x34, 0x12, AD9910_REG_CFR1};
    ASSERT_EQ(krspiSend(dds, 5, 0, cfr), 0);
    uint8_t back[5] = {};
    uint32_t command = (uint32_t)(AD9910_INSTR_READ | AD9910_REG_CFR1) << 24;
    ASSERT_EQ(krspiRecv(dds, command, 5, 1, back), 0);
    uint32_t value;
    memcpy(&value, back, 4);
    EXPECT_EQ(value, 0x12345678u);
    GioRecord r = gio_record_byRequest(KRSPI_IOC_READ)[0];
    EXPECT_EQ(r.argU32(0), board_outSlave(0, BOARD_OUT_DDS));
    EXPECT_EQ(r.argU32(1), 5u);
    EXPECT_EQ(r.argU32(2), 1u);
    EXPECT_EQ(r.argU32(3), command);
    EXPECT_EQ(krspiRecv(dds, 0, 5, 0, nullptr), -1);
    expectNoViolations();
}

TEST_F(SpiTest, ForeignThreadIsRefusedWhileAnotherHoldsTheThreadLock) {
    std::atomic<int> phase{0};
    std::thread owner([&] {
        krspiLockForThread();
        krspiLockForThread();  // nested: counted
        EXPECT_EQ(sendPot(1), 0);
        EXPECT_TRUE(krspiAccessibleByThread());
        phase = 1;
        while (phase != 2)
            std::this_thread::yield();
        krspiUnlockForThread();
        EXPECT_EQ(sendPot(3), 0);  // still held after the inner unlock
        krspiUnlockForThread();
    });
    while (phase != 1)
        std::this_thread::yield();
    EXPECT_FALSE(krspiAccessibleByThread());
    EXPECT_EQ(sendPot(2), -1);
    uint8_t b[2];
    EXPECT_EQ(krspiRecv(potWord, 0, 2, 0, b), -1);
    EXPECT_EQ(krspiMutexLockFailed(), 1);
    EXPECT_EQ(krspiMutexLockFailed(), 0);  // read and cleared
    krspiPauseLockForThread();             // the bypass lets the transfer pass
    EXPECT_TRUE(krspiAccessibleByThread());
    EXPECT_EQ(sendPot(4), 0);
    krspiResumeLockForThread();
    krspiUnlockForThread();  // not the owner: changes nothing
    EXPECT_FALSE(krspiAccessibleByThread());
    phase = 2;
    owner.join();
    EXPECT_TRUE(krspiAccessibleByThread());
    std::vector<GioIoRecord> records = ioRecords();
    ASSERT_EQ(records.size(), 3u);  // 1, 4, 3: the refused record never reached the block
    EXPECT_EQ(records[0].data[0], 1);
    EXPECT_EQ(records[1].data[0], 4);
    EXPECT_EQ(records[2].data[0], 3);
}

struct DividerRow {
    int requested;
    uint32_t sent;
};

class DividerTest : public SpiTest, public ::testing::WithParamInterface<DividerRow> {};

TEST_P(DividerTest, DividerIsClampedTo1To255) {
    EXPECT_EQ(krspiSetBitrateDivider(GetParam().requested), 0);
    std::vector<GioRecord> r = gio_record_byRequest(KRSPI_IOC_SET_DIVIDER);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].value, GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(Rows, DividerTest,
                         ::testing::Values(DividerRow{0, 1}, DividerRow{1, 1}, DividerRow{40, 40},
                                           DividerRow{255, 255}, DividerRow{300, 255},
                                           DividerRow{-3, 1}),
                         [](const ::testing::TestParamInfo<DividerRow> &info) {
                             return paramNumber(info.param.requested);
                         });

TEST_F(SpiTest, ChipSelectDelayAndPinStates) {
    krspiSetChipSelectDelay(300);
    krspiSetChipSelectDelay(7);
    std::vector<GioRecord> r = gio_record_byRequest(KRSPI_IOC_SET_CS_DELAY);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0].value, 255u);
    EXPECT_EQ(r[1].value, 7u);
    uint32_t pin = 0xCAFE;
    gio_record_setReadData(KRGIO_IOC_READ_PIN_2, &pin, 4);
    EXPECT_EQ(krspiReadPinState(KRGIO_IOC_READ_PIN_2), 0xCAFEu);
    EXPECT_STREQ(krspi_getClockStr(0), "100M");
    EXPECT_STREQ(krspi_getClockStr(4), "6M3");
    EXPECT_STREQ(krspi_getClockStr(7), "781K");
}

TEST_F(SpiTest, OpenSetsDivider40AndIsExclusive) {
    krspiClose();
    gio_record_clear();
    ASSERT_EQ(krspiOpen(), 0);
    std::vector<GioRecord> r = gio_record_byRequest(KRSPI_IOC_SET_DIVIDER);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].value, 40u);
    EXPECT_FALSE(krspi_isFs());
}

TEST_F(SpiTest, SlaveListHolds128PairsAndRenamesOnReAdd) {
    for (uint32_t i = 0; i < 128; i++) {
        char name[32];
        snprintf(name, sizeof(name), "chip%u", i);
        krspi_addSlave(krspi_makeWord(i % 64, i / 64, 0), name);
    }
    EXPECT_STREQ(krspi_getSlaveName(krspi_makeWord(5, 0, 3)), "chip5");
    EXPECT_STREQ(krspi_getSlaveName(krspi_makeWord(5, 1, 0)), "chip69");
    krspi_addSlave(krspi_makeWord(200, 0, 0), "one too many");
    EXPECT_STREQ(krspi_getSlaveName(krspi_makeWord(200, 0, 0)), "(unknown)");
    krspi_addSlave(krspi_makeWord(5, 0, 0), "renamed with a name far longer than the slot");
    EXPECT_STREQ(krspi_getSlaveName(krspi_makeWord(5, 0, 0)),
                 "renamed with a name far longer ");  // 31 characters
    EXPECT_STREQ(krspi_getSlaveName(KR_IO_ADDR_IOUPD), "KR_IO_ADDR_IOUPD");
    EXPECT_STREQ(krspi_getSlaveName(KR_IO_ADDR_SLEEP_US), "KR_IO_ADDR_SLEEP_US");
    EXPECT_STREQ(krspi_getSlaveName(260), "(unknown)");
}

TEST_F(SpiTest, InvalidationListenersAreCalledInOrderUntilReset) {
    std::vector<int> calls;
    auto cb = [](void *c) { ((std::vector<int> *)c)->push_back(0); };
    KrspiInvalidationListener a = {nullptr, cb, &calls};
    KrspiInvalidationListener b = {nullptr, [](void *c) { ((std::vector<int> *)c)->push_back(1); },
                                   &calls};
    krspi_addInvalidationListener(&a);
    krspi_addInvalidationListener(&b);
    krspi_addInvalidationListener(&a);  // listed once only
    krspi_notifyInvalidationListener();
    EXPECT_THAT(calls, ElementsAre(0, 1));
    krspiReset();
    krspi_notifyInvalidationListener();
    EXPECT_EQ(calls.size(), 2u);
}

TEST_F(SpiTest, AsynchronousPathSendsOneRecordAndWaitsForTheHold) {
    uint8_t d[2] = {0x34, 0x12};
    EXPECT_EQ(krspiSend_async(potWord, 2, 1, d), 0);
    std::vector<GioRecord> r = gio_record_byRequest(KRSPI_IOC_WRITE_ASYNC);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].argU32(offsetof(KrGioBuffer, length) / 4), 16u);  // record size
    std::vector<GioIoRecord> one;
    ASSERT_TRUE(gio_record_parseIoBlock(r[0].payload, &one));
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].options, 1u);
    std::vector<uint8_t> big(117, 0);
    EXPECT_EQ(krspiSend_async(potWord, 117, 0, big.data()), -200);  // beyond the 128-byte block

    krspiLockAsync();
    krspiLockAsync();
    std::atomic<bool> sent{false};
    std::thread t([&] {
        krspiSend_async(potWord, 2, 0, d);
        sent = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_FALSE(sent);
    krspiUnlockAsync();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(sent);                                // counted: one hold left
    std::thread releaser([] { krspiUnlockAsync(); });  // the sweep task releases Sweep_start's hold
    releaser.join();
    t.join();
    EXPECT_TRUE(sent);
    krspiUnlockAsync();  // beyond zero: nothing happens
    EXPECT_EQ(krspiSend_async(potWord, 2, 0, d), 0);
}

TEST_F(SpiTest, SpiTimerRequestsCarryTheirRecords) {
    EXPECT_EQ(krspi_spiTimerInit(), 0);
    EXPECT_EQ(krspi_spiTimerStart(67, 2, 9, 2, 11, 123456), 0);
    EXPECT_EQ(krspi_spiTimerAllocmem(64), 0);
    EXPECT_EQ(krspi_spiTimerWritemem(1, 2, 3, 4), 0);
    EXPECT_EQ(krspi_spiTimerStop(), 0);
    EXPECT_EQ(krspi_spiTimerFreemem(), 0);
    EXPECT_EQ(krspi_spiTimerRelease(), 0);
    GioRecord start = gio_record_byRequest(KRSPI_IOC_TIMER_START)[0];
    const uint32_t want[9] = {67, 2, 9, 0, 0, 2, 11, 123456, 78};
    for (int i = 0; i < 9; i++)
        EXPECT_EQ(start.argU32(i), want[i]) << i;
    EXPECT_EQ(gio_record_byRequest(KRSPI_IOC_TIMER_ALLOCMEM)[0].argU32(0), 64u);
    EXPECT_EQ(gio_record_byRequest(KRSPI_IOC_TIMER_WRITEMEM)[0].argU32(3), 4u);
    gio_record_failNext(KRSPI_IOC_TIMER_INIT, 1, -EIO);
    EXPECT_EQ(krspi_spiTimerInit(), -200);
    gio_record_failNext(KRSPI_IOC_TIMER_STOP, 1, -EIO);
    EXPECT_EQ(krspi_spiTimerStop(), 0);
    expectNoViolations();
}

TEST_F(SpiTest, ChipSelectBracketsTransfersAndDeselectWithoutSelectIsFlagged) {
    const uint32_t dds = krspi_makeWord(board_outSlave(0, BOARD_OUT_DDS), 0, 2);
    krspiSelectChip(dds);
    uint8_t cfr[5] = {0x00, 0x00, 0x00, 0x00, AD9910_REG_CFR1};
    krspiSend(dds, 5, 0, cfr);
    krspiSend(dds, 5, 0, cfr);
    hardware_sim_waitIdle();
    EXPECT_TRUE(hardware_sim_chipSelected(board_outSlave(0, BOARD_OUT_DDS)));
    krspiDeselectChip();
    hardware_sim_waitIdle();
    EXPECT_FALSE(hardware_sim_chipSelected(board_outSlave(0, BOARD_OUT_DDS)));
    EXPECT_EQ(hardware_sim_chipFrames(board_outSlave(0, BOARD_OUT_DDS)),
              1u);  // one frame, two writes
    expectNoViolations();
    EXPECT_EQ(gio_record_byRequest(KRSPI_IOC_SELECT_CHIP)[0].value, dds);
    krspiDeselectChip();
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_violations().size(), 1u);
}

// A sweep task holding the lock for whole points, and the main thread and a supervision
// thread trying their own transfers meanwhile: nobody deadlocks, every point arrives whole.
TEST_F(SpiTest, SweepTaskAndMainThreadShareTheLockWithoutDeadlock) {
    constexpr int points = 200;
    std::atomic<bool> done{false};
    std::atomic<int> refused{0}, passed{0};
    std::thread sweep([&] {
        for (int p = 0; p < points; p++) {
            krspiLockForThread();
            krspi_startCapture();
            uint8_t d[2] = {(uint8_t)p, 0};
            krspiSend(potWord, 2, 0, d);
            krspiSend(KR_IO_ADDR_IOUPD, 0, 0, nullptr);
            krspi_stopCapture();
            krspiUnlockForThread();
        }
        done = true;
    });
    auto other = [&] {
        while (!done) {
            uint8_t d[2] = {0xEE, 0};
            if (krspiAccessibleByThread() && krspiSend(potWord, 2, 0, d) == 0)
                passed++;
            else
                refused++;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    };
    std::thread supervision(other);
    other();
    sweep.join();
    supervision.join();
    krspiMutexLockFailed();
    hardware_sim_waitIdle();
    // Each sweep point reached the driver as one block of two records.
    int sweepBlocks = 0;
    for (const GioRecord &r : gio_record_byRequest(KRSPI_IOC_SEND_IOBLOCK)) {
        std::vector<GioIoRecord> recs;
        ASSERT_TRUE(gio_record_parseIoBlock(r.payload, &recs));
        if (recs.size() == 2) {
            EXPECT_EQ(recs[1].address, KR_IO_ADDR_IOUPD);
            sweepBlocks++;
        } else {
            ASSERT_EQ(recs.size(), 1u);
            EXPECT_EQ(recs[0].data[0], 0xEE);
        }
    }
    EXPECT_EQ(sweepBlocks, points);
    EXPECT_EQ(krspi_getCaptureUsed(), 0u);
}

}  // namespace
