// SSPE40G: path bit set = through; stages inverted, weight 1 nearest the path bit.
#include "hw/sspe40g.h"

#include <cmath>

#include "core/printd.h"

namespace {

const int stage1[6] = {1, 2, 3, 4, 5, 6};
const int stage2[6] = {7, 8, 9, 10, 11, 12};

}  // namespace

int SSPE40G_init_standalone(SSPE40G *module, uint32_t word) {
    printd("SSPE40G_init_standalone()\n");
    int r = sspe_initStandalone(module, word, 0xFF, 0xF8);
    int s = SSPE40G_setAttenuation(module, 0);
    return r ? r : s;
}

int SSPE40G_init_daisyChain(SSPE40G *module, SRI *shiftRegister, uint32_t baseBit) {
    printd("SSPE40G_init_daisyChain()\n");
    return sspe_initDaisyChain(module, shiftRegister, baseBit);
}

int SSPE40G_presetAtt1(SSPE40G *module, uint32_t code) {
    printd("SSPE40G_presetAtt1(): %d\n", (int)code);
    return sspe_presetStage(module, code, stage1, 0, true);
}

int SSPE40G_presetAtt2(SSPE40G *module, uint32_t code) {
    printd("SSPE40G_presetAtt2(): %d\n", (int)code);
    return sspe_presetStage(module, code, stage2, 0, true);
}

int SSPE40G_presetAttenuation(SSPE40G *module, KrPow attenuation) {
    printd("SSPE40G_presetAttenuation(): %f\n", attenuation);
    int base = (int)module->baseBit;
    if (!(attenuation > 0)) {
        printd("SSPE40G_presetAttenuation(): through path\n");
        int r = SRI_presetSetBit(module->shiftRegister, base);
        r = r ? r : SSPE40G_presetAtt1(module, 0);
        r = r ? r : SSPE40G_presetAtt2(module, 0);
        module->attenuation = 0;
        return r;
    }
    printd("SSPE40G_presetAttenuation(): attenuated path\n");
    double x = sspe_halfDbSteps(attenuation) / 2.0;
    int r = SRI_presetClearBit(module->shiftRegister, base);
    r = r ? r : SSPE40G_presetAtt1(module, (uint32_t)std::ceil(x));
    r = r ? r : SSPE40G_presetAtt2(module, (uint32_t)std::floor(x));
    module->attenuation = (KrPow)x;
    return r;
}

int SSPE40G_setAttenuation(SSPE40G *module, KrPow attenuation) {
    printd("SSPE40G_setAttenuation(): %f\n", attenuation);
    int r = SSPE40G_presetAttenuation(module, attenuation);
    return r ? r : sspe_apply(module);
}

const KrPow *SSPE40G_getAttenuation(const SSPE40G *module) {
    return &module->attenuation;
}

const KrPow *SSPE40G_getMinimumAttenuation(const SSPE40G *module) {
    return sspe_minimum(module);
}

const KrPow *SSPE40G_getMaximumAttenuation(const SSPE40G *module) {
    return sspe_maximum(module);
}
