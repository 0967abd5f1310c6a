#include "platform_test_support.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "core/krpath.h"
#include "hw/orbx20g_out_registers.h"
#include "kr_generic_io.h"
#include "platform/sim/int128.h"
#include "rtdev.h"
#include "rtnative.h"

std::vector<uint8_t> simtest_writeFrame(uint16_t instruction, uint64_t value, int bytes) {
    std::vector<uint8_t> f = {(uint8_t)(instruction >> 8), (uint8_t)instruction};
    for (int i = bytes - 1; i >= 0; i--)
        f.push_back((uint8_t)(value >> (8 * i)));
    return f;
}

std::vector<uint8_t> simtest_band1Image(uint8_t r, uint8_t n2, uint8_t n1) {
    std::vector<uint8_t> image(ORBX20G_OUT_SRI_BYTES, 0);
    auto set = [&](int b) { image[b / 8] |= (uint8_t)(1 << (b % 8)); };
    for (int b : ORBX20G_OUT_PATH_BAND1_BITS)
        set(b);
    set(22);
    set(ORBX20G_OUT_BIT_RF_ENABLE);
    image[ORBX20G_OUT_BIT_R / 8] = r;
    image[ORBX20G_OUT_BIT_N2 / 8] = n2;
    image[ORBX20G_OUT_BIT_N1 / 8] = n1;
    return image;
}

std::vector<uint8_t> simtest_frame(SimChip &chip, const std::vector<uint8_t> &bytes) {
    std::vector<uint8_t> miso;
    chip.select();
    for (uint8_t b : bytes)
        miso.push_back(chip.transfer(b));
    chip.deselect();
    return miso;
}

KrFreq simtest_wordOutput(uint64_t clock, uint64_t ftw) {
    using u128 = kr_u128;
    u128 q = ((u128)clock * ftw) << 16;  // in 2^-64 Hz
    return {(int64_t)(uint64_t)(q >> 64), (uint64_t)q};
}

void SimRootTest::SetUp() {
    char tmpl[] = "/tmp/krsimtest.XXXXXX";
    root = mkdtemp(tmpl);
    mkdir((root + "/korvane").c_str(), 0755);
    mkdir((root + "/korvane/dev").c_str(), 0755);
    std::ofstream(root + "/korvane/dev/sn") << serial();
    if (*snAll()) std::ofstream(root + "/korvane/dev/sn_all") << snAll();
    krpath_setRoot(root.c_str());
    rtdev_restoreDefaults();
    hardware_sim_setTimeScale(0);
    fd = rt_dev_open(KR_GENERIC_IO_DEVICE, O_RDWR);
    ASSERT_GE(fd, 0);
    hardware_sim_reset();
}

void SimRootTest::TearDown() {
    rt_dev_close(fd);
    // A test that slowed time down must not make the wait below take real time.
    hardware_sim_setTimeScale(0);
    hardware_sim_waitIdle();
    krpath_setRoot("");
    std::string cmd = "rm -rf '" + root + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

void SimBlockTest::record(uint32_t address, std::vector<uint8_t> data) {
    KrIoBlockRecordHeader h = {address, (uint32_t)data.size(), 0};
    size_t at = block.size();
    block.resize(at + kr_ioblock_recordSize(h.length), 0);
    memcpy(block.data() + at, &h, sizeof(h));
    if (!data.empty()) memcpy(block.data() + at + sizeof(h), data.data(), data.size());
}

void SimBlockTest::wireFrame(uint32_t slave, std::vector<uint8_t> wire) {
    std::reverse(wire.begin(), wire.end());
    record(slave, wire);
}

void SimBlockTest::send() {
    record(KR_IO_ADDR_IOUPD, {});
    KrGioBuffer buf = {block.data(), (uint32_t)block.size()};
    ASSERT_EQ(rt_dev_ioctl(fd, KRSPI_IOC_SEND_IOBLOCK, &buf), 0);
    block.clear();
    hardware_sim_waitIdle();
}
