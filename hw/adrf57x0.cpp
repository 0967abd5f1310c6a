// ADRF57X0 digital step attenuator.
#include "hw/adrf57x0.h"

#include "hw/krspi.h"

int ADRF57X0_init(ADRF57X0 *att, uint32_t slave) {
    return stepAttenuator_init(att, &STEP_ATT_ADRF57X0, slave, KRSPI_OPT_NONE);
}

int ADRF57X0_set(ADRF57X0 *att, KrPow attenuation) {
    return stepAttenuator_set(att, attenuation);
}

const KrPow *ADRF57X0_get(const ADRF57X0 *att) {
    return stepAttenuator_get(att);
}

const KrPow *ADRF57X0_getMaximum(const ADRF57X0 *att) {
    return stepAttenuator_getMaximum(att);
}

int ADRF57X0_increase(ADRF57X0 *att) {
    return stepAttenuator_increase(att);
}

int ADRF57X0_decrease(ADRF57X0 *att) {
    return stepAttenuator_decrease(att);
}
