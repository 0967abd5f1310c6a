// Helpers shared by the step attenuator modules.
#include "hw/sspe_types.h"

#include <cmath>

int sspe_halfDbSteps(KrPow attenuation) {
    double n = std::round(2.0 * attenuation);  // halves away from zero
    // Beyond the limits there is no stage setting; clamp rather than index past the table.
    if (!(n > 0)) return 0;
    return n > 2 * SSPE_MAXIMUM_DB ? (int)(2 * SSPE_MAXIMUM_DB) : (int)n;
}

#include <cstring>

#include "device/device.h"
#include "scpi/scpi_errorcodes.h"

int sspe_initStandalone(SspeModule *module, uint32_t word, uint8_t byte0, uint8_t byte1) {
    memset(module, 0, sizeof(*module));
    const uint8_t initial[2] = {byte0, byte1};
    module->shiftRegister = &module->own;
    module->baseBit = 0;
    return SRI_init(&module->own, word, initial, 2);
}

int sspe_initDaisyChain(SspeModule *module, SRI *shiftRegister, uint32_t baseBit) {
    memset(module, 0, sizeof(*module));
    module->shiftRegister = shiftRegister;
    module->baseBit = baseBit;
    return shiftRegister ? 0 : KR_E_HARDWARE_MISSING;
}

int sspe_apply(SspeModule *module) {
    int r = SRI_applyPreset(module->shiftRegister);
    int u = Device_ioupdate();
    return r ? r : u;
}

int sspe_presetStage(SspeModule *module, uint32_t code, const int *offsets, int firstWeight,
                     bool inverted) {
    if (code > (uint32_t)SSPE_STAGE_CODE_MAX) code = SSPE_STAGE_CODE_MAX;
    for (int i = firstWeight; i < 6; i++) {
        bool in = (code >> i) & 1;
        int r = SRI_presetBitValue(module->shiftRegister, (int)module->baseBit + offsets[i],
                                   inverted ? !in : in);
        if (r) return r;
    }
    return 0;
}

const KrPow *sspe_minimum(const SspeModule *module) {
    globalKrPow = module ? SSPE_MINIMUM_DB : 0.0f;
    return &globalKrPow;
}

const KrPow *sspe_maximum(const SspeModule *module) {
    globalKrPow = module ? SSPE_MAXIMUM_DB : 0.0f;
    return &globalKrPow;
}
