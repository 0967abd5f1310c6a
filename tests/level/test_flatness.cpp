// The user flatness table: look-up in its three modes, editing limits, and stored tables
// under a simulation root.
#include "level/flatness.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "core/krpath.h"
#include "device/device.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr int64_t GHz = 1000000000;
int powerSets = 0;

class FlatnessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/flatness_test.XXXXXX";
        root = mkdtemp(tmpl);
        for (const char *d : {"/korvane", "/korvane/cust", "/korvane/cust/flatness"})
            mkdir((root + d).c_str(), 0755);
        krpath_setRoot(root.c_str());
        flatness_registerDeviceFunctions();
        table = Device_getFlatnessPtr(nullptr);
        powerSets = 0;
        Device_setPower = +[](Device *, const KrPow *) { return ++powerSets, 0; };
    }
    void TearDown() override {
        krpath_setRoot(nullptr);
        EXPECT_EQ(system(("rm -rf '" + root + "'").c_str()), 0);
    }
    int add(int64_t hz, KrPow db) {
        KrFreq f{hz, 0};
        return Device_addFlatnessPoint(nullptr, &f, &db);
    }
    std::string read(const std::string &path) {
        std::ifstream in(root + path);
        std::stringstream s;
        s << in.rdbuf();
        return in ? s.str() : "<missing>";
    }
    std::string root;
    Flatness *table = nullptr;
};

TEST_F(FlatnessTest, LookUpInEachModeNeverLeavesTheTable) {
    EXPECT_EQ(flatness_findAndGet(table, GHz), 0.0f);  // empty
    // Points arrive in any order; the same frequency again replaces its correction.
    ASSERT_EQ(add(2 * GHz, 0.5f), 0);
    ASSERT_EQ(add(GHz, 1.0f), 0);
    ASSERT_EQ(add(2 * GHz, 3.0f), 0);
    EXPECT_EQ(Device_getFlatnessPoints(nullptr), 2u);
    EXPECT_EQ(table->points[0].frequency, GHz);

    EXPECT_EQ(table->mode, FLATNESS_MODE_INTERPOLATION);
    EXPECT_FLOAT_EQ(flatness_findAndGet(table, 1500000000), 2.0f);
    EXPECT_FLOAT_EQ(flatness_findAndGet(table, 2 * GHz), 3.0f);
    EXPECT_FLOAT_EQ(flatness_findAndGet(table, GHz / 2), 1.0f);  // below: the first point
    EXPECT_FLOAT_EQ(flatness_findAndGet(table, 5 * GHz), 3.0f);
    EXPECT_EQ(table->lower, 1);
    EXPECT_EQ(table->upper, 1);  // never the index behind the last point
    ASSERT_EQ(Device_setFlatnessModeLower(nullptr), 0);
    EXPECT_FLOAT_EQ(flatness_findAndGet(table, 1500000000), 1.0f);
    ASSERT_EQ(Device_setFlatnessModeHigher(nullptr), 0);
    EXPECT_EQ(Device_isFlatnessModeHigher(nullptr), 1);
    EXPECT_FLOAT_EQ(flatness_findAndGet(table, 1500000000), 3.0f);
    EXPECT_FLOAT_EQ(flatness_findAndGet(table, 5 * GHz), 3.0f);

    // Each change sets the power again so that it reaches the output.
    powerSets = 0;
    EXPECT_EQ(Device_enableFlatness(nullptr), 0);
    EXPECT_EQ(Device_isFlatnessEnabled(nullptr), 1);
    EXPECT_EQ(Device_flatnessPreset(nullptr), 0);
    EXPECT_EQ(powerSets, 2);
    EXPECT_EQ(table->count, 0);
    EXPECT_EQ(table->mode, FLATNESS_MODE_INTERPOLATION);
}

TEST_F(FlatnessTest, FullTableAndPointIndexes) {
    KrFreq f{};
    KrPow c = 0;
    EXPECT_NE(Device_getFlatnessPoint(nullptr, 0, &f, &c), 0);  // nothing to read
    for (int i = 0; i < FLATNESS_MAX_POINTS; i++)
        ASSERT_EQ(add(GHz + i * 1000, (KrPow)i / 100), 0) << i;
    EXPECT_EQ(add(5 * GHz, 1.0f), KR_E_TOO_MUCH_DATA);
    EXPECT_EQ(add(GHz, 7.0f), 0);  // a replacement still fits
    EXPECT_EQ(Device_getFlatnessPoints(nullptr), (uint32_t)FLATNESS_MAX_POINTS);
    ASSERT_EQ(Device_getFlatnessPoint(nullptr, 99999, &f, &c), 0);
    EXPECT_EQ(f.integer, GHz + (FLATNESS_MAX_POINTS - 1) * 1000);
    ASSERT_EQ(Device_getFlatnessPoint(nullptr, 0, &f, &c), 0);
    EXPECT_EQ(c, 7.0f);
}

TEST_F(FlatnessTest, NamesStayInsideTheDirectory) {
    ASSERT_EQ(add(GHz, 1.0f), 0);
    std::string longest(FLATNESS_NAME_MAX, 'n');
    EXPECT_EQ(Device_flatnessStore(nullptr, longest.c_str()), 0);
    for (const char *bad : {"", ".", "..", "../x", "a/b", "/korvane/x", "x.tmp", "t\n"}) {
        EXPECT_EQ(Device_flatnessStore(nullptr, bad), KR_E_EXECUTION_ERROR) << bad;
        EXPECT_EQ(Device_flatnessLoad(nullptr, bad), KR_E_EXECUTION_ERROR) << bad;
        EXPECT_EQ(Device_flatnessDelete(nullptr, bad), KR_E_EXECUTION_ERROR) << bad;
        EXPECT_EQ(Device_getFlatnessAbsolutePath(nullptr, bad), nullptr) << bad;
    }
    EXPECT_EQ(Device_flatnessStore(nullptr, (longest + "n").c_str()), KR_E_EXECUTION_ERROR);
    EXPECT_EQ(read("/korvane/cust/x"), "<missing>");
    EXPECT_EQ(read("/korvane/x"), "<missing>");
    EXPECT_STREQ(Device_getFlatnessAbsolutePath(nullptr, "t1"), "/korvane/cust/flatness/t1");
}

TEST_F(FlatnessTest, StoredTablesRoundTripAndBadFilesPreset) {
    ASSERT_EQ(add(GHz, 1.0f), 0);
    ASSERT_EQ(add(2 * GHz, -3.25f), 0);
    ASSERT_EQ(Device_flatnessStore(nullptr, "t1"), 0);
    EXPECT_EQ(read("/korvane/cust/flatness/t1"),
              "1000000000.00000000000000000000;1.000000\n"
              "2000000000.00000000000000000000;-3.250000\n\n");
    EXPECT_EQ(read("/korvane/cust/flatness/t1.tmp"), "<missing>");
    char peek[128];
    int n = Device_flatnessPeek(nullptr, "t1", peek, sizeof(peek));
    EXPECT_EQ(std::string(peek, n > 0 ? n : 0),
              "2,1000000000.00000000000000000000,2000000000.00000000000000000000");

    ASSERT_EQ(Device_flatnessPreset(nullptr), 0);
    ASSERT_EQ(Device_setFlatnessModeLower(nullptr), 0);
    ASSERT_EQ(Device_flatnessLoad(nullptr, "t1"), 0);
    ASSERT_EQ(table->count, 2);
    EXPECT_EQ(table->points[1].frequency, 2 * GHz);
    EXPECT_EQ(table->points[1].correction, -3.25f);
    EXPECT_EQ(table->mode, FLATNESS_MODE_LOWER);  // the mode is no part of the file

    // A value that does not convert stops the load and leaves the preset table.
    std::ofstream(root + "/korvane/cust/flatness/bad") << "1000000000;1.0\n2GHz;abc\n";
    int r = Device_flatnessLoad(nullptr, "bad");
    EXPECT_LT(r, 0);
    EXPECT_NE(r, KR_E_EXECUTION_ERROR);
    EXPECT_EQ(table->count, 0);
    EXPECT_EQ(table->mode, FLATNESS_MODE_INTERPOLATION);
    EXPECT_EQ(Device_flatnessPeek(nullptr, "bad", peek, sizeof(peek)), r);

    ASSERT_EQ(add(GHz, 1.0f), 0);
    EXPECT_EQ(Device_flatnessLoad(nullptr, "none"), KR_E_EXECUTION_ERROR);
    EXPECT_EQ(table->count, 0);

    EXPECT_EQ(Device_flatnessDelete(nullptr, "t1"), 0);
    EXPECT_EQ(Device_flatnessDelete(nullptr, "t1"), KR_E_EXECUTION_ERROR);
    ASSERT_EQ(Device_flatnessStore(nullptr, "t2"), 0);
    EXPECT_EQ(Device_flatnessDelete(nullptr, nullptr), 0);  // ALL
    EXPECT_EQ(read("/korvane/cust/flatness/t2"), "<missing>");
    EXPECT_EQ(read("/korvane/cust/flatness/bad"), "<missing>");
}

TEST_F(FlatnessTest, OperationsWithoutTheTableAreUndefined) {
    Device_getFlatnessPtr = +[](Device *) -> Flatness * { return nullptr; };
    EXPECT_EQ(Device_enableFlatness(nullptr), KR_E_UNDEFINED_HEADER);
    EXPECT_EQ(add(GHz, 1.0f), KR_E_UNDEFINED_HEADER);
    EXPECT_EQ(Device_flatnessStore(nullptr, "t1"), KR_E_UNDEFINED_HEADER);
    EXPECT_EQ(powerSets, 0);
}

}  // namespace
