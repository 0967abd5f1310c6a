// 40 GHz output board: bit layout of the board's control shift register image and the clock
// of its AD9164, shared by the board module and the simulated board.
//
// The AD9164 (run as a DDS from its NCO) either drives the output directly or serves as the
// PLL reference: the loop locks VCO / R to the DAC output, the VCO is divided by N1 and, for
// the top band, doubled.
#pragma once

#include <cstdint>

constexpr uint32_t ORBX40G_OUT_SRI_BYTES = 6;

constexpr int ORBX40G_OUT_BIT_RF_ENABLE = 0;     // set: RF amplifiers powered
constexpr int ORBX40G_OUT_BIT_ALC_ENABLE = 1;    // set: level loop closed
constexpr int ORBX40G_OUT_BIT_ALC_HOLD = 2;      // set: loop integrator held
constexpr int ORBX40G_OUT_BIT_ALC_SAMPLE = 3;    // set: hold samples the detector at updates
constexpr int ORBX40G_OUT_BIT_ALC_RF_MUTE = 4;   // set: output muted by the level loop
constexpr int ORBX40G_OUT_BIT_PATH_DIRECT = 5;   // DAC straight to the output
constexpr int ORBX40G_OUT_BIT_PATH_PLL = 6;      // VCO through N1 to the output
constexpr int ORBX40G_OUT_BIT_PATH_DOUBLER = 7;  // output doubler after N1 (with the PLL bit)
constexpr int ORBX40G_OUT_BIT_FILTER = 8;        // harmonic filter index, 3 bits
constexpr int ORBX40G_OUT_FILTER_WIDTH = 3;
constexpr int ORBX40G_OUT_BIT_N1 = 16;  // RF divider after the VCO, 8 bits
constexpr int ORBX40G_OUT_BIT_R = 24;   // VCO-side divider of the phase detector, 8 bits
constexpr int ORBX40G_OUT_DIVIDER_WIDTH = 8;

// A step attenuator module on the board occupies 13 bits from here (daisy chain).
constexpr int ORBX40G_OUT_BIT_SSPE = 32;

// Signal paths: the bits set (every other path bit clear).
constexpr int ORBX40G_OUT_PATH_DIRECT = 1;
constexpr int ORBX40G_OUT_PATH_PLL = 2;
constexpr int ORBX40G_OUT_PATH_DOUBLER = 3;
constexpr int ORBX40G_OUT_PATH_DIRECT_BITS[] = {ORBX40G_OUT_BIT_PATH_DIRECT};
constexpr int ORBX40G_OUT_PATH_PLL_BITS[] = {ORBX40G_OUT_BIT_PATH_PLL};
constexpr int ORBX40G_OUT_PATH_DOUBLER_BITS[] = {ORBX40G_OUT_BIT_PATH_PLL,
                                                 ORBX40G_OUT_BIT_PATH_DOUBLER};
constexpr int ORBX40G_OUT_PATH_ALL_BITS[] = {ORBX40G_OUT_BIT_PATH_DIRECT, ORBX40G_OUT_BIT_PATH_PLL,
                                             ORBX40G_OUT_BIT_PATH_DOUBLER};

// Harmonic filters after N1, by the frequency before the doubler: index i is used below
// edge i; the last index passes everything above the last edge.
constexpr uint64_t ORBX40G_OUT_FILTER_EDGES_HZ[] = {2200000000ull, 4400000000ull, 8800000000ull,
                                                    14000000000ull};
constexpr int ORBX40G_OUT_FILTERS = 5;

// The DAC clock; the NCO word is 48 bits, so one step is 10 GHz / 2^48 (about 36 uHz).
constexpr uint64_t ORBX40G_OUT_DAC_CLOCK_HZ = 10000000000ull;

// Below this the DAC drives the output directly; from the doubler edge on the doubler runs.
constexpr uint64_t ORBX40G_OUT_DIRECT_LIMIT_HZ = 1100000000ull;
constexpr uint64_t ORBX40G_OUT_DOUBLER_EDGE_HZ = 20100000000ull;
constexpr uint64_t ORBX40G_OUT_VCO_MAX_HZ = 20500000000ull;
constexpr uint64_t ORBX40G_OUT_VCO_MAX_LIMITED_HZ = 20100000000ull;
