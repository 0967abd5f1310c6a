// Step attenuator modules: dispatch on the type.
#include "hw/sspe.h"

#include "scpi/scpi_errorcodes.h"

namespace {

struct Ops {
    int (*set)(SspeModule *, KrPow);
    int (*preset)(SspeModule *, KrPow);
};

const Ops ops[3] = {{SSPE12G_setAttenuation, SSPE12G_presetAttenuation},
                    {SSPE20G_setAttenuation, SSPE20G_presetAttenuation},
                    {SSPE40G_setAttenuation, SSPE40G_presetAttenuation}};

const Ops *opsOf(const SSPE *record) {
    return record && record->type < 3 ? &ops[record->type] : nullptr;
}

const KrPow *zero() {
    globalKrPow = 0.0f;
    return &globalKrPow;
}

}  // namespace

int SSPE_init_standalone_SSPE12G(SSPE *record, uint32_t word) {
    if (!record) return KR_E_HARDWARE_MISSING;
    record->type = SSPE_TYPE_12G;
    return SSPE12G_init_standalone(&record->module, word);
}

int SSPE_init_standalone_SSPE20G(SSPE *record, uint32_t word) {
    if (!record) return KR_E_HARDWARE_MISSING;
    record->type = SSPE_TYPE_20G;
    return SSPE20G_init_standalone(&record->module, word);
}

int SSPE_init_standalone_SSPE40G(SSPE *record, uint32_t word) {
    if (!record) return KR_E_HARDWARE_MISSING;
    record->type = SSPE_TYPE_40G;
    return SSPE40G_init_standalone(&record->module, word);
}

int SSPE_init_daisyChain_SSPE12G(SSPE *record, SRI *shiftRegister, uint32_t baseBit) {
    if (!record) return KR_E_HARDWARE_MISSING;
    record->type = SSPE_TYPE_12G;
    return SSPE12G_init_daisyChain(&record->module, shiftRegister, baseBit);
}

int SSPE_init_daisyChain_SSPE20G(SSPE *record, SRI *shiftRegister, uint32_t baseBit) {
    if (!record) return KR_E_HARDWARE_MISSING;
    record->type = SSPE_TYPE_20G;
    return SSPE20G_init_daisyChain(&record->module, shiftRegister, baseBit);
}

int SSPE_init_daisyChain_SSPE40G(SSPE *record, SRI *shiftRegister, uint32_t baseBit) {
    if (!record) return KR_E_HARDWARE_MISSING;
    record->type = SSPE_TYPE_40G;
    return SSPE40G_init_daisyChain(&record->module, shiftRegister, baseBit);
}

int SSPE_setAttenuation(SSPE *record, KrPow attenuation) {
    const Ops *o = opsOf(record);
    return o ? o->set(&record->module, attenuation) : KR_E_HARDWARE_MISSING;
}

int SSPE_presetAttenuation(SSPE *record, KrPow attenuation) {
    const Ops *o = opsOf(record);
    return o ? o->preset(&record->module, attenuation) : KR_E_HARDWARE_MISSING;
}

const KrPow *SSPE_getAttenuation(const SSPE *record) {
    return opsOf(record) ? &record->module.attenuation : zero();
}

const KrPow *SSPE_getMinimumAttenuation(const SSPE *record) {
    return sspe_minimum(opsOf(record) ? &record->module : nullptr);
}

const KrPow *SSPE_getMaximumAttenuation(const SSPE *record) {
    return sspe_maximum(opsOf(record) ? &record->module : nullptr);
}
