// The list record: column editing through the list phases, the checks before a list plays,
// manual points, and list files under a simulation root.
#include "sweep/sweep_list.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <type_traits>

#include "core/krpath.h"
#include "device/device.h"
#include "scpi/paramListParser.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/sweep.h"

namespace {

constexpr int64_t MHz = 1000000;

Sweep record;
KrFreq minFrequency{1 * MHz, 0}, maxFrequency{20000 * MHz, 0};
KrPow minPower = -40, maxPower = 20;
Device *const device = nullptr;

KrFreq hz(int64_t f) {
    return KrFreq{f, 0};
}

class SweepListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/sweep_list_test.XXXXXX";
        root = mkdtemp(tmpl);
        for (const char *d :
             {"/korvane", "/korvane/cust", "/korvane/cust/list", "/media", "/media/ram"})
            mkdir((root + d).c_str(), 0755);
        krpath_setRoot(root.c_str());
        record = Sweep{};
        Device_getSweepPtr = [](Device *) { return &record; };
        Device_getFrequencyMin = [](Device *) -> const KrFreq * { return &minFrequency; };
        Device_getFrequencyMax = [](Device *) -> const KrFreq * { return &maxFrequency; };
        Device_getPowerMin = [](Device *) -> const KrPow * { return &minPower; };
        Device_getPowerMax = [](Device *) -> const KrPow * { return &maxPower; };
        SweepList_registerDeviceFunctions();
        list = sweep_getActiveSweepList(device);
    }
    void TearDown() override {
        krpath_setRoot(nullptr);
        EXPECT_EQ(system(("rm -rf '" + root + "'").c_str()), 0);
    }

    // A whole list command: begin, the values, end.
    template <class T>
    static int column(int (**slot)(Device *, int32_t, const T *),
                      std::type_identity_t<std::initializer_list<T>> values) {
        (*slot)(device, PARAMLIST_BEGIN, nullptr);
        for (const T &v : values)
            if (int r = (*slot)(device, PARAMLIST_APPEND, &v)) return r;
        return (*slot)(device, PARAMLIST_END, nullptr);
    }
    // Frequencies 10, 20 and 30 MHz and one power, the other columns empty.
    static void threeByOne() {
        column(&Device_setListDwellTime, {});
        column(&Device_setListDelayTime, {});
        column(&Device_setListPhase, {});
        ASSERT_EQ(column(&Device_setListFrequency, {hz(10 * MHz), hz(20 * MHz), hz(30 * MHz)}), 0);
        ASSERT_EQ(column(&Device_setListPower, {-5}), 0);
    }
    std::string file(const std::string &path) const {
        std::ifstream in(root + path);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void write(const std::string &path, const std::string &text) const {
        std::ofstream(root + path) << text;
    }

    std::string root;
    SweepList *list = nullptr;
};

TEST_F(SweepListTest, ColumnsAreEditedThroughThePhasesWithinCapacityAndLimits) {
    ASSERT_EQ(column(&Device_setListFrequency, {hz(100 * MHz), hz(50000 * MHz), hz(1)}), 0);
    EXPECT_EQ(Device_getFrequencyListPoints(device), 3u);
    EXPECT_EQ(Device_getListFrequency(device, 1)->integer, 20000 * MHz);  // clamped
    EXPECT_EQ(Device_getListFrequency(device, 2)->integer, 1 * MHz);
    ASSERT_EQ(column(&Device_setListPower, {-100}), 0);
    EXPECT_FLOAT_EQ(*Device_getListPower(device, 0), -40);
    // An abort drops the partial column.
    KrFreq f = hz(5 * MHz);
    Device_setListFrequency(device, PARAMLIST_APPEND, &f);
    Device_setListFrequency(device, PARAMLIST_ABORT, nullptr);
    EXPECT_EQ(Device_getFrequencyListPoints(device), 0u);

    for (uint32_t i = 0; i < SWEEP_LIST_CAPACITY; i++)
        ASSERT_EQ(Device_setListFrequency(device, PARAMLIST_APPEND, &f), 0);
    EXPECT_EQ(Device_setListFrequency(device, PARAMLIST_APPEND, &f), KR_E_TOO_MUCH_DATA);

    ASSERT_EQ(Device_enableListDelayTimeAuto(device), 0);
    EXPECT_EQ(Device_getDelayListPoints(device), 1u);
    KrTime t = 1e-3;
    Device_setListDelayTime(device, PARAMLIST_APPEND, &t);
    EXPECT_EQ(Device_isListDelayTimeAuto(device), 0);

    sweep_setListPlaying(0, true);
    EXPECT_EQ(Device_setListFrequency(device, PARAMLIST_BEGIN, nullptr), KR_E_SETTINGS_CONFLICT);
    EXPECT_EQ(Device_loadList(device, "abc"), KR_E_SETTINGS_CONFLICT);
    sweep_setListPlaying(0, false);
    EXPECT_EQ(Device_getFrequencyListPoints(device), SWEEP_LIST_CAPACITY);
}

TEST_F(SweepListTest, ChecksAndPreparationFollowTheColumnCounts) {
    threeByOne();
    ASSERT_EQ(sweep_checkFrequencyPowerList(list), 0);
    sweep_prepareFrequencyPowerList(list);
    EXPECT_EQ(list->points, 3u);
    EXPECT_EQ(list->frequencyUse, SWEEP_LIST_USE_PER_POINT);
    EXPECT_EQ(list->powerUse, SWEEP_LIST_USE_SINGLE);
    EXPECT_EQ(list->dwellUse, SWEEP_LIST_USE_SWEEP);
    KrPow p = 0;
    ASSERT_TRUE(sweep_getListPointPower(list, 2, &p));
    EXPECT_FLOAT_EQ(p, -5);
    record.dwell = 7e-3;
    EXPECT_DOUBLE_EQ(sweep_getListDwellTime(list, &record, 1), 7e-3);

    ASSERT_EQ(column(&Device_setListPower, {-5, -6}), 0);
    EXPECT_EQ(sweep_checkFrequencyPowerList(list), KR_E_LISTS_NOT_SAME_LENGTH);
    EXPECT_EQ(sweep_checkFrequencyList(list), 0);  // power is not in LIST mode
    KrTime d = 1e-3;
    Device_setListDwellTime(device, PARAMLIST_APPEND, &d);
    Device_setListDwellTime(device, PARAMLIST_APPEND, &d);
    EXPECT_EQ(sweep_checkFrequencyList(list), KR_E_LISTS_NOT_SAME_LENGTH);
    EXPECT_EQ(sweep_checkPhaseList(list), KR_E_LISTS_NOT_SAME_LENGTH);  // no entries
}

TEST_F(SweepListTest, ManualPointsStayWithinTheDemonstrationList) {
    EXPECT_EQ(Device_getListFrequency(device, 4), nullptr);
    EXPECT_EQ(Device_setListManualPoint(device, 0), 0);
    EXPECT_EQ(Device_getListManualPoint(device), 1u);
    EXPECT_EQ(Device_setListManualPoint(device, 20), 0);
    EXPECT_EQ(Device_getListManualPoint(device), 4u);
    EXPECT_EQ(Device_getListManualPointMax(device), 4u);
    sweep_clearList(list);
    EXPECT_EQ(Device_setListManualPoint(device, 1), KR_E_SETTINGS_CONFLICT);
    EXPECT_EQ(Device_getListManualPointMax(device), 1u);
}

TEST_F(SweepListTest, StoredListsLoadBackWithTheirEmptyFields) {
    threeByOne();
    ASSERT_EQ(Device_storeList(device, "abc"), 0);
    std::string text = file("/korvane/cust/list/abc");
    EXPECT_EQ(text.rfind("10000000.00000000000000000000;-5.000000;;\n", 0), 0u) << text;
    EXPECT_NE(text.find("\n30000000.00000000000000000000;;;\n"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);

    ASSERT_EQ(column(&Device_setListPower, {1, 2}), 0);
    ASSERT_EQ(Device_loadList(device, "/korvane/cust/list/abc"), 0);
    EXPECT_EQ(Device_getFrequencyListPoints(device), 3u);
    EXPECT_EQ(Device_getPowerListPoints(device), 1u);
    EXPECT_EQ(Device_getDwellListPoints(device), 0u);
    EXPECT_STREQ(Device_getLoadedListName(device), "/korvane/cust/list/abc");

    ASSERT_EQ(Device_storeList(device, ""), 0);
    EXPECT_EQ(file("/media/ram/list.csv"), text);
    EXPECT_EQ(Device_isRamList(device, Device_getListAbsolutePath(device, "")), 1);
}

TEST_F(SweepListTest, NamesOutsideTheDirectoryAreRefused) {
    for (const char *name : {"../x", "a/b", ".hidden", "x.tmp", "bad\x01", "/korvane/cust/x",
                             "abcdefghijklmnopqrstuvwxyz0123456"}) {
        EXPECT_EQ(Device_storeList(device, name), KR_E_EXECUTION_ERROR) << name;
        EXPECT_EQ(Device_getListAbsolutePath(device, name), nullptr) << name;
    }
    EXPECT_EQ(Device_setCurrentListName(device, "abcdefghijklmnopqrstuvwxyz0123456"),
              KR_E_EXECUTION_ERROR);
    EXPECT_STREQ(Device_getListAbsolutePath(device, "abcdefghijklmnopqrstuvwxyz012345"),
                 "/korvane/cust/list/abcdefghijklmnopqrstuvwxyz012345");
}

TEST_F(SweepListTest, ABadFileLeavesTheListAsItWas) {
    write("/korvane/cust/list/bad", "1e6;0;;\nfast;;;\n");
    write("/korvane/cust/list/gap", "1e6;;;\n;;;\n2e6;;;\n");
    write("/korvane/cust/list/wide", "1e6;0;1e-3;1e-3;0;7\n");
    for (const char *name : {"bad", "gap", "wide", "missing"}) {
        EXPECT_NE(Device_loadList(device, name), 0) << name;
        EXPECT_EQ(Device_getListPoints(device), 4u) << name;
        EXPECT_EQ(Device_getListFrequency(device, 0)->integer, 10 * MHz) << name;
        EXPECT_STREQ(Device_getLoadedListName(device), "") << name;
    }
    char out[16];
    EXPECT_EQ(Device_peekList(device, "bad", out, sizeof(out)), 1);
    EXPECT_STREQ(out, "0");
}

TEST_F(SweepListTest, AFullListVerifiesAndOneRowMoreDoesNot) {
    std::string rows;
    for (uint32_t i = 0; i < SWEEP_LIST_CAPACITY; i++)
        rows += std::to_string(100 * MHz + i) + ";-3;;\n";
    write("/korvane/cust/list/full", rows);
    write("/korvane/cust/list/over", rows + "1e9;;;\n");
    uint32_t points = 0;
    EXPECT_EQ(sweep_verifyList("full", &points), 0);
    EXPECT_EQ(points, SWEEP_LIST_CAPACITY);
    EXPECT_EQ(sweep_verifyList("over", &points), KR_E_EXECUTION_ERROR);
    EXPECT_EQ(Device_getListPoints(device), 4u);  // verification leaves the list alone
    ASSERT_EQ(Device_loadList(device, "full"), 0);
    EXPECT_EQ(Device_getPowerListPoints(device), SWEEP_LIST_CAPACITY);
}

TEST_F(SweepListTest, StoredListsAreBrowsedAndDeleted) {
    ASSERT_EQ(Device_storeList(device, "a"), 0);
    ASSERT_EQ(Device_storeList(device, "b"), 0);
    std::string first = Device_getFirstListName(device);
    std::string second = Device_getNextListName(device);
    EXPECT_NE(first, second);
    EXPECT_EQ(std::string(Device_getNextListName(device)), second);  // no further file
    EXPECT_EQ(std::string(Device_getPrevListName(device)), first);
    EXPECT_EQ(std::string(Device_getLastListName(device)), second);
    ASSERT_EQ(Device_deleteList(device, "a"), 0);
    EXPECT_EQ(Device_deleteList(device, "a"), KR_E_EXECUTION_ERROR);
    ASSERT_EQ(Device_deleteList(device, "*"), 0);
    EXPECT_STREQ(Device_getFirstListName(device), "");
}

}  // namespace
