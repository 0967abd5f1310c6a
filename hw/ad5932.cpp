// AD5932 frequency-scan generator.
#include "hw/ad5932.h"

#include <cstring>

#include "hw/krspi.h"

namespace {

int write(const AD5932 *g, uint32_t address, uint32_t data) {
    return krspi_sendWord(g->slave, g->options,
                          address << AD5932_ADDRESS_SHIFT | (data & AD5932_DATA_MASK), 2);
}

int setControl(AD5932 *g, uint32_t clear, uint32_t set) {
    g->control = (g->control & ~clear) | set | AD5932_CTRL_RESERVED;
    return write(g, AD5932_ADDR_CONTROL, g->control);
}

// A 24-bit word in two 12-bit halves.
int writeWord(const AD5932 *g, uint32_t lowAddress, uint32_t highAddress, uint64_t word) {
    int r = write(g, lowAddress, (uint32_t)word & AD5932_DATA_MASK);
    return r ? r : write(g, highAddress, (uint32_t)(word >> 12) & AD5932_DATA_MASK);
}

int init(AD5932 *gen, uint32_t slave, uint32_t options) {
    memset(gen, 0, sizeof(*gen));
    krspi_addSlave(slave, "AD5932");
    gen->slave = slave;
    gen->options = options;
    KrFreq mclk = {(int64_t)AD5932_MCLK_HZ, 0};
    FTW_init(&gen->start, AD5932_FTW_BITS);
    FTW_init(&gen->delta, AD5932_FTW_BITS);
    FTW_presetIn(&gen->start, &mclk);
    FTW_presetIn(&gen->delta, &mclk);
    return setControl(gen, 0xFFF, AD5932_CTRL_B24 | AD5932_CTRL_SINE);
}

}  // namespace

int AD5932_init(AD5932 *gen, uint32_t slave) {
    return init(gen, slave, KRSPI_OPT_NONE);
}

int AD5932_init_invertedClock(AD5932 *gen, uint32_t slave) {
    return init(gen, slave, KRSPI_OPT_CPOL);
}

int AD5932_setStartFrequency(AD5932 *gen, const KrFreq *f) {
    FTW_setOut(&gen->start, f);
    return writeWord(gen, AD5932_ADDR_FSTART_LOW, AD5932_ADDR_FSTART_HIGH, gen->start.ftw);
}

int AD5932_setDeltaFrequency(AD5932 *gen, const KrFreq *f) {
    FTW_setOut(&gen->delta, f);
    return writeWord(gen, AD5932_ADDR_DELTA_LOW, AD5932_ADDR_DELTA_HIGH, gen->delta.ftw);
}

int AD5932_setSineOutput(AD5932 *gen) {
    return setControl(gen, 0, AD5932_CTRL_SINE);
}

int AD5932_setTriangleOutput(AD5932 *gen) {
    return setControl(gen, AD5932_CTRL_SINE, 0);
}

int AD5932_enableMsbOutput(AD5932 *gen) {
    return setControl(gen, 0, AD5932_CTRL_MSBOUT);
}

int AD5932_disableMsbOutput(AD5932 *gen) {
    return setControl(gen, AD5932_CTRL_MSBOUT, 0);
}

int AD5932_enableDivideBy2(AD5932 *gen) {
    return setControl(gen, 0, AD5932_CTRL_MSB_DIV2);
}

int AD5932_disableDivideBy2(AD5932 *gen) {
    return setControl(gen, AD5932_CTRL_MSB_DIV2, 0);
}

int AD5932_powerUp(AD5932 *gen) {
    return setControl(gen, 0, AD5932_CTRL_DAC_ENABLE);
}

int AD5932_powerDown(AD5932 *gen) {
    return setControl(gen, AD5932_CTRL_DAC_ENABLE, 0);
}
