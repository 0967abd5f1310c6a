// MCP4131 7-bit digital potentiometer (the controller board's fan speed): wiper values
// 0-128 or ratios, preset and immediate forms. Main loop, supervision thread.
#pragma once

#include <cstdint>

#include "hw/mcp4131_registers.h"

struct MCP4131 {
    uint32_t slave;
    uint8_t wiper;   // applied
    uint8_t preset;  // for the next apply
};

int MCP4131_init(MCP4131 *pot, uint32_t slave);
int MCP4131_setWiper(MCP4131 *pot, uint32_t value);
void MCP4131_presetWiper(MCP4131 *pot, uint32_t value);
int MCP4131_applyPreset(MCP4131 *pot);
// ratio 0..1 of the full scale.
int MCP4131_setRatio(MCP4131 *pot, double ratio);
void MCP4131_presetRatio(MCP4131 *pot, double ratio);
uint32_t MCP4131_getWiper(const MCP4131 *pot);
double MCP4131_getRatio(const MCP4131 *pot);
