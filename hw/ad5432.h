// AD5432 10-bit multiplying DAC (the LF generator's amplitude). Main loop.
#pragma once

#include <cstdint>

#include "hw/ad5432_registers.h"

struct AD5432 {
    uint32_t slave;
    uint32_t options;  // clock edge of the board's wiring
    uint16_t value;
};

int AD5432_init(AD5432 *dac, uint32_t slave, uint32_t options);
int AD5432_setValue(AD5432 *dac, uint16_t value);
uint16_t AD5432_getValue(const AD5432 *dac);
