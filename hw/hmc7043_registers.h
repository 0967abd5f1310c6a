// HMC7043 clock distribution: 24-bit frames, read bit 23, register address in bits 20-8,
// data in 7-0.
#pragma once

#include <cstdint>

constexpr uint32_t HMC7043_READ = 1u << 23;
constexpr int HMC7043_ADDRESS_SHIFT = 8;
constexpr uint32_t HMC7043_ADDRESS_MASK = 0x1FFF;

constexpr uint16_t HMC7043_REG_SOFT_RESET = 0x0000;
constexpr uint16_t HMC7043_REG_REQUEST_MODE = 0x0001;  // bit 1: restart dividers (reseed)
constexpr uint16_t HMC7043_REG_OUTPUT_ENABLE_LOW = 0x0004;
constexpr uint16_t HMC7043_REG_INPUT = 0x000A;  // CLKIN buffer mode
constexpr uint16_t HMC7043_REG_SYSREF_DIV_LSB = 0x005C;
constexpr uint16_t HMC7043_REG_SYSREF_DIV_MSB = 0x005D;
// Channel n (0-13) occupies 10 registers from 0x00C8 + 10 n.
constexpr uint16_t HMC7043_REG_CHANNEL_BASE = 0x00C8;
constexpr uint16_t HMC7043_CHANNEL_STRIDE = 10;
constexpr uint16_t HMC7043_CH_CONTROL = 0;  // bit 0 enable, bit 1 multislip
constexpr uint16_t HMC7043_CH_DIV_LSB = 1;
constexpr uint16_t HMC7043_CH_DIV_MSB = 2;
constexpr uint16_t HMC7043_CH_ANALOG_DELAY = 3;
constexpr uint16_t HMC7043_CH_DIGITAL_DELAY = 4;
constexpr uint16_t HMC7043_CH_MULTISLIP_LSB = 5;
constexpr uint16_t HMC7043_CH_MULTISLIP_MSB = 6;
constexpr uint16_t HMC7043_CH_OUTPUT_SELECT = 7;  // bits 1-0: 0 divider, 1 analog delay
constexpr uint8_t HMC7043_CH_ENABLE = 0x01;
constexpr uint8_t HMC7043_CH_MULTISLIP = 0x02;
constexpr uint8_t HMC7043_INPUT_AC_CML_100 = 0x07;

constexpr uint16_t hmc7043_channelReg(int channel, uint16_t offset) {
    return (uint16_t)(HMC7043_REG_CHANNEL_BASE + HMC7043_CHANNEL_STRIDE * channel + offset);
}
