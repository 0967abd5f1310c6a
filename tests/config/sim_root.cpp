#include "sim_root.h"

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "config/device_config.h"
#include "core/krpath.h"
#include "core/startup.h"

namespace krtest {

namespace {

std::string sourceDir() {
    std::string f = __FILE__;
    return f.substr(0, f.rfind("/tests/"));
}

}  // namespace

void SimRootTest::SetUp() {
    char tmpl[] = "/tmp/kr_config_test.XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    root = tmpl;
    std::string cmd = "sh '" + sourceDir() + "/platform/make_simroot.sh' '" + root + "' >/dev/null";
    ASSERT_EQ(system(cmd.c_str()), 0);
    krpath_setRoot(root.c_str());
    fallbackEnabled = 0;
    device_config_init();
    device_config_getLanConfig();
}

void SimRootTest::TearDown() {
    fallbackEnabled = 0;
    krpath_setRoot(nullptr);
    std::string cmd = "rm -rf '" + root + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

std::string SimRootTest::read(const std::string &firmwarePath) const {
    std::ifstream in(path(firmwarePath), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool SimRootTest::exists(const std::string &firmwarePath) const {
    return access(path(firmwarePath).c_str(), F_OK) == 0;
}

void SimRootTest::write(const std::string &firmwarePath, const std::string &content) const {
    std::ofstream(path(firmwarePath), std::ios::binary) << content;
}

void SimRootTest::remove(const std::string &firmwarePath) const {
    unlink(path(firmwarePath).c_str());
}

void SimRootTest::useSerial(const std::string &sn, const std::string &snAll) {
    write("/korvane/dev/sn", sn);
    if (snAll.empty())
        remove("/korvane/dev/sn_all");
    else
        write("/korvane/dev/sn_all", snAll);
    device_config_readSN();
}

}  // namespace krtest
