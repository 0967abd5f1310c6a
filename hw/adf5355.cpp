// ADF5355 PLL.
#include "hw/adf5355.h"

#include <cstring>

#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr int R4_MUXOUT_SHIFT = 27;  // 3 bits: 6 = digital lock detect, 7 = readback
constexpr uint32_t MUX_LOCK_DETECT = 6;
constexpr uint32_t MUX_READBACK = 7;

uint32_t field(uint32_t word, int shift, uint32_t mask) {
    return (word >> shift) & mask;
}

int setField(ADF5355 *p, int n, int shift, uint32_t mask, uint32_t value) {
    if (value > mask) return KR_E_EXECUTION_ERROR;
    p->reg[n] = (p->reg[n] & ~(mask << shift)) | value << shift;
    return ADF5355_writeRegister(p, n);
}

}  // namespace

int ADF5355_init(ADF5355 *pll, uint32_t slave) {
    memset(pll, 0, sizeof(*pll));
    krspi_addSlave(slave, "ADF5355");
    pll->slave = slave;
    for (int n = 0; n < ADF5355_REGISTERS; n++)
        pll->reg[n] = (uint32_t)n;
    pll->reg[0] |= ADF5355_R0_AUTOCAL;
    pll->reg[4] |= MUX_LOCK_DETECT << R4_MUXOUT_SHIFT;
    int r = 0;
    for (int n = ADF5355_REGISTERS - 1; n >= 0 && r == 0; n--)  // R0 last
        r = ADF5355_writeRegister(pll, n);
    return r;
}

int ADF5355_writeRegister(ADF5355 *pll, int n) {
    if (n < 0 || n >= ADF5355_REGISTERS) return KR_E_EXECUTION_ERROR;
    uint32_t w = (pll->reg[n] & ~ADF5355_CONTROL_MASK) | (uint32_t)n;
    return krspi_sendWord(pll->slave, KRSPI_OPT_NONE, w, 4);
}

uint32_t ADF5355_getCore(const ADF5355 *pll) {
    return field(pll->reg[12], ADF5355_R12_CORE_SHIFT, 3);
}

uint32_t ADF5355_getBand(const ADF5355 *pll) {
    return field(pll->reg[12], ADF5355_R12_BAND_SHIFT, 0xFF);
}

uint32_t ADF5355_getBias(const ADF5355 *pll) {
    return field(pll->reg[12], ADF5355_R12_BIAS_SHIFT, 0xF);
}

int ADF5355_setCore(ADF5355 *pll, uint32_t core) {
    return setField(pll, 12, ADF5355_R12_CORE_SHIFT, 3, core);
}

int ADF5355_setBand(ADF5355 *pll, uint32_t band) {
    return setField(pll, 12, ADF5355_R12_BAND_SHIFT, 0xFF, band);
}

int ADF5355_setBias(ADF5355 *pll, uint32_t bias) {
    return setField(pll, 12, ADF5355_R12_BIAS_SHIFT, 0xF, bias);
}

int ADF5355_enableAutocal(ADF5355 *pll) {
    pll->reg[0] |= ADF5355_R0_AUTOCAL;
    return ADF5355_writeRegister(pll, 0);
}

int ADF5355_disableAutocal(ADF5355 *pll) {
    pll->reg[0] &= ~ADF5355_R0_AUTOCAL;
    return ADF5355_writeRegister(pll, 0);
}

int ADF5355_setReadbackMode(ADF5355 *pll, int on) {
    return setField(pll, 4, R4_MUXOUT_SHIFT, 7, on ? MUX_READBACK : MUX_LOCK_DETECT);
}

int ADF5355_enableRfOutputB(ADF5355 *pll) {
    return setField(pll, 6, ADF5355_R6_RFB_ENABLE, 1, 1);
}

int ADF5355_disableRfOutputB(ADF5355 *pll) {
    return setField(pll, 6, ADF5355_R6_RFB_ENABLE, 1, 0);
}

int ADF5355_applyLut(ADF5355 *pll, const ADF5355LutEntry *entry) {
    pll->reg[0] &= ~ADF5355_R0_AUTOCAL;
    int r = ADF5355_setCore(pll, entry->core);
    r = r ? r : ADF5355_setBand(pll, entry->band);
    r = r ? r : ADF5355_setBias(pll, entry->bias);
    if (r) return r;
    pll->reg[2] = (entry->frac2 & 0x3FFF) << 18 | (entry->mod2 & 0x3FFF) << 4;
    pll->reg[1] = (entry->frac1 & 0xFFFFFF) << ADF5355_R1_FRAC1_SHIFT;
    pll->reg[0] = (pll->reg[0] & ~(0xFFFFu << ADF5355_R0_INT_SHIFT)) | (entry->integer & 0xFFFF)
                                                                           << ADF5355_R0_INT_SHIFT;
    r = ADF5355_writeRegister(pll, 2);
    r = r ? r : ADF5355_writeRegister(pll, 1);
    return r ? r : ADF5355_writeRegister(pll, 0);
}

uint64_t ADF5355_getMinimumVcoFrequency() {
    return ADF5355_VCO_MIN_HZ;
}
