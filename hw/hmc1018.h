// HMC1018 digital step attenuator (see step_attenuator.h). Main loop.
#pragma once

#include "hw/step_attenuator.h"

typedef StepAttenuator HMC1018;

int HMC1018_init(HMC1018 *att, uint32_t slave);
int HMC1018_set(HMC1018 *att, KrPow attenuation);
const KrPow *HMC1018_get(const HMC1018 *att);
const KrPow *HMC1018_getMaximum(const HMC1018 *att);
int HMC1018_increase(HMC1018 *att);
int HMC1018_decrease(HMC1018 *att);
