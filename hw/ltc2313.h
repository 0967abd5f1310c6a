// LTC2313 ADC: single and averaged readings. Main loop.
#pragma once

#include <cstdint>

struct LTC2313 {
    uint32_t slave;
    uint32_t last;  // last reading
};

int LTC2313_init(LTC2313 *adc, uint32_t slave);
int LTC2313_read(LTC2313 *adc, uint32_t *value);
int LTC2313_readAveraged(LTC2313 *adc, uint32_t count, uint32_t *value);
