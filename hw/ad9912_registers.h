// AD9912 DDS: 16-bit instruction (read bit 15, byte count in 14-13, address in 12-0), data
// bytes most significant first at descending addresses. 48-bit tuning word at 0x01AB-0x01A6.
#pragma once

#include <cstdint>

constexpr uint16_t AD9912_READ = 0x8000;
constexpr int AD9912_COUNT_SHIFT = 13;  // 0: 1 byte, 1: 2, 2: 3, 3: streaming
constexpr uint16_t AD9912_ADDRESS_MASK = 0x1FFF;
constexpr uint16_t AD9912_REG_POWER = 0x0010;  // bit 0 PD, bit 4 HSTL driver, bit 7 PLL
constexpr uint16_t AD9912_REG_RESET = 0x0012;
constexpr uint16_t AD9912_REG_N_DIVIDER = 0x0020;
constexpr uint16_t AD9912_REG_PLL = 0x0022;
constexpr uint16_t AD9912_REG_IOUPDATE = 0x0005;        // bit 0: register update
constexpr uint16_t AD9912_REG_FTW_HIGH = 0x01AB;        // FTW0 bits 47-40
constexpr uint16_t AD9912_REG_FTW_HIGH16 = 0x01AD;      // fast 16-bit update word
constexpr uint16_t AD9912_REG_PHASE_HIGH = 0x01AD + 1;  // 14-bit phase, 0x01AE
constexpr uint16_t AD9912_REG_DAC_CURRENT = 0x040C;     // 10-bit full-scale current
constexpr uint32_t AD9912_DAC_CURRENT_MAX = 0x3FF;
constexpr uint32_t AD9912_FTW_BITS = 48;
constexpr uint8_t AD9912_POWER_DOWN = 0x01;
constexpr uint8_t AD9912_POWER_CMOS = 0x10;
constexpr uint8_t AD9912_POWER_PLL = 0x80;
