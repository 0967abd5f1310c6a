// Reading a serial ADC sample: the frame's bytes, the sample's position and width. Shared
// by the ADC drivers; main loop.
#pragma once

#include <cstdint>

struct AdcFormat {
    uint32_t frameBytes;
    int shift;
    uint32_t max;
};

int adc_read(uint32_t slave, const AdcFormat &format, uint32_t *value);
// The mean of count readings (count 0 is taken as 1), rounded to nearest.
int adc_readAveraged(uint32_t slave, const AdcFormat &format, uint32_t count, uint32_t *value);
