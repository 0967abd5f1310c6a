// AD5432 DAC.
#include "hw/ad5432.h"

#include <cstring>

#include "hw/krspi.h"

int AD5432_init(AD5432 *dac, uint32_t slave, uint32_t options) {
    memset(dac, 0, sizeof(*dac));
    krspi_addSlave(slave, "AD5432");
    dac->slave = slave;
    dac->options = options;
    return AD5432_setValue(dac, 0);
}

int AD5432_setValue(AD5432 *dac, uint16_t value) {
    if (value > AD5432_DATA_MAX) value = AD5432_DATA_MAX;
    dac->value = value;
    uint32_t word =
        (AD5432_CTRL_LOAD_UPDATE << AD5432_CONTROL_SHIFT) | ((uint32_t)value << AD5432_DATA_SHIFT);
    return krspi_sendWord(dac->slave, dac->options, word, 2);
}

uint16_t AD5432_getValue(const AD5432 *dac) {
    return dac->value;
}
