// HMC7043 clock distribution: fourteen outputs with dividers, analog and digital delays and
// multislip; the SYSREF divider; the input buffer. Main loop.
#pragma once

#include <cstdint>

#include "hw/hmc7043_registers.h"

constexpr int HMC7043_OUTPUTS = 14;

struct HMC7043 {
    uint32_t slave;
    uint8_t control[HMC7043_OUTPUTS];  // enable and multislip bits per output
    uint16_t divider[HMC7043_OUTPUTS];
    uint16_t sysrefDivider;
};

int HMC7043_init(HMC7043 *clock, uint32_t slave);
int HMC7043_setInputBufferMode(HMC7043 *clock, uint8_t mode);
int HMC7043_setDivider(HMC7043 *clock, int output, uint16_t divider);
int HMC7043_enableOutput(HMC7043 *clock, int output);
int HMC7043_disableOutput(HMC7043 *clock, int output);
int HMC7043_setAnalogDelay(HMC7043 *clock, int output, uint8_t delay);
int HMC7043_selectAnalogDelay(HMC7043 *clock, int output);
int HMC7043_setDigitalDelay(HMC7043 *clock, int output, uint8_t delay);
int HMC7043_enableMultislip(HMC7043 *clock, int output);
int HMC7043_disableMultislip(HMC7043 *clock, int output);
int HMC7043_setSysrefDivider(HMC7043 *clock, uint16_t divider);
// Restarts the dividers so that every output is aligned again.
int HMC7043_reseed(HMC7043 *clock);
int HMC7043_readRegister(HMC7043 *clock, uint16_t reg, uint8_t *value);
