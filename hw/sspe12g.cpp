// SSPE12G: path bit clear = through; stages direct, weight 1 farthest from the path bit.
#include "hw/sspe12g.h"

#include <cmath>

#include "core/printd.h"

namespace {

const int stage1[6] = {6, 5, 4, 3, 2, 1};
const int stage2[6] = {12, 11, 10, 9, 8, 7};

}  // namespace

int SSPE12G_init_standalone(SSPE12G *module, uint32_t word) {
    printd("SSPE12G_init_standalone()\n");
    int r = sspe_initStandalone(module, word, 0x00, 0x00);
    int s = SSPE12G_setAttenuation(module, 0);
    return r ? r : s;
}

int SSPE12G_init_daisyChain(SSPE12G *module, SRI *shiftRegister, uint32_t baseBit) {
    printd("SSPE12G_init_daisyChain()\n");
    return sspe_initDaisyChain(module, shiftRegister, baseBit);
}

int SSPE12G_presetAtt1(SSPE12G *module, uint32_t code) {
    printd("SSPE12G_presetAtt1(): %d\n", (int)code);
    return sspe_presetStage(module, code, stage1, 0, false);
}

int SSPE12G_presetAtt2(SSPE12G *module, uint32_t code) {
    printd("SSPE12G_presetAtt2(): %d\n", (int)code);
    return sspe_presetStage(module, code, stage2, 0, false);
}

int SSPE12G_presetAttenuation(SSPE12G *module, KrPow attenuation) {
    printd("SSPE12G_presetAttenuation(): %f\n", attenuation);
    int base = (int)module->baseBit;
    if (!(attenuation > 0)) {
        printd("SSPE12G_presetAttenuation(): through path\n");
        int r = SRI_presetClearBit(module->shiftRegister, base);
        r = r ? r : SSPE12G_presetAtt1(module, 0);
        r = r ? r : SSPE12G_presetAtt2(module, 0);
        module->attenuation = 0;
        return r;
    }
    printd("SSPE12G_presetAttenuation(): attenuated path\n");
    double x = sspe_halfDbSteps(attenuation) / 2.0;
    int r = SRI_presetSetBit(module->shiftRegister, base);
    r = r ? r : SSPE12G_presetAtt1(module, (uint32_t)std::ceil(x));
    r = r ? r : SSPE12G_presetAtt2(module, (uint32_t)std::floor(x));
    module->attenuation = (KrPow)x;
    return r;
}

int SSPE12G_setAttenuation(SSPE12G *module, KrPow attenuation) {
    printd("SSPE12G_setAttenuation(): %f\n", attenuation);
    int r = SSPE12G_presetAttenuation(module, attenuation);
    return r ? r : sspe_apply(module);
}

const KrPow *SSPE12G_getAttenuation(const SSPE12G *module) {
    return &module->attenuation;
}

const KrPow *SSPE12G_getMinimumAttenuation(const SSPE12G *module) {
    return sspe_minimum(module);
}

const KrPow *SSPE12G_getMaximumAttenuation(const SSPE12G *module) {
    return sspe_maximum(module);
}
