#include "tests/support/sim_device.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "config/device_config.h"
#include "core/krpath.h"
#include "device/device.h"
#include "hw/krspi.h"
#include "platform/sim/gio_record.h"
#include "platform/sim/hardware_sim.h"
#include "rtdev.h"
#include "sweep/sweep_rt.h"

namespace {

class RootCleanup : public ::testing::Environment {
  public:
    explicit RootCleanup(std::string root) : root_(std::move(root)) {}
    void TearDown() override {
        std::string cmd = "rm -rf '" + root_ + "'";
        if (system(cmd.c_str()) != 0) perror("rm");
    }

  private:
    std::string root_;
};

}  // namespace

const std::string &SimDeviceTest::root() {
    static const std::string r = [] {
        char tmpl[] = "/tmp/krsimdev.XXXXXX";
        std::string dir = mkdtemp(tmpl);
        mkdir((dir + "/korvane").c_str(), 0755);
        mkdir((dir + "/korvane/dev").c_str(), 0755);
        ::testing::AddGlobalTestEnvironment(new RootCleanup(dir));
        return dir;
    }();
    return r;
}

void SimDeviceTest::writeFile(const std::string &path, const std::string &text) {
    std::string full = root() + path;
    std::string cmd = "mkdir -p '" + full.substr(0, full.rfind('/')) + "'";
    ASSERT_EQ(system(cmd.c_str()), 0);
    FILE *f = fopen(full.c_str(), "w");
    ASSERT_TRUE(f) << full;
    fputs(text.c_str(), f);
    fclose(f);
}

void SimDeviceTest::SetUp() {
    krpath_setRoot(root().c_str());
    writeFile("/korvane/dev/sn", serial());
    device_config_readSN();
    rtdev_restoreDefaults();
    hardware_sim_setTimeScale(0);
    hardware_sim_reset();
    gio_record_resetKnobs();
    ASSERT_EQ(krspiOpen(), 0);
    if (!initDevice()) return;
    device_ = Device_create();
    ASSERT_EQ(Device_init(device_), 0);
}

void SimDeviceTest::TearDown() {
    if (device_) Sweep_stop(nullptr, 0);
    krspiClose();
    hardware_sim_waitIdle();
}
