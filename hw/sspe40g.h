// SSPE40G step attenuator module: path and two 6-bit stages in a shift register, standalone
// or as a range of bits in a board's register (daisy chain). Main loop.
#pragma once

#include "hw/sspe_types.h"

typedef SspeModule SSPE40G;

int SSPE40G_init_standalone(SSPE40G *module, uint32_t word);
int SSPE40G_init_daisyChain(SSPE40G *module, SRI *shiftRegister, uint32_t baseBit);
// Preset into the register image, then apply it and issue the device I/O update.
int SSPE40G_setAttenuation(SSPE40G *module, KrPow attenuation);
int SSPE40G_presetAttenuation(SSPE40G *module, KrPow attenuation);
const KrPow *SSPE40G_getAttenuation(const SSPE40G *module);
const KrPow *SSPE40G_getMinimumAttenuation(const SSPE40G *module);
const KrPow *SSPE40G_getMaximumAttenuation(const SSPE40G *module);
// Stage codes count half-dB steps.
int SSPE40G_presetAtt1(SSPE40G *module, uint32_t code);
int SSPE40G_presetAtt2(SSPE40G *module, uint32_t code);
