#include "config/device_config.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/startup.h"
#include "device/device.h"
#include "platform/sim/hardware_sim.h"
#include "scpi/scpi_errorcodes.h"
#include "sim_root.h"
#include "tests/support/param_name.h"

namespace {

using krtest::SimRootTest;

// ---------------------------------------------------------------------------------------
// Serial-number predicates: one row per (number, question, answer).

struct PredicateRow {
    const char *sn;
    const char *snAll;  // "" for no file
    const char *question;
    int (*predicate)();
    int expected;
};

std::ostream &operator<<(std::ostream &out, const PredicateRow &row) {
    return out << row.sn << " " << row.question;
}

// Position 1 'C', 4 '4', 8 '4', 11 '5': 20 GHz, HC panel on the newer controller,
// 4 channels, GPIB and option NEC (5 is in both sets).
constexpr const char *necSN = "1C0-400040051-0001";
// Position 7 'Z': the output board differs per channel.
constexpr const char *mixedSN = "1C0-000Z10000-0001";
constexpr const char *mixedAll =
    "1C0-000Z10000-0001\nSNCH0-1C0-000B10000-0001\n"
    "SNCH1-1C0-000M10000-0002\n";

const PredicateRow predicateRows[] = {
    {necSN, "", "20 GHz model", [] { return device_config_isOrbx20G(0); }, 1},
    {necSN, "", "not 40 GHz", [] { return device_config_isOrbx40G(0); }, 0},
    {necSN, "", "HC panel, newer controller", [] { return device_config_usesFpHcStm(); }, 1},
    {necSN, "", "front panel", [] { return device_config_usesFp(); }, 1},
    {necSN, "", "newer controller", [] { return device_config_usesFpStm(); }, 1},
    {necSN, "", "no touch panel", [] { return device_config_usesFpTpStm(); }, 0},
    {necSN, "", "4 channels", [] { return device_config_getSourcesCount(); }, 4},
    {necSN, "", "GPIB", [] { return device_config_usesGPIB(); }, 1},
    {necSN, "", "NEC", [] { return device_config_usesOptionNec(); }, 1},
    {necSN, "", "channel FS through NEC", [] { return device_config_usesORBX_OptionFS(0); }, 1},
    {"1C0-000B10001-0001", "", "GPIB without NEC", [] { return device_config_usesOptionNec(); }, 0},

    {mixedSN, mixedAll, "channel 1 board 3B", [] { return device_config_uses_ORBX20G_OUT_3B(1); },
     1},
    {mixedSN, mixedAll, "channel 0 not 3B", [] { return device_config_uses_ORBX20G_OUT_3B(0); }, 0},
    {mixedSN, mixedAll, "channel 0 2B or newer",
     [] { return device_config_uses_ORBX20G_OUT_2BorNewer(0); }, 1},
    {mixedSN, mixedAll, "channel 1 3B or newer",
     [] { return device_config_uses_ORBX20G_OUT_3BorNewer(1); }, 1},
    {mixedSN, mixedAll, "channel 2 default number",
     [] { return device_config_uses_ORBX20G_OUT_1AorNewer(2); }, 0},
    {mixedSN, "", "no sn_all: default channel numbers",
     [] { return device_config_uses_ORBX20G_OUT_3B(1); }, 0},
    {"1Z0-000B10000-0001", "SNCH2-1E0-000L10000-0001\n", "model per channel",
     [] { return device_config_isOrbx40G(2); }, 1},
    {"1Z0-000B10000-0001", "SNCH2-1E0-000L10000-0001\n", "channel 0 unknown model",
     [] { return device_config_isOrbx40G(0); }, 0},
    {"1Z0-000B10000-0001", "", "varying model", [] { return device_config_isOrbxVARG(); }, 1},
    {"1Z0-000B10000-0001", "", "varying counts as multi-model",
     [] { return device_config_isOrbxXXG(); }, 1},
    {"110-000B10000-0001", "SNCH0-1C0-000B10000-0001\n", "channel 0 decides XXG",
     [] { return device_config_isOrbxXXG(); }, 1},
    {"110-000B10000-0001", "", "no model letter", [] { return device_config_isOrbxXXG(); }, 0},
    {"1C0-000B100Z0-0001", "SNCH3-1C0-000B10040-0001\n", "NEC per channel",
     [] { return device_config_usesORBX_OptionNEC(3); }, 1},
    {"1C0-000B100Z0-0001", "SNCH3-1C0-000B10040-0001\n", "instrument code is Z",
     [] { return device_config_usesOptionNec(); }, 0},

    {"1C0-000730000-0001", "", "codes compare by value",
     [] { return device_config_uses_ORBX20G_OUT_1BorNewer(0); }, 1},
    {"1C0-000510000-0001", "", "5: 20G board 1A",
     [] { return device_config_uses_ORBX20G_OUT_1AorNewer(0); }, 1},
    {"1C0-000510000-0001", "", "5: not yet 1B",
     [] { return device_config_uses_ORBX20G_OUT_1BorNewer(0); }, 0},
    {"1C0-000A10000-0001", "", "A: 2A", [] { return device_config_uses_ORBX20G_OUT_2AorNewer(0); },
     1},
    {"1C0-000A10000-0001", "", "A: not 2B",
     [] { return device_config_uses_ORBX20G_OUT_2BorNewer(0); }, 0},
    {"1C0-000C10000-0001", "", "C: 2B limited",
     [] { return device_config_uses_ORBX20G_OUT_2B_6G(0); }, 1},
    {"1C0-000C10000-0001", "", "C: not 2C",
     [] { return device_config_uses_ORBX20G_OUT_2CorNewer(0); }, 0},
    {"1C0-000M10000-0001", "", "M: 3B", [] { return device_config_uses_ORBX20G_OUT_3B(0); }, 1},
    {"1C0-000N10000-0001", "", "N: newer than 3B",
     [] { return device_config_uses_ORBX20G_OUT_3B(0); }, 0},
    {"1C0-000110000-0001", "", "1: multi-model 1A",
     [] { return device_config_uses_ORBXXXG_OUT_1A(0); }, 1},
    {"1C0-000210000-0001", "", "2: 1B1", [] { return device_config_uses_ORBXXXG_OUT_1B1(0); }, 1},
    {"1C0-000310000-0001", "", "3: 1B", [] { return device_config_uses_ORBXXXG_OUT_1B(0); }, 1},
    {"1C0-000410000-0501", "", "4 with digit 5: 1C",
     [] { return device_config_uses_ORBXXXG_OUT_1C(0); }, 1},
    {"1C0-000410000-0301", "", "4 with digit 3: not 1C",
     [] { return device_config_uses_ORBXXXG_OUT_1C(0); }, 0},
    {"1E0-000L10000-0003", "", "L: 40G 1C or newer",
     [] { return device_config_uses_ORBX40G_OUT_NOPE_1CorNewer(0); }, 1},
    {"1E0-000L10000-0003", "", "L: 40G 1C or older",
     [] { return device_config_uses_ORBX40G_OUT_NOPE_1CorOlder(0); }, 1},
    {"1E0-000L10000-0003", "", "L: not 40G 2B",
     [] { return device_config_uses_ORBX40G_OUT_NOPE_2BorNewer(0); }, 0},
    {"1E0-000T10000-0003", "", "T: 40G 2B",
     [] { return device_config_uses_ORBX40G_OUT_NOPE_2BorNewer(0); }, 1},
    {"1E0-000J10000-0003", "", "J: 40G 1A",
     [] { return device_config_uses_ORBX40G_OUT_NOPE_1AorNewer(0); }, 1},
    {"1E0-000J10000-0003", "", "J: not 40G 1B",
     [] { return device_config_uses_ORBX40G_OUT_NOPE_1BorNewer(0); }, 0},

    {"2C0-000B10100-0001", "", "internal reference", [] { return device_config_hasInternalRef(); },
     1},
    {"2C0-000B10000-0001", "", "no reference without 10",
     [] { return device_config_hasInternalRef(); }, 0},
    {"1C0-000B10100-0001", "", "no reference on 1", [] { return device_config_hasInternalRef(); },
     0},
    {"2C0-003B10000-0001", "", "ULN reference 2B",
     [] { return device_config_uses_ORBXXXG_REF_ULN_2B(); }, 1},
    {"2C0-003B10000-0001", "", "ULN reference", [] { return device_config_uses_ORBXXXG_REF_ULN(); },
     1},
    {"2C0-001B10000-0001", "", "code 1: no ULN",
     [] { return device_config_uses_ORBXXXG_REF_ULN(); }, 0},
    {"1C0-003B10000-0001", "", "model line 1 never ULN",
     [] { return device_config_uses_ORBXXXG_REF_ULN(); }, 0},
    {"340-000410000-0001", "", "older line: code at 7",
     [] { return device_config_uses_ORBXXXG_REF_ULN_2C(); }, 1},

    {"1C0-000B80000-0001", "", "8 channels", [] { return device_config_getSourcesCount(); }, 8},
    {"1C0-000B90000-0001", "", "9 counts as 1", [] { return device_config_getSourcesCount(); }, 1},
    {"1C0-000BA0000-0001", "", "A counts as 1", [] { return device_config_getSourcesCount(); }, 1},
    {"1C0-000B10000", "", "short number: 1 channel", [] { return device_config_getSourcesCount(); },
     1},
    {"1C0-000B1B000-0001", "", "B: battery", [] { return device_config_usesBattery(); }, 1},
    {"1C0-000B1B000-0001", "", "B: flash", [] { return device_config_uses_OptionFlash(); }, 1},
    {"1C0-000B11000-0001", "", "1: no flash", [] { return device_config_uses_OptionFlash(); }, 0},
    {"1C0-000B10300-0001", "", "extension on board",
     [] { return device_config_usesSspeOnOutBoard(0); }, 1},
    {"1C0-000B10300-0001", "", "not at the output", [] { return device_config_usesSspeAtOut(0); },
     0},
    {"1C0-000B10300-0001", "", "any output extension",
     [] { return device_config_usesORBX_Sspe(0); }, 1},
    {"1C0-000B10900-0001", "", "40G at the controller",
     [] { return device_config_usesSspe40GAtCont(); }, 1},

    {"1C0-000B10005-0001", "", "5: common reference",
     [] { return device_config_usesCommonReference(0); }, 1},
    {"1C0-000B10005-0001", "", "5: no common RF enable",
     [] { return device_config_usesCommonRfEnable(0); }, 0},
    {"1C0-0B0B10004-0001", "", "4 on FS: no common RF enable",
     [] { return device_config_usesCommonRfEnable(0); }, 0},
    {"1C0-000B10004-0001", "", "4 standard: common RF enable",
     [] { return device_config_usesCommonRfEnable(0); }, 1},
    {"1C0-000B10004-0001", "", "4: dual source", [] { return device_config_isDualSource(0); }, 1},
    {"1C0-000B1000W-0001", "", "W: phase option", [] { return device_config_usesOptionPhs(0); }, 1},
    {"1C0-000B1000W-0001", "", "W: VREF", [] { return device_config_usesORBX_OptionVREF(0); }, 1},
    {"1C0-000B1000W-0001", "", "W: MOD", [] { return device_config_usesORBX_OptionMOD(0); }, 1},
    {"1C0-000B1000W-0001", "", "W: LN", [] { return device_config_usesORBX_OptionLN(0); }, 1},
    {"1C0-000B1000W-0001", "", "W: FS", [] { return device_config_usesORBX_OptionFS(0); }, 1},
    {"1C0-000B10001-0001", "", "1: no LN", [] { return device_config_usesORBX_OptionLN(0); }, 0},
    {"1C0-0B0B10000-0001", "", "FS controller 2C",
     [] { return device_config_usesFS_ARM_CONT_2CorNewer(); }, 1},
    {"1C0-040B10000-0001", "", "FS controller 4", [] { return device_config_usesOptionFs(); }, 1},
    {"1C0-040B10000-0001", "", "FS controller 4 is older",
     [] { return device_config_usesFS_ARM_CONT_2CorNewer(); }, 0},
    {"1C6-000B10000-0001", "", "HI casing", [] { return device_config_usesHICasing(); }, 1},
    {"1C6-000B10000-0001", "", "HI casing has plates",
     [] { return device_config_usesAluCoolingPlates(); }, 1},
    {"1C8-000B10000-0001", "", "2U HI case", [] { return device_config_usesCase2uHi(); }, 1},
    {"1C0-U00B10000-0001", "", "phase test system",
     [] { return device_config_uses_ORBX_PHS_TEST_SYSTEM(); }, 1},
    {"1C0-200B10000-0001", "", "older HC panel", [] { return device_config_usesFpHcAt91(); }, 1},

    {"110-0B0B10000-0001", "", "pulse trains", [] { return device_config_usesOptionPulseTrains(); },
     1},
    {"110-000B10000-0001", "", "no pulse trains on controller 0",
     [] { return device_config_usesOptionPulseTrains(); }, 0},
    {"1C0-0B0B10000-0001", "", "no pulse trains on model C",
     [] { return device_config_usesOptionPulseTrains(); }, 0},

    {"1C0-000B10000-0730", "", "730 limited", [] { return device_config_usesORBX_limitedVCO(); },
     1},
    {"1C0-000B10000-0888", "", "888 limited", [] { return device_config_usesORBX_limitedVCO(); },
     1},
    {"1C0-000B10000-9999", "", "9999 limited", [] { return device_config_usesORBX_limitedVCO(); },
     1},
    {"1C0-000B10000-0729", "", "729 not limited",
     [] { return device_config_usesORBX_limitedVCO(); }, 0},
    {"1C0-000B10000-0731", "", "731 not limited",
     [] { return device_config_usesORBX_limitedVCO(); }, 0},
    {"1C0-000B10000-0887", "", "887 not limited",
     [] { return device_config_usesORBX_limitedVCO(); }, 0},
    {"1c0-000m10000-0001", "", "read upper-cased",
     [] { return device_config_uses_ORBX20G_OUT_3B(0); }, 1},
};

class PredicateTest : public SimRootTest, public ::testing::WithParamInterface<PredicateRow> {};

TEST_P(PredicateTest, AnswersFromTheSerialNumber) {
    const PredicateRow &row = GetParam();
    useSerial(row.sn, row.snAll);
    EXPECT_EQ(row.predicate(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, PredicateTest, ::testing::ValuesIn(predicateRows),
                         [](const ::testing::TestParamInfo<PredicateRow> &info) {
                             return paramName(info.param.question);
                         });

// ---------------------------------------------------------------------------------------
// Options text

struct OptionsRow {
    const char *sn;
    const char *expected;
};

class OptionsTest : public SimRootTest, public ::testing::WithParamInterface<OptionsRow> {};

TEST_P(OptionsTest, ListsTheFittedOptionsSorted) {
    useSerial(GetParam().sn);
    char options[DEVICE_CONFIG_OPTIONS_SIZE];
    EXPECT_STREQ(device_config_getOptionsString(options, sizeof(options)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, OptionsTest,
    ::testing::Values(OptionsRow{"1C6-000B10013-0001", "0,GPIB,HI,LN"},
                      // FS holds through NEC, but is not listed with it.
                      OptionsRow{necSN, "0,GPIB,NEC"}, OptionsRow{"1C0-000B10000-0001", "0,FS,LN"},
                      OptionsRow{"1C0-000B1A30W-0001", "0,FLASH,FS,LN,MOD,PE4,PHS,VREF"},
                      OptionsRow{"1C0-000B10001-0001", "0"}),
    [](const ::testing::TestParamInfo<OptionsRow> &info) { return paramName(info.param.sn); });

// ---------------------------------------------------------------------------------------
// Serial-number files

class SerialNumberTest : public SimRootTest {};

TEST_F(SerialNumberTest, MissingFileGivesTheDefaultEverywhere) {
    remove("/korvane/dev/sn");
    write("/korvane/dev/sn_all", "SNCH1-1C0-000M10000-0002\n");
    device_config_readSN();
    EXPECT_STREQ(device_config_getSN(), "000-000000000-0000");
    EXPECT_STREQ(device_config_getSubSN("SNCH1"), "000-000000000-0000");  // not read either
}

TEST_F(SerialNumberTest, FirstLineOnlyAtMost32CharactersUpperCased) {
    useSerial("1c0-000b10000-0001\nsecond line");
    EXPECT_STREQ(device_config_getSN(), "1C0-000B10000-0001");
    useSerial(std::string(40, 'x'));
    EXPECT_EQ(std::string(device_config_getSN()), std::string(32, 'X'));
}

// The simulated hardware reads the number by the firmware's own rules (the line that keeps the
// reference board's code at position 7 included).
TEST_F(SerialNumberTest, SimulatedHardwareReadsItAsTheFirmwareDoes) {
    for (const char *sn :
         {"1C0-0B0B10000-0001", "340-000310000-0001", "1E0-033J40300-0003", "1C0-0B0B20000-0005"}) {
        SCOPED_TRACE(sn);
        useSerial(sn);
        SimLayout lay = simhw_readLayout();
        EXPECT_EQ(lay.channels, device_config_getSourcesCount());
        EXPECT_EQ(lay.uln, device_config_uses_ORBXXXG_REF_ULN() == 1);
        EXPECT_EQ(lay.sspe[0] != 0, device_config_usesORBX_Sspe(0) == 1);
    }
}

TEST_F(SerialNumberTest, ChannelLinesOfSnAll) {
    useSerial("1C0-000Z20000-0001",
              "1C0-000Z20000-0001\nSNCH0-1C0-000B10000-0010\nSNCH7-1c0-000m10000-0017\n"
              "SNCH8-1C0-000M10000-0018\nSNCHX-bad\nnoise\n" +
                  std::string(60, 'y') + "\nSNCH1-1C0-000A10000-0011\n");
    EXPECT_STREQ(device_config_getSubSN("SNCH0"), "1C0-000B10000-0010");
    EXPECT_STREQ(device_config_getSubSN("SNCH7"), "1C0-000M10000-0017");
    EXPECT_STREQ(device_config_getSubSN("SNCH1"), "1C0-000A10000-0011");
    EXPECT_STREQ(device_config_getSubSN("SNCH2"), "000-000000000-0000");
    for (const char *other : {"SNCH8", "", "SNCH1-", "snch1", "SN"})
        EXPECT_STREQ(device_config_getSubSN(other), "1C0-000Z20000-0001") << other;
    EXPECT_STREQ(device_config_getSubSN(nullptr), "1C0-000Z20000-0001");
}

TEST_F(SerialNumberTest, FallbackModeShowsRECO) {
    fallbackEnabled = 1;
    useSerial("1C0-000B10000-0888");
    EXPECT_STREQ(device_config_getSN(), "1C0-000B10000-RECO");
    EXPECT_EQ(device_config_usesORBX_limitedVCO(), 0);  // "RECO" reads as 0
}

TEST_F(SerialNumberTest, SetWritesBothFilesWhenOldMatches) {
    useSerial("1C0-000B10000-0001");
    int changed = 0;
    EXPECT_EQ(device_config_setSN("1C0-000B10000-0002", "1C0-000B40000-0009", &changed),
              KR_E_UNDEFINED_HEADER);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(read("/korvane/dev/sn"), "1C0-000B10000-0001");

    EXPECT_EQ(device_config_setSN("1C0-000B10000-0001", "1C0-000B40000-0009", &changed), 0);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(read("/korvane/dev/sn"), "1C0-000B40000-0009");  // no line feed
    EXPECT_EQ(device_config_getSourcesCount(), 4);

    EXPECT_EQ(device_config_setSN("1C0-000B40000-0009", "SNCH3-1C0-000M10000-0033", nullptr), 0);
    EXPECT_STREQ(device_config_getSubSN("SNCH3"), "1C0-000M10000-0033");
    std::string all = read("/korvane/dev/sn_all");
    EXPECT_EQ(all.substr(0, all.find("SNCH3")),
              "1C0-000B40000-0009\nSNCH0-000-000000000-0000\nSNCH1-000-000000000-0000\n"
              "SNCH2-000-000000000-0000\n");
    EXPECT_NE(all.find("SNCH3-1C0-000M10000-0033\nSNCH4-"), std::string::npos);
    EXPECT_TRUE(all.ends_with("SNCH7-000-000000000-0000\n"));
    EXPECT_NE(actions().find("write_kr"), std::string::npos);
    EXPECT_NE(actions().find("protect_kr"), std::string::npos);
}

TEST_F(SerialNumberTest, FallbackModeNeverStoresRECO) {
    useSerial("1C0-000B10000-0042");
    fallbackEnabled = 1;
    device_config_readSN();
    EXPECT_EQ(device_config_setSN("1C0-000B10000-RECO", "SNCH1-1C0-000M10000-0002", nullptr), 0);
    EXPECT_EQ(read("/korvane/dev/sn"), "1C0-000B10000-0042");
    EXPECT_EQ(read("/korvane/dev/sn_all").substr(0, 19), "1C0-000B10000-0042\n");
    EXPECT_EQ(device_config_setSN("1C0-000B10000-RECO", "1C0-000B20000-0043", nullptr), 0);
    EXPECT_EQ(read("/korvane/dev/sn"), "1C0-000B20000-0043");
    EXPECT_STREQ(device_config_getSN(), "1C0-000B20000-RECO");
}

TEST_F(SerialNumberTest, WriteFailureIsReported) {
    useSerial("1C0-000B10000-0001");
    ASSERT_EQ(system(("chmod 555 '" + path("/korvane/dev") + "'").c_str()), 0);
    ASSERT_EQ(system(("chmod 444 '" + path("/korvane/dev/sn") + "'").c_str()), 0);
    bool rootIgnoresModes = access(path("/korvane/dev/sn").c_str(), W_OK) == 0;
    if (!rootIgnoresModes) {
        EXPECT_EQ(device_config_setSN("1C0-000B10000-0001", "1C0-000B20000-0001", nullptr),
                  KR_E_UNDEFINED_HEADER);
    }
    ASSERT_EQ(system(("chmod 755 '" + path("/korvane/dev") + "'").c_str()), 0);
    // A directory in place of the file fails for every user.
    remove("/korvane/dev/sn");
    ASSERT_EQ(system(("mkdir '" + path("/korvane/dev/sn") + "'").c_str()), 0);
    EXPECT_EQ(device_config_writeSN(), -1);
}

// ---------------------------------------------------------------------------------------
// Identification, model-name extension, firmware version

class IdentificationTest : public SimRootTest {
  protected:
    std::string idn() {
        Device *device = Device_create();
        Device_init(device);
        char text[256];
        getIdentificationString(text, sizeof(text), device);
        return text;
    }
};

TEST_F(IdentificationTest, NoBracketsWithoutAnExtension) {
    useSerial("1C0-000B10000-0001");
    EXPECT_EQ(idn(), "Korvane AG,ORBX20G,1C0-000B10000-0001,0.4.204");
    ASSERT_EQ(device_config_setModelNameExt(""), 0);
    EXPECT_EQ(read("/korvane/cust/model_name_ext"), "[]");
    EXPECT_EQ(idn(), "Korvane AG,ORBX20G,1C0-000B10000-0001,0.4.204");
}

TEST_F(IdentificationTest, ExtensionIsStoredInBracketsAndShownAfterTheModel) {
    useSerial("1C0-000B10000-0001");
    ASSERT_EQ(device_config_setModelNameExt("LAB-7"), 0);
    EXPECT_EQ(read("/korvane/cust/model_name_ext"), "[LAB-7]");
    EXPECT_STREQ(device_config_getModelNameExt(), "LAB-7");
    EXPECT_STREQ(device_config_getModelNameExt_bracketed(), "[LAB-7]");
    EXPECT_EQ(idn(), "Korvane AG,ORBX20G[LAB-7],1C0-000B10000-0001,0.4.204");
    device_config_init();  // read back from the file
    EXPECT_STREQ(device_config_getModelNameExt_bracketed(), "[LAB-7]");
}

TEST_F(IdentificationTest, LongExtensionIsCutAndStillClosed) {
    ASSERT_EQ(device_config_setModelNameExt("0123456789abcdefgh"), 0);
    EXPECT_EQ(read("/korvane/cust/model_name_ext"), "[0123456789abcd");
    EXPECT_STREQ(device_config_getModelNameExt(), "0123456789abcd");
    EXPECT_STREQ(device_config_getModelNameExt_bracketed(), "[0123456789abcd]");
}

TEST_F(IdentificationTest, ExtensionFileLineFeedsAreDropped) {
    write("/korvane/cust/model_name_ext", "[X1]\n");
    device_config_init();
    EXPECT_STREQ(device_config_getModelNameExt_bracketed(), "[X1]");
}

TEST_F(IdentificationTest, FullLengthFileWrittenWithoutBracketsKeepsItsClosingBracket) {
    write("/korvane/cust/model_name_ext", "0123456789abcde");
    device_config_init();
    EXPECT_STREQ(device_config_getModelNameExt(), "0123456789abcde");
    EXPECT_STREQ(device_config_getModelNameExt_bracketed(), "[0123456789abcde]");
}

TEST_F(IdentificationTest, PendingFirmwareUpdateShowsVersion001) {
    EXPECT_STREQ(device_config_getFWVersion(), "0.4.204");
    write("/korvane/dev/fwupdate", "");
    device_config_init();
    EXPECT_STREQ(device_config_getFWVersion(), "0.0.1");
}

// ---------------------------------------------------------------------------------------
// GPIB address, boot delay, reset counter

class SettingsFileTest : public SimRootTest {};

TEST_F(SettingsFileTest, GpibAddressOnlyWithGpibFitted) {
    char address[16];
    useSerial("1C0-000B10000-0001");
    EXPECT_EQ(device_config_getGPIBaddr(address, sizeof(address)), KR_E_UNDEFINED_HEADER);
    EXPECT_EQ(device_config_setGPIBaddr("5"), KR_E_UNDEFINED_HEADER);

    useSerial("1C0-000B10010-0001");
    ASSERT_EQ(device_config_getGPIBaddr(address, sizeof(address)), 0);
    EXPECT_STREQ(address, "1");  // missing file
    write("/korvane/dev/gpib", "\n");
    ASSERT_EQ(device_config_getGPIBaddr(address, sizeof(address)), 0);
    EXPECT_STREQ(address, "1");  // empty file
    EXPECT_EQ(device_config_setGPIBaddr("17"), 0);
    EXPECT_EQ(read("/korvane/dev/gpib"), "17\n");
    ASSERT_EQ(device_config_getGPIBaddr(address, sizeof(address)), 0);
    EXPECT_STREQ(address, "17");
}

TEST_F(SettingsFileTest, GpibAddressTextNeverReachesTheShell) {
    useSerial("1C0-000B10010-0001");
    for (const char *bad : {"", "1'; touch pwned; echo '", "$(touch pwned)", "5 6", "-1", "1234"})
        EXPECT_EQ(device_config_setGPIBaddr(bad), KR_E_ILLEGAL_PARAMETER_VALUE) << bad;
    EXPECT_FALSE(exists("/korvane/dev/gpib"));
    EXPECT_EQ(system(("test ! -e '" + root + "/pwned' && test ! -e pwned").c_str()), 0);
}

struct BootDelayRow {
    const char *file;  // nullptr: missing
    double seconds;
};

class BootDelayTest : public SimRootTest, public ::testing::WithParamInterface<BootDelayRow> {};

TEST_P(BootDelayTest, LoadsWithinZeroToSixty) {
    if (GetParam().file) write("/korvane/dev/bootdelay", GetParam().file);
    double seconds = -5;
    EXPECT_EQ(device_config_loadBootDelay(&seconds), 0);
    EXPECT_DOUBLE_EQ(seconds, GetParam().seconds);
}

INSTANTIATE_TEST_SUITE_P(Table, BootDelayTest,
                         ::testing::Values(BootDelayRow{nullptr, 0}, BootDelayRow{"12.5", 12.5},
                                           BootDelayRow{"60", 60}, BootDelayRow{"75", 0},
                                           BootDelayRow{"-1", 0}, BootDelayRow{"nan", 0},
                                           BootDelayRow{"abc", 0}, BootDelayRow{"3\n", 3}),
                         [](const ::testing::TestParamInfo<BootDelayRow> &info) {
                             return info.param.file ? paramName(info.param.file) : "Missing";
                         });

TEST_F(SettingsFileTest, BootDelayIsStoredWithSixDecimals) {
    EXPECT_EQ(device_config_storeBootDelay(12.5), 0);
    EXPECT_EQ(read("/korvane/dev/bootdelay"), "12.500000");
    EXPECT_EQ(device_config_storeBootDelay(61), 0);
    EXPECT_EQ(read("/korvane/dev/bootdelay"), "0.000000");
}

TEST_F(SettingsFileTest, ResetCounterIsFourLittleEndianBytes) {
    remove("/korvane/dev/resetCounter");
    EXPECT_EQ(device_config_loadResetCounter(), 0);
    EXPECT_EQ(device_config_initResetCounter(), 0);
    EXPECT_EQ(read("/korvane/dev/resetCounter"), std::string(4, '\0'));
    write("/korvane/dev/resetCounter", std::string("\xff\x00\x00\x00", 4));
    EXPECT_EQ(device_config_incrementResetCounter(), 0);
    EXPECT_EQ(read("/korvane/dev/resetCounter"), std::string("\x00\x01\x00\x00", 4));
    EXPECT_EQ(device_config_loadResetCounter(), 256);
}

// ---------------------------------------------------------------------------------------
// Constant files and trims

class ConstantFileTest : public SimRootTest {};

TEST_F(ConstantFileTest, BinaryNeedsExactlyTheSize) {
    uint32_t value = 0x01020304;
    EXPECT_EQ(device_config_storeBinary("/korvane/dev/x", &value, 4), 0);
    EXPECT_EQ(read("/korvane/dev/x"), std::string("\x04\x03\x02\x01", 4));
    uint64_t big = 0;
    EXPECT_EQ(device_config_loadBinary("/korvane/dev/x", &big, 8), KR_E_EXECUTION_ERROR);
    EXPECT_EQ(device_config_loadBinary("/korvane/dev/missing", &value, 4), KR_E_EXECUTION_ERROR);
    EXPECT_EQ(device_config_storeBinary("/korvane/nodir/x", &value, 4), KR_E_EXECUTION_ERROR);
}

TEST_F(ConstantFileTest, StringIsTerminatedAfterWhatWasRead) {
    char text[8];
    memset(text, 'Z', sizeof(text));
    write("/korvane/dev/s", "abc");
    EXPECT_EQ(device_config_loadString("/korvane/dev/s", text, sizeof(text)), 0);
    EXPECT_STREQ(text, "abc");
    write("/korvane/dev/s", "0123456789");
    EXPECT_EQ(device_config_loadString("/korvane/dev/s", text, sizeof(text)), 0);
    EXPECT_STREQ(text, "0123456");
    EXPECT_EQ(device_config_loadString("/korvane/dev/none", text, sizeof(text)),
              KR_E_EXECUTION_ERROR);
}

struct TrimRow {
    int (*store)(const void *, int);
    int (*load)(void *, int);
    int channel;
    const char *file;
    size_t bytes;
};

class TrimTest : public SimRootTest, public ::testing::WithParamInterface<TrimRow> {};

TEST_P(TrimTest, StoredUnderItsChannelName) {
    const TrimRow &row = GetParam();
    const unsigned char value[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_EQ(row.store(value, row.channel), 0);
    EXPECT_EQ(read(row.file), std::string(reinterpret_cast<const char *>(value), row.bytes));
    unsigned char back[8] = {};
    EXPECT_EQ(row.load(back, row.channel), 0);
    EXPECT_EQ(memcmp(back, value, row.bytes), 0);
    EXPECT_EQ(row.store(value, 8), KR_E_EXECUTION_ERROR);
    EXPECT_EQ(row.load(back, -1), KR_E_EXECUTION_ERROR);
}

INSTANTIATE_TEST_SUITE_P(
    Table, TrimTest,
    ::testing::Values(TrimRow{device_config_storePhsDelay, device_config_loadPhsDelay, 0,
                              "/korvane/dev/phsdelay0", 4},
                      TrimRow{device_config_storeAcExtFmOffset, device_config_loadAcExtFmOffset, 3,
                              "/korvane/dev/ac_ext_fm_offset3", 4},
                      TrimRow{device_config_storeFmInOffs, device_config_loadFmInOffs, 7,
                              "/korvane/dev/fminoffs7", 4},
                      TrimRow{device_config_storeRfVcoTuneLimit, device_config_loadRfVcoTuneLimit,
                              1, "/korvane/dev/rfvcotunelimit1", 8},
                      TrimRow{device_config_storeDdsClockPhase, device_config_loadDdsClockPhase, 0,
                              "/korvane/dev/ddsclockphase", 4},
                      TrimRow{device_config_storeDdsClockPhase, device_config_loadDdsClockPhase, 2,
                              "/korvane/dev/ddsclockphase2", 4},
                      TrimRow{device_config_storeVcoTuning, device_config_loadVcoTuning, 0,
                              "/korvane/dev/vcotuning", 4}),
    [](const ::testing::TestParamInfo<TrimRow> &info) {
        const std::string_view file = info.param.file;
        return paramName(file.substr(file.rfind('/') + 1));
    });

TEST_F(ConstantFileTest, ShortTrimFileFails) {
    write("/korvane/dev/rfvcotunelimit0", "1234");
    unsigned char value[8];
    EXPECT_EQ(device_config_loadRfVcoTuneLimit(value, 0), KR_E_EXECUTION_ERROR);
}

TEST_F(ConstantFileTest, VcoSensitivityIsText) {
    EXPECT_EQ(device_config_storeVcoSensA(12.25), 0);
    EXPECT_EQ(read("/korvane/dev/vcosensa"), "12.250000\n");
    double value = 0;
    EXPECT_EQ(device_config_loadVcoSensA(&value), 0);
    EXPECT_DOUBLE_EQ(value, 12.25);
    EXPECT_EQ(device_config_loadVcoSensB(&value), KR_E_EXECUTION_ERROR);
    write("/korvane/dev/vcosensb", "garbage");
    EXPECT_EQ(device_config_loadVcoSensB(&value), KR_E_EXECUTION_ERROR);
}

}  // namespace
