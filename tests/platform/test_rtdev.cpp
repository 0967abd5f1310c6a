#include "rtdev.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstring>

#include "kr_generic_io.h"
#include "platform/sim/gio_record.h"
#include "rtnative.h"

namespace {

class GioTest : public ::testing::Test {
  protected:
    void SetUp() override {
        rtdev_restoreDefaults();
        gio_record_resetKnobs();
        fd = rt_dev_open(KR_GENERIC_IO_DEVICE, O_RDWR);
        ASSERT_GE(fd, 0);
        gio_record_clear();
    }
    void TearDown() override {
        rt_dev_close(fd);
        gio_record_resetKnobs();
    }
    int fd = -1;
};

TEST_F(GioTest, RecordsRequestsInOrderWithSequenceNumbers) {
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SET_DIVIDER, 40), 0);
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_DESELECT_CHIP), 0);
    uint32_t source = 2;
    EXPECT_EQ(rt_dev_ioctl(fd, KRTPT_IOC_SOURCE, &source), 0);
    KrGioPointTiming timing = {264192, 132096, {}};
    EXPECT_EQ(rt_dev_ioctl(fd, KRTPT_IOC_SET_CONSTTIME, &timing), 0);
    EXPECT_EQ(rt_dev_ioctl(fd, 0xE999, (void *)0x1234), -ENOTTY);  // not a request of the driver

    std::vector<GioRecord> all = gio_record_all();
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[0].request, KRSPI_IOC_SET_DIVIDER);
    EXPECT_EQ(all[0].value, 40u);
    EXPECT_EQ(all[0].argU32(), 40u);
    EXPECT_EQ(all[1].request, KRSPI_IOC_DESELECT_CHIP);
    EXPECT_EQ(all[2].argU32(), 2u);
    EXPECT_EQ(all[3].argU64(0), 264192u);
    EXPECT_EQ(all[3].argU64(1), 132096u);
    EXPECT_EQ(all[4].value, 0x1234u);
    for (size_t i = 1; i < all.size(); i++)
        EXPECT_EQ(all[i].seq, all[i - 1].seq + 1);
    EXPECT_STREQ(all[0].device, "kr_generic_io");
    EXPECT_EQ(gio_record_countRequest(KRTPT_IOC_SOURCE), 1u);

    gio_record_clear();
    EXPECT_EQ(gio_record_count(), 0u);
    rt_dev_ioctl(fd, KRTPT_IOC_ABORT);
    GioRecord r;
    ASSERT_TRUE(gio_record_get(0, &r));
    EXPECT_EQ(r.seq, all[4].seq + 1);  // numbering goes on across clears
    EXPECT_FALSE(gio_record_get(1, &r));
}

TEST_F(GioTest, ReadsAreAnsweredWithZerosOrTheBytesATestSetUp) {
    uint8_t buffer[8];
    memset(buffer, 0x55, sizeof(buffer));
    KrGioTransfer t = {0x12, 6, 0, 0x80, buffer};
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_READ, &t), 0);
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(buffer[i], 0) << i;
    EXPECT_EQ(buffer[6], 0x55);  // only length bytes are written

    const uint8_t answer[] = {0xDE, 0xAD};
    gio_record_setReadData(KRSPI_IOC_READ, answer, sizeof(answer));
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_READ, &t), 0);
    EXPECT_EQ(buffer[0], 0xDE);
    EXPECT_EQ(buffer[1], 0xAD);
    EXPECT_EQ(buffer[2], 0);

    uint32_t pin = 0xFFFFFFFF;
    EXPECT_EQ(rt_dev_ioctl(fd, KRGIO_IOC_READ_PIN_1, &pin), 0);
    EXPECT_EQ(pin, 0u);
    KrGioFsReply reply;
    memset(&reply, 0xFF, sizeof(reply));
    EXPECT_EQ(rt_dev_ioctl(fd, KRFS_IOC_FETCH_REPLY, &reply), -EIO);  // no register was read
    const uint8_t fsReply[4] = {1, 2, 3, 4};
    gio_record_setReadData(KRFS_IOC_FETCH_REPLY, fsReply, sizeof(fsReply));
    EXPECT_EQ(rt_dev_ioctl(fd, KRFS_IOC_FETCH_REPLY, &reply), 0);
    EXPECT_EQ(reply.data[2], 3);
    EXPECT_EQ(reply.data[4], 0);

    GioRecord last;
    ASSERT_TRUE(gio_record_get(0, &last));
    EXPECT_EQ(last.argU32(0), 0x12u);
    EXPECT_EQ(last.argU32(3), 0x80u);
}

TEST_F(GioTest, KeepsTheIoBlockAndSplitsItIntoRecords) {
    alignas(4) uint8_t block[64] = {};
    size_t used = 0;
    auto put = [&](uint32_t address, uint32_t length, uint32_t options, const uint8_t *data) {
        KrIoBlockRecordHeader h = {address, length, options};
        memcpy(block + used, &h, sizeof(h));
        if (length) memcpy(block + used + sizeof(h), data, length);
        used += kr_ioblock_recordSize(length);
    };
    const uint8_t spi[3] = {1, 2, 3};
    put(0x21, 3, 0, spi);                                // 3 data bytes: 16-byte record
    put(KR_IO_ADDR_MUTE, 0, MUTE_CONF_EN_TPT, nullptr);  // 12-byte record
    put(KR_IO_ADDR_IOUPD, 0, 0, nullptr);
    EXPECT_EQ(used, 40u);
    KrGioBuffer b = {block, (uint32_t)used};
    ASSERT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SEND_IOBLOCK, &b), 0);

    std::vector<GioIoRecord> records = gio_record_ioRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].address, 0x21u);
    EXPECT_EQ(records[0].data, std::vector<uint8_t>({1, 2, 3}));
    EXPECT_EQ(records[1].address, KR_IO_ADDR_MUTE);
    EXPECT_EQ(records[1].options, MUTE_CONF_EN_TPT);
    EXPECT_EQ(records[2].address, KR_IO_ADDR_IOUPD);

    std::vector<uint8_t> truncated(block, block + 20);
    std::vector<GioIoRecord> out;
    EXPECT_FALSE(gio_record_parseIoBlock(truncated, &out));
}

TEST_F(GioTest, InjectedFailuresHitTheNamedRequestOnly) {
    gio_record_failNext(KRSPI_IOC_SEND_IOBLOCK, 1, -EIO);
    uint8_t block[12] = {};
    KrGioBuffer b = {block, sizeof(block)};
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SET_DIVIDER, 1), 0);
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SEND_IOBLOCK, &b), -EIO);
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SEND_IOBLOCK, &b), 0);  // the retry goes through
    std::vector<GioRecord> sends = gio_record_byRequest(KRSPI_IOC_SEND_IOBLOCK);
    ASSERT_EQ(sends.size(), 2u);
    EXPECT_EQ(sends[0].result, -EIO);
    EXPECT_EQ(sends[1].result, 0);
}

TEST_F(GioTest, NullRecordPointersAreRefused) {
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SEND_IOBLOCK, nullptr), -EFAULT);
    EXPECT_EQ(rt_dev_ioctl(fd, KRTPT_IOC_TRIGOUTPUT, nullptr), -EFAULT);
    KrGioTransfer t = {0, 4, 0, 0, nullptr};
    EXPECT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_READ, &t), -EFAULT);
    // Value and argument-less requests never look at the word.
    EXPECT_EQ(rt_dev_ioctl(fd, KRTPT_IOC_TIMER_OFF, 0), 0);
}

TEST_F(GioTest, BothStandInDevicesShareTheRecord) {
    int pulm = rt_dev_open("/dev/krssc_pulm", O_RDWR);
    ASSERT_GE(pulm, 0);
    KrGioPulmInternal cfg = {16512000, 16512000, 2};
    EXPECT_EQ(rt_dev_ioctl(pulm, KRPULM_IOC_SET_INTERNAL, &cfg), 0);
    uint8_t pattern[KR_GIO_PULM_PATTERN_BYTES] = {0xFC, 0xB7, 0x78};
    KrGioPulmBitstream bs = {0, 28, 100, 1, 1, pattern};
    EXPECT_EQ(rt_dev_ioctl(pulm, KRPULM_IOC_SET_BITSTREAM, &bs), 0);
    std::vector<GioRecord> all = gio_record_all();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_STREQ(all[0].device, "krssc_pulm");
    EXPECT_EQ(all[0].argU32(2), 2u);
    ASSERT_EQ(all[1].payload.size(), (size_t)KR_GIO_PULM_PATTERN_BYTES);
    EXPECT_EQ(all[1].payload[1], 0xB7);
    EXPECT_EQ(rt_dev_close(pulm), 0);
}

TEST_F(GioTest, RingKeepsTheNewestRequests) {
    for (int i = 0; i < 5000; i++)
        rt_dev_ioctl(fd, KRSPI_IOC_SET_CS_DELAY, i);
    std::vector<GioRecord> all = gio_record_all();
    ASSERT_EQ(all.size(), 4096u);
    EXPECT_EQ(all.front().value, 5000u - 4096u);
    EXPECT_EQ(all.back().value, 4999u);
}

// A scripted device in place of the stand-in.
struct Fake {
    int opens = 0, closes = 0, lastRequest = 0;
};

const RtDevOps fakeOps = {
    [](void *c, int) { return ++((Fake *)c)->opens, 0; },
    [](void *c) { return ++((Fake *)c)->closes, 0; },
    [](void *c, int request, void *) { return ((Fake *)c)->lastRequest = request, 7; },
    [](void *, void *buffer, size_t n) -> ssize_t { return memset(buffer, 'x', n), (ssize_t)n; },
    nullptr,
};

TEST(RtDev, RegistryReplacesLooksUpAndRemovesDevices) {
    Fake fake;
    ASSERT_EQ(rtdev_register(KR_GENERIC_IO_DEVICE, &fakeOps, &fake), 0);
    int fd = rt_dev_open("/dev/kr_generic_io", O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fake.opens, 1);
    EXPECT_EQ(rt_dev_ioctl(fd, 0xE0C0), 7);
    EXPECT_EQ(fake.lastRequest, 0xE0C0);
    char buf[3];
    EXPECT_EQ(rt_dev_read(fd, buf, sizeof(buf)), 3);
    EXPECT_EQ(buf[2], 'x');
    EXPECT_EQ(rt_dev_write(fd, buf, 1), -ENOSYS);
    // The descriptor is a real one, so the firmware's exclusive lock works on it.
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(rt_dev_close(fd), 0);
    EXPECT_EQ(fake.closes, 1);
    EXPECT_EQ(rt_dev_close(fd), -EBADF);
    EXPECT_EQ(rt_dev_ioctl(fd, 0xE0C0), -EBADF);

    rtdev_restoreDefaults();
    fd = rt_dev_open(KR_GENERIC_IO_DEVICE, O_RDWR);
    EXPECT_EQ(rt_dev_ioctl(fd, KRTPT_IOC_TRIGGER), 0);
    EXPECT_EQ(fake.lastRequest, 0xE0C0);  // the stand-in answered, not the fake
    rt_dev_close(fd);

    EXPECT_EQ(rt_dev_open("no_such_device", O_RDWR), -ENODEV);
    EXPECT_EQ(rtdev_register("", &fakeOps, &fake), -EINVAL);
    EXPECT_EQ(rtdev_register("x", nullptr, &fake), -EINVAL);
    ASSERT_EQ(rtdev_register("krtest", &fakeOps, &fake), 0);
    EXPECT_EQ(rtdev_unregister("krtest"), 0);
    EXPECT_EQ(rtdev_unregister("krtest"), -ENODEV);
    EXPECT_EQ(rt_dev_open("krtest", O_RDWR), -ENODEV);
}

}  // namespace
