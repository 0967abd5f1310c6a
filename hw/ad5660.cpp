// AD5660 DAC.
#include "hw/ad5660.h"

#include <cstring>

#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

int send(const AD5660 *dac) {
    return krspi_sendWord(dac->slave, KRSPI_OPT_NONE,
                          ((uint32_t)dac->mode << AD5660_MODE_SHIFT) | dac->value, 3);
}

}  // namespace

int AD5660_init(AD5660 *dac, uint32_t slave) {
    memset(dac, 0, sizeof(*dac));
    krspi_addSlave(slave, "AD5660");
    dac->slave = slave;
    return send(dac);
}

int AD5660_setValue(AD5660 *dac, uint16_t value) {
    dac->value = value;
    return send(dac);
}

uint16_t AD5660_getValue(const AD5660 *dac) {
    return dac->value;
}

int AD5660_powerDown(AD5660 *dac, uint32_t mode) {
    if (mode > 3) return KR_E_EXECUTION_ERROR;
    dac->mode = (uint8_t)mode;
    return send(dac);
}

int AD5660_powerUp(AD5660 *dac) {
    return AD5660_powerDown(dac, 0);
}
