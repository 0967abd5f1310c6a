// AD7940 ADC: single and averaged readings. Main loop.
#pragma once

#include <cstdint>

struct AD7940 {
    uint32_t slave;
    uint32_t last;  // last reading
};

int AD7940_init(AD7940 *adc, uint32_t slave);
int AD7940_read(AD7940 *adc, uint32_t *value);
int AD7940_readAveraged(AD7940 *adc, uint32_t count, uint32_t *value);
