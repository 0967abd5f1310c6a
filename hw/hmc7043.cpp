// HMC7043 clock distribution.
#include "hw/hmc7043.h"

#include <cstring>

#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

int write(const HMC7043 *c, uint16_t reg, uint8_t value) {
    return krspi_sendWord(c->slave, KRSPI_OPT_NONE,
                          (uint32_t)(reg & HMC7043_ADDRESS_MASK) << HMC7043_ADDRESS_SHIFT | value,
                          3);
}

bool valid(int output) {
    return output >= 0 && output < HMC7043_OUTPUTS;
}

int writeControl(HMC7043 *c, int output, uint8_t clear, uint8_t set) {
    if (!valid(output)) return KR_E_EXECUTION_ERROR;
    c->control[output] = (uint8_t)((c->control[output] & ~clear) | set);
    return write(c, hmc7043_channelReg(output, HMC7043_CH_CONTROL), c->control[output]);
}

}  // namespace

int HMC7043_init(HMC7043 *clock, uint32_t slave) {
    memset(clock, 0, sizeof(*clock));
    krspi_addSlave(slave, "HMC7043");
    clock->slave = slave;
    int r = write(clock, HMC7043_REG_SOFT_RESET, 1);
    int s = write(clock, HMC7043_REG_SOFT_RESET, 0);
    return r ? r : s;
}

int HMC7043_setInputBufferMode(HMC7043 *clock, uint8_t mode) {
    return write(clock, HMC7043_REG_INPUT, mode);
}

int HMC7043_setDivider(HMC7043 *clock, int output, uint16_t divider) {
    if (!valid(output)) return KR_E_EXECUTION_ERROR;
    clock->divider[output] = divider;
    int r = write(clock, hmc7043_channelReg(output, HMC7043_CH_DIV_LSB), (uint8_t)divider);
    int s = write(clock, hmc7043_channelReg(output, HMC7043_CH_DIV_MSB), (uint8_t)(divider >> 8));
    return r ? r : s;
}

int HMC7043_enableOutput(HMC7043 *clock, int output) {
    return writeControl(clock, output, 0, HMC7043_CH_ENABLE);
}

int HMC7043_disableOutput(HMC7043 *clock, int output) {
    return writeControl(clock, output, HMC7043_CH_ENABLE, 0);
}

int HMC7043_setAnalogDelay(HMC7043 *clock, int output, uint8_t delay) {
    if (!valid(output)) return KR_E_EXECUTION_ERROR;
    return write(clock, hmc7043_channelReg(output, HMC7043_CH_ANALOG_DELAY), delay);
}

int HMC7043_selectAnalogDelay(HMC7043 *clock, int output) {
    if (!valid(output)) return KR_E_EXECUTION_ERROR;
    return write(clock, hmc7043_channelReg(output, HMC7043_CH_OUTPUT_SELECT), 1);
}

int HMC7043_setDigitalDelay(HMC7043 *clock, int output, uint8_t delay) {
    if (!valid(output)) return KR_E_EXECUTION_ERROR;
    return write(clock, hmc7043_channelReg(output, HMC7043_CH_DIGITAL_DELAY), delay);
}

int HMC7043_enableMultislip(HMC7043 *clock, int output) {
    return writeControl(clock, output, 0, HMC7043_CH_MULTISLIP);
}

int HMC7043_disableMultislip(HMC7043 *clock, int output) {
    return writeControl(clock, output, HMC7043_CH_MULTISLIP, 0);
}

int HMC7043_setSysrefDivider(HMC7043 *clock, uint16_t divider) {
    clock->sysrefDivider = divider;
    int r = write(clock, HMC7043_REG_SYSREF_DIV_LSB, (uint8_t)divider);
    int s = write(clock, HMC7043_REG_SYSREF_DIV_MSB, (uint8_t)(divider >> 8));
    return r ? r : s;
}

int HMC7043_reseed(HMC7043 *clock) {
    int r = write(clock, HMC7043_REG_REQUEST_MODE, 0x02);
    int s = write(clock, HMC7043_REG_REQUEST_MODE, 0x00);
    return r ? r : s;
}

int HMC7043_readRegister(HMC7043 *clock, uint16_t reg, uint8_t *value) {
    uint64_t v = 0;
    uint32_t command =
        (HMC7043_READ | (uint32_t)(reg & HMC7043_ADDRESS_MASK) << HMC7043_ADDRESS_SHIFT) << 8;
    int r = krspi_recvWord(clock->slave, command, 3, KRSPI_OPT_NONE, &v);
    *value = (uint8_t)v;
    return r;
}
