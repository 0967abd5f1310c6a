// AD9912 DDS.
#include "hw/ad9912.h"

#include <cstring>

#include "hw/dds_instruction.h"
#include "hw/krspi.h"

namespace {

int write(const AD9912 *d, uint16_t address, uint64_t value, uint32_t bytes) {
    uint16_t count = (uint16_t)((bytes >= 4 ? 3 : bytes - 1) << AD9912_COUNT_SHIFT);
    return ddsInstruction_write(d->slave, address, value, bytes, count);
}

int update(const AD9912 *d) {
    return write(d, AD9912_REG_IOUPDATE, 1, 1);
}

int setPower(AD9912 *d, uint8_t clear, uint8_t set) {
    d->power = (uint8_t)((d->power & ~clear) | set);
    return write(d, AD9912_REG_POWER, d->power, 1);
}

}  // namespace

int AD9912_init(AD9912 *dds, uint32_t slave, const KrFreq *sysclk) {
    memset(dds, 0, sizeof(*dds));
    krspi_addSlave(slave, "AD9912");
    dds->slave = slave;
    FTW_init(&dds->ftw, AD9912_FTW_BITS);
    FTW_presetIn(&dds->ftw, sysclk);
    return setPower(dds, 0xFF, 0);
}

int AD9912_setFrequency(AD9912 *dds, const KrFreq *out) {
    FTW_setOut(&dds->ftw, out);
    return AD9912_setFtw(dds, dds->ftw.ftw);
}

int AD9912_setFtw(AD9912 *dds, uint64_t word) {
    dds->ftw.ftw = word;
    int r = write(dds, AD9912_REG_FTW_HIGH, word, 6);
    return r ? r : update(dds);
}

int AD9912_setFtwFast16(AD9912 *dds, uint16_t upper) {
    dds->ftw.ftw = (dds->ftw.ftw & 0xFFFFFFFFull) | (uint64_t)upper << 32;
    int r = write(dds, AD9912_REG_FTW_HIGH, upper, 2);
    return r ? r : update(dds);
}

int AD9912_setPhase(AD9912 *dds, uint16_t phase14) {
    dds->phase = phase14 & 0x3FFF;
    int r = write(dds, AD9912_REG_PHASE_HIGH, dds->phase, 2);
    return r ? r : update(dds);
}

int AD9912_setFullScaleCurrent(AD9912 *dds, uint16_t current10) {
    dds->fullScaleCurrent = current10 & AD9912_DAC_CURRENT_MAX;
    return write(dds, AD9912_REG_DAC_CURRENT, dds->fullScaleCurrent, 2);
}

int AD9912_enableSysclkPll(AD9912 *dds, uint8_t nDivider) {
    int r = write(dds, AD9912_REG_N_DIVIDER, nDivider, 1);
    return r ? r : setPower(dds, 0, AD9912_POWER_PLL);
}

int AD9912_disableSysclkPll(AD9912 *dds) {
    return setPower(dds, AD9912_POWER_PLL, 0);
}

int AD9912_enableCmosDriver(AD9912 *dds) {
    return setPower(dds, 0, AD9912_POWER_CMOS);
}

int AD9912_disableCmosDriver(AD9912 *dds) {
    return setPower(dds, AD9912_POWER_CMOS, 0);
}

int AD9912_powerDown(AD9912 *dds) {
    return setPower(dds, 0, AD9912_POWER_DOWN);
}

int AD9912_powerUp(AD9912 *dds) {
    return setPower(dds, AD9912_POWER_DOWN, 0);
}
