// ADRF57X1 digital step attenuator.
#include "hw/adrf57x1.h"

#include "hw/krspi.h"

int ADRF57X1_init(ADRF57X1 *att, uint32_t slave) {
    return stepAttenuator_init(att, &STEP_ATT_ADRF57X1, slave, KRSPI_OPT_NONE);
}

int ADRF57X1_set(ADRF57X1 *att, KrPow attenuation) {
    return stepAttenuator_set(att, attenuation);
}

const KrPow *ADRF57X1_get(const ADRF57X1 *att) {
    return stepAttenuator_get(att);
}

const KrPow *ADRF57X1_getMaximum(const ADRF57X1 *att) {
    return stepAttenuator_getMaximum(att);
}

int ADRF57X1_increase(ADRF57X1 *att) {
    return stepAttenuator_increase(att);
}

int ADRF57X1_decrease(ADRF57X1 *att) {
    return stepAttenuator_decrease(att);
}
