// HMC424 digital step attenuator.
#include "hw/hmc424.h"

#include "hw/krspi.h"

int HMC424_init(HMC424 *att, uint32_t slave) {
    return stepAttenuator_init(att, &STEP_ATT_HMC424, slave, KRSPI_OPT_NONE);
}

int HMC424_set(HMC424 *att, KrPow attenuation) {
    return stepAttenuator_set(att, attenuation);
}

const KrPow *HMC424_get(const HMC424 *att) {
    return stepAttenuator_get(att);
}

const KrPow *HMC424_getMaximum(const HMC424 *att) {
    return stepAttenuator_getMaximum(att);
}

int HMC424_increase(HMC424 *att) {
    return stepAttenuator_increase(att);
}

int HMC424_decrease(HMC424 *att) {
    return stepAttenuator_decrease(att);
}

void HMC424_initPreset(HMC424 *att, SRI *image, int baseBit) {
    stepAttenuator_initPreset(att, &STEP_ATT_HMC424, image, baseBit);
}

int HMC424_preset(HMC424 *att, KrPow attenuation) {
    return stepAttenuator_preset(att, attenuation);
}
