// Generic I/O family on both variants: the opcode records and FS commands it writes, the
// output-valid marker, the transient action and the timer counts.
#include "hw/krgio.h"

#include <gmock/gmock.h>

#include "hw/fs_fpga.h"
#include "hw/fs_fpga_registers.h"
#include "hw/krspi.h"
#include "hw_test_support.h"
#include "kr_generic_io.h"
#include "tests/support/param_name.h"

namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

struct OpcodeRow {
    const char *name;
    int (*write)();
    uint32_t address;
    uint32_t parameter;
};

int ioupdateTriggerSet() {
    return krgio_ioupdateTrigger(1);
}
int ioupdateTriggerClear() {
    return krgio_ioupdateTrigger(0);
}
int delay250() {
    return krgio_delayUs(250);
}
int sleep100() {
    return krgio_sleepUs(100);
}

class StandardRecordTest : public HwTest, public ::testing::WithParamInterface<OpcodeRow> {};

TEST_P(StandardRecordTest, WritesOneOpcodeRecord) {
    const OpcodeRow &row = GetParam();
    EXPECT_EQ(row.write(), 0);
    std::vector<GioIoRecord> records = ioRecords();
    ASSERT_EQ(records.size(), 1u) << row.name;
    EXPECT_EQ(records[0].address, row.address) << row.name;
    EXPECT_EQ(records[0].length, 0u) << row.name;
    EXPECT_EQ(records[0].options, row.parameter) << row.name;
    hardware_sim_waitIdle();
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(
    Opcodes, StandardRecordTest,
    ::testing::Values(OpcodeRow{"ioupdate", krgio_ioupdate, KR_IO_ADDR_IOUPD, 0},
                      OpcodeRow{"ioupdateAll", krgio_ioupdateAll, KR_IO_ADDR_IOUPD, 0},
                      OpcodeRow{"ioupdateTrigger(1)", ioupdateTriggerSet, KR_IO_ADDR_IOUPD_TRIG, 0},
                      OpcodeRow{"ioupdateTrigger(0)", ioupdateTriggerClear, KR_IO_ADDR_IOUPD, 0},
                      OpcodeRow{"setIoupdate", krgio_setIoupdate, KR_IO_ADDR_SET_IOUPD, 0},
                      OpcodeRow{"delayUs", delay250, KR_IO_ADDR_DELAY_US, 250},
                      OpcodeRow{"sleepUs", sleep100, KR_IO_ADDR_SLEEP_US, 100},
                      OpcodeRow{"awaitPointProg", krgio_awaitPointProg, KR_IO_ADDR_WAIT_TRAN, 0},
                      OpcodeRow{"awaitTrigger", krgio_awaitTrigger, KR_IO_ADDR_AWAIT_TRIG, 0}),
    [](const ::testing::TestParamInfo<OpcodeRow> &i) { return paramName(i.param.name); });

using StandardGioTest = HwTest;

TEST_F(StandardGioTest, OutputValidMarkerIsNotAvailable) {
    EXPECT_EQ(krgio_markOutputValid(2e-6), -241);
    EXPECT_EQ(krgio_markOutputInvalid(), -241);
    EXPECT_EQ(gio_record_count(), 0u);
}

TEST_F(StandardGioTest, BufferedStreamStartRequests) {
    EXPECT_EQ(krgio_imm_listenBufStreamStart(), 0);
    EXPECT_EQ(krgio_imm_waitBufStreamStart(), 0);
    EXPECT_EQ(gio_record_countRequest(KRGIO_IOC_LISTEN_BUFSTREAM_START), 1u);
    EXPECT_EQ(gio_record_countRequest(KRGIO_IOC_WAIT_BUFSTREAM_START), 1u);
    gio_record_failNext(KRGIO_IOC_WAIT_BUFSTREAM_START, 1, -5);
    EXPECT_EQ(krgio_imm_waitBufStreamStart(), -200);
}

TEST_F(StandardGioTest, RecordsInACaptureReachTheDriverTogetherWithTheChipWrites) {
    krspi_startCapture();
    krgio_ioupdateTrigger(1);
    krgio_delayUs(5);
    krgio_ioupdate();
    EXPECT_EQ(gio_record_count(), 0u);
    krspi_stopCapture();
    ASSERT_EQ(gio_record_countRequest(KRSPI_IOC_SEND_IOBLOCK), 1u);
    std::vector<GioIoRecord> r = ioRecords();
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].address, KR_IO_ADDR_IOUPD_TRIG);
    EXPECT_EQ(r[1].address, KR_IO_ADDR_DELAY_US);
    EXPECT_EQ(r[2].address, KR_IO_ADDR_IOUPD);
}

int calls = 0;
int countCall() {
    return ++calls;
}

TEST(Krgio, TransientActionRunsOnceThenNothing) {
    calls = 0;
    krgio_transient();  // nothing stored: nothing happens
    EXPECT_EQ(calls, 0);
    krgio_setTransientAction(countCall);
    krgio_transient();
    krgio_transient();
    EXPECT_EQ(calls, 1);
}

TEST(Krgio, TimerCountsAreWhole66MHzPeriodsIn132MHzTicks) {
    EXPECT_EQ(krgio_timerCount(1e-3), 132096u);
    EXPECT_EQ(krgio_timerCount(1.0), 132096000u);
    EXPECT_EQ(krgio_timerCount(7.6e-9), 2u);  // 0.502 periods round up to one
    EXPECT_EQ(krgio_timerCount(7.5e-9), 0u);
    EXPECT_EQ(krgio_timerCount(-1), 0u);
}

using FsGioTest = FsHwTest;

struct ValidRow {
    double t;
    uint8_t code;
};

class OutputValidTest : public FsHwTest, public ::testing::WithParamInterface<ValidRow> {};

TEST_P(OutputValidTest, MarkerCodeIn80NanosecondUnitsBelow10Microseconds) {
    EXPECT_EQ(krgio_markOutputValid(GetParam().t), 0);
    FS_FPGA_flush();
    EXPECT_THAT(hwtest_bufferedStream(),
                ElementsAre(FS_CMD_LONG_BUFFERED, FS_OP_OUTPUT_VALID, GetParam().code));
    hardware_sim_waitIdle();
    EXPECT_EQ(hardware_sim_fpgaOutputValid(0), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Rows, OutputValidTest,
                         ::testing::Values(ValidRow{2e-6, 25}, ValidRow{1e-4, 125}, ValidRow{0, 0},
                                           ValidRow{9.99e-6, 124}, ValidRow{1e-5, 125}),
                         [](const ::testing::TestParamInfo<ValidRow> &info) {
                             return paramNumber(info.param.t * 1e6) + "us";
                         });

TEST_F(FsGioTest, CommandsOfTheFsVariant) {
    krgio_ioupdate();
    krgio_ioupdateTrigger(1);
    krgio_setIoupdate();
    krgio_delayUs(3);
    krgio_awaitPointProg();
    krgio_markOutputInvalid();
    FS_FPGA_flush();
    EXPECT_THAT(hwtest_bufferedStream(),
                ElementsAreArray(
                    std::vector<uint8_t>{FS_SHORT_IOUPDATE_ALL, FS_SHORT_IOUPDATE_ALL,
                                         FS_SHORT_SET_IOUPDATE, (uint8_t)(FS_CMD_LONG_BUFFERED | 4),
                                         FS_OP_DELAY, 0, 0, 0, 2, 88,  // 600 ticks, high byte first
                                         FS_SHORT_AWAIT_SWEEP_POINT, FS_CMD_LONG_BUFFERED,
                                         FS_OP_OUTPUT_VALID, FS_OUTPUT_INVALID_CODE}));
    EXPECT_EQ(krgio_imm_waitBufStreamStart(), -200);
    EXPECT_EQ(gio_record_countRequest(KRSPI_IOC_SEND_IOBLOCK), 0u);
    hardware_sim_waitIdle();
    expectNoViolations();
}

TEST_F(FsGioTest, AwaitTriggerThrottlesTheChannel) {
    EXPECT_FALSE(FS_FPGA_state.ch[0].throttle.load());
    krgio_awaitTrigger();
    EXPECT_EQ(FS_FPGA_state.ch[0].throttle.load(), FS_THROTTLE_TRIGGER);
    EXPECT_FALSE(krspiAccessibleByThread());
    FS_FPGA_flush();
    EXPECT_THAT(hwtest_bufferedStream(), ElementsAre(FS_SHORT_AWAIT_TRIGGER));
}

TEST_F(FsGioTest, PerChannelUpdateModeUsesTheChannelsOwnUpdate) {
    FS_FPGA_state.perChannelUpdate = 1;
    krgio_ioupdate();
    FS_FPGA_selectChannel(2);
    krgio_ioupdate();
    krgio_ioupdateAll();
    FS_FPGA_state.perChannelUpdate = 0;
    FS_FPGA_flush();
    EXPECT_THAT(hwtest_bufferedStream(),
                ElementsAre(FS_SHORT_IOUPDATE_CH0, FS_CMD_LONG_BUFFERED, FS_OP_SELECT_CHANNEL, 2,
                            FS_SHORT_IOUPDATE_CHX, FS_SHORT_IOUPDATE_ALL));
}

}  // namespace
