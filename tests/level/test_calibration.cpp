// Calibration tables: the file form with its statuses, validation, bands, coordinates and the
// integer interpolation the power setting relies on.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "core/krpath.h"
#include "level/calibration.h"
#include "level/csvtables.h"

namespace {

constexpr const char *kFile = "/korvane/dev/calibration0.csv";

// Three frequency points; powers -10, 0, 0, 10 dBm (two zones). Cells: A = 100 + power index,
// B = 7 (9 at the last frequency), ALC setpoint 1000 x (power index + 1) + frequency index x 100.
std::string table(const std::string &extra = "") {
    std::ostringstream s;
    s << "32512;0;1000000000;2000000000;3000000000\n";
    const int powers[] = {-100, 0, 0, 100};
    for (int p = 0; p < 4; p++) {
        s << powers[p] << ";" << 100 + p << ";" << 100 + p << ";" << 100 + p << "\n";
        s << powers[p] << ";7;7;9\n";
        s << powers[p];
        for (int f = 0; f < 3; f++)
            s << ";" << 1000 * (p + 1) + 100 * f;
        s << "\n";
    }
    return s.str() + extra;
}

class CalibrationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/calibration_test.XXXXXX";
        root = mkdtemp(tmpl);
        mkdir((root + "/korvane").c_str(), 0755);
        mkdir((root + "/korvane/dev").c_str(), 0755);
        krpath_setRoot(root.c_str());
        cal = std::make_unique<Calibration>();
        Calibration_init(cal.get());
    }
    void TearDown() override {
        krpath_setRoot(nullptr);
        std::string cmd = "rm -rf '" + root + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    int load(const std::string &content) {
        std::ofstream(root + kFile) << content;
        return Csvtables_Csv2Cal(kFile, cal.get());
    }
    KrFreq hz(int64_t f) const { return KrFreq{f, 0}; }
    CalibrationCoord at(int64_t f, KrPow p) {
        CalibrationCoord c;
        KrFreq fr = hz(f);
        Calibration_findCoord(cal.get(), &fr, p, &c);
        return c;
    }
    std::string root;
    std::unique_ptr<Calibration> cal;
};

TEST_F(CalibrationTest, ZonesInterpolationAndExtrapolation) {
    ASSERT_EQ(load(table()), 0);
    ASSERT_EQ(Calibration_validate(cal.get()), 0);
    EXPECT_EQ(cal->powerCount, 4u);
    EXPECT_EQ(cal->frequencyCount, 3u);
    for (int p = 0; p < 4; p++)
        EXPECT_EQ(Calibration_getZone(cal.get(), p), p < 2 ? 0 : 1) << p;
    Calibration_defineBands(cal.get(), nullptr, 0);

    // Halfway in power at the first point; 0 dBm starts the upper zone.
    KrFreq f1 = hz(1000000000);
    CalibrationCoord c = at(1000000000, -5);
    EXPECT_EQ(c.powerLo, 0u);
    EXPECT_EQ(Calibration_getAlcSetpoint(cal.get(), -5, &c), 1500);
    c = at(1000000000, 0);
    EXPECT_EQ(c.powerLo, 2u);
    EXPECT_EQ(Calibration_getZone(cal.get(), &c), 1);
    // Above the table: linear from the two highest points.
    c = at(1000000000, 20);
    EXPECT_EQ(c.powerLo, 2u);
    EXPECT_EQ(Calibration_getAlcSetpoint2D(cal.get(), 20, &f1, &c), 5000);
    EXPECT_FALSE(Calibration_isResultSaturated(cal.get()));
    // Between frequencies, rounded to nearest: a quarter of the way is 25 above.
    KrFreq f = hz(1250000000);
    c = at(1250000000, -10);
    EXPECT_EQ(c.frequencyLo, 0u);
    EXPECT_EQ(c.frequencyHi, 1u);
    EXPECT_EQ(Calibration_getAlcSetpoint2D(cal.get(), -10, &f, &c), 1025);
    // Far below the table the extrapolation turns negative: flagged.
    c = at(1000000000, -100);
    Calibration_getAlcSetpoint(cal.get(), -100, &c);
    EXPECT_TRUE(Calibration_isResultSaturated(cal.get()));
}

TEST_F(CalibrationTest, BandStartsStopInterpolation) {
    ASSERT_EQ(load(table()), 0);
    ASSERT_EQ(Calibration_validate(cal.get()), 0);
    // The edge at the second point; step attenuation B changes at the third.
    const int64_t edges[] = {2000000000};
    Calibration_defineBands(cal.get(), edges, 1);
    EXPECT_EQ(cal->band[0] & CAL_BAND_START, 0);
    EXPECT_EQ(cal->band[1] & CAL_BAND_START, CAL_BAND_START);
    EXPECT_EQ(cal->band[2] & CAL_BAND_START, CAL_BAND_START);
    KrFreq f = hz(1999999999);
    CalibrationCoord c = at(1999999999, -10);
    EXPECT_EQ(c.frequencyHi, 0u);  // only the point below the edge
    EXPECT_EQ(Calibration_getAlcSetpoint2D(cal.get(), -10, &f, &c), 1000);
    const int64_t limits[] = {2000000000, 2500000000, 4000000000};
    EXPECT_EQ(Calibration_forceAlcBands(cal.get(), limits, 3), 2);
}

TEST_F(CalibrationTest, BrokenFilesGiveTheirStatusAndAnEmptyTable) {
    const struct {
        const char *name;
        std::string content;
        int status;
    } rows[] = {
        {"bad cell", "32512;0;1;12a\n", CAL_BAD_CELL},
        {"unknown section", table("32777;0;1;2;3\n"), CAL_UNKNOWN_SECTION},
        {"short row", table("32515;0;1;2\n"), CAL_BAD_ROW_LENGTH},
        {"incomplete triple", table("5;1;1;1\n"), CAL_BAD_POWER_TABLE},
        {"three zone rows", table("32513;1;1;1;1\n2;1;1;1\n3;1;1;1\n"), CAL_BAD_ZONE_ROWS},
        {"second margin row", table("32515;0;1;2;3\n0;1;2;3\n"), CAL_SECOND_MARGIN_ROW},
        {"stage 32", table("32550;32;1;0;1\n"), CAL_BAD_STAGE_NUMBER},
        {"stage cell 2", table("32550;3;1;2;1\n"), CAL_BAD_STAGE_CELL},
        {"both attenuator kinds", table("32514;0;1;1;1\n32551;0;1;1;1\n"), CAL_BOTH_ALC_ATT_KINDS},
        {"text after the end", table("\n\n32515;0;1;2;3\n"), CAL_NO_FILE},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(load(row.content), row.status) << row.name;
        EXPECT_EQ(cal->frequencyCount, 0u) << row.name;
        EXPECT_EQ(cal->powerCount, 0u) << row.name;
        EXPECT_EQ(Calibration_validate(cal.get()), -1) << row.name;
        EXPECT_EQ(cal->powerCount, 1u) << row.name;  // the reset table still serves
    }
    EXPECT_EQ(Csvtables_Csv2Cal("/korvane/dev/none.csv", cal.get()), CAL_NO_FILE);
}

TEST_F(CalibrationTest, SectionsReachTheirLookUpsAndSurviveExport) {
    const std::string extra =
        "32513;5;1;2;3\n6;4;5;6\n7;7;8;9\n8;1;1;1\n"  // spread at most 99: 1/10 dB
        "32551;0;3;3;3\n0;4;4;4\n"
        "32515;0;11;12;13\n"
        "32552;0;21;22;23\n"
        "32516;25;1;2;3\n0;4;5;6\n"
        "32550;3;1;0;1\n3;0;1;1\n"
        "32554;-30;100;200;300\n0;1;2;3\n"
        "32555;0;7;8;9\n"
        "32600;0;0\n"
        "32999;1\n"
        "\n";
    ASSERT_EQ(load(table(extra)), 0);
    ASSERT_EQ(Calibration_validate(cal.get()), 0);
    CalibrationCoord low = at(2000000000, -10), top = at(2000000000, 5);
    EXPECT_EQ(Calibration_getExtAtt(cal.get(), &low, 1), 500);  // 5 x 100
    EXPECT_EQ(cal->extAttReference[0], 500);
    EXPECT_EQ(Calibration_getAlcAttConfig(cal.get(), &low), 3);
    EXPECT_EQ(Calibration_getAlcAttConfig(cal.get(), &top), 4);
    EXPECT_EQ(Calibration_getAlcMargin(cal.get(), &low), 12);
    EXPECT_EQ(Calibration_getMinAttout(cal.get(), &low), 0);
    EXPECT_EQ(Calibration_getMinAttout(cal.get(), &top), 22);
    EXPECT_FLOAT_EQ(Calibration_getAm(cal.get(), &low, 0, 1), 5 * 2.5f);
    EXPECT_FALSE(Calibration_getGainstage(cal.get(), &low, 3));  // zone 0 at 2 GHz: 0
    EXPECT_TRUE(Calibration_getGainstage(cal.get(), &top, 3));   // zone 1: 1
    EXPECT_EQ(Calibration_getPELimit(cal.get(), &low), 200);
    EXPECT_EQ(Calibration_getExtAttRefLevel(cal.get()), -30);
    EXPECT_TRUE(cal->oneFlag);

    // Written back and read again, the table is the same.
    ASSERT_EQ(load(table(extra)), 0);
    ASSERT_EQ(Csvtables_Cal2Csv(cal.get(), "/korvane/dev/copy.csv"), 0);
    auto again = std::make_unique<Calibration>();
    ASSERT_EQ(Csvtables_Csv2Cal("/korvane/dev/copy.csv", again.get()), 0);
    EXPECT_EQ(memcmp(cal.get(), again.get(), sizeof(Calibration)), 0);
}

TEST_F(CalibrationTest, WideExtensionSpreadIsAlreadyThousandthsOfADecibel) {
    ASSERT_EQ(load(table("32513;5;100;2000;3\n6;4;5;6\n7;7;8;9\n8;1;1;1\n")), 0);
    ASSERT_EQ(Calibration_validate(cal.get()), 0);
    CalibrationCoord c = at(2000000000, 0);
    EXPECT_EQ(Calibration_getExtAtt(cal.get(), &c, 0), 2000);
}

}  // namespace
