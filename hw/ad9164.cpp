// AD9164 RF DAC.
#include "hw/ad9164.h"

#include <cstring>

#include "hw/dds_instruction.h"
#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

int write(const AD9164 *d, uint16_t address, uint64_t value, uint32_t bytes) {
    return ddsInstruction_write(d->slave, address, value, bytes, 0);
}

}  // namespace

int AD9164_init(AD9164 *dac, uint32_t slave, const KrFreq *dacClock) {
    memset(dac, 0, sizeof(*dac));
    krspi_addSlave(slave, "AD9164");
    dac->slave = slave;
    FTW_init(&dac->nco, AD9164_FTW_BITS);
    FTW_presetIn(&dac->nco, dacClock);
    dac->outputDivider = dac->outputMultiplier = 1;
    return AD9164_setMode(dac, AD9164_DATAPATH_NCO);
}

uint64_t AD9164_getFtw(const AD9164 *dac, const KrFreq *f) {
    return FTW_calcFtwFast(&dac->nco.in, f, dac->nco.width);
}

int AD9164_setFrequency_unimod(AD9164 *dac, const KrFreq *f) {
    FTW_setOut(&dac->nco, f);
    return AD9164_setFtw(dac, dac->nco.ftw);
}

int AD9164_setFtw(AD9164 *dac, uint64_t word) {
    dac->nco.ftw = word;
    int r = write(dac, AD9164_REG_NCO_FTW_HIGH, word, 6);
    return r ? r : write(dac, AD9164_REG_NCO_UPDATE, 1, 1);
}

uint8_t AD9164_getMode(const AD9164 *dac) {
    return dac->mode;
}

int AD9164_setMode(AD9164 *dac, uint8_t mode) {
    dac->mode = mode;
    return write(dac, AD9164_REG_DATAPATH, mode, 1);
}

int AD9164_presetOutputPath(AD9164 *dac, uint32_t multiplier, uint32_t divider) {
    if (multiplier == 0 || divider == 0 || multiplier > 0x7FFFFFFF || divider > 0x7FFFFFFF)
        return KR_E_EXECUTION_ERROR;
    dac->outputMultiplier = multiplier;
    dac->outputDivider = divider;
    return 0;
}

int AD9164_presetOutputFrequency(AD9164 *dac, const KrFreq *out) {
    dac->output = *out;
    KrFreq nco;
    krfreqMultiplyByInt32(&nco, out, (int32_t)dac->outputDivider);
    krfreqDivideByInt32(&nco, &nco, (int32_t)dac->outputMultiplier);
    FTW_presetOut(&dac->nco, &nco);
    FTW_calcPreset(&dac->nco);
    return 0;
}

int AD9164_applyPreset(AD9164 *dac) {
    int r = write(dac, AD9164_REG_OUTPUT_DIV, dac->outputDivider, 1);
    r = r ? r : write(dac, AD9164_REG_OUTPUT_MULT, dac->outputMultiplier, 1);
    r = r ? r : write(dac, AD9164_REG_NCO_FTW_HIGH, dac->nco.ftw, 6);
    return r ? r : write(dac, AD9164_REG_NCO_UPDATE, 1, 1);
}

int AD9164_setupJesdLink(AD9164 *dac) {
    // Lanes on, link enabled.
    int r = write(dac, 0x0300, 0x00, 1);
    r = r ? r : write(dac, 0x0453, 0x87, 1);
    return r ? r : write(dac, 0x0300, 0x01, 1);
}

int AD9164_checkJesdLink(AD9164 *dac) {
    uint64_t v = 0;
    uint32_t command = (uint32_t)(AD9164_READ | AD9164_REG_JESD_STATUS) << 16;
    int r = krspi_recvWord(dac->slave, command, 3, KRSPI_OPT_NONE, &v);
    if (r) return r;
    return (v & 0xFF) == 0xFF ? 0 : KR_E_HARDWARE_ERROR;
}

int AD9164_setClockPhase(AD9164 *dac, uint8_t phase) {
    dac->clockPhase = phase;
    return write(dac, AD9164_REG_CLOCK_PHASE, phase, 1);
}

int AD9164_setFrequency_mod(AD9164 *dac, const KrFreq *out) {
    AD9164_presetOutputFrequency(dac, out);
    int r = write(dac, AD9164_REG_NCO_FTW_HIGH, dac->nco.ftw, 6);
    return r ? r : write(dac, AD9164_REG_NCO_UPDATE, 1, 1);
}

int AD9164_setPhaseWord(AD9164 *dac, uint16_t word) {
    int r = write(dac, AD9164_REG_NCO_PHASE_HIGH, word, 2);
    return r ? r : write(dac, AD9164_REG_NCO_UPDATE, 1, 1);
}
