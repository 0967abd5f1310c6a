// SSPE12G step attenuator module: path and two 6-bit stages in a shift register, standalone
// or as a range of bits in a board's register (daisy chain). Main loop.
#pragma once

#include "hw/sspe_types.h"

typedef SspeModule SSPE12G;

int SSPE12G_init_standalone(SSPE12G *module, uint32_t word);
int SSPE12G_init_daisyChain(SSPE12G *module, SRI *shiftRegister, uint32_t baseBit);
// Preset into the register image, then apply it and issue the device I/O update.
int SSPE12G_setAttenuation(SSPE12G *module, KrPow attenuation);
int SSPE12G_presetAttenuation(SSPE12G *module, KrPow attenuation);
const KrPow *SSPE12G_getAttenuation(const SSPE12G *module);
const KrPow *SSPE12G_getMinimumAttenuation(const SSPE12G *module);
const KrPow *SSPE12G_getMaximumAttenuation(const SSPE12G *module);
// Stage codes count half-dB steps.
int SSPE12G_presetAtt1(SSPE12G *module, uint32_t code);
int SSPE12G_presetAtt2(SSPE12G *module, uint32_t code);
