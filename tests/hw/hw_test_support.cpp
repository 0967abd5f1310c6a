#include "hw_test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "config/device_config.h"
#include "core/krpath.h"
#include "hw/fs_fpga.h"
#include "hw/krspi.h"
#include "rtdev.h"

std::string hwtest_serial(bool fs, int channels, char powerExtension) {
    std::string sn = "0C0-000000000-0001";
    sn[5] = fs ? 'A' : '0';
    sn[8] = (char)('0' + channels);
    sn[10] = powerExtension;
    return sn;
}

HwTestRoot::HwTestRoot(const std::string &serial) {
    char tmpl[] = "/tmp/krhwtest.XXXXXX";
    path_ = mkdtemp(tmpl);
    mkdir((path_ + "/korvane").c_str(), 0755);
    mkdir((path_ + "/korvane/dev").c_str(), 0755);
    FILE *f = fopen((path_ + "/korvane/dev/sn").c_str(), "w");
    if (f) {
        fputs(serial.c_str(), f);
        fclose(f);
    }
    krpath_setRoot(path_.c_str());
    device_config_readSN();
}

HwTestRoot::~HwTestRoot() {
    std::string cmd = "rm -rf '" + path_ + "'";
    if (system(cmd.c_str()) != 0) perror("rm");
    krpath_setRoot("");
}

void HwTest::SetUp() {
    root_ = new HwTestRoot(hwtest_serial(fs_, channels_));
    rtdev_restoreDefaults();
    hardware_sim_setTimeScale(0);
    hardware_sim_reset();
    gio_record_resetKnobs();
    ASSERT_EQ(krspiOpen(), 0);
    if (fs_) {
        ASSERT_EQ(FS_FPGA_init(), 0);
    }
    hardware_sim_waitIdle();
    gio_record_clear();
    hardware_sim_clearViolations();
}

void HwTest::TearDown() {
    if (fs_) FS_FPGA_free();
    krspiClose();
    hardware_sim_waitIdle();
    gio_record_resetKnobs();
    delete root_;
    root_ = nullptr;
}

std::vector<std::vector<uint8_t>> HwTest::payloads(int request) {
    std::vector<std::vector<uint8_t>> out;
    for (const GioRecord &r : gio_record_byRequest(request))
        out.push_back(r.payload);
    return out;
}

void HwTest::expectNoViolations() {
    std::vector<std::string> v = hardware_sim_violations();
    for (const std::string &s : v)
        ADD_FAILURE() << "protocol violation: " << s;
}

std::vector<uint8_t> hwtest_bufferedStream() {
    std::vector<uint8_t> all;
    for (const GioRecord &r : gio_record_byRequest(KRFS_IOC_TRANSMIT))
        all.insert(all.end(), r.payload.begin(), r.payload.end());
    return all;
}

std::vector<std::vector<uint8_t>> hwtest_immediateSends() {
    std::vector<std::vector<uint8_t>> out;
    for (const GioRecord &r : gio_record_byRequest(KRFS_IOC_SEND_IMM))
        out.push_back(r.payload);
    return out;
}

namespace hwtest {

KrFreq hz(uint64_t h, uint64_t fraction) {
    return {(int64_t)h, fraction};
}

double toDouble(const KrFreq &f) {
    double d;
    return krfreq2double(&f, &d);
}

bool sameFreq(const KrFreq &a, const KrFreq &b) {
    return a.integer == b.integer && a.fraction == b.fraction;
}

}  // namespace hwtest

void OutBoardTest::SetUp() {
    root_ = new HwTestRoot(serial());
    rtdev_restoreDefaults();
    hardware_sim_setTimeScale(0);
    hardware_sim_reset();
    gio_record_resetKnobs();
    ASSERT_EQ(krspiOpen(), 0);
    hardware_sim_waitIdle();
    hardware_sim_clearViolations();
    board_ = OrbxxxgOutBoard();
    board_.revisionCode = revisionCode_;
    board_.channel = 0;
    ASSERT_EQ(initBoard(), 0);
}

void OutBoardTest::TearDown() {
    for (const std::string &v : hardware_sim_violations())
        ADD_FAILURE() << "protocol violation: " << v;
    krspiClose();
    hardware_sim_waitIdle();
    gio_record_resetKnobs();
    krspiReset();
    delete root_;
    root_ = nullptr;
}
