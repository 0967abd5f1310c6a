// Step attenuator module of any type: dispatches on the type stored at initialisation. A
// missing record gives -241 and queries answer 0 dB. Main loop.
#pragma once

#include "hw/sspe12g.h"
#include "hw/sspe20g.h"
#include "hw/sspe40g.h"

constexpr uint32_t SSPE_TYPE_12G = 0;
constexpr uint32_t SSPE_TYPE_20G = 1;
constexpr uint32_t SSPE_TYPE_40G = 2;

struct SSPE {
    uint32_t type;
    SspeModule module;
};

int SSPE_init_standalone_SSPE12G(SSPE *record, uint32_t word);
int SSPE_init_standalone_SSPE20G(SSPE *record, uint32_t word);
int SSPE_init_standalone_SSPE40G(SSPE *record, uint32_t word);
int SSPE_init_daisyChain_SSPE12G(SSPE *record, SRI *shiftRegister, uint32_t baseBit);
int SSPE_init_daisyChain_SSPE20G(SSPE *record, SRI *shiftRegister, uint32_t baseBit);
int SSPE_init_daisyChain_SSPE40G(SSPE *record, SRI *shiftRegister, uint32_t baseBit);
int SSPE_setAttenuation(SSPE *record, KrPow attenuation);
int SSPE_presetAttenuation(SSPE *record, KrPow attenuation);
const KrPow *SSPE_getAttenuation(const SSPE *record);
const KrPow *SSPE_getMinimumAttenuation(const SSPE *record);
const KrPow *SSPE_getMaximumAttenuation(const SSPE *record);
