// AD8402 dual 8-bit digital potentiometer: 10-bit words (sent as two bytes), wiper address
// in bits 9-8, value in 7-0. R_WB = value / 256 x R_AB + R_W.
#pragma once

#include <cstdint>

constexpr int AD8402_ADDRESS_SHIFT = 8;
constexpr uint32_t AD8402_WIPER1 = 0;
constexpr uint32_t AD8402_WIPER2 = 1;
constexpr uint32_t AD8402_VALUE_MAX = 255;
constexpr double AD8402_R_AB_OHM = 1000.0;  // the 1 kOhm grade on the output boards
constexpr double AD8402_R_W_OHM = 50.0;
