// Shift-register image: the control bits of a board collected in a byte image (bit b is bit
// b % 8 of byte b / 8) and shifted out over SPI as one transfer. Preset operations change the
// preset image; apply sends it. Main loop, or the sweep task inside its SPI lock bracket.
#pragma once

#include <cstdint>

constexpr uint32_t SRI_MAX_BYTES = 16;

struct SRI {
    uint32_t slave;  // SPI address word
    uint32_t bytes;
    uint8_t image[SRI_MAX_BYTES];   // what the register holds (last applied)
    uint8_t preset[SRI_MAX_BYTES];  // what the next apply sends
};

// Registers the slave, takes the initial bytes as image and preset, and sends them.
int SRI_init(SRI *sri, uint32_t slave, const uint8_t *initial, uint32_t count);
int SRI_presetBitValue(SRI *sri, int bit, int value);
int SRI_presetSetBit(SRI *sri, int bit);
int SRI_presetClearBit(SRI *sri, int bit);
// A field of width bits from bit low (least significant bit first).
int SRI_presetField(SRI *sri, int low, int width, uint32_t value);
int SRI_applyPreset(SRI *sri);
// Preset and apply at once.
int SRI_setBit(SRI *sri, int bit);
int SRI_clearBit(SRI *sri, int bit);
int SRI_getBit(const SRI *sri, int bit);
int SRI_getPresetBit(const SRI *sri, int bit);
uint32_t SRI_getPresetField(const SRI *sri, int low, int width);
