// AD5660 16-bit DAC: 24-bit words, power-down mode in bits 17-16, value in 15-0. Main loop.
#pragma once

#include <cstdint>

constexpr int AD5660_MODE_SHIFT = 16;  // 0 normal, 1 1 kOhm, 2 100 kOhm, 3 three-state

struct AD5660 {
    uint32_t slave;
    uint16_t value;
    uint8_t mode;
};

int AD5660_init(AD5660 *dac, uint32_t slave);
int AD5660_setValue(AD5660 *dac, uint16_t value);
uint16_t AD5660_getValue(const AD5660 *dac);
int AD5660_powerDown(AD5660 *dac, uint32_t mode);
int AD5660_powerUp(AD5660 *dac);
