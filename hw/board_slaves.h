// Where the chips sit on the SPI buses: the slave addresses at which the board modules
// register their chips and at which the simulated hardware places its emulators. All chips
// are on bus 0; the FS FPGA reaches them with the same addresses.
#pragma once

#include <cstdint>

// Output board of channel c (0-7): slave 16 c + chip.
constexpr uint32_t BOARD_OUT_SLAVES = 16;
constexpr uint32_t BOARD_OUT_SRI = 0;        // control shift register (path, filter, dividers)
constexpr uint32_t BOARD_OUT_DDS = 1;        // AD9910, clocked at 1 GHz
constexpr uint32_t BOARD_OUT_LOOP_POT = 2;   // AD8402, wiper 1 = loop-filter resistance R1
constexpr uint32_t BOARD_OUT_ATT_A = 3;      // HMC624, step attenuation A
constexpr uint32_t BOARD_OUT_ATT_B = 4;      // HMC624, step attenuation B
constexpr uint32_t BOARD_OUT_ALC_DAC = 5;    // AD5643, channel A = ALC setpoint (and AM)
constexpr uint32_t BOARD_OUT_TEMP = 6;       // TC77 board temperature
constexpr uint32_t BOARD_OUT_ALC_ADC = 7;    // AD7680 detector reading
constexpr uint32_t BOARD_OUT_SSPE = 8;       // shift register of a step attenuator module
constexpr uint32_t BOARD_OUT_PLL = 9;        // ADF5355 (low-noise and 40 GHz boards)
constexpr uint32_t BOARD_OUT_RFDAC = 10;     // AD9164 (40 GHz boards)
constexpr uint32_t BOARD_OUT_DDS48 = 11;     // AD9912 (generic board)
constexpr uint32_t BOARD_OUT_ATT_LOOP = 12;  // HMC1018, attenuator in the ALC loop
constexpr uint32_t BOARD_OUT_VCO_ADC = 13;   // LTC2313, VCO tuning voltage

constexpr uint32_t board_outSlave(int channel, uint32_t chip) {
    return BOARD_OUT_SLAVES * (uint32_t)channel + chip;
}

// Reference board. Standard board: shift register, AD5643 tuning DAC, AD7940 ADC, HMC987
// fan-out. Low-noise board: shift register, HMC7043, HMC987, AD5760 oscillator DAC, ADF4002,
// AD7940, AD5640 lock-test DAC.
constexpr uint32_t BOARD_REF_SRI = 192;
constexpr uint32_t BOARD_REF_TUNE_DAC = 193;
constexpr uint32_t BOARD_REF_ADC = 194;
constexpr uint32_t BOARD_REF_FANOUT = 195;
constexpr uint32_t BOARD_REF_ULN_CLOCK = 193;
constexpr uint32_t BOARD_REF_ULN_FANOUT = 194;
constexpr uint32_t BOARD_REF_ULN_OSC_DAC = 195;
constexpr uint32_t BOARD_REF_ULN_PLL = 196;
constexpr uint32_t BOARD_REF_ULN_ADC = 197;
constexpr uint32_t BOARD_REF_ULN_LOCK_DAC = 198;

// Controller board.
constexpr uint32_t BOARD_CONT_SRI = 200;       // control shift register
constexpr uint32_t BOARD_CONT_TEMP = 201;      // TC77
constexpr uint32_t BOARD_CONT_LFG = 202;       // AD5932 low-frequency generator
constexpr uint32_t BOARD_CONT_LFG_AMP = 203;   // AD5432 LFG amplitude
constexpr uint32_t BOARD_CONT_USER_DAC = 204;  // AD5640 function-output DAC
constexpr uint32_t BOARD_CONT_USER_ADC = 205;  // AD7680 user input
constexpr uint32_t BOARD_CONT_FLASH = 206;     // W25Q serial flash
constexpr uint32_t BOARD_CONT_FAN_POT = 207;   // MCP4131 fan speed
constexpr uint32_t BOARD_CONT_SSPE = 208;      // step attenuator module at the controller

// FS FPGA: reading one byte from slave 255 on bus 2 returns once the stream is worked off.
constexpr uint32_t BOARD_FS_IDLE_PROBE = 0x4CFF;
