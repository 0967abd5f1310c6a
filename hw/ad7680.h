// AD7680 ADC: single and averaged readings. Main loop.
#pragma once

#include <cstdint>

struct AD7680 {
    uint32_t slave;
    uint32_t last;  // last reading
};

int AD7680_init(AD7680 *adc, uint32_t slave);
int AD7680_read(AD7680 *adc, uint32_t *value);
int AD7680_readAveraged(AD7680 *adc, uint32_t count, uint32_t *value);
