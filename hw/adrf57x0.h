// ADRF57X0 digital step attenuator (see step_attenuator.h). Main loop.
#pragma once

#include "hw/step_attenuator.h"

typedef StepAttenuator ADRF57X0;

int ADRF57X0_init(ADRF57X0 *att, uint32_t slave);
int ADRF57X0_set(ADRF57X0 *att, KrPow attenuation);
const KrPow *ADRF57X0_get(const ADRF57X0 *att);
const KrPow *ADRF57X0_getMaximum(const ADRF57X0 *att);
int ADRF57X0_increase(ADRF57X0 *att);
int ADRF57X0_decrease(ADRF57X0 *att);
