// HMC987 fan-out buffer: eight output ports (0-3 the lower group, 4-7 the upper group), the
// RF input buffer's gain, chip power. Main loop.
#pragma once

#include <cstdint>

#include "hw/hmc987_registers.h"

struct HMC987 {
    uint32_t slave;
    uint8_t ports;     // bit n: port n on
    uint8_t rfBuffer;  // bits 2-0 gain, bit 3 on
    uint8_t enabled;
};

// Registers the slave, powers the chip up with every port off.
int HMC987_init(HMC987 *buffer, uint32_t slave);
int HMC987_enablePort(HMC987 *buffer, uint32_t port);
int HMC987_disablePort(HMC987 *buffer, uint32_t port);
// Ports of the lower group given by mask bits 0-3 (bits above are the upper group's).
int HMC987_enablePortLSB(HMC987 *buffer, uint32_t mask);
int HMC987_disablePortLSB(HMC987 *buffer, uint32_t mask);
int HMC987_enablePortMSB(HMC987 *buffer, uint32_t mask);
int HMC987_disablePortMSB(HMC987 *buffer, uint32_t mask);
int HMC987_isPortEnabled(const HMC987 *buffer, uint32_t port);
int HMC987_setRfBufferGain(HMC987 *buffer, uint32_t gain);
int HMC987_enableRfBuffer(HMC987 *buffer);
int HMC987_powerUp(HMC987 *buffer);
int HMC987_powerDown(HMC987 *buffer);
