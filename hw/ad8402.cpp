// AD8402 dual digital potentiometer.
#include "hw/ad8402.h"

#include <cmath>
#include <cstring>

#include "core/printd.h"
#include "hw/krspi.h"

namespace {

int setWiper(AD8402 *pot, int n, uint8_t value) {
    int r = krspi_sendWord(pot->slave, KRSPI_OPT_NONE,
                           ((uint32_t)n << AD8402_ADDRESS_SHIFT) | value, 2);
    if (r != 0)
        printd("AD8402 writing wiper %d failed for slave %u\n", n + 1,
               (unsigned)(pot->slave & 0xFF));
    else
        pot->wiper[n] = value;
    return r;
}

uint8_t valueFor(const AD8402 *pot, double ohms) {
    double v = std::round((ohms - pot->rw) * 256.0 / pot->rab);
    return (uint8_t)(v < 0 ? 0 : v > AD8402_VALUE_MAX ? AD8402_VALUE_MAX : v);
}

double resistance(const AD8402 *pot, int n) {
    return pot->wiper[n] / 256.0 * pot->rab + pot->rw;
}

}  // namespace

int AD8402_init(AD8402 *pot, uint32_t slave, double rab) {
    memset(pot, 0, sizeof(*pot));
    krspi_addSlave(slave, "AD8402");
    pot->slave = slave;
    pot->rab = rab > 0 ? rab : AD8402_R_AB_OHM;
    pot->rw = AD8402_R_W_OHM;
    int r = setWiper(pot, 0, 128);
    int s = setWiper(pot, 1, 128);
    return r ? r : s;
}

int AD8402_setWiper1(AD8402 *pot, uint8_t value) {
    return setWiper(pot, 0, value);
}

int AD8402_setWiper2(AD8402 *pot, uint8_t value) {
    return setWiper(pot, 1, value);
}

uint8_t AD8402_getWiper1(const AD8402 *pot) {
    return pot->wiper[0];
}

uint8_t AD8402_getWiper2(const AD8402 *pot) {
    return pot->wiper[1];
}

int AD8402_setResistanceWB1(AD8402 *pot, double ohms) {
    return setWiper(pot, 0, valueFor(pot, ohms));
}

int AD8402_setResistanceWB2(AD8402 *pot, double ohms) {
    return setWiper(pot, 1, valueFor(pot, ohms));
}

double AD8402_getResistanceWB1(const AD8402 *pot) {
    return resistance(pot, 0);
}

double AD8402_getResistanceWB2(const AD8402 *pot) {
    return resistance(pot, 1);
}
