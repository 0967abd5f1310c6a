// HMC424 digital step attenuator (see step_attenuator.h). Main loop.
#pragma once

#include "hw/step_attenuator.h"

typedef StepAttenuator HMC424;

int HMC424_init(HMC424 *att, uint32_t slave);
int HMC424_set(HMC424 *att, KrPow attenuation);
const KrPow *HMC424_get(const HMC424 *att);
const KrPow *HMC424_getMaximum(const HMC424 *att);
int HMC424_increase(HMC424 *att);
int HMC424_decrease(HMC424 *att);
// Preset form: the attenuator's six control bits live in a board's register image.
void HMC424_initPreset(HMC424 *att, SRI *image, int baseBit);
int HMC424_preset(HMC424 *att, KrPow attenuation);
