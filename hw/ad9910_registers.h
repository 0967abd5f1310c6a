// AD9910 DDS: register map and bit fields, shared by the driver and its emulator.
//
// A write frame is the instruction byte (bit 7 clear, address in bits 4-0) followed by the
// register, most significant byte first; a read sets bit 7 and the chip answers with the
// register. Writes land in the I/O buffers and take effect at the next I/O update.
#pragma once

#include <cstdint>

constexpr uint8_t AD9910_INSTR_READ = 0x80;
constexpr uint8_t AD9910_INSTR_ADDRESS_MASK = 0x1F;

constexpr uint8_t AD9910_REG_CFR1 = 0x00;
constexpr uint8_t AD9910_REG_CFR2 = 0x01;
constexpr uint8_t AD9910_REG_CFR3 = 0x02;
constexpr uint8_t AD9910_REG_AUX_DAC = 0x03;
constexpr uint8_t AD9910_REG_IO_UPDATE_RATE = 0x04;
constexpr uint8_t AD9910_REG_FTW = 0x07;
constexpr uint8_t AD9910_REG_POW = 0x08;
constexpr uint8_t AD9910_REG_ASF = 0x09;
constexpr uint8_t AD9910_REG_MSR = 0x0A;        // multichip sync
constexpr uint8_t AD9910_REG_DRG_LIMIT = 0x0B;  // upper 63-32, lower 31-0
constexpr uint8_t AD9910_REG_DRG_STEP = 0x0C;   // decrement 63-32, increment 31-0
constexpr uint8_t AD9910_REG_DRG_RATE = 0x0D;   // negative slope 31-16, positive 15-0
constexpr uint8_t AD9910_REG_PROFILE0 = 0x0E;   // profiles 0-7: 0x0E-0x15
constexpr uint8_t AD9910_REG_RAM = 0x16;
constexpr int AD9910_REGISTERS = 0x17;

// Bytes of each register (0: not a register).
constexpr uint8_t AD9910_REG_BYTES[AD9910_REGISTERS] = {4, 4, 4, 4, 4, 0, 0, 4, 2, 4, 4, 8,
                                                        8, 4, 8, 8, 8, 8, 8, 8, 8, 8, 4};

// CFR1
constexpr uint32_t AD9910_CFR1_RAM_ENABLE = 1u << 31;
constexpr int AD9910_CFR1_RAM_DEST_SHIFT = 29;  // 2 bits
constexpr uint32_t AD9910_CFR1_INVERSE_SINC = 1u << 22;
constexpr uint32_t AD9910_CFR1_SINE_OUTPUT = 1u << 16;
constexpr uint32_t AD9910_CFR1_AUTOCLEAR_DRG = 1u << 14;
constexpr uint32_t AD9910_CFR1_AUTOCLEAR_PHASE = 1u << 13;
constexpr uint32_t AD9910_CFR1_CLEAR_DRG = 1u << 12;
constexpr uint32_t AD9910_CFR1_CLEAR_PHASE = 1u << 11;
constexpr uint32_t AD9910_CFR1_DIGITAL_PD = 1u << 7;
constexpr uint32_t AD9910_CFR1_DAC_PD = 1u << 6;
constexpr uint32_t AD9910_CFR1_REFCLK_PD = 1u << 5;
constexpr uint32_t AD9910_CFR1_AUX_DAC_PD = 1u << 4;
constexpr uint32_t AD9910_CFR1_POWER_DOWN = 0xF0;  // bits 4-7

// CFR2
constexpr uint32_t AD9910_CFR2_INITIAL = 0x60;
constexpr uint32_t AD9910_CFR2_ASF_FROM_PROFILE = 1u << 24;
constexpr uint32_t AD9910_CFR2_INTERNAL_IOUPDATE = 1u << 23;
constexpr uint32_t AD9910_CFR2_SYNC_CLK_ENABLE = 1u << 22;
constexpr int AD9910_CFR2_DRG_DEST_SHIFT = 20;  // 2 bits: 0 frequency, 1 phase, 2-3 amplitude
constexpr uint32_t AD9910_CFR2_DRG_DEST_MASK = 3u << AD9910_CFR2_DRG_DEST_SHIFT;
constexpr uint32_t AD9910_CFR2_DRG_ENABLE = 1u << 19;
constexpr uint32_t AD9910_CFR2_DRG_NODWELL_HIGH = 1u << 18;
constexpr uint32_t AD9910_CFR2_DRG_NODWELL_LOW = 1u << 17;
constexpr uint32_t AD9910_CFR2_READ_EFFECTIVE_FTW = 1u << 16;
constexpr uint32_t AD9910_CFR2_PDCLK_ENABLE = 1u << 11;
constexpr uint32_t AD9910_CFR2_SYNC_VALIDATION_DISABLE = 1u << 5;
// Parallel data port: the frequency comes from the FTW register (single-tone register
// mode) instead of profile 0.
constexpr uint32_t AD9910_CFR2_PARALLEL_PORT = 1u << 4;

// CFR3
constexpr uint32_t AD9910_CFR3_INITIAL = 0x0F3FC400;
constexpr uint32_t AD9910_CFR3_INPUT_DIVIDER_BYPASS = 1u << 15;  // set: REFCLK not divided
constexpr uint32_t AD9910_CFR3_INPUT_DIVIDER_RESETB = 1u << 14;
constexpr uint32_t AD9910_CFR3_PLL_ENABLE = 1u << 8;
constexpr int AD9910_CFR3_PLL_N_SHIFT = 1;  // 7 bits
constexpr uint32_t AD9910_CFR3_PLL_N_MASK = 0x7Fu << AD9910_CFR3_PLL_N_SHIFT;

// Single-tone profile word.
constexpr int AD9910_PROFILE_ASF_SHIFT = 48;  // 14 bits
constexpr int AD9910_PROFILE_POW_SHIFT = 32;  // 16 bits
constexpr uint64_t AD9910_PROFILE_FTW_MASK = 0xFFFFFFFFull;
constexpr uint32_t AD9910_ASF_FULL_SCALE = 0x3FFF;

// Auxiliary DAC register: the 8-bit full-scale current code of the output DAC (0x7F from
// reset).
constexpr uint32_t AD9910_AUX_DAC_FSC_MASK = 0xFF;
constexpr uint8_t AD9910_AUX_DAC_RESET = 0x7F;

// Digital ramp as a chirp: the board holds the ramp's direction input, so the chip's own bits
// say how the ramp runs. CFR1's autoclear bit set: each I/O update restarts the ramp at the
// lower limit, rising; clear: at the upper limit, falling. No-dwell high alone returns the
// ramp to the lower limit at the top (a rising sawtooth), no-dwell low alone to the upper
// limit at the bottom (a falling sawtooth); both turn it at either limit (back and forth).
// The rate words count periods of 4 system clocks.
constexpr uint32_t AD9910_DRG_RATE_CLOCKS = 4;
constexpr uint32_t AD9910_DRG_RATE_MAX = 0xFFFF;

// Tuning word width.
constexpr uint32_t AD9910_FTW_BITS = 32;
