// AD5932 programmable frequency-scan generator (the controller board's LF generator):
// start and delta frequency, the control register's output shape, MSB output and its
// division by two, power. Main loop.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "hw/ad5932_registers.h"
#include "hw/ftw.h"

struct AD5932 {
    uint32_t slave;
    uint32_t options;  // clock polarity of the board's wiring
    uint32_t control;
    FTW start;
    FTW delta;
};

int AD5932_init(AD5932 *gen, uint32_t slave);
// Boards that clock the part on the other edge.
int AD5932_init_invertedClock(AD5932 *gen, uint32_t slave);
int AD5932_setStartFrequency(AD5932 *gen, const KrFreq *f);
int AD5932_setDeltaFrequency(AD5932 *gen, const KrFreq *f);
int AD5932_setSineOutput(AD5932 *gen);
int AD5932_setTriangleOutput(AD5932 *gen);
int AD5932_enableMsbOutput(AD5932 *gen);
int AD5932_disableMsbOutput(AD5932 *gen);
int AD5932_enableDivideBy2(AD5932 *gen);
int AD5932_disableDivideBy2(AD5932 *gen);
int AD5932_powerUp(AD5932 *gen);
int AD5932_powerDown(AD5932 *gen);
