// AD5640 DAC.
#include "hw/ad5640.h"

#include <cstring>

#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

int send(const AD5640 *dac) {
    return krspi_sendWord(dac->slave, KRSPI_OPT_NONE,
                          ((uint32_t)dac->mode << AD5640_MODE_SHIFT) | dac->value, 2);
}

}  // namespace

int AD5640_init(AD5640 *dac, uint32_t slave) {
    memset(dac, 0, sizeof(*dac));
    krspi_addSlave(slave, "AD5640");
    dac->slave = slave;
    return send(dac);
}

int AD5640_setValue(AD5640 *dac, uint16_t value) {
    dac->value = value > AD5640_DATA_MAX ? (uint16_t)AD5640_DATA_MAX : value;
    return send(dac);
}

uint16_t AD5640_getValue(const AD5640 *dac) {
    return dac->value;
}

int AD5640_setOperatingMode(AD5640 *dac, uint32_t mode) {
    if (mode > 3) return KR_E_EXECUTION_ERROR;
    dac->mode = (uint8_t)mode;
    return send(dac);
}
