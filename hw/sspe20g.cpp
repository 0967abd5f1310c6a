// SSPE20G: no path switch; stage codes from the PELUT table; stages inverted, stage 1
// without its weight-1 bit, stage 2 without weights 1 and 2.
#include "hw/sspe20g.h"

#include "core/printd.h"

namespace {

const int stage1[6] = {1, 2, 3, 4, 5, 6};     // weight 2 at base + 2
const int stage2[6] = {7, 8, 9, 10, 11, 12};  // weight 4 at base + 9

constexpr uint8_t limit(int v) {
    return (uint8_t)(v < 0 ? 0 : v > SSPE_STAGE_CODE_MAX ? SSPE_STAGE_CODE_MAX : v);
}

// Row n = 16 m + r is (8 m + a, 8 m + b) with (a, b) by r; two rows differ from the rule.
struct PelutTable {
    uint8_t rows[PELUT_ROWS][2];
    constexpr PelutTable() : rows() {
        constexpr int a[16] = {0, 3, 3, 3, 4, 7, 7, 7, 8, 3, 3, 4, 4, 7, 7, 8};
        constexpr int b[16] = {0, -1, -1, 0, 0, -1, -1, 0, 0, 7, 7, 7, 8, 7, 7, 7};
        for (int n = 0; n < PELUT_ROWS; n++) {
            int m = n / 16, r = n % 16;
            rows[n][0] = limit(8 * m + a[r]);
            rows[n][1] = limit(8 * m + b[r]);
        }
        rows[1][0] = 0;
        rows[1][1] = 0;
        rows[5][0] = 4;
        rows[5][1] = 0;
    }
};

constexpr PelutTable table;

}  // namespace

const uint8_t (&PELUT)[PELUT_ROWS][2] = table.rows;

int SSPE20G_init_standalone(SSPE20G *module, uint32_t word) {
    printd("SSPE20G_init_standalone()\n");
    int r = sspe_initStandalone(module, word, 0x00, 0x00);
    int s = SSPE20G_setAttenuation(module, 0);
    return r ? r : s;
}

int SSPE20G_init_daisyChain(SSPE20G *module, SRI *shiftRegister, uint32_t baseBit) {
    printd("SSPE20G_init_daisyChain()\n");
    return sspe_initDaisyChain(module, shiftRegister, baseBit);
}

int SSPE20G_presetAtt1(SSPE20G *module, uint32_t code) {
    printd("SSPE20G_presetAtt1(): %d\n", (int)code);
    return sspe_presetStage(module, code, stage1, 1, true);
}

int SSPE20G_presetAtt2(SSPE20G *module, uint32_t code) {
    printd("SSPE20G_presetAtt2(): %d\n", (int)code);
    return sspe_presetStage(module, code, stage2, 2, true);
}

int SSPE20G_presetAttenuation(SSPE20G *module, KrPow attenuation) {
    printd("SSPE20G_presetAttenuation(): %f\n", attenuation);
    int n = sspe_halfDbSteps(attenuation);
    int att1 = PELUT[n][0], att2 = PELUT[n][1];
    module->attenuation = (KrPow)((att1 + att2) / 2.0);
    printd("SSPE20G att1(): %i    att2(): %i\n", att1, att2);
    int r = SSPE20G_presetAtt1(module, (uint32_t)att1);
    return r ? r : SSPE20G_presetAtt2(module, (uint32_t)att2);
}

int SSPE20G_setAttenuation(SSPE20G *module, KrPow attenuation) {
    printd("SSPE20G_setAttenuation(): %f\n", attenuation);
    int r = SSPE20G_presetAttenuation(module, attenuation);
    return r ? r : sspe_apply(module);
}

const KrPow *SSPE20G_getAttenuation(const SSPE20G *module) {
    return &module->attenuation;
}

const KrPow *SSPE20G_getMinimumAttenuation(const SSPE20G *module) {
    return sspe_minimum(module);
}

const KrPow *SSPE20G_getMaximumAttenuation(const SSPE20G *module) {
    return sspe_maximum(module);
}
