// AD5643 dual 14-bit DAC: 24-bit words, command in bits 21-19, address in 18-16, data in
// 15-2.
#pragma once

#include <cstdint>

constexpr int AD5643_COMMAND_SHIFT = 19;
constexpr int AD5643_ADDRESS_SHIFT = 16;
constexpr int AD5643_DATA_SHIFT = 2;
constexpr uint32_t AD5643_DATA_MAX = 0x3FFF;

constexpr uint32_t AD5643_CMD_WRITE_INPUT = 0;
constexpr uint32_t AD5643_CMD_UPDATE_DAC = 1;
constexpr uint32_t AD5643_CMD_WRITE_UPDATE_ALL = 2;
constexpr uint32_t AD5643_CMD_WRITE_UPDATE = 3;
constexpr uint32_t AD5643_CMD_POWER = 4;  // data bits 5-4 mode, bits 1-0 DAC B, DAC A
constexpr uint32_t AD5643_CMD_RESET = 5;
constexpr uint32_t AD5643_CMD_LDAC = 6;
constexpr uint32_t AD5643_CMD_REFERENCE = 7;

constexpr uint32_t AD5643_ADDR_A = 0;
constexpr uint32_t AD5643_ADDR_B = 1;
constexpr uint32_t AD5643_ADDR_ALL = 7;

constexpr int AD5643_POWER_MODE_SHIFT = 4;  // 0 normal, 1 1 kOhm, 2 100 kOhm, 3 three-state

constexpr uint32_t ad5643_word(uint32_t command, uint32_t address, uint32_t data) {
    return (command << AD5643_COMMAND_SHIFT) | (address << AD5643_ADDRESS_SHIFT) | data;
}
