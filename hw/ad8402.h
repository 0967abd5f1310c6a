// AD8402 dual digital potentiometer: wiper values 0-255; resistances between wiper and B.
// Main loop.
#pragma once

#include <cstdint>

#include "hw/ad8402_registers.h"

struct AD8402 {
    uint32_t slave;
    uint8_t wiper[2];
    double rab;  // end-to-end resistance
    double rw;   // wiper resistance
};

// Registers the slave and sets both wipers to mid-scale.
int AD8402_init(AD8402 *pot, uint32_t slave, double rab);
int AD8402_setWiper1(AD8402 *pot, uint8_t value);
int AD8402_setWiper2(AD8402 *pot, uint8_t value);
uint8_t AD8402_getWiper1(const AD8402 *pot);
uint8_t AD8402_getWiper2(const AD8402 *pot);
// The nearest wiper value for a resistance between wiper and B (the loop filter's R1).
int AD8402_setResistanceWB1(AD8402 *pot, double ohms);
int AD8402_setResistanceWB2(AD8402 *pot, double ohms);
double AD8402_getResistanceWB1(const AD8402 *pot);
double AD8402_getResistanceWB2(const AD8402 *pot);
