// HMC987 fan-out buffer.
#include "hw/hmc987.h"

#include <cstring>

#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

int write(const HMC987 *b, uint8_t reg, uint8_t value) {
    return krspi_sendWord(b->slave, KRSPI_OPT_NONE, (uint32_t)reg << HMC987_ADDRESS_SHIFT | value,
                          2);
}

int setPorts(HMC987 *b, uint8_t ports) {
    b->ports = ports;
    return write(b, HMC987_REG_PORTS, ports);
}

}  // namespace

int HMC987_init(HMC987 *buffer, uint32_t slave) {
    memset(buffer, 0, sizeof(*buffer));
    krspi_addSlave(slave, "HMC987");
    buffer->slave = slave;
    int r = HMC987_powerUp(buffer);
    int s = setPorts(buffer, 0);
    return r ? r : s;
}

int HMC987_enablePort(HMC987 *buffer, uint32_t port) {
    if (port >= HMC987_PORTS) return KR_E_EXECUTION_ERROR;
    return setPorts(buffer, (uint8_t)(buffer->ports | 1u << port));
}

int HMC987_disablePort(HMC987 *buffer, uint32_t port) {
    if (port >= HMC987_PORTS) return KR_E_EXECUTION_ERROR;
    return setPorts(buffer, (uint8_t)(buffer->ports & ~(1u << port)));
}

int HMC987_enablePortLSB(HMC987 *buffer, uint32_t mask) {
    return setPorts(buffer, (uint8_t)(buffer->ports | (mask & 0x0F)));
}

int HMC987_disablePortLSB(HMC987 *buffer, uint32_t mask) {
    return setPorts(buffer, (uint8_t)(buffer->ports & ~(mask & 0x0F)));
}

int HMC987_enablePortMSB(HMC987 *buffer, uint32_t mask) {
    return setPorts(buffer, (uint8_t)(buffer->ports | (mask & 0x0F) << 4));
}

int HMC987_disablePortMSB(HMC987 *buffer, uint32_t mask) {
    return setPorts(buffer, (uint8_t)(buffer->ports & ~((mask & 0x0F) << 4)));
}

int HMC987_isPortEnabled(const HMC987 *buffer, uint32_t port) {
    return port < HMC987_PORTS && ((buffer->ports >> port) & 1);
}

int HMC987_setRfBufferGain(HMC987 *buffer, uint32_t gain) {
    if (gain > 7) return KR_E_EXECUTION_ERROR;
    buffer->rfBuffer = (uint8_t)((buffer->rfBuffer & ~7u) | gain);
    return write(buffer, HMC987_REG_RF_BUFFER, buffer->rfBuffer);
}

int HMC987_enableRfBuffer(HMC987 *buffer) {
    buffer->rfBuffer |= 8;
    return write(buffer, HMC987_REG_RF_BUFFER, buffer->rfBuffer);
}

int HMC987_powerUp(HMC987 *buffer) {
    buffer->enabled = 1;
    return write(buffer, HMC987_REG_ENABLE, 1);
}

int HMC987_powerDown(HMC987 *buffer) {
    buffer->enabled = 0;
    return write(buffer, HMC987_REG_ENABLE, 0);
}
