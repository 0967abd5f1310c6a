// TC77 temperature sensor: blocking and asynchronous readings in degrees Celsius, and its
// shutdown mode. Main loop, supervision thread (asynchronous path).
#pragma once

#include <cstdint>

#include "hw/tc77_registers.h"

struct TC77 {
    uint32_t slave;
    double celsius;  // last reading
};

int TC77_init(TC77 *sensor, uint32_t slave);
int TC77_readTemperature(TC77 *sensor, double *celsius);
int TC77_readTemperature_async(TC77 *sensor, double *celsius);
// The reading of a conversion that had not finished: below anything the sensor measures.
constexpr double TC77_NOT_CONVERTED = -300;
// A conversion word as degrees Celsius; TC77_NOT_CONVERTED when the conversion had not
// finished.
double TC77_toCelsius(uint16_t word);
int TC77_setShutdown(TC77 *sensor, int shutdown);
