// AD5760 DAC.
#include "hw/ad5760.h"

#include <cstring>

#include "hw/krspi.h"

namespace {

int write(const AD5760 *dac, uint32_t address, uint32_t data) {
    return krspi_sendWord(dac->slave, KRSPI_OPT_NONE,
                          (address << AD5760_ADDRESS_SHIFT) | (data & AD5760_DATA_MASK), 3);
}

int setControl(AD5760 *dac, uint32_t clear, uint32_t set) {
    dac->control = (dac->control & ~clear) | set;
    return write(dac, AD5760_ADDR_CONTROL, dac->control);
}

}  // namespace

int AD5760_init(AD5760 *dac, uint32_t slave) {
    memset(dac, 0, sizeof(*dac));
    krspi_addSlave(slave, "AD5760");
    dac->slave = slave;
    dac->control = AD5760_CTRL_RBUF | AD5760_CTRL_BIN2SC;
    int r = write(dac, AD5760_ADDR_CONTROL, dac->control);
    int s = AD5760_setValue(dac, 0x8000);
    return r ? r : s;
}

int AD5760_setValue(AD5760 *dac, uint16_t value) {
    dac->value = value;
    return write(dac, AD5760_ADDR_DAC, (uint32_t)value << AD5760_DAC_SHIFT);
}

uint16_t AD5760_getValue(const AD5760 *dac) {
    return dac->value;
}

int AD5760_setOutputModeDac(AD5760 *dac) {
    return setControl(dac, AD5760_CTRL_OPGND | AD5760_CTRL_DACTRI, 0);
}

int AD5760_setOutputModeHighImpedance(AD5760 *dac) {
    return setControl(dac, AD5760_CTRL_OPGND, AD5760_CTRL_DACTRI);
}

int AD5760_setOutputModeWeakGround(AD5760 *dac) {
    return setControl(dac, AD5760_CTRL_DACTRI, AD5760_CTRL_OPGND);
}

int AD5760_setNumberFormatOffsetBinary(AD5760 *dac) {
    return setControl(dac, 0, AD5760_CTRL_BIN2SC);
}

int AD5760_setNumberFormatTwosComplement(AD5760 *dac) {
    return setControl(dac, AD5760_CTRL_BIN2SC, 0);
}

int AD5760_readRegister(AD5760 *dac, uint32_t address, uint32_t *value) {
    int r = krspi_sendWord(dac->slave, KRSPI_OPT_NONE,
                           AD5760_READ | (address << AD5760_ADDRESS_SHIFT), 3);
    if (r != 0) return r;
    uint64_t v = 0;
    r = krspi_recvWord(dac->slave, (AD5760_ADDR_NOP << AD5760_ADDRESS_SHIFT) << 8, 3,
                       KRSPI_OPT_NONE, &v);
    *value = (uint32_t)v & AD5760_DATA_MASK;
    return r;
}
