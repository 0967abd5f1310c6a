// ADRF57X1 digital step attenuator (see step_attenuator.h). Main loop.
#pragma once

#include "hw/step_attenuator.h"

typedef StepAttenuator ADRF57X1;

int ADRF57X1_init(ADRF57X1 *att, uint32_t slave);
int ADRF57X1_set(ADRF57X1 *att, KrPow attenuation);
const KrPow *ADRF57X1_get(const ADRF57X1 *att);
const KrPow *ADRF57X1_getMaximum(const ADRF57X1 *att);
int ADRF57X1_increase(ADRF57X1 *att);
int ADRF57X1_decrease(ADRF57X1 *att);
