// MCP4131 digital potentiometer.
#include "hw/mcp4131.h"

#include <cmath>
#include <cstring>

#include "hw/krspi.h"

namespace {

uint8_t clampWiper(uint32_t v) {
    return (uint8_t)(v > MCP4131_WIPER_MAX ? MCP4131_WIPER_MAX : v);
}

uint8_t wiperFor(double ratio) {
    double v = std::round(ratio * MCP4131_WIPER_MAX);
    return clampWiper(v < 0 ? 0 : (uint32_t)v);
}

}  // namespace

int MCP4131_init(MCP4131 *pot, uint32_t slave) {
    memset(pot, 0, sizeof(*pot));
    krspi_addSlave(slave, "MCP4131");
    pot->slave = slave;
    return MCP4131_setWiper(pot, MCP4131_WIPER_MAX / 2);
}

int MCP4131_setWiper(MCP4131 *pot, uint32_t value) {
    MCP4131_presetWiper(pot, value);
    return MCP4131_applyPreset(pot);
}

void MCP4131_presetWiper(MCP4131 *pot, uint32_t value) {
    pot->preset = clampWiper(value);
}

int MCP4131_applyPreset(MCP4131 *pot) {
    uint32_t word = MCP4131_ADDR_WIPER0 << MCP4131_ADDRESS_SHIFT |
                    MCP4131_CMD_WRITE << MCP4131_COMMAND_SHIFT | pot->preset;
    int r = krspi_sendWord(pot->slave, KRSPI_OPT_NONE, word, 2);
    if (r == 0) pot->wiper = pot->preset;
    return r;
}

int MCP4131_setRatio(MCP4131 *pot, double ratio) {
    return MCP4131_setWiper(pot, wiperFor(ratio));
}

void MCP4131_presetRatio(MCP4131 *pot, double ratio) {
    pot->preset = wiperFor(ratio);
}

uint32_t MCP4131_getWiper(const MCP4131 *pot) {
    return pot->wiper;
}

double MCP4131_getRatio(const MCP4131 *pot) {
    return (double)pot->wiper / MCP4131_WIPER_MAX;
}
