// AD5643 dual DAC.
#include "hw/ad5643.h"

#include <cstring>

#include "core/printd.h"
#include "scpi/scpi_errorcodes.h"

namespace {

int send(AD5643 *dac, uint32_t command, uint32_t address, uint32_t data) {
    int r = krspi_sendWord(dac->slave, KRSPI_OPT_NONE, ad5643_word(command, address, data), 3);
    if (r != 0) printd("AD5643 writing failed for slave %u\n", (unsigned)(dac->slave & 0xFF));
    return r;
}

bool channelOk(int channel) {
    return channel == 0 || channel == 1;
}

}  // namespace

int AD5643_init(AD5643 *dac, uint32_t slave) {
    memset(dac, 0, sizeof(*dac));
    krspi_addSlave(slave, "AD5643");
    dac->slave = slave;
    dac->listener = {nullptr, AD5643_invalidate, dac};
    krspi_addInvalidationListener(&dac->listener);
    int r = send(dac, AD5643_CMD_POWER, 0, 3);  // both channels on
    int s = AD5643_setValue(dac, 0, 0);
    int t = AD5643_setValue(dac, 1, 0);
    return r ? r : s ? s : t;
}

int AD5643_setValue(AD5643 *dac, int channel, uint16_t value) {
    if (!channelOk(channel)) return KR_E_EXECUTION_ERROR;
    if (value > AD5643_DATA_MAX) value = AD5643_DATA_MAX;
    if (dac->valid[channel] && dac->value[channel] == value) return 0;
    int r =
        send(dac, AD5643_CMD_WRITE_UPDATE, (uint32_t)channel, (uint32_t)value << AD5643_DATA_SHIFT);
    dac->value[channel] = value;
    dac->valid[channel] = r == 0;
    return r;
}

uint16_t AD5643_getValue(const AD5643 *dac, int channel) {
    return channelOk(channel) ? dac->value[channel] : 0;
}

int AD5643_setValue_mod(AD5643 *dac, uint16_t value) {
    dac->valid[0] = 0;
    return AD5643_setValue(dac, 0, value);
}

int AD5643_powerDown(AD5643 *dac, int channel, uint32_t mode) {
    if (!channelOk(channel) || mode > 3) return KR_E_EXECUTION_ERROR;
    dac->powerMode[channel] = (uint8_t)mode;
    return send(dac, AD5643_CMD_POWER, 0, (mode << AD5643_POWER_MODE_SHIFT) | (1u << channel));
}

int AD5643_powerUp(AD5643 *dac, int channel) {
    return AD5643_powerDown(dac, channel, 0);
}

const AD5643CalSet *AD5643_getCalSet(const AD5643 *dac) {
    return dac && dac->calSet.valid ? &dac->calSet : nullptr;
}

void AD5643_setCalSet(AD5643 *dac, const AD5643CalSet *set) {
    if (set) dac->calSet = *set;
}

void AD5643_invalidate(void *context) {
    AD5643 *dac = (AD5643 *)context;
    dac->valid[0] = dac->valid[1] = 0;
}
