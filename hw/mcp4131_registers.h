// MCP4131 7-bit potentiometer: 16-bit commands, memory address in bits 15-12, command in
// 11-10, data in 9-0.
#pragma once

#include <cstdint>

constexpr int MCP4131_ADDRESS_SHIFT = 12;
constexpr int MCP4131_COMMAND_SHIFT = 10;
constexpr uint32_t MCP4131_ADDR_WIPER0 = 0x0;
constexpr uint32_t MCP4131_CMD_WRITE = 0x0;
constexpr uint32_t MCP4131_WIPER_MAX = 128;
