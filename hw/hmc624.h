// HMC624 digital step attenuator (see step_attenuator.h). Main loop.
#pragma once

#include "hw/step_attenuator.h"

typedef StepAttenuator HMC624;

int HMC624_init(HMC624 *att, uint32_t slave);
int HMC624_set(HMC624 *att, KrPow attenuation);
const KrPow *HMC624_get(const HMC624 *att);
const KrPow *HMC624_getMaximum(const HMC624 *att);
int HMC624_increase(HMC624 *att);
int HMC624_decrease(HMC624 *att);
// Boards whose latch enable is wired inverted.
int HMC624_init_invertedLatchEnable(HMC624 *att, uint32_t slave);
