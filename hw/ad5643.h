// AD5643 dual 14-bit DAC (ALC setpoint and AM on the output boards, oscillator tuning and
// lock test on the reference board). Values are cached; a write of an unchanged value is
// skipped until a sweep writes the chip behind the cache (invalidation listener). Main loop;
// the modulation write also from the sweep task.
#pragma once

#include <cstdint>

#include "hw/ad5643_registers.h"
#include "hw/krspi.h"

// Calibration set for amplitude modulation: the ALC set point the DAC returns to when AM
// ends and the range AM may swing over.
struct AD5643CalSet {
    uint8_t valid;
    uint16_t alcSetpoint;
    uint16_t minimum;
    uint16_t maximum;
};

struct AD5643 {
    uint32_t slave;
    uint16_t value[2];
    uint8_t valid[2];      // cached value matches the chip
    uint8_t powerMode[2];  // 0 on, 1 1 kOhm, 2 100 kOhm, 3 three-state
    KrspiInvalidationListener listener;
    AD5643CalSet calSet;
};

// Registers the slave and the invalidation listener; both channels on at 0.
int AD5643_init(AD5643 *dac, uint32_t slave);
int AD5643_setValue(AD5643 *dac, int channel, uint16_t value);
uint16_t AD5643_getValue(const AD5643 *dac, int channel);
// Channel A written at once, cache or not: the modulation path.
int AD5643_setValue_mod(AD5643 *dac, uint16_t value);
int AD5643_powerDown(AD5643 *dac, int channel, uint32_t mode);
int AD5643_powerUp(AD5643 *dac, int channel);
// The calibration set, or nullptr when none was loaded.
const AD5643CalSet *AD5643_getCalSet(const AD5643 *dac);
void AD5643_setCalSet(AD5643 *dac, const AD5643CalSet *set);
// Forgets the cached values (the listener's callback).
void AD5643_invalidate(void *dac);
