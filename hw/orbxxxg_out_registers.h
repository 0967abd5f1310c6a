// Generic output board (older generation, 06G, 12G and 20G models): bit layout of the board's
// control shift register image and the clocks of its synthesizer, shared by the board module
// and the simulated board.
//
// The AD9912 (48-bit DDS, clocked at 1 GHz) either drives the output directly or is the
// reference of a PLL: the phase detector compares VCO / N2 with DDS / R, and the VCO is
// divided by N1 to the output. So output = DDS x N2 / (R x N1).
#pragma once

#include <cstdint>

constexpr uint32_t ORBXXXG_OUT_SRI_BYTES = 8;

constexpr int ORBXXXG_OUT_BIT_RF_ENABLE = 0;    // set: RF amplifiers powered
constexpr int ORBXXXG_OUT_BIT_ALC_ENABLE = 1;   // set: level loop closed
constexpr int ORBXXXG_OUT_BIT_ALC_HOLD = 2;     // set: loop integrator held
constexpr int ORBXXXG_OUT_BIT_ALC_SAMPLE = 3;   // set: hold samples the detector at updates
constexpr int ORBXXXG_OUT_BIT_ALC_RF_MUTE = 4;  // set: output muted by the level loop
constexpr int ORBXXXG_OUT_BIT_PATH_DIRECT = 5;  // DDS straight to the output
constexpr int ORBXXXG_OUT_BIT_PATH_PLL = 6;     // VCO through N1 to the output
constexpr int ORBXXXG_OUT_BIT_FILTER = 8;       // output filter index, 3 bits
constexpr int ORBXXXG_OUT_FILTER_WIDTH = 3;
constexpr int ORBXXXG_OUT_BIT_N1 = 16;  // RF divider after the VCO
constexpr int ORBXXXG_OUT_BIT_N2 = 24;  // VCO-side divider of the phase detector
constexpr int ORBXXXG_OUT_BIT_R = 32;   // DDS-side divider of the phase detector
constexpr int ORBXXXG_OUT_DIVIDER_WIDTH = 8;

// A step attenuator module on the board occupies 13 bits from here (daisy chain).
constexpr int ORBXXXG_OUT_BIT_SSPE = 48;

constexpr int ORBXXXG_OUT_PATH_DIRECT = 1;
constexpr int ORBXXXG_OUT_PATH_PLL = 2;
constexpr int ORBXXXG_OUT_PATH_DIRECT_BITS[] = {ORBXXXG_OUT_BIT_PATH_DIRECT};
constexpr int ORBXXXG_OUT_PATH_PLL_BITS[] = {ORBXXXG_OUT_BIT_PATH_PLL};
constexpr int ORBXXXG_OUT_PATH_ALL_BITS[] = {ORBXXXG_OUT_BIT_PATH_DIRECT, ORBXXXG_OUT_BIT_PATH_PLL};

// Output filters: index i is used below edge i; the last index passes everything above.
constexpr uint64_t ORBXXXG_OUT_FILTER_EDGES_HZ[] = {300000000ull, 1500000000ull, 3000000000ull,
                                                    6000000000ull, 12500000000ull};
constexpr int ORBXXXG_OUT_FILTERS = 6;

// The DDS clock; one step of the 48-bit word is 1 GHz / 2^48 (about 3.6 uHz).
constexpr uint64_t ORBXXXG_OUT_DDS_CLOCK_HZ = 1000000000ull;
// Below this the DDS drives the output directly.
constexpr uint64_t ORBXXXG_OUT_DIRECT_LIMIT_HZ = 300000000ull;
