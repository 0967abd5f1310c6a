// AD9164 RF DAC: 16-bit instruction (read bit 15, address 14-0), data bytes at descending
// addresses. The NCO frequency word is 48 bits at 0x0119-0x0114.
#pragma once

#include <cstdint>

constexpr uint16_t AD9164_READ = 0x8000;
constexpr uint16_t AD9164_ADDRESS_MASK = 0x7FFF;
constexpr uint16_t AD9164_REG_NCO_FTW_HIGH = 0x0119;
constexpr uint16_t AD9164_REG_NCO_FTW_LOW = 0x0114;
constexpr uint16_t AD9164_REG_NCO_PHASE_HIGH = 0x011D;
constexpr uint16_t AD9164_REG_NCO_UPDATE = 0x0113;   // bit 0: load the word
constexpr uint16_t AD9164_REG_DATAPATH = 0x0111;     // bit 6 NCO enable, bit 7 NCO only
constexpr uint16_t AD9164_REG_JESD_STATUS = 0x0470;  // lanes synchronised
constexpr uint16_t AD9164_REG_CLOCK_PHASE = 0x0201;
constexpr uint16_t AD9164_REG_OUTPUT_DIV = 0x0150;   // this build: output path divider
constexpr uint16_t AD9164_REG_OUTPUT_MULT = 0x0151;  // this build: output path multiplier
constexpr uint32_t AD9164_FTW_BITS = 48;
constexpr uint8_t AD9164_DATAPATH_NCO = 0x40;
constexpr uint8_t AD9164_DATAPATH_NCO_ONLY = 0x80;
// The NCO hops: every load takes the new word and phase without resetting the accumulator.
constexpr uint8_t AD9164_DATAPATH_NCO_HOPPING = 0x20;
