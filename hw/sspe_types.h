// Record of a step attenuator module of any of the three types: the shift register its
// bits live in (its own one when standalone), the position of its path bit and the last
// preset attenuation.
#pragma once

#include <cstdint>

#include "device/krquantity.h"
#include "hw/sri.h"

struct SspeModule {
    SRI *shiftRegister;
    SRI own;           // standalone: the module's own two-byte register
    uint32_t baseBit;  // path bit; the stage bits follow it
    KrPow attenuation;
};

constexpr float SSPE_MINIMUM_DB = 0.0f;
constexpr float SSPE_MAXIMUM_DB = 63.0f;
constexpr int SSPE_STAGE_CODE_MAX = 63;

// Half-dB steps of an attenuation: round(2 A), halves away from zero, kept within the
// stage codes' reach (0 to 126).
int sspe_halfDbSteps(KrPow attenuation);

// The parts all three module types share.
int sspe_initStandalone(SspeModule *module, uint32_t word, uint8_t byte0, uint8_t byte1);
int sspe_initDaisyChain(SspeModule *module, SRI *shiftRegister, uint32_t baseBit);
// Applies the module's register image and issues the device I/O update.
int sspe_apply(SspeModule *module);
// Presets one stage: bit base + offset(i) carries weight 2^i; inverted stages clear the bit
// of a weight that is in the code. Weights below firstWeight are not wired.
int sspe_presetStage(SspeModule *module, uint32_t code, const int *offsets, int firstWeight,
                     bool inverted);
const KrPow *sspe_minimum(const SspeModule *module);
const KrPow *sspe_maximum(const SspeModule *module);
