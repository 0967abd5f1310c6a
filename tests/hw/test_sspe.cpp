// Step attenuator modules: stage codes and path per type, the PELUT table, the generic
// layer, and the simulated module decoding the bits the drivers shift out.
#include "hw/sspe.h"

#include <gtest/gtest.h>

#include "hw/board_slaves.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "hw/orbx20g_out_registers.h"
#include "hw_test_support.h"
#include "tests/support/param_name.h"

namespace {

const uint32_t sspeWord = krspi_makeWord(board_outSlave(0, BOARD_OUT_SSPE), 0, 3);

struct Row {
    const char *layout;  // the simulated module at the output
    uint32_t type;
    float requested;
    const char *path;
    uint32_t code1, code2;  // as the module's wired bits hold them
    float stored;
    float switched;  // what the wired stages attenuate
};

class SspeTest : public HwTest, public ::testing::WithParamInterface<Row> {};

TEST_P(SspeTest, AttenuationBecomesStageCodesTheModuleDecodes) {
    const Row &row = GetParam();
    hardware_sim_configure(1, false, row.layout);
    SSPE record;
    int r = row.type == SSPE_TYPE_40G   ? SSPE_init_standalone_SSPE40G(&record, sspeWord)
            : row.type == SSPE_TYPE_12G ? SSPE_init_standalone_SSPE12G(&record, sspeWord)
                                        : SSPE_init_standalone_SSPE20G(&record, sspeWord);
    ASSERT_EQ(r, 0);
    EXPECT_EQ(*SSPE_getAttenuation(&record), 0.0f);
    ASSERT_EQ(SSPE_setAttenuation(&record, row.requested), 0);
    EXPECT_FLOAT_EQ(*SSPE_getAttenuation(&record), row.stored);
    krgio_ioupdate();
    ASSERT_TRUE(hardware_sim_waitIdle());
    SimChannelState s = hardware_sim_channel(0);
    EXPECT_STREQ(s.sspePath, row.path);
    EXPECT_EQ(s.sspeCode1, row.code1);
    EXPECT_EQ(s.sspeCode2, row.code2);
    EXPECT_FLOAT_EQ((float)s.sspeDb, row.switched);
    expectNoViolations();
}

INSTANTIATE_TEST_SUITE_P(
    Modules, SspeTest,
    ::testing::Values(Row{"2", SSPE_TYPE_40G, 10.25f, "attenuated", 11, 10, 10.5f, 10.5f},
                      Row{"2", SSPE_TYPE_40G, 0.0f, "through", 0, 0, 0.0f, 0.0f},
                      Row{"2", SSPE_TYPE_40G, -3.0f, "through", 0, 0, 0.0f, 0.0f},
                      Row{"2", SSPE_TYPE_40G, 63.0f, "attenuated", 63, 63, 63.0f, 63.0f},
                      Row{"2", SSPE_TYPE_40G, 80.0f, "attenuated", 63, 63, 63.0f, 63.0f},
                      Row{"1", SSPE_TYPE_12G, 1.0f, "attenuated", 1, 1, 1.0f, 1.0f},
                      Row{"1", SSPE_TYPE_12G, 0.0f, "through", 0, 0, 0.0f, 0.0f},
                      Row{"1", SSPE_TYPE_12G, 0.74f, "attenuated", 1, 0, 0.5f, 0.5f},
                      // PELUT row 17 is (11, 7); the weights below 2 (stage 1) and 4
                      // (stage 2) are not wired on this module.
                      Row{"4", SSPE_TYPE_20G, 8.5f, "", 10, 4, 9.0f, 7.0f},
                      Row{"4", SSPE_TYPE_20G, 2.5f, "", 4, 0, 2.0f, 2.0f}),
    [](const ::testing::TestParamInfo<Row> &info) {
        return "Layout" + paramName(info.param.layout) + "_" +
               paramNumber(info.param.requested, 6) + "dB";
    });

// The SSPE20G stages have no weight-1 (stage 1) or weight-1-and-2 (stage 2) bits: the module
// shows the wired part of the PELUT codes.
TEST(Pelut, RowsFollowTheRuleAndItsTwoExceptions) {
    struct {
        int n, a1, a2;
    } rows[] = {{0, 0, 0}, {1, 0, 0},  {2, 3, 0},   {3, 3, 0},    {5, 4, 0},     {8, 8, 0},
                {9, 3, 7}, {16, 8, 8}, {17, 11, 7}, {31, 16, 15}, {120, 63, 56}, {126, 63, 63}};
    for (auto &r : rows) {
        EXPECT_EQ(PELUT[r.n][0], r.a1) << r.n;
        EXPECT_EQ(PELUT[r.n][1], r.a2) << r.n;
    }
}

TEST(SspeGeneric, MissingRecordGives241AndZeroDb) {
    EXPECT_EQ(SSPE_setAttenuation(nullptr, 3), -241);
    EXPECT_EQ(SSPE_presetAttenuation(nullptr, 3), -241);
    EXPECT_EQ(*SSPE_getAttenuation(nullptr), 0.0f);
    EXPECT_EQ(*SSPE_getMaximumAttenuation(nullptr), 0.0f);
    EXPECT_EQ(SSPE_init_standalone_SSPE40G(nullptr, 0), -241);
}

using SspeChainTest = HwTest;

TEST_F(SspeChainTest, DaisyChainedModuleLivesInTheBoardRegister) {
    hardware_sim_configure(1, false, "3");
    SRI board;
    uint8_t initial[ORBX20G_OUT_SRI_BYTES] = {};
    ASSERT_EQ(SRI_init(&board, krspi_makeWord(board_outSlave(0, BOARD_OUT_SRI), 0, 3), initial,
                       ORBX20G_OUT_SRI_BYTES),
              0);
    SSPE record;
    ASSERT_EQ(SSPE_init_daisyChain_SSPE40G(&record, &board, ORBX20G_OUT_BIT_SSPE), 0);
    EXPECT_EQ(*SSPE_getMaximumAttenuation(&record), 63.0f);
    ASSERT_EQ(SSPE_presetAttenuation(&record, 20.0f), 0);
    EXPECT_FALSE(SRI_getPresetBit(&board, ORBX20G_OUT_BIT_SSPE));  // attenuated path
    EXPECT_EQ(gio_record_count(), 1u);                             // preset sends nothing
    ASSERT_EQ(SSPE_setAttenuation(&record, 20.0f), 0);
    krgio_ioupdate();
    ASSERT_TRUE(hardware_sim_waitIdle());
    SimChannelState s = hardware_sim_channel(0);
    EXPECT_STREQ(s.sspeType, "SSPE40G");
    EXPECT_EQ(s.sspeCode1, 20u);
    EXPECT_EQ(s.sspeCode2, 20u);
    EXPECT_DOUBLE_EQ(s.sspeDb, 20.0);
    expectNoViolations();
}

}  // namespace
