#include "scpi/scpi_unit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "scpi/scpi_errorcodes.h"
#include "tests/support/param_name.h"

namespace {

class UnitTest : public testing::Test {
  protected:
    void SetUp() override { unitPower.selected = nullptr; }
    void TearDown() override { unitPower.selected = nullptr; }
};

const ScpiUnitEntry *findEntry(const ScpiUnitTable &table, const char *name) {
    for (int i = 0; i < table.count; i++) {
        if (std::string(table.entries[i].name) == name) return &table.entries[i];
    }
    return nullptr;
}

struct SuffixRow {
    const char *text;
    const ScpiUnitTable *table;
    int result;
    const char *unit;    // expected entry name
    const char *number;  // text left for the number
};

class Suffix : public testing::TestWithParam<SuffixRow> {};

TEST_P(Suffix, FindsUnitAndCutsIt) {
    const SuffixRow &row = GetParam();
    char text[64];
    snprintf(text, sizeof text, "%s", row.text);
    const ScpiUnitEntry *entry = nullptr;
    EXPECT_EQ(scpi_parseSuffix(text, row.table, 0, &entry), row.result) << row.text;
    if (row.result != 0) {
        EXPECT_STREQ(text, row.text) << "a refused suffix leaves the text alone";
        return;
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->name, row.unit) << row.text;
    EXPECT_STREQ(text, row.number) << row.text;
}

INSTANTIATE_TEST_SUITE_P(
    Tables, Suffix,
    testing::Values(
        SuffixRow{"1GHz", &unitFrequency, 0, "GHz", "1"},
        SuffixRow{"1GH", &unitFrequency, 0, "GHz", "1"},  // alias
        SuffixRow{"1 ghz", &unitFrequency, 0, "GHz", "1 "},
        SuffixRow{"1 GHz  ", &unitFrequency, 0, "GHz", "1 "},
        SuffixRow{"1MH", &unitFrequency, 0, "MH", "1"},
        SuffixRow{"1MAHz", &unitFrequency, 0, "MAHz", "1"},
        SuffixRow{"3kHz", &unitFrequency, 0, "kHz", "3"},
        SuffixRow{"1e9", &unitFrequency, 0, "Hz", "1e9"},
        SuffixRow{"5.", &unitFrequency, 0, "Hz", "5."},
        SuffixRow{"1.GHz", &unitFrequency, 0, "GHz", "1."},
        SuffixRow{"1THz", &unitFrequency, KR_E_INVALID_SUFFIX, "", ""},
        SuffixRow{"1..GHz", &unitFrequency, KR_E_INVALID_SUFFIX, "", ""},
        SuffixRow{"1m/s", &unitFrequency, KR_E_INVALID_SUFFIX, "", ""},
        SuffixRow{"NAN", &unitFrequency, KR_E_INVALID_SUFFIX, "", ""},
        SuffixRow{"10", &unitPower, 0, "dBmW", "10"},
        SuffixRow{"10 dBm", &unitPower, 0, "dBmW", "10 "},
        SuffixRow{"10DM", &unitPower, 0, "dBmW", "10"},
        SuffixRow{"-3 dB", &unitPower, 0, "dBW", "-3 "}, SuffixRow{"1 W", &unitPower, 0, "W", "1 "},
        SuffixRow{"1 mw", &unitPower, 0, "mW", "1 "},
        SuffixRow{"1 DBUV", &unitPower, 0, "dBuV", "1 "},
        SuffixRow{"1 M", &unitPower, KR_E_INVALID_SUFFIX, "", ""},
        SuffixRow{"5", &unitRatio, 0, "", "5"}, SuffixRow{"5PCT", &unitRatio, 0, "PCT", "5"},
        SuffixRow{"5 ppm", &unitRatio, 0, "PPM", "5 "}, SuffixRow{"1ms", &unitTime, 0, "ms", "1"},
        SuffixRow{"1e-3 S", &unitTime, 0, "s", "1e-3 "}, SuffixRow{"2", &unitTime, 0, "s", "2"},
        SuffixRow{"90 deg", &unitAngle, 0, "deg", "90 "}, SuffixRow{"1", &unitAngle, 0, "rad", "1"},
        SuffixRow{"1 grad", &unitAngle, KR_E_INVALID_SUFFIX, "", ""}),
    [](const ::testing::TestParamInfo<SuffixRow> &info) { return paramName(info.param.text); });

TEST_F(UnitTest, BareNumberUsesSelectedUnitUnlessBaseUnitAsked) {
    ASSERT_EQ(scpi_unit_setPowerUnit("W"), 0);
    char text[] = "10";
    int length = 2;
    const ScpiUnitEntry *entry = nullptr;
    ASSERT_EQ(scpi_parseSuffixRange(text, &length, &unitPower, 0, &entry), 0);
    EXPECT_STREQ(entry->name, "W");
    ASSERT_EQ(scpi_parseSuffixRange(text, &length, &unitPower, SCPI_SUFFIX_BASE_UNIT, &entry), 0);
    EXPECT_STREQ(entry->name, "dBmW");
}

TEST_F(UnitTest, AliasAtTableStartIsInvalid) {
    static const ScpiUnitEntry entries[] = {{"X", SCPI_UNIT_ALIAS, 0}, {"Y", SCPI_UNIT_LINEAR, 0}};
    ScpiUnitTable table = {nullptr, entries, 2};
    char withSuffix[] = "1X";
    char bare[] = "1";
    char other[] = "1Y";
    const ScpiUnitEntry *entry = nullptr;
    EXPECT_EQ(scpi_parseSuffix(withSuffix, &table, 0, &entry), KR_E_INVALID_SUFFIX);
    EXPECT_EQ(scpi_parseSuffix(bare, &table, 0, &entry), KR_E_INVALID_SUFFIX);
    EXPECT_EQ(scpi_parseSuffix(other, &table, 0, &entry), 0);
}

struct PowerUnitRow {
    const char *text;
    int result;
    const char *selected;  // name answered afterwards
};

class PowerUnit : public UnitTest, public testing::WithParamInterface<PowerUnitRow> {};

TEST_P(PowerUnit, SelectsOrRefuses) {
    ASSERT_EQ(scpi_unit_setPowerUnit("dBV"), 0);
    EXPECT_EQ(scpi_unit_setPowerUnit(GetParam().text), GetParam().result) << GetParam().text;
    const char *name = nullptr;
    const ScpiUnitEntry *entry = nullptr;
    EXPECT_EQ(scpi_unit_getPowerUnit(&name, &entry), 0);
    EXPECT_STREQ(name, GetParam().selected) << GetParam().text;
    EXPECT_EQ(entry->name, name);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PowerUnit,
    testing::Values(PowerUnitRow{"W", 0, "W"}, PowerUnitRow{"V", 0, "V"}, PowerUnitRow{"a", 0, "A"},
                    PowerUnitRow{"dBuV", 0, "dBuV"}, PowerUnitRow{"dBm", 0, "dBmW"},
                    PowerUnitRow{"DB", 0, "dBW"}, PowerUnitRow{" dBuW ", 0, "dBuW"},
                    // Scaled linear units are never selected: linear answers stay in W, V, A.
                    PowerUnitRow{"mW", KR_E_INVALID_SUFFIX, "dBV"},
                    PowerUnitRow{"uW", KR_E_INVALID_SUFFIX, "dBV"},
                    PowerUnitRow{"mV", KR_E_INVALID_SUFFIX, "dBV"},
                    PowerUnitRow{"uV", KR_E_INVALID_SUFFIX, "dBV"},
                    PowerUnitRow{"mA", KR_E_INVALID_SUFFIX, "dBV"},
                    PowerUnitRow{"uA", KR_E_INVALID_SUFFIX, "dBV"},
                    PowerUnitRow{"10dBm", KR_E_INVALID_SUFFIX, "dBV"},
                    PowerUnitRow{"", KR_E_INVALID_SUFFIX, "dBV"},
                    PowerUnitRow{"Hz", KR_E_INVALID_SUFFIX, "dBV"}),
    [](const ::testing::TestParamInfo<PowerUnitRow> &info) { return paramName(info.param.text); });

TEST_F(UnitTest, DefaultPowerUnitIsDbmW) {
    const char *name = nullptr;
    scpi_unit_getPowerUnit(&name, nullptr);
    EXPECT_STREQ(name, "dBmW");
}

struct PowerRow {
    double value;
    const char *unit;
    double dBm;
};

class PowerToDbm : public testing::TestWithParam<PowerRow> {};

TEST_P(PowerToDbm, ConvertsBothWays) {
    const ScpiUnitEntry *unit = findEntry(unitPower, GetParam().unit);
    ASSERT_NE(unit, nullptr);
    double dBm = 0, back = 0;
    ASSERT_EQ(scpi_unit_pow2dBm(GetParam().value, unit, &dBm), 0);
    EXPECT_NEAR(dBm, GetParam().dBm, 1e-9) << GetParam().unit;
    ASSERT_EQ(scpi_unit_dBm2pow(dBm, unit, &back), 0);
    EXPECT_NEAR(back, GetParam().value, 1e-9 * std::fabs(GetParam().value) + 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Units, PowerToDbm,
    testing::Values(PowerRow{1.0, "W", 30.0}, PowerRow{0.001, "W", 0.0},
                    PowerRow{1.0, "V", 13.0102999566398}, PowerRow{1.0, "A", 46.9897000433602},
                    PowerRow{0.0, "dBmW", 0.0}, PowerRow{-3.0, "dBW", 27.0},
                    PowerRow{0.0, "dBuW", -30.0}, PowerRow{0.0, "dBuV", -120.0 + 13.0102999566398},
                    PowerRow{0.0, "dBmV", -60.0 + 13.0102999566398},
                    PowerRow{0.0, "dBuA", -120.0 + 46.9897000433602},
                    PowerRow{6.0, "dBA", 6.0 + 46.9897000433602}),
    [](const testing::TestParamInfo<PowerRow> &info) {
        char text[32];
        snprintf(text, sizeof text, "%g %s", info.param.value, info.param.unit);
        return paramText(text);
    });

TEST(PowerToDbm, LogOfZeroOrNegativeIsOutOfRange) {
    for (const char *name : {"W", "V", "A", "mW"}) {
        double dBm = 0;
        EXPECT_EQ(scpi_unit_pow2dBm(0.0, findEntry(unitPower, name), &dBm), KR_E_DATA_OUT_OF_RANGE);
        EXPECT_EQ(scpi_unit_pow2dBm(-1.0, findEntry(unitPower, name), &dBm),
                  KR_E_DATA_OUT_OF_RANGE);
    }
    double v = 0;
    EXPECT_EQ(scpi_unit_dBm2pow(NAN, findEntry(unitPower, "W"), &v), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(scpi_unit_dBm2pow(1e308, findEntry(unitPower, "W"), &v), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(scpi_unit_pow2dBm(1.0, findEntry(unitAngle, "deg"), &v), KR_E_INVALID_SUFFIX);
}

// Every selectable unit: a user value goes to the device as dBm (float) and comes back as the
// same user value within float precision.
TEST_F(UnitTest, UserToDeviceToUserInEverySelectableUnit) {
    int selectable = 0;
    for (int i = 0; i < unitPower.count; i++) {
        const ScpiUnitEntry &e = unitPower.entries[i];
        if (scpi_unit_setPowerUnit(e.name) != 0) continue;
        selectable++;
        const ScpiUnitEntry *unit = nullptr;
        scpi_unit_getPowerUnit(nullptr, &unit);
        bool linear = unit->type <= SCPI_UNIT_AMPERE;
        for (double dBm = -140.0; dBm <= 40.0; dBm += 7.25) {
            double user = 0;
            ASSERT_EQ(scpi_unit_dBm2pow(dBm, unit, &user), 0);
            KrPow device = 0;
            ASSERT_EQ(scpi_kr_powIndBm(user, &device), 0) << e.name;
            EXPECT_NEAR(device, dBm, 1e-5) << e.name;
            double back = 0;
            ASSERT_EQ(scpi_kr_pow_unit_dev2user(&device, &back), 0);
            if (linear)
                EXPECT_NEAR(back / user, 1.0, 1e-5) << e.name << " at " << dBm;
            else
                EXPECT_NEAR(back, user, 1e-4) << e.name << " at " << dBm;
        }
    }
    EXPECT_EQ(selectable, 15);  // every name but the six scaled linear units
}

TEST_F(UnitTest, PowerBeyondFloatIsOutOfRange) {
    ASSERT_EQ(scpi_unit_setPowerUnit("dBm"), 0);
    KrPow p = 0;
    EXPECT_EQ(scpi_kr_powIndBm(1e39, &p), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(scpi_kr_powIndBm(-1e39, &p), KR_E_DATA_OUT_OF_RANGE);
}

}  // namespace
