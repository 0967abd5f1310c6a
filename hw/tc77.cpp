// TC77 temperature sensor.
#include "hw/tc77.h"

#include "hw/krspi.h"
#include "scpi/scpi_errorcodes.h"

namespace {

int finish(TC77 *sensor, int r, uint64_t word, double *celsius) {
    if (r != 0) return r;
    double c = TC77_toCelsius((uint16_t)word);
    if (c <= TC77_NOT_CONVERTED) return KR_E_HARDWARE_ERROR;
    sensor->celsius = c;
    if (celsius) *celsius = c;
    return 0;
}

}  // namespace

int TC77_init(TC77 *sensor, uint32_t slave) {
    krspi_addSlave(slave, "TC77");
    sensor->slave = slave;
    sensor->celsius = 0;
    return 0;
}

double TC77_toCelsius(uint16_t word) {
    if (!(word & TC77_CONVERSION_DONE)) return TC77_NOT_CONVERTED;
    int16_t steps = (int16_t)word >> TC77_TEMPERATURE_SHIFT;  // arithmetic: keeps the sign
    return steps * TC77_CELSIUS_PER_STEP;
}

int TC77_readTemperature(TC77 *sensor, double *celsius) {
    uint64_t w = 0;
    int r = krspi_recvWord(sensor->slave, 0, 2, KRSPI_OPT_NONE, &w);
    return finish(sensor, r, w, celsius);
}

int TC77_readTemperature_async(TC77 *sensor, double *celsius) {
    uint8_t b[2] = {};
    int r = krspiRecv_async(sensor->slave, 0, 2, KRSPI_OPT_NONE, b);
    return finish(sensor, r, (uint64_t)(b[0] | b[1] << 8), celsius);
}

// The mode is written in the same frame after a reading.
int TC77_setShutdown(TC77 *sensor, int shutdown) {
    krspiSelectChip(sensor->slave);
    uint64_t w;
    int r = krspi_recvWord(sensor->slave, 0, 2, KRSPI_OPT_NONE, &w);
    int s = krspi_sendWord(sensor->slave, KRSPI_OPT_NONE,
                           shutdown ? TC77_MODE_SHUTDOWN : TC77_MODE_CONTINUOUS, 2);
    krspiDeselectChip();
    return r ? r : s;
}
