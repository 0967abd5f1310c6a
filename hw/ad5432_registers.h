// AD5432 10-bit multiplying DAC: 16-bit words, control in bits 15-12, data in 11-2.
#pragma once

#include <cstdint>

constexpr int AD5432_CONTROL_SHIFT = 12;
constexpr uint32_t AD5432_CTRL_LOAD_UPDATE = 0x1;
constexpr uint32_t AD5432_CTRL_CLOCK_RISING = 0x9;
constexpr int AD5432_DATA_SHIFT = 2;
constexpr uint32_t AD5432_DATA_MAX = 1023;
