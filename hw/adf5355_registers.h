// ADF5355 PLL with VCO: 32-bit registers R0-R12, register number in bits 3-0.
#pragma once

#include <cstdint>

constexpr uint32_t ADF5355_CONTROL_MASK = 0xF;
constexpr int ADF5355_REGISTERS = 13;
constexpr int ADF5355_R0_INT_SHIFT = 4;  // 16 bits
constexpr uint32_t ADF5355_R0_AUTOCAL = 1u << 21;
constexpr int ADF5355_R1_FRAC1_SHIFT = 4;  // 24 bits
constexpr int ADF5355_R6_RFB_ENABLE = 10;
constexpr int ADF5355_R6_RFA_ENABLE = 6;
// Read-back through register 4's MUXOUT; the VCO core, band and bias of manual calibration
// are carried in register 12 of this build: core bits 5-4, band bits 13-6, bias bits 17-14.
constexpr int ADF5355_R12_CORE_SHIFT = 4;
constexpr int ADF5355_R12_BAND_SHIFT = 6;
constexpr int ADF5355_R12_BIAS_SHIFT = 14;
constexpr uint64_t ADF5355_VCO_MIN_HZ = 3400000000ull;
constexpr uint64_t ADF5355_VCO_MAX_HZ = 6800000000ull;
