// SSPE20G step attenuator module: path and two 6-bit stages in a shift register, standalone
// or as a range of bits in a board's register (daisy chain). Main loop.
#pragma once

#include "hw/sspe_types.h"

typedef SspeModule SSPE20G;

int SSPE20G_init_standalone(SSPE20G *module, uint32_t word);
int SSPE20G_init_daisyChain(SSPE20G *module, SRI *shiftRegister, uint32_t baseBit);
// Preset into the register image, then apply it and issue the device I/O update.
int SSPE20G_setAttenuation(SSPE20G *module, KrPow attenuation);
int SSPE20G_presetAttenuation(SSPE20G *module, KrPow attenuation);
const KrPow *SSPE20G_getAttenuation(const SSPE20G *module);
const KrPow *SSPE20G_getMinimumAttenuation(const SSPE20G *module);
const KrPow *SSPE20G_getMaximumAttenuation(const SSPE20G *module);
// Stage codes count half-dB steps.
int SSPE20G_presetAtt1(SSPE20G *module, uint32_t code);
int SSPE20G_presetAtt2(SSPE20G *module, uint32_t code);

// Stage codes of SSPE20G by half-dB steps n = 0 .. 126: {stage 1, stage 2}.
constexpr int PELUT_ROWS = 127;
extern const uint8_t (&PELUT)[PELUT_ROWS][2];
