// LTC2313 ADC.
#include "hw/ltc2313.h"

#include "hw/adc_read.h"
#include "hw/adc_registers.h"
#include "hw/krspi.h"

namespace {

const AdcFormat format = {LTC2313_FRAME_BYTES, LTC2313_SHIFT, LTC2313_MAX};

}  // namespace

int LTC2313_init(LTC2313 *adc, uint32_t slave) {
    krspi_addSlave(slave, "LTC2313");
    adc->slave = slave;
    adc->last = 0;
    return 0;
}

int LTC2313_read(LTC2313 *adc, uint32_t *value) {
    int r = adc_read(adc->slave, format, &adc->last);
    if (value) *value = adc->last;
    return r;
}

int LTC2313_readAveraged(LTC2313 *adc, uint32_t count, uint32_t *value) {
    int r = adc_readAveraged(adc->slave, format, count, &adc->last);
    if (value) *value = adc->last;
    return r;
}
