// AD7680 ADC.
#include "hw/ad7680.h"

#include "hw/adc_read.h"
#include "hw/adc_registers.h"
#include "hw/krspi.h"

namespace {

const AdcFormat format = {AD7680_FRAME_BYTES, AD7680_SHIFT, AD7680_MAX};

}  // namespace

int AD7680_init(AD7680 *adc, uint32_t slave) {
    krspi_addSlave(slave, "AD7680");
    adc->slave = slave;
    adc->last = 0;
    return 0;
}

int AD7680_read(AD7680 *adc, uint32_t *value) {
    int r = adc_read(adc->slave, format, &adc->last);
    if (value) *value = adc->last;
    return r;
}

int AD7680_readAveraged(AD7680 *adc, uint32_t count, uint32_t *value) {
    int r = adc_readAveraged(adc->slave, format, count, &adc->last);
    if (value) *value = adc->last;
    return r;
}
