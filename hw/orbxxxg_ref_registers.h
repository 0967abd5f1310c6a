// Reference boards: bit numbers of the board's control shift register, shared by the board
// modules and the simulated board.
#pragma once

constexpr unsigned ORBXXXG_REF_SRI_BYTES = 4;

// Standard board.
constexpr int ORBXXXG_REF_BIT_TUNE0 = 0;
constexpr int ORBXXXG_REF_BIT_TUNE1 = 1;
constexpr int ORBXXXG_REF_BIT_EXT_10M = 4;
constexpr int ORBXXXG_REF_BIT_EXT_100M = 5;
constexpr int ORBXXXG_REF_BIT_REFOUT_10M = 6;  // set: the reference output carries 10 MHz
constexpr int ORBXXXG_REF_BIT_REFOUT_ON = 7;
constexpr int ORBXXXG_REF_BIT_MULT10 = 8;
constexpr int ORBXXXG_REF_BIT_FEEDBACK_100M = 9;
constexpr int ORBXXXG_REF_BIT_REF100M_X10_OFF = 10;
constexpr int ORBXXXG_REF_BIT_OSC_100M = 11;
constexpr int ORBXXXG_REF_BIT_EXT_INPUT = 12;
constexpr int ORBXXXG_REF_BIT_EXT_1G = 13;
constexpr int ORBXXXG_REF_BIT_STARTUP = 14;

// Low-noise board.
constexpr int ORBXXXG_REF_ULN_BIT_INTERNAL_LN = 1;
constexpr int ORBXXXG_REF_ULN_BIT_SYSCLK = 3;
constexpr int ORBXXXG_REF_ULN_BIT_EXT = 5;
constexpr int ORBXXXG_REF_ULN_BIT_REFOUT_10M_A = 6;
constexpr int ORBXXXG_REF_ULN_BIT_REFOUT_ON = 7;
constexpr int ORBXXXG_REF_ULN_BIT_EXT_10M = 9;
constexpr int ORBXXXG_REF_ULN_BIT_EXT_100M = 10;
constexpr int ORBXXXG_REF_ULN_BIT_REFOUT_10M = 11;
constexpr int ORBXXXG_REF_ULN_BIT_PLL = 15;
constexpr int ORBXXXG_REF_ULN_BIT_EXT_1G = 16;
constexpr int ORBXXXG_REF_ULN_BIT_RESET = 19;
constexpr int ORBXXXG_REF_ULN_BIT_SYSCLK_IN = 20;
constexpr int ORBXXXG_REF_ULN_BIT_INTERNAL = 23;

// Low-noise board path switches without a single function of their own: which of them a
// source needs is listed with the source selection of the board module.
constexpr int ORBXXXG_REF_ULN_BIT_PATH2 = 2;
constexpr int ORBXXXG_REF_ULN_BIT_PATH12 = 12;
constexpr int ORBXXXG_REF_ULN_BIT_PATH13 = 13;
constexpr int ORBXXXG_REF_ULN_BIT_PATH17 = 17;
constexpr int ORBXXXG_REF_ULN_BIT_PATH18 = 18;
constexpr int ORBXXXG_REF_ULN_BIT_PATH21 = 21;
constexpr int ORBXXXG_REF_ULN_BIT_PATH22 = 22;
