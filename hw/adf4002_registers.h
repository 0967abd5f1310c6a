// ADF4002 PLL: 24-bit latches, control bits 1-0.
#pragma once

#include <cstdint>

constexpr uint32_t ADF4002_CONTROL_MASK = 3;
constexpr uint32_t ADF4002_R_COUNTER = 0;
constexpr uint32_t ADF4002_N_COUNTER = 1;
constexpr uint32_t ADF4002_FUNCTION = 2;
constexpr uint32_t ADF4002_INITIALIZATION = 3;
constexpr int ADF4002_R_SHIFT = 2;  // 14 bits
constexpr uint32_t ADF4002_R_MAX = 16383;
constexpr int ADF4002_N_SHIFT = 8;  // 13 bits
constexpr uint32_t ADF4002_N_MAX = 8191;
// Function / initialisation latch.
constexpr int ADF4002_F_COUNTER_RESET = 2;
constexpr int ADF4002_F_POWER_DOWN1 = 3;
constexpr int ADF4002_F_MUXOUT_SHIFT = 4;  // 3 bits
constexpr int ADF4002_F_PD_POLARITY = 7;
constexpr int ADF4002_F_CP_THREE_STATE = 8;
constexpr int ADF4002_F_CURRENT1_SHIFT = 15;  // 3 bits
constexpr int ADF4002_F_CURRENT2_SHIFT = 18;  // 3 bits
constexpr int ADF4002_F_POWER_DOWN2 = 21;
