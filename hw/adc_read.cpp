// Serial ADC readings.
#include "hw/adc_read.h"

#include "hw/krspi.h"

int adc_read(uint32_t slave, const AdcFormat &format, uint32_t *value) {
    uint64_t frame = 0;
    int r = krspi_recvWord(slave, 0, format.frameBytes, KRSPI_OPT_NONE, &frame);
    *value = (uint32_t)(frame >> format.shift) & format.max;
    return r;
}

int adc_readAveraged(uint32_t slave, const AdcFormat &format, uint32_t count, uint32_t *value) {
    if (count == 0) count = 1;
    uint64_t sum = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t v;
        int r = adc_read(slave, format, &v);
        if (r != 0) return r;
        sum += v;
    }
    *value = (uint32_t)((sum + count / 2) / count);
    return 0;
}
