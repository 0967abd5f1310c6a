// HMC987 fan-out buffer: 16-bit words, register in bits 15-8, data in 7-0.
#pragma once

#include <cstdint>

constexpr int HMC987_ADDRESS_SHIFT = 8;
constexpr uint8_t HMC987_REG_ENABLE = 0x01;     // bit 0 chip enable
constexpr uint8_t HMC987_REG_PORTS = 0x02;      // bit n: output port n on (ports 0-7)
constexpr uint8_t HMC987_REG_RF_BUFFER = 0x03;  // bits 2-0 gain, bit 3 buffer on
constexpr uint32_t HMC987_PORTS = 8;
