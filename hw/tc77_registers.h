// TC77 temperature sensor: a 16-bit read holds the 13-bit two's-complement temperature in
// bits 15-3 (0.0625 C per step) and the conversion-complete flag in bit 2.
#pragma once

#include <cstdint>

constexpr int TC77_TEMPERATURE_SHIFT = 3;
constexpr uint32_t TC77_CONVERSION_DONE = 1u << 2;
constexpr double TC77_CELSIUS_PER_STEP = 0.0625;
constexpr uint16_t TC77_MODE_CONTINUOUS = 0x0000;
constexpr uint16_t TC77_MODE_SHUTDOWN = 0xFFFF;
