// AD5640 14-bit DAC: 16-bit words, power-down mode in bits 15-14, data in 13-0.
#pragma once

#include <cstdint>

constexpr int AD5640_MODE_SHIFT = 14;  // 0 normal, 1 1 kOhm, 2 100 kOhm, 3 three-state
constexpr uint32_t AD5640_DATA_MAX = 0x3FFF;
