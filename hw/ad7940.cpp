// AD7940 ADC.
#include "hw/ad7940.h"

#include "hw/adc_read.h"
#include "hw/adc_registers.h"
#include "hw/krspi.h"

namespace {

const AdcFormat format = {AD7940_FRAME_BYTES, AD7940_SHIFT, AD7940_MAX};

}  // namespace

int AD7940_init(AD7940 *adc, uint32_t slave) {
    krspi_addSlave(slave, "AD7940");
    adc->slave = slave;
    adc->last = 0;
    return 0;
}

int AD7940_read(AD7940 *adc, uint32_t *value) {
    int r = adc_read(adc->slave, format, &adc->last);
    if (value) *value = adc->last;
    return r;
}

int AD7940_readAveraged(AD7940 *adc, uint32_t count, uint32_t *value) {
    int r = adc_readAveraged(adc->slave, format, count, &adc->last);
    if (value) *value = adc->last;
    return r;
}
