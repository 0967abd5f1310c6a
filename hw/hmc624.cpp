// HMC624 digital step attenuator.
#include "hw/hmc624.h"

#include "hw/krspi.h"

int HMC624_init(HMC624 *att, uint32_t slave) {
    return stepAttenuator_init(att, &STEP_ATT_HMC624, slave, KRSPI_OPT_NONE);
}

int HMC624_set(HMC624 *att, KrPow attenuation) {
    return stepAttenuator_set(att, attenuation);
}

const KrPow *HMC624_get(const HMC624 *att) {
    return stepAttenuator_get(att);
}

const KrPow *HMC624_getMaximum(const HMC624 *att) {
    return stepAttenuator_getMaximum(att);
}

int HMC624_increase(HMC624 *att) {
    return stepAttenuator_increase(att);
}

int HMC624_decrease(HMC624 *att) {
    return stepAttenuator_decrease(att);
}

int HMC624_init_invertedLatchEnable(HMC624 *att, uint32_t slave) {
    return stepAttenuator_init(att, &STEP_ATT_HMC624, slave, KRSPI_OPT_CPOL);
}
