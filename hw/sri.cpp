// Shift-register images.
#include "hw/sri.h"

#include <cstring>

#include "core/printd.h"
#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

bool inRange(const SRI *sri, int bit) {
    return bit >= 0 && (uint32_t)bit < sri->bytes * 8;
}

}  // namespace

int SRI_init(SRI *sri, uint32_t slave, const uint8_t *initial, uint32_t count) {
    memset(sri, 0, sizeof(*sri));
    if (count == 0 || count > SRI_MAX_BYTES) return KR_E_EXECUTION_ERROR;
    krspi_addSlave(slave, "SRI");
    sri->slave = slave;
    sri->bytes = count;
    if (initial) memcpy(sri->preset, initial, count);
    return SRI_applyPreset(sri);
}

int SRI_presetBitValue(SRI *sri, int bit, int value) {
    if (!inRange(sri, bit)) {
        printd("SRI_presetBitValue() error: bit %d outside the %u-byte register\n", bit,
               (unsigned)sri->bytes);
        return KR_E_EXECUTION_ERROR;
    }
    uint8_t mask = (uint8_t)(1u << (bit % 8));
    if (value)
        sri->preset[bit / 8] |= mask;
    else
        sri->preset[bit / 8] &= (uint8_t)~mask;
    return 0;
}

int SRI_presetSetBit(SRI *sri, int bit) {
    return SRI_presetBitValue(sri, bit, 1);
}

int SRI_presetClearBit(SRI *sri, int bit) {
    return SRI_presetBitValue(sri, bit, 0);
}

int SRI_presetField(SRI *sri, int low, int width, uint32_t value) {
    for (int i = 0; i < width; i++) {
        int r = SRI_presetBitValue(sri, low + i, (int)((value >> i) & 1));
        if (r) return r;
    }
    return 0;
}

int SRI_applyPreset(SRI *sri) {
    if (sri->bytes == 0) return KR_E_EXECUTION_ERROR;
    int r = krspiSend(sri->slave, sri->bytes, KRSPI_OPT_NONE, sri->preset);
    if (r == 0) memcpy(sri->image, sri->preset, sri->bytes);
    return r;
}

int SRI_setBit(SRI *sri, int bit) {
    int r = SRI_presetSetBit(sri, bit);
    return r ? r : SRI_applyPreset(sri);
}

int SRI_clearBit(SRI *sri, int bit) {
    int r = SRI_presetClearBit(sri, bit);
    return r ? r : SRI_applyPreset(sri);
}

int SRI_getBit(const SRI *sri, int bit) {
    return inRange(sri, bit) ? (sri->image[bit / 8] >> (bit % 8)) & 1 : 0;
}

int SRI_getPresetBit(const SRI *sri, int bit) {
    return inRange(sri, bit) ? (sri->preset[bit / 8] >> (bit % 8)) & 1 : 0;
}

uint32_t SRI_getPresetField(const SRI *sri, int low, int width) {
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; i--)
        v = (v << 1) | (uint32_t)SRI_getPresetBit(sri, low + i);
    return v;
}
