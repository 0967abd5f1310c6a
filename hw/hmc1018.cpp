// HMC1018 digital step attenuator.
#include "hw/hmc1018.h"

#include "hw/krspi.h"

int HMC1018_init(HMC1018 *att, uint32_t slave) {
    return stepAttenuator_init(att, &STEP_ATT_HMC1018, slave, KRSPI_OPT_NONE);
}

int HMC1018_set(HMC1018 *att, KrPow attenuation) {
    return stepAttenuator_set(att, attenuation);
}

const KrPow *HMC1018_get(const HMC1018 *att) {
    return stepAttenuator_get(att);
}

const KrPow *HMC1018_getMaximum(const HMC1018 *att) {
    return stepAttenuator_getMaximum(att);
}

int HMC1018_increase(HMC1018 *att) {
    return stepAttenuator_increase(att);
}

int HMC1018_decrease(HMC1018 *att) {
    return stepAttenuator_decrease(att);
}
