#include "core/krstuff.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/krpath.h"
#include "device/device.h"
#include "rtnative.h"
#include "scpi/scpi_errorcodes.h"
#include "tests/support/param_name.h"

namespace {

std::string sourceDir() {
    std::string f = __FILE__;
    return f.substr(0, f.rfind("/tests/"));
}

std::string readFile(const std::string &path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
}

// Each test gets a fresh simulation root made by the same script a developer uses.
class KrstuffRoot : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/krstuff_test.XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        std::string cmd = "sh '" + sourceDir() + "/platform/make_simroot.sh' '" + root + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
        krpath_setRoot(root.c_str());
    }
    void TearDown() override {
        krpath_setRoot(nullptr);
        system(("rm -rf '" + root + "'").c_str());
    }
    std::string path(const char *abs) const { return root + abs; }
    std::string actions() const { return readFile(path("/media/ram/sim_actions.log")); }

    std::string root;
};

TEST_F(KrstuffRoot, CommandOfAtMost510CharactersRuns) {
    std::string cmd = ": " + std::string(508, 'x');
    ASSERT_EQ(cmd.size(), 510u);
    EXPECT_EQ(krstuffSystem(cmd.c_str()), 0);
    cmd += "x";
    EXPECT_EQ(krstuffSystem(cmd.c_str()), KR_E_EXECUTION_ERROR);
    EXPECT_EQ(krstuffSystem(nullptr), KR_E_EXECUTION_ERROR);
}

TEST_F(KrstuffRoot, ReturnsTheWaitStatusAndWritesInsideTheRoot) {
    int status = krstuffSystem("exit 3");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);

    std::string cmd =
        std::string("echo running > ") + KrPath("/media/ram/kr_framework_status").c_str();
    EXPECT_EQ(krstuffSystem(cmd.c_str()), 0);
    EXPECT_EQ(readFile(path("/media/ram/kr_framework_status")), "running\n");
    EXPECT_GT(sused_max, 0);  // the child ran on the static stack
    EXPECT_LE(sused_max, 4800);
}

TEST(Krstuff, WithoutARootTheShellKeepsTheProcessEnvironment) {
    krpath_setRoot("");
    int status = krstuffSystem("exit 4");
    krpath_setRoot(nullptr);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 4);
}

TEST_F(KrstuffRoot, ToolsResolveOnlyInsideTheRoot) {
    // A system tool reaches its stand-in, which records the call.
    EXPECT_EQ(krstuffSystem("reboot now"), 0);
    EXPECT_NE(actions().find("reboot now\n"), std::string::npos);
    // What the root does not provide is not found, even though the host has it.
    int status = krstuffSystem("id > /dev/null 2>&1");
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 127);
    // Parsed outputs come from the stand-ins.
    std::string mac = std::string("ifconfig eth0 | sed -n 's/.*HWaddr //p' > ") +
                      KrPath("/media/ram/mac").c_str();
    EXPECT_EQ(krstuffSystem(mac.c_str()), 0);
    EXPECT_EQ(readFile(path("/media/ram/mac")), "02:00:00:00:00:01  \n");
    std::string gw = std::string("route -n | grep 'UG' | awk '{print $2}' > ") +
                     KrPath("/media/ram/gateway").c_str();
    EXPECT_EQ(krstuffSystem(gw.c_str()), 0);
    EXPECT_EQ(readFile(path("/media/ram/gateway")), "127.0.0.1\n");
    // The root is passed on to the scripts.
    std::string env = std::string("echo \"$KORVANE_ROOT\" > ") + KrPath("/media/ram/env").c_str();
    EXPECT_EQ(krstuffSystem(env.c_str()), 0);
    EXPECT_EQ(readFile(path("/media/ram/env")), root + "\n");
}

struct StorageCase {
    int (*operation)();
    const char *script;
};

const StorageCase storageCases[] = {
    {krstuffWriteKr, "write_kr"},
    {krstuffProtectKr, "protect_kr"},
    {krstuffWriteRoot, "write_root"},
    {krstuffProtectRoot, "protect_root"},
    {krstuffWriteStorage, "write_storage"},
    {krstuffReadStorage, "read_storage"},
    {krstuffProtectStorage, "protect_storage"},
};

TEST_F(KrstuffRoot, StorageBracketsRunOnlyExecutableScripts) {
    for (const StorageCase &c : storageCases) {
        SCOPED_TRACE(c.script);
        std::string script = path("/bin/") + c.script;
        size_t before = actions().size();
        EXPECT_EQ(c.operation(), 0);
        EXPECT_EQ(actions().substr(before), std::string(c.script) + " \n");

        chmod(script.c_str(), 0644);
        before = actions().size();
        EXPECT_EQ(c.operation(), -1);
        EXPECT_EQ(actions().size(), before);

        unlink(script.c_str());
        EXPECT_EQ(c.operation(), -1);
        EXPECT_EQ(actions().size(), before);
    }
}

TEST_F(KrstuffRoot, UserMemoryFiguresComeFromDuAndDf) {
    writeFile(path("/korvane/cust/sav1"), std::string(20000, 'x'));
    uint64_t freeBytes = 0, usedBytes = 0;
    ASSERT_EQ(krstuff_getUserMemoryStats(&freeBytes, &usedBytes), 0);
    EXPECT_GE(usedBytes, 20000u);
    EXPECT_EQ(usedBytes % 1024, 0u);
    EXPECT_GT(freeBytes, 0u);

    unlink(path("/usr/bin/du").c_str());  // the tool fails: the figures are unusable
    EXPECT_EQ(krstuff_getUserMemoryStats(&freeBytes, &usedBytes), KR_E_EXECUTION_ERROR);
}

TEST_F(KrstuffRoot, DeletingUserMemoryLeavesTheEmptyTree) {
    writeFile(path("/korvane/cust/sav0"), "*RST\n");
    writeFile(path("/korvane/cust/list/l1"), "1e9\n");
    EXPECT_EQ(krstuff_deleteUserMemory(), 0);
    struct stat st;
    EXPECT_NE(stat(path("/korvane/cust/sav0").c_str(), &st), 0);
    EXPECT_NE(stat(path("/korvane/cust/list/l1").c_str(), &st), 0);
    for (const char *d : {"/korvane/cust", "/korvane/cust/list", "/korvane/cust/flatness"}) {
        ASSERT_EQ(stat(path(d).c_str(), &st), 0) << d;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << d;
    }
    std::string log = actions();
    EXPECT_LT(log.find("write_kr"), log.find("protect_kr"));
}

// Firmware package checks against the device name slot.
class KrstuffFirmware : public KrstuffRoot {
  protected:
    void SetUp() override {
        KrstuffRoot::SetUp();
        savedGetName = Device_getName;
        memset(deferredCalls, 0, sizeof(deferredCalls));
    }
    void TearDown() override {
        Device_getName = savedGetName;
        memset(deferredCalls, 0, sizeof(deferredCalls));
        KrstuffRoot::TearDown();
    }
    void writePackage(const std::string &text) {
        writeFile(path("/root/rivezarudorade.tar"), text);
    }
    const char *(*savedGetName)(Device *) = nullptr;
};

TEST_F(KrstuffFirmware, CompatibleWhenTheModelIsListed) {
    Device_getName = [](Device *) -> const char * { return "KSG20A"; };
    writePackage(std::string("\x1f\x8b binary\n", 10) + "x package_device,KSG12A,KSG20A,end\n");
    EXPECT_EQ(isFirmwareCompatible(nullptr), 1);
    writePackage("package_device,KSG12A,KSG40A,end\n");
    EXPECT_EQ(isFirmwareCompatible(nullptr), 0);
    writePackage("no model line\n");
    EXPECT_EQ(isFirmwareCompatible(nullptr), 0);
    unlink(path("/root/rivezarudorade.tar").c_str());
    EXPECT_EQ(isFirmwareCompatible(nullptr), 0);
    // Text after ",end" is not part of the list.
    writePackage("package_device,KSG12A,end,KSG20A\n");
    EXPECT_EQ(isFirmwareCompatible(nullptr), 0);
    // Whole items only: neither a longer nor a shorter model name matches.
    writePackage("package_device,KSG20AB,end\n");
    EXPECT_EQ(isFirmwareCompatible(nullptr), 0);
    writePackage("package_device,SG20A,KSG2,end\n");
    EXPECT_EQ(isFirmwareCompatible(nullptr), 0);
}

TEST_F(KrstuffFirmware, UnnamedOrEmptyModelsAreNeverCompatible) {
    writePackage("package_device,KSG20A,end\n");
    Device_getName = savedGetName;  // unregistered: "undefined"
    EXPECT_EQ(isFirmwareCompatible(nullptr), 0);
    Device_getName = [](Device *) -> const char * { return ""; };
    EXPECT_EQ(isFirmwareCompatible(nullptr), 0);
}

TEST_F(KrstuffFirmware, IncompatiblePackageIsDeletedInsideWritableStorage) {
    Device_getName = [](Device *) -> const char * { return "KSG20A"; };
    writePackage("package_device,KSG40A,end\n");
    EXPECT_EQ(installFirmware(nullptr), 0);
    struct stat st;
    EXPECT_NE(stat(path("/root/rivezarudorade.tar").c_str(), &st), 0);
    EXPECT_EQ(actions(), "write_root \nwrite_storage \nprotect_root \nprotect_storage \n");
    EXPECT_EQ(deferredCalls[0].function, nullptr);
}

TEST_F(KrstuffFirmware, CompatiblePackageIsInstalledTwoSecondsLater) {
    Device_getName = [](Device *) -> const char * { return "KSG20A"; };
    writePackage("package_device,KSG20A,end\n");
    EXPECT_EQ(installFirmware(nullptr), 1);
    EXPECT_EQ(deferredCalls[0].function, installFirmware_deferred);
    EXPECT_EQ(deferredCalls[0].delayUs, 2000000);
    EXPECT_EQ(actions(), "");  // nothing happens before the answer went out
}

TEST_F(KrstuffFirmware, CompatiblePackageWithFullQueueReportsNoInstallation) {
    Device_getName = [](Device *) -> const char * { return "KSG20A"; };
    writePackage("package_device,KSG20A,end\n");
    auto a = [](uint32_t) {};
    ASSERT_EQ(krstuff_deferredCall(a, 1, 1000), 0);
    ASSERT_EQ(krstuff_deferredCall(a, 2, 1000), 0);
    EXPECT_EQ(installFirmware(nullptr), 0);
}

// ---------------------------------------------------------------------------------------

struct PathClassCase {
    const char *path;
    int temp, kr, storage, root;
};

class PathClassTest : public ::testing::TestWithParam<PathClassCase> {};

TEST_P(PathClassTest, ClassifiesFirmwarePathsAsWritten) {
    const PathClassCase &c = GetParam();
    EXPECT_EQ(krstuffIsTempFile(c.path), c.temp);
    EXPECT_EQ(krstuffIsKrFile(c.path), c.kr);
    EXPECT_EQ(krstuffIsStorageFile(c.path), c.storage);
    EXPECT_EQ(krstuffIsRootFile(c.path), c.root);
}

INSTANTIATE_TEST_SUITE_P(Paths, PathClassTest,
                         ::testing::Values(PathClassCase{"/media/ram/selftest.txt", 1, 0, 0, 0},
                                           PathClassCase{"/korvane/temp/x", 1, 0, 0, 0},
                                           PathClassCase{"/korvane/cust/sav0", 0, 1, 0, 0},
                                           PathClassCase{"/korvane/tempfile", 0, 1, 0, 0},
                                           PathClassCase{"/storage/fw.tar", 0, 0, 1, 0},
                                           PathClassCase{"/etc/network/interfaces", 0, 0, 0, 1},
                                           PathClassCase{"/media/ramdisk/x", 0, 0, 0, 1},
                                           PathClassCase{"/korvane", 0, 0, 0, 1},
                                           PathClassCase{"relative/korvane/x", 0, 0, 0, 1}),
                         [](const ::testing::TestParamInfo<PathClassCase> &info) {
                             return paramName(info.param.path);
                         });

// ---------------------------------------------------------------------------------------

std::vector<std::pair<int, uint32_t>> callLog;
void logA(uint32_t arg) {
    callLog.push_back({'A', arg});
}
void logB(uint32_t arg) {
    callLog.push_back({'B', arg});
}

class DeferredTest : public ::testing::Test {
  protected:
    void SetUp() override {
        memset(deferredCalls, 0, sizeof(deferredCalls));
        callLog.clear();
    }
    void TearDown() override { memset(deferredCalls, 0, sizeof(deferredCalls)); }
};

TEST_F(DeferredTest, ZeroDelayRunsAtOnceWithoutASlot) {
    EXPECT_EQ(krstuff_deferredCall(logA, 7, 0), 0);
    ASSERT_EQ(callLog.size(), 1u);
    EXPECT_EQ(callLog[0].second, 7u);
    EXPECT_EQ(deferredCalls[0].function, nullptr);
}

TEST_F(DeferredTest, SamePairKeepsTheFirstDelayAndAThirdCallIsRefused) {
    EXPECT_EQ(krstuff_deferredCall(logA, 1, 500000), 0);
    EXPECT_EQ(krstuff_deferredCall(logA, 1, 100), 0);
    EXPECT_EQ(deferredCalls[0].delayUs, 500000);
    EXPECT_EQ(deferredCalls[1].function, nullptr);
    EXPECT_EQ(krstuff_deferredCall(logA, 2, 1000), 0);  // other argument: second slot
    EXPECT_EQ(krstuff_deferredCall(logA, 2, 9), 0);
    EXPECT_EQ(deferredCalls[1].delayUs, 1000);
    EXPECT_EQ(krstuff_deferredCall(logB, 1, 1000), KR_E_OUT_OF_MEMORY);
    EXPECT_TRUE(callLog.empty());
}

TEST_F(DeferredTest, ExecutorCountsDownAndRunsSlotZeroFirst) {
    krstuff_deferredCall(logB, 1, 600000);
    krstuff_deferredCall(logA, 2, 500000);
    krstuff_executeDeferredCalls(250);  // 350000, 250000 left
    krstuff_executeDeferredCalls(250);  // 100000, 0 left
    EXPECT_TRUE(callLog.empty());
    EXPECT_EQ(deferredCalls[0].delayUs, 100000);
    EXPECT_EQ(deferredCalls[1].delayUs, 0);
    krstuff_executeDeferredCalls(250);  // both below one period now
    ASSERT_EQ(callLog.size(), 2u);
    EXPECT_EQ(callLog[0].first, 'B');
    EXPECT_EQ(callLog[1].first, 'A');
    EXPECT_EQ(deferredCalls[0].function, nullptr);
    EXPECT_EQ(deferredCalls[1].function, nullptr);
    krstuff_executeDeferredCalls(250);
    EXPECT_EQ(callLog.size(), 2u);
}

TEST_F(DeferredTest, ADelayOfExactlyOnePeriodWaitsOneMorePass) {
    krstuff_deferredCall(logA, 0, 250000);
    krstuff_executeDeferredCalls(250);
    EXPECT_TRUE(callLog.empty());
    krstuff_executeDeferredCalls(250);
    EXPECT_EQ(callLog.size(), 1u);
}

TEST_F(DeferredTest, ImmediateExecutionRunsBothSlotsInOrder) {
    krstuff_deferredCall(logA, 1, 9000000);
    krstuff_deferredCall(logB, 2, 1000);
    krstuff_executeDeferredCallsImmediately();
    ASSERT_EQ(callLog.size(), 2u);
    EXPECT_EQ(callLog[0], std::make_pair((int)'A', 1u));
    EXPECT_EQ(callLog[1], std::make_pair((int)'B', 2u));
    EXPECT_EQ(deferredCalls[0].function, nullptr);
}

void requeue(uint32_t arg) {
    callLog.push_back({'R', arg});
    if (arg < 2) krstuff_deferredCall(requeue, arg + 1, 1000);
}

TEST_F(DeferredTest, ACallMayQueueItselfAgain) {
    krstuff_deferredCall(requeue, 0, 1000);
    krstuff_executeDeferredCalls(250);
    krstuff_executeDeferredCalls(250);
    krstuff_executeDeferredCalls(250);
    ASSERT_EQ(callLog.size(), 3u);
    EXPECT_EQ(callLog[2].second, 2u);
}

// ---------------------------------------------------------------------------------------

struct SortCase {
    const char *in;
    char separator;
    const char *out;
    int result;
};

class SortCsvTest : public ::testing::TestWithParam<SortCase> {};

TEST_P(SortCsvTest, SortsItemsInPlace) {
    const SortCase &c = GetParam();
    char buf[256];
    snprintf(buf, sizeof(buf), "%s", c.in);
    EXPECT_EQ(sortCsvLine(buf, c.separator), c.result);
    EXPECT_STREQ(buf, c.out);
}

const std::string item48(48, 'm');
const std::string line48 = "z," + item48 + ",a";
const std::string line49 = "z," + item48 + "m,a";
const std::string sorted48 = "a," + item48 + ",z";

INSTANTIATE_TEST_SUITE_P(
    Lines, SortCsvTest,
    ::testing::Values(SortCase{"0,NEC,FLASH,GPIB,HI", ',', "0,FLASH,GPIB,HI,NEC", 0},
                      SortCase{"c,b,a", ',', "a,b,c", 0}, SortCase{"ab,a,abc", ',', "a,ab,abc", 0},
                      SortCase{"b,a,b,a", ',', "a,a,b,b", 0},  // duplicates end the sort
                      SortCase{"x;y;a", ';', "a;x;y", 0}, SortCase{"only", ',', "only", 0},
                      SortCase{"", ',', "", 0}, SortCase{"b,,a", ',', ",a,b", 0},
                      SortCase{line48.c_str(), ',', sorted48.c_str(), 0},
                      SortCase{line49.c_str(), ',', line49.c_str(), KR_E_OUT_OF_MEMORY}),
    [](const ::testing::TestParamInfo<SortCase> &info) {
        const std::string_view in = info.param.in;
        return in.size() > 16 ? "Chars" + std::to_string(in.size()) : paramName(in);
    });

// ---------------------------------------------------------------------------------------

struct NecCase {
    int64_t newHz, oldHz;
    uint32_t us;
};

class NecTimingTest : public ::testing::TestWithParam<NecCase> {};

TEST_P(NecTimingTest, SettlingTimeOfAFrequencyStep) {
    EXPECT_EQ(krstuff_getNecMinimumTiming_us(&GetParam().newHz, &GetParam().oldHz), GetParam().us);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, NecTimingTest,
    ::testing::Values(NecCase{12500000000, 10000000000, 100}, NecCase{32500000000, 32000000000, 30},
                      NecCase{33000000000, 32000000000, 500}, NecCase{10000000000, 12199999999, 30},
                      NecCase{10000000000, 12200000000, 100}, NecCase{31800000000, 31250000001, 30},
                      NecCase{31800000000, 31250000000, 500},
                      NecCase{31799999999, 33999999998, 30},  // below 31.8 GHz: the wide limit
                      NecCase{INT64_MAX, INT64_MIN, 500}),
    [](const ::testing::TestParamInfo<NecCase> &info) {
        return paramName("To" + std::to_string(info.param.newHz) + "HzFrom" +
                         std::to_string(info.param.oldHz) + "Hz");
    });

// ---------------------------------------------------------------------------------------

struct BitFieldCase {
    uint32_t word;
    int msb, lsb;
    uint32_t value;
    uint32_t result;
};

class BitFieldTest : public ::testing::TestWithParam<BitFieldCase> {};

TEST_P(BitFieldTest, WritesAndReadsTheField) {
    const BitFieldCase &c = GetParam();
    uint32_t w = c.word;
    setBfU32(&w, c.msb, c.lsb, c.value);
    EXPECT_EQ(w, c.result);
    uint32_t width = c.msb - c.lsb + 1;
    uint32_t fieldMask = width == 32 ? 0xFFFFFFFFu : (1u << width) - 1;
    EXPECT_EQ(getBfU32(w, c.msb, c.lsb), c.value & fieldMask);
}

INSTANTIATE_TEST_SUITE_P(Fields, BitFieldTest,
                         ::testing::Values(BitFieldCase{0, 3, 0, 0xA, 0xA},
                                           BitFieldCase{0xFFFFFFFF, 19, 18, 0, 0xFFF3FFFF},
                                           BitFieldCase{0, 31, 29, 5, 0xA0000000},
                                           BitFieldCase{0, 31, 0, 0x12345678, 0x12345678},
                                           BitFieldCase{0x0F0, 7, 4, 0x1F,
                                                        0x0F0},  // value cut to the field
                                           BitFieldCase{0x12345678, 0, 0, 0, 0x12345678}),
                         [](const ::testing::TestParamInfo<BitFieldCase> &info) {
                             return "Bits" + std::to_string(info.param.msb) + "To" +
                                    std::to_string(info.param.lsb);
                         });

TEST(BitField, RejectsFieldsOutsideTheWord) {
    uint32_t w = 0x55;
    setBfU32(&w, 32, 0, 0);
    setBfU32(&w, 3, 4, 0);
    EXPECT_EQ(w, 0x55u);
    EXPECT_EQ(getBfU32(0xFFFFFFFF, 2, 3), 0u);
}

// ---------------------------------------------------------------------------------------

TEST(Helpers, ByteToBinaryDigits) {
    char buf[9];
    EXPECT_STREQ(uint8ToBin(5, buf), "00000101");
    EXPECT_STREQ(uint8ToBin(0x80, buf), "10000000");
    EXPECT_STREQ(uint8ToBin(0xFF, buf), "11111111");
}

TEST(Helpers, CaseInsensitiveCompare) {
    EXPECT_EQ(strcicmp("FREQuency", "frequency"), 0);
    EXPECT_LT(strcicmp("abc", "ABD"), 0);
    EXPECT_GT(strcicmp("abcd", "ABC"), 0);
    EXPECT_EQ(strcicmp("", ""), 0);
}

TEST(Helpers, AppendAdvancesAndNeverOverruns) {
    char buf[12];
    char *cursor = buf;
    size_t room = sizeof(buf);
    strappend(&cursor, &room, "%d,", 42);
    strappend(&cursor, &room, "%s", "abc");
    EXPECT_STREQ(buf, "42,abc");
    EXPECT_EQ(room, sizeof(buf) - 6);
    strappend(&cursor, &room, "%s", "0123456789");  // cut off
    EXPECT_STREQ(buf, "42,abc01234");
    EXPECT_EQ(room, 1u);
    strappend(&cursor, &room, "more");
    EXPECT_STREQ(buf, "42,abc01234");
}

TEST(Helpers, RandomNumbersCoverTheClosedRange) {
    srand(1);
    int seen[3] = {};
    for (int i = 0; i < 3000; i++) {
        int r = krstuff_getRandomNumber(3, 5);
        ASSERT_GE(r, 3);
        ASSERT_LE(r, 5);
        seen[r - 3]++;
    }
    for (int n : seen)
        EXPECT_GT(n, 800);
    EXPECT_EQ(krstuff_getRandomNumber(-4, -4), -4);
    // The full range must not overflow, and reaches both halves.
    bool negative = false, positive = false;
    for (int i = 0; i < 1000; i++) {
        int r = krstuff_getRandomNumber(INT32_MIN, INT32_MAX);
        negative = negative || r < 0;
        positive = positive || r > 0;
    }
    EXPECT_TRUE(negative && positive);
}

// ---------------------------------------------------------------------------------------

TEST(Clock, MicrosecondsAndMillisecondsFollowTheCoKernelClock) {
    // Read in this order, each value is at least the one before (a millisecond may pass
    // between two reads).
    uint64_t ns = kr_abstime();
    uint64_t ms = kr_abstime_ms();
    uint64_t us = kr_abstime_us();
    EXPECT_GE(us, ns / 1000);
    EXPECT_GE(ms, ns / 1000000);
    EXPECT_LE(ms, us / 1000);
    KrAbsTime d = 0;
    kr_abstime_setnew(&d, 1000);
    EXPECT_GE(d, ns + 1000000);
    KrAbsTime later = d + 5000000000ull;
    kr_abstime_setmin(&later, 1000);  // already later: kept
    EXPECT_EQ(later, d + 5000000000ull);
    KrAbsTime earlier = 0;
    kr_abstime_setmin(&earlier, 1000);
    EXPECT_GE(earlier, d);
}

TEST(Clock, WaitOffRealTimeTasksUsesTheClockService) {
    KrAbsTime d;
    kr_abstime_setnew(&d, 3000);
    kr_abstime_wait(&d);
    EXPECT_GE(kr_abstime(), d);
    uint64_t t0 = kr_abstime();
    krstuff_delay_us(2000);
    EXPECT_GE(kr_abstime() - t0, 2000000u);
    KrAbsTime past = t0;
    kr_abstime_wait(&past);  // returns at once
}

void waitInTask(void *arg) {
    KrAbsTime *d = (KrAbsTime *)arg;
    kr_abstime_waitTaskBody(d);
    *d = kr_abstime() >= *d ? 1 : 0;
}

TEST(Clock, RealTimeTasksSleepInTheCoKernel) {
    RT_TASK task;
    KrAbsTime d;
    kr_abstime_setnew(&d, 2000);
    ASSERT_EQ(rt_task_create(&task, "wait", 0, 10, T_JOINABLE), 0);
    ASSERT_EQ(rt_task_start(&task, waitInTask, &d), 0);
    ASSERT_EQ(rt_task_join(&task), 0);
    EXPECT_EQ(d, 1u);
}

TEST(Clock, StopwatchMeasuresSinceTheLastStart) {
    kr_tic();
    krstuff_delay_us(1500);
    uint64_t first = kr_toc_tic();
    EXPECT_GE(first, 1500u);
    EXPECT_LT(kr_toc(), first);
}

TEST(Threads, CreatesThreadsWithTheirStack) {
    static std::atomic<int> ran;
    ran = 0;
    pthread_t t;
    auto body = [](void *) -> void * {
        ran++;
        return nullptr;
    };
    ASSERT_EQ(krstuffPthreadCreate(&t, body, nullptr, 16384), 0);
    pthread_join(t, nullptr);
    // An unusable stack size falls back to the default and the thread still runs.
    ASSERT_EQ(krstuffPthreadCreate(&t, body, nullptr, 1), 0);
    pthread_join(t, nullptr);
    EXPECT_EQ(ran, 2);
}

TEST(Memory, ReportsVirtualAndResidentSize) {
    uint64_t virt = 0, rss = 0;
    krstuff_printMemoryUsage(&virt, &rss);
    EXPECT_GT(rss, 0u);
    EXPECT_GE(virt, rss);
    krstuff_printMemoryUsage(nullptr, nullptr);
}

}  // namespace
