// 20 GHz output board: bit layout of the board's control shift register image, shared by
// the board module and the simulated board.
#pragma once

#include <cstdint>

constexpr uint32_t ORBX20G_OUT_SRI_BYTES = 10;

constexpr int ORBX20G_OUT_BIT_RF_ENABLE = 0;  // set: RF amplifiers powered
constexpr int ORBX20G_OUT_BIT_GAIN_LOW = 1;   // gain stage index, bits 1-2
constexpr int ORBX20G_OUT_GAIN_BITS = 2;
constexpr int ORBX20G_OUT_BIT_ALC_ENABLE = 3;   // set: level loop closed
constexpr int ORBX20G_OUT_BIT_ALC_HOLD = 4;     // set: loop integrator held
constexpr int ORBX20G_OUT_BIT_ALC_SAMPLE = 6;   // set: hold samples the detector at updates
constexpr int ORBX20G_OUT_BIT_ALC_RF_MUTE = 7;  // set: output muted by the level loop

// Signal paths (bits set; every other path bit clear).
constexpr int ORBX20G_OUT_PATH_DIRECT_BITS[] = {13, 14, 16, 20, 17, 19};
constexpr int ORBX20G_OUT_PATH_BAND0_BITS[] = {16, 20, 17, 19, 25};
constexpr int ORBX20G_OUT_PATH_BAND1_BITS[] = {15, 20, 19, 21, 25};
constexpr int ORBX20G_OUT_PATH_BAND2_BITS[] = {5, 26};
constexpr int ORBX20G_OUT_PATH_ALL_BITS[] = {5, 13, 14, 15, 16, 17, 19, 20, 21, 25, 26};
constexpr int ORBX20G_OUT_PATH_DIRECT = 1;
constexpr int ORBX20G_OUT_PATH_BAND0 = 2;
constexpr int ORBX20G_OUT_PATH_BAND1 = 5;
constexpr int ORBX20G_OUT_PATH_BAND2 = 8;

// Band filters by index (see the board module's filter table); -1 ends a row.
constexpr int ORBX20G_OUT_FILTER_BITS[14][4] = {
    {30, 9, -1, -1},  {29, 9, -1, -1},  {8, 9, -1, -1},   {31, 9, -1, -1},  {10, 8, -1, -1},
    {11, 8, -1, -1},  {12, 8, -1, -1},  {22, -1, -1, -1}, {23, -1, -1, -1}, {24, -1, -1, -1},
    {27, -1, -1, -1}, {-1, -1, -1, -1}, {29, 30, 31, -1}, {29, 28, -1, -1},
};
constexpr int ORBX20G_OUT_FILTER_ALL_BITS[] = {8, 9, 10, 11, 12, 22, 23, 24, 27, 28, 29, 30, 31};
constexpr int ORBX20G_OUT_FILTERS = 14;

// Dividers, one byte each: PFD DDS divider R, PFD VCO divider N2, RF VCO divider N1.
constexpr int ORBX20G_OUT_BIT_R = 32;
constexpr int ORBX20G_OUT_BIT_N2 = 40;
constexpr int ORBX20G_OUT_BIT_N1 = 48;
constexpr int ORBX20G_OUT_DIVIDER_WIDTH = 8;

// A step attenuator module on the board occupies 13 bits from here (daisy chain).
constexpr int ORBX20G_OUT_BIT_SSPE = 64;

// Clocks: the DDS runs at 1 GHz; the phase detector compares f x R / N2 with the DDS
// output plus 1 GHz.
constexpr uint64_t ORBX20G_OUT_DDS_CLOCK_HZ = 1000000000ull;
constexpr uint64_t ORBX20G_OUT_PFD_OFFSET_HZ = 1000000000ull;
constexpr uint64_t ORBX20G_OUT_DIRECT_LIMIT_HZ = 140000000ull;
