// AD5640 14-bit DAC with power-down modes (lock test on the low-noise reference board, the
// function-output DAC on the controller board). Main loop.
#pragma once

#include <cstdint>

#include "hw/ad5640_registers.h"

struct AD5640 {
    uint32_t slave;
    uint16_t value;
    uint8_t mode;  // 0 normal, 1 1 kOhm, 2 100 kOhm, 3 three-state
};

int AD5640_init(AD5640 *dac, uint32_t slave);
int AD5640_setValue(AD5640 *dac, uint16_t value);
uint16_t AD5640_getValue(const AD5640 *dac);
int AD5640_setOperatingMode(AD5640 *dac, uint32_t mode);
