// AD5760 16-bit DAC: 24-bit words, read bit 23, address in 22-20, data in 19-0 (the DAC
// value in 19-4). A read command makes the next frame clock the register out.
#pragma once

#include <cstdint>

constexpr uint32_t AD5760_READ = 1u << 23;
constexpr int AD5760_ADDRESS_SHIFT = 20;
constexpr uint32_t AD5760_ADDR_NOP = 0;
constexpr uint32_t AD5760_ADDR_DAC = 1;
constexpr uint32_t AD5760_ADDR_CONTROL = 2;
constexpr uint32_t AD5760_ADDR_CLEARCODE = 3;
constexpr uint32_t AD5760_ADDR_SOFTWARE = 4;
constexpr int AD5760_DAC_SHIFT = 4;
constexpr uint32_t AD5760_DATA_MASK = 0xFFFFF;

// Control register.
constexpr uint32_t AD5760_CTRL_RBUF = 1u << 1;
constexpr uint32_t AD5760_CTRL_OPGND = 1u << 2;   // output clamped to ground (weak ground)
constexpr uint32_t AD5760_CTRL_DACTRI = 1u << 3;  // output high impedance
constexpr uint32_t AD5760_CTRL_BIN2SC = 1u << 4;  // offset binary instead of two's complement
constexpr uint32_t AD5760_CTRL_SDODIS = 1u << 5;

// Software control register.
constexpr uint32_t AD5760_SW_LDAC = 1u << 0;
constexpr uint32_t AD5760_SW_CLEAR = 1u << 1;
constexpr uint32_t AD5760_SW_RESET = 1u << 2;
