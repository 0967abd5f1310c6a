// ADF4002 PLL (the low-noise reference board's lock to an arbitrary external reference):
// R and N counters, the function latch's charge pump, polarity, three-state and MUX output,
// power and counter reset. Main loop.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "hw/adf4002_registers.h"

struct ADF4002 {
    uint32_t slave;
    uint32_t r, n;
    uint32_t chargePump;  // current setting 0-7
    uint32_t polarity;    // phase detector polarity
    uint32_t muxOut;
    uint8_t threeState;
    uint8_t poweredDown;
    uint8_t counterReset;
    KrFreq comparison;  // the divided side: the oscillator being locked
    KrFreq reference;
};

// The counters that make reference / R equal comparison / N at the largest phase-detector
// frequency (whole hertz): 0, or -200 when the counters cannot reach it.
int ADF4002_calcNR(const KrFreq *comparison, const KrFreq *reference, uint32_t *n, uint32_t *r);
int ADF4002_init(ADF4002 *pll, uint32_t slave);
int ADF4002_powerUp(ADF4002 *pll);
int ADF4002_powerDown(ADF4002 *pll);
int ADF4002_setChargePumpCurrent(ADF4002 *pll, uint32_t setting);
int ADF4002_setPhaseDetectorPolarity(ADF4002 *pll, uint32_t polarity);
int ADF4002_setThreeState(ADF4002 *pll, int on);
int ADF4002_setMuxOut(ADF4002 *pll, uint32_t mux);
int ADF4002_setCounterReset(ADF4002 *pll, int on);
int ADF4002_setComparisonFrequency(ADF4002 *pll, const KrFreq *f);
// Stores the reference and programs R and N for it.
int ADF4002_setReferenceFrequency(ADF4002 *pll, const KrFreq *f);
