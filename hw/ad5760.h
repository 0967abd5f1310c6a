// AD5760 16-bit DAC (oscillator tuning on the low-noise reference board): output modes and
// number formats in its control register. Main loop.
#pragma once

#include <cstdint>

#include "hw/ad5760_registers.h"

struct AD5760 {
    uint32_t slave;
    uint32_t control;
    uint16_t value;
};

// Registers the slave; output on, offset-binary values, mid-scale.
int AD5760_init(AD5760 *dac, uint32_t slave);
int AD5760_setValue(AD5760 *dac, uint16_t value);
uint16_t AD5760_getValue(const AD5760 *dac);
int AD5760_setOutputModeDac(AD5760 *dac);
int AD5760_setOutputModeHighImpedance(AD5760 *dac);
int AD5760_setOutputModeWeakGround(AD5760 *dac);
int AD5760_setNumberFormatOffsetBinary(AD5760 *dac);
int AD5760_setNumberFormatTwosComplement(AD5760 *dac);
// Reads a register back (a read command, then a frame that clocks it out).
int AD5760_readRegister(AD5760 *dac, uint32_t address, uint32_t *value);
