// AD9910 DDS driver.
#include "hw/ad9910.h"

#include <cmath>
#include <cstring>

#include "core/printd.h"
#include "device/krlongdouble.h"
#include "device/krmath.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

uint64_t profile0(const AD9910 *d) {
    return ((uint64_t)(d->amplitude & AD9910_ASF_FULL_SCALE) << AD9910_PROFILE_ASF_SHIFT) |
           ((uint64_t)d->phaseOffset << AD9910_PROFILE_POW_SHIFT) | d->presetFtw;
}

// The shadow of a register as the chip expects it.
uint64_t shadow(const AD9910 *d, uint8_t reg) {
    switch (reg) {
        case AD9910_REG_CFR1:
            return d->cfr1;
        case AD9910_REG_CFR2:
            return d->cfr2;
        case AD9910_REG_CFR3:
            return d->cfr3;
        case AD9910_REG_FTW:
            return d->presetFtw;
        case AD9910_REG_POW:
            return d->phaseOffset;
        case AD9910_REG_AUX_DAC:
            return d->fullScaleCurrent;
        case AD9910_REG_ASF:
            return (uint32_t)(d->amplitude & AD9910_ASF_FULL_SCALE) << 2;
        case AD9910_REG_MSR:
            return d->msr;
        case AD9910_REG_DRG_LIMIT:
            return (uint64_t)d->drgLimitHigh << 32 | d->drgLimitLow;
        case AD9910_REG_DRG_STEP:
            return (uint64_t)d->drgStepDown << 32 | d->drgStepUp;
        case AD9910_REG_DRG_RATE:
            return (uint32_t)d->drgRateDown << 16 | d->drgRateUp;
        case AD9910_REG_PROFILE0:
            return profile0(d);
        default:
            return 0;
    }
}

int writeOr(AD9910 *d, uint8_t reg, const char *message, int failure) {
    int r = AD9910_write(d, reg, AD9910_REG_BYTES[reg]);
    if (r != 0) {
        AD9910_printErrMsg(d, message);
        return failure ? failure : r;
    }
    return 0;
}

int firstError(int a, int b) {
    return a ? a : b;
}

int writeCfr2AndDrg(AD9910 *d) {
    int r = writeOr(d, AD9910_REG_DRG_LIMIT, "writing failed for", 0);
    r = firstError(r, writeOr(d, AD9910_REG_DRG_STEP, "writing failed for", 0));
    r = firstError(r, writeOr(d, AD9910_REG_DRG_RATE, "writing failed for", 0));
    return firstError(r, AD9910_writeCFR2(d));
}

// The REFCLK input divider halves the clock; its bypass bit is set while it is off.
int setInputDivider(AD9910 *d, bool enabled) {
    if (enabled)
        d->cfr3 &= ~AD9910_CFR3_INPUT_DIVIDER_BYPASS;
    else
        d->cfr3 |= AD9910_CFR3_INPUT_DIVIDER_BYPASS;
    d->inputDividerEnabled = enabled ? 1 : 0;
    int r = AD9910_writeCFR3(d);
    r = firstError(r, AD9910_writeSingleToneFtw(d));
    return firstError(r, AD9910_writeProfile0(d));
}

}  // namespace

int AD9910_init(AD9910 *dds, uint32_t slave, uint32_t address) {
    krspi_addSlave(slave, "AD9910");
    memset(dds, 0, sizeof(*dds));
    dds->slave = slave;
    dds->address = address;
    dds->spiClock = krspi_getClockCode(slave);
    dds->poweredDown = 1;
    FTW_init(&dds->ftw, AD9910_FTW_BITS);
    dds->amplitude = AD9910_ASF_FULL_SCALE;
    dds->fullScaleCurrent = AD9910_AUX_DAC_RESET;
    dds->cfr2 = AD9910_CFR2_INITIAL;
    dds->cfr3 = AD9910_CFR3_INITIAL;
    int r = AD9910_writeCFR1(dds);
    r = firstError(r, AD9910_writeCFR2(dds));
    return firstError(r, AD9910_writeCFR3(dds));
}

void AD9910_setDefaultValues(AD9910 *dds) {
    dds->cfr1 = 0;
    dds->cfr2 = AD9910_CFR2_INITIAL;
    dds->cfr3 = AD9910_CFR3_INITIAL;
    dds->presetFtw = 0;
    dds->profile = 0;
    dds->singleTone = 1;
    dds->phaseOffset = 0;
    dds->amplitude = AD9910_ASF_FULL_SCALE;
    dds->fullScaleCurrent = AD9910_AUX_DAC_RESET;
    dds->drgLimitLow = dds->drgLimitHigh = 0;
    dds->drgStepUp = dds->drgStepDown = 0;
    dds->drgRateUp = dds->drgRateDown = 0;
    dds->drgDestination = 0;
    dds->inputDividerEnabled = 0;
    dds->highResolution = 0;
    dds->ramMode = 0;
}

void AD9910_printErrMsg(const AD9910 *dds, const char *action) {
    printd("%s AD9910 at slave %u (bus %u)\n", action, (unsigned)(dds->slave & KRSPI_SLAVE_MASK),
           (unsigned)krspi_getBus(dds->slave));
}

int AD9910_write(AD9910 *dds, uint8_t reg, uint32_t length) {
    if (length > 8) return KR_E_EXECUTION_ERROR;
    uint8_t buffer[9];
    uint64_t v = shadow(dds, reg);
    for (uint32_t i = 0; i < length; i++)
        buffer[i] = (uint8_t)(v >> (8 * i));
    buffer[length] = reg & AD9910_INSTR_ADDRESS_MASK;  // first on the wire
    int r = krspiSend(dds->slave, length + 1, KRSPI_OPT_NONE, buffer);
    if (r != 0) AD9910_printErrMsg(dds, "writing failed for");
    return r;
}

int AD9910_writeCFR1(AD9910 *dds) {
    return writeOr(dds, AD9910_REG_CFR1, "writing CFR1 failed for", KR_E_EXECUTION_ERROR);
}

int AD9910_writeCFR2(AD9910 *dds) {
    return writeOr(dds, AD9910_REG_CFR2, "writing CFR2 failed for", KR_E_EXECUTION_ERROR);
}

int AD9910_writeCFR3(AD9910 *dds) {
    return writeOr(dds, AD9910_REG_CFR3, "writing CFR3 failed for", 0);
}

int AD9910_writePOW(AD9910 *dds) {
    return writeOr(dds, AD9910_REG_POW, "writing POW failed for", 0);
}

int AD9910_writeMSR(AD9910 *dds) {
    return writeOr(dds, AD9910_REG_MSR, "writing MSR failed for", 0);
}

int AD9910_writeSingleToneFtw(AD9910 *dds) {
    return writeOr(dds, AD9910_REG_FTW, "writing FTW failed for", 0);
}

int AD9910_writeProfile0(AD9910 *dds) {
    return writeOr(dds, AD9910_REG_PROFILE0, "writing profile failed for", 0);
}

int AD9910_writeFtw(AD9910 *dds) {
    return (dds->cfr2 & AD9910_CFR2_PARALLEL_PORT) ? AD9910_writeSingleToneFtw(dds)
                                                   : AD9910_writeProfile0(dds);
}

void AD9910_presetDDSIn(AD9910 *dds, const KrFreq *in) {
    FTW_presetIn(&dds->ftw, in);
}

void AD9910_presetDDSOut(AD9910 *dds, const KrFreq *out) {
    FTW_presetOut(&dds->ftw, out);
}

int AD9910_setDDSIn(AD9910 *dds, const KrFreq *in) {
    FTW_setIn(&dds->ftw, in);
    dds->presetFtw = (uint32_t)dds->ftw.ftw;
    return 0;
}

int AD9910_setDDSOut(AD9910 *dds, const KrFreq *out) {
    FTW_setOut(&dds->ftw, out);
    dds->presetFtw = (uint32_t)dds->ftw.ftw;
    return AD9910_writeFtw(dds);
}

uint32_t AD9910_calculatePreset(AD9910 *dds) {
    dds->presetFtw = (uint32_t)FTW_calcPreset(&dds->ftw);
    return dds->presetFtw;
}

uint32_t AD9910_calculateFtw(AD9910 *dds) {
    return AD9910_calculatePreset(dds);
}

uint32_t AD9910_getFtwOnly(const AD9910 *dds) {
    return (uint32_t)FTW_calcFtwFast(&dds->ftw.in, &dds->ftw.out, dds->ftw.width);
}

void AD9910_presetFtwOnly(AD9910 *dds, uint32_t word) {
    dds->presetFtw = word;
    dds->ftw.ftw = word;
}

int AD9910_applyFtwOnly(AD9910 *dds) {
    return AD9910_writeFtw(dds);
}

int AD9910_applyFtw(AD9910 *dds) {
    AD9910_calculatePreset(dds);
    return AD9910_writeFtw(dds);
}

int AD9910_applyPreset(AD9910 *dds) {
    int r = AD9910_writeFtw(dds);
    if (dds->cfr2 & AD9910_CFR2_PARALLEL_PORT) r = firstError(r, AD9910_writePOW(dds));
    return r;
}

const KrFreq *AD9910_calculateAndGetRealFout(const AD9910 *dds) {
    // One 32 x 128-bit product, then the binary point moved by the word's 32 bits.
    KrFreq product;
    uint32_t overflow = 0;
    krfreqMultiplyByUint32_ov(&product, &dds->ftw.in, dds->presetFtw, &overflow);
    product.fraction = (product.fraction >> 32) | ((uint64_t)product.integer << 32);
    product.integer = (int64_t)(((uint64_t)product.integer >> 32) | ((uint64_t)overflow << 32));
    globalKrFreq = product;
    return &globalKrFreq;
}

int AD9910_enableInputDivider(AD9910 *dds) {
    return setInputDivider(dds, true);
}

int AD9910_disableInputDivider(AD9910 *dds) {
    return setInputDivider(dds, false);
}

int AD9910_powerUp(AD9910 *dds) {
    dds->cfr1 &= ~AD9910_CFR1_POWER_DOWN;
    dds->poweredDown = 0;
    int r = AD9910_writeCFR1(dds);
    r = firstError(r, AD9910_writeCFR2(dds));
    return firstError(r, AD9910_writeCFR3(dds));
}

int AD9910_powerDown(AD9910 *dds) {
    dds->cfr1 |= AD9910_CFR1_POWER_DOWN;
    dds->poweredDown = 1;
    return AD9910_writeCFR1(dds);
}

int AD9910_setFullScaleCurrent(AD9910 *dds, uint8_t code) {
    dds->fullScaleCurrent = code;
    return writeOr(dds, AD9910_REG_AUX_DAC, "writing FSC failed for", 0);
}

int AD9910_enableHighResolution(AD9910 *dds) {
    // What the 32-bit word gives and what is wanted, in binary128.
    KrLongDouble fIn, fSet, fNorm, fCorr, lsb, phi;
    ld_fromKrfreq(&dds->ftw.in, &fIn);
    ld_fromKrfreq(&dds->ftw.out, &fSet);
    const KrFreq *norm = AD9910_calculateAndGetRealFout(dds);
    ld_fromKrfreq(norm, &fNorm);
    ld_subtract(&fCorr, &fSet, &fNorm);
    ld_divideByPow2(&lsb, &fIn, (int32_t)AD9910_FTW_BITS);
    ld_divide(&phi, &fCorr, &lsb);
    double dPhi = ld_toDouble(&phi);
    printd("    fOutSet %f, fOutNorm %f, fOutCorr %f\n", ld_toDouble(&fSet), ld_toDouble(&fNorm),
           ld_toDouble(&fCorr));
    if (!(dPhi > 0) || dPhi >= 1.0 || dds->presetFtw == 0xFFFFFFFFu) {
        // The word is exact (or cannot be raised): nothing to add.
        return AD9910_disableHighResolution(dds);
    }
    // Time at the upper word over the whole period is the fraction of a word step wanted.
    int64_t num, den;
    krmath_rationalApproximation(dPhi, 65535, &num, &den);
    if (num <= 0) return AD9910_disableHighResolution(dds);
    if (num >= den) num = den - 1;
    uint16_t rateN = (uint16_t)num, rateP = (uint16_t)(den - num);
    printd("    dPhi %f, divP %f\n", dPhi, (double)den);
    printd("    rateP %u, rateN %u\n", (unsigned)rateP, (unsigned)rateN);
    dds->drgLimitLow = dds->presetFtw;
    dds->drgLimitHigh = dds->presetFtw + 1;
    dds->drgStepUp = dds->drgStepDown = 1;
    dds->drgRateUp = rateP;
    dds->drgRateDown = rateN;
    printd("    stepP %u, stepN %u\n", (unsigned)dds->drgStepUp, (unsigned)dds->drgStepDown);
    printd("    limP %u, limN %u\n", (unsigned)dds->drgLimitHigh, (unsigned)dds->drgLimitLow);
    dds->drgDestination = 0;
    dds->cfr2 = (dds->cfr2 & ~AD9910_CFR2_DRG_DEST_MASK) | AD9910_CFR2_DRG_ENABLE |
                AD9910_CFR2_DRG_NODWELL_HIGH | AD9910_CFR2_DRG_NODWELL_LOW;
    int r = writeCfr2AndDrg(dds);
    dds->highResolution = 1;
    return firstError(r, krgio_ioupdate());
}

int AD9910_disableHighResolution(AD9910 *dds) {
    if (!dds->highResolution) return 0;
    int r = AD9910_disableDrg(dds);
    dds->highResolution = 0;
    return firstError(r, krgio_ioupdate());
}

int AD9910_setDrgLimits(AD9910 *dds, uint32_t low, uint32_t high) {
    dds->drgLimitLow = low;
    dds->drgLimitHigh = high;
    return writeOr(dds, AD9910_REG_DRG_LIMIT, "writing failed for", 0);
}

int AD9910_setDrgStepSize(AD9910 *dds, uint32_t up, uint32_t down) {
    dds->drgStepUp = up;
    dds->drgStepDown = down;
    return writeOr(dds, AD9910_REG_DRG_STEP, "writing failed for", 0);
}

int AD9910_setDrgRate(AD9910 *dds, uint16_t up, uint16_t down) {
    dds->drgRateUp = up;
    dds->drgRateDown = down;
    return writeOr(dds, AD9910_REG_DRG_RATE, "writing failed for", 0);
}

int AD9910_enableDrg(AD9910 *dds) {
    dds->cfr2 |= AD9910_CFR2_DRG_ENABLE;
    return AD9910_writeCFR2(dds);
}

int AD9910_disableDrg(AD9910 *dds) {
    dds->cfr2 &=
        ~(AD9910_CFR2_DRG_ENABLE | AD9910_CFR2_DRG_NODWELL_HIGH | AD9910_CFR2_DRG_NODWELL_LOW);
    return AD9910_writeCFR2(dds);
}

int AD9910_setDrgDestinationFrequency(AD9910 *dds) {
    dds->drgDestination = 0;
    dds->cfr2 &= ~AD9910_CFR2_DRG_DEST_MASK;
    return AD9910_writeCFR2(dds);
}

int AD9910_setDrgDestinationPhase(AD9910 *dds) {
    dds->drgDestination = 1;
    dds->cfr2 = (dds->cfr2 & ~AD9910_CFR2_DRG_DEST_MASK) | (1u << AD9910_CFR2_DRG_DEST_SHIFT);
    return AD9910_writeCFR2(dds);
}

int AD9910_enableChirp(AD9910 *dds, const KrFreq *start, const KrFreq *stop, const KrFreq *step,
                       uint16_t rate) {
    const KrFreq *in = &dds->ftw.in;
    uint32_t a = (uint32_t)FTW_calcFtwFast(in, start, AD9910_FTW_BITS);
    uint32_t b = (uint32_t)FTW_calcFtwFast(in, stop, AD9910_FTW_BITS);
    uint32_t s = (uint32_t)FTW_calcFtwFast(in, step, AD9910_FTW_BITS);
    if (s == 0) s = 1;
    dds->drgLimitLow = a < b ? a : b;
    dds->drgLimitHigh = a < b ? b : a;
    dds->drgStepUp = dds->drgStepDown = s;
    dds->drgRateUp = dds->drgRateDown = rate ? rate : 1;
    dds->drgDestination = 0;
    dds->cfr2 = (dds->cfr2 & ~(AD9910_CFR2_DRG_DEST_MASK | AD9910_CFR2_DRG_NODWELL_HIGH |
                               AD9910_CFR2_DRG_NODWELL_LOW)) |
                AD9910_CFR2_DRG_ENABLE;
    return writeCfr2AndDrg(dds);
}

int AD9910_disableChirp(AD9910 *dds) {
    if (dds->cfr1 & AD9910_CFR1_AUTOCLEAR_DRG) {
        dds->cfr1 &= ~AD9910_CFR1_AUTOCLEAR_DRG;
        int r = AD9910_writeCFR1(dds);
        return firstError(r, AD9910_disableDrg(dds));
    }
    return AD9910_disableDrg(dds);
}

int AD9910_enableRamp(AD9910 *dds, uint32_t low, uint32_t high, uint32_t step, uint16_t rate,
                      int down, int alternate) {
    dds->drgLimitLow = low < high ? low : high;
    dds->drgLimitHigh = low < high ? high : low;
    dds->drgStepUp = dds->drgStepDown = step ? step : 1;
    dds->drgRateUp = dds->drgRateDown = rate ? rate : 1;
    dds->drgDestination = 0;
    uint32_t noDwell = alternate ? AD9910_CFR2_DRG_NODWELL_HIGH | AD9910_CFR2_DRG_NODWELL_LOW
                       : down    ? AD9910_CFR2_DRG_NODWELL_LOW
                                 : AD9910_CFR2_DRG_NODWELL_HIGH;
    dds->cfr2 = (dds->cfr2 & ~(AD9910_CFR2_DRG_DEST_MASK | AD9910_CFR2_DRG_NODWELL_HIGH |
                               AD9910_CFR2_DRG_NODWELL_LOW)) |
                AD9910_CFR2_DRG_ENABLE | noDwell;
    if (down)
        dds->cfr1 &= ~AD9910_CFR1_AUTOCLEAR_DRG;
    else
        dds->cfr1 |= AD9910_CFR1_AUTOCLEAR_DRG;
    int r = AD9910_writeCFR1(dds);
    return firstError(r, writeCfr2AndDrg(dds));
}

int AD9910_enableRamMode(AD9910 *dds) {
    dds->cfr1 |= AD9910_CFR1_RAM_ENABLE;
    dds->ramMode = 1;
    return AD9910_writeCFR1(dds);
}

int AD9910_disableRamMode(AD9910 *dds) {
    dds->cfr1 &= ~AD9910_CFR1_RAM_ENABLE;
    dds->ramMode = 0;
    return AD9910_writeCFR1(dds);
}

int AD9910_enableSyncClk(AD9910 *dds) {
    dds->cfr2 |= AD9910_CFR2_SYNC_CLK_ENABLE;
    return AD9910_writeCFR2(dds);
}

int AD9910_disableSyncClk(AD9910 *dds) {
    dds->cfr2 &= ~AD9910_CFR2_SYNC_CLK_ENABLE;
    return AD9910_writeCFR2(dds);
}

int AD9910_enableParallelPort(AD9910 *dds) {
    dds->cfr2 |= AD9910_CFR2_PARALLEL_PORT;
    return AD9910_writeCFR2(dds);
}

int AD9910_disableParallelPort(AD9910 *dds) {
    dds->cfr2 &= ~AD9910_CFR2_PARALLEL_PORT;
    return AD9910_writeCFR2(dds);
}

int AD9910_setPhaseOffsetU16(AD9910 *dds, uint16_t pow) {
    dds->phaseOffset = pow;
    return (dds->cfr2 & AD9910_CFR2_PARALLEL_PORT) ? AD9910_writePOW(dds)
                                                   : AD9910_writeProfile0(dds);
}
