// AD9912 DDS with a 48-bit tuning word: frequency through the register update, the fast
// 16-bit word update, phase, full-scale current, the system clock PLL, the CMOS driver and
// power modes. Main loop, or the sweep task inside its SPI lock bracket.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "hw/ad9912_registers.h"
#include "hw/ftw.h"

struct AD9912 {
    uint32_t slave;
    FTW ftw;
    uint8_t power;  // register 0x0010 shadow
    uint16_t phase;
    uint16_t fullScaleCurrent;
};

int AD9912_init(AD9912 *dds, uint32_t slave, const KrFreq *sysclk);
// Computes and writes the 48-bit word, then the register update.
int AD9912_setFrequency(AD9912 *dds, const KrFreq *out);
// Writes only the word's upper 16 bits (fast hops of a sweep), then the register update.
// A word of the caller's (diagnostics), then the register update.
int AD9912_setFtw(AD9912 *dds, uint64_t word);
int AD9912_setFtwFast16(AD9912 *dds, uint16_t upper);
int AD9912_setPhase(AD9912 *dds, uint16_t phase14);
int AD9912_setFullScaleCurrent(AD9912 *dds, uint16_t current10);
int AD9912_enableSysclkPll(AD9912 *dds, uint8_t nDivider);
int AD9912_disableSysclkPll(AD9912 *dds);
int AD9912_enableCmosDriver(AD9912 *dds);
int AD9912_disableCmosDriver(AD9912 *dds);
int AD9912_powerDown(AD9912 *dds);
int AD9912_powerUp(AD9912 *dds);
