// AD5932 frequency-scan generator: 16-bit words, register address in bits 15-12, 12 data
// bits (frequency words split into low and high halves).
#pragma once

#include <cstdint>

constexpr uint32_t AD5932_ADDR_CONTROL = 0x0;
constexpr uint32_t AD5932_ADDR_NUM_INCR = 0x1;
constexpr uint32_t AD5932_ADDR_DELTA_LOW = 0x2;
constexpr uint32_t AD5932_ADDR_DELTA_HIGH = 0x3;
constexpr uint32_t AD5932_ADDR_INCR_INTERVAL = 0x4;
constexpr uint32_t AD5932_ADDR_FSTART_LOW = 0xC;
constexpr uint32_t AD5932_ADDR_FSTART_HIGH = 0xD;
constexpr int AD5932_ADDRESS_SHIFT = 12;
constexpr uint32_t AD5932_DATA_MASK = 0xFFF;
constexpr uint32_t AD5932_FTW_BITS = 24;
// Control register bits.
constexpr uint32_t AD5932_CTRL_B24 = 1u << 11;
constexpr uint32_t AD5932_CTRL_DAC_ENABLE = 1u << 10;
constexpr uint32_t AD5932_CTRL_SINE = 1u << 9;  // clear: triangle
constexpr uint32_t AD5932_CTRL_MSBOUT = 1u << 8;
constexpr uint32_t AD5932_CTRL_MSB_DIV2 = 1u << 7;  // MSB output divided by two
constexpr uint32_t AD5932_CTRL_INT_INCR = 1u << 5;
constexpr uint32_t AD5932_CTRL_SYNCSEL = 1u << 3;
constexpr uint32_t AD5932_CTRL_SYNCOUT = 1u << 2;
constexpr uint32_t AD5932_CTRL_RESERVED = 0x053;  // written as ones
constexpr uint64_t AD5932_MCLK_HZ = 50000000ull;
