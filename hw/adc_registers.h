// Serial ADCs read without a command: frame lengths and the position of the sample.
#pragma once

#include <cstdint>

// AD7940: 16-bit frame, two leading zeros, 14-bit sample.
constexpr uint32_t AD7940_FRAME_BYTES = 2;
constexpr int AD7940_SHIFT = 0;
constexpr uint32_t AD7940_MAX = 0x3FFF;
// AD7680: 24-bit frame, four leading zeros, 16-bit sample, four trailing zeros.
constexpr uint32_t AD7680_FRAME_BYTES = 3;
constexpr int AD7680_SHIFT = 4;
constexpr uint32_t AD7680_MAX = 0xFFFF;
// LTC2313-14: 16-bit frame, 14-bit sample, two trailing zeros.
constexpr uint32_t LTC2313_FRAME_BYTES = 2;
constexpr int LTC2313_SHIFT = 2;
constexpr uint32_t LTC2313_MAX = 0x3FFF;
