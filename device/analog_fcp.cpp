// The channel device's part in fast channel programming (FS variant): one point's chips
// programmed into the FS FPGA's current block, and the band edges the blocks must cover.
// Main loop, with the channel current.
#include <algorithm>

#include "core/printd.h"
#include "device/analog_device.h"
#include "device/device.h"
#include "hw/fs_fpga_if.h"
#include "level/analog_power.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// The level control's coarse ranges: the attenuators move in these spans, the ALC within.
constexpr float POWER_BAND_DB = 10.0f;

// A point goes through the same change sequence as a setting, inside the buffered stream that
// block mode records; the stored settings stay the user's (stop puts them back on the output).
int setFrequencyPower_fcp(Device *device, const KrFreq *f, const KrPow *p, int32_t) {
    DeviceChannel *ch = device->current;
    KrFreq frequency = ch->frequency;
    KrPow power = ch->power;
    int r = 0;
    if (p) ch->power = *p;  // a frequency change applies the stored power
    if (f)
        r = analog_setFrequency(device, f);
    else if (p)
        r = analog_setPower(device, p);
    ch->frequency = frequency;
    ch->power = power;
    return r;
}

int setFrequency_fcp(Device *device, const KrFreq *f) {
    return setFrequencyPower_fcp(device, f, nullptr, 0);
}

// The frequency plan's band and path edges within the channel's range, ascending, the range's
// lower end first.
int getFcpFrequencyBands(Device *device, char *buffer, int32_t capacity) {
    KrFreq *bands = (KrFreq *)buffer;
    if (!bands || capacity < 1) return KR_E_EXECUTION_ERROR;
    const DeviceChannel *ch = device->current;
    int32_t n = 0;
    int r = analog_getFrequencyBands(device, bands + 1, capacity - 1, &n);
    if (r < 0) n = 0;
    bands[0] = ch->frequencyMin;
    int32_t m = 1;
    for (int32_t i = 1; i <= n; i++)
        if (krfreqCompare(&bands[i], &ch->frequencyMin) > 0 &&
            krfreqCompare(&bands[i], &ch->frequencyMax) <= 0)
            bands[m++] = bands[i];
    return m;
}

// From the minimum power upwards in steps of POWER_BAND_DB, with the low-power mode's
// threshold as an edge of its own where the mode exists.
int getFcpPowerBands(Device *device, char *buffer, int32_t capacity) {
    KrPow *bands = (KrPow *)buffer;
    if (!bands || capacity < 1) return KR_E_EXECUTION_ERROR;
    const DeviceChannel *ch = device->current;
    int32_t n = 0;
    for (KrPow p = ch->powerMin; p <= ch->powerMax && n < capacity; p += POWER_BAND_DB)
        bands[n++] = p;
    KrPow lpe = ANALOG_LPE_THRESHOLD_DBM, below = lpe - 0.5f;
    if (n < capacity && lpe > ch->powerMin && lpe < ch->powerMax &&
        analog_isLowPowerModeCase(device, &below) == 1) {
        bands[n++] = lpe;
        std::sort(bands, bands + n);
    }
    return n;
}

int setFcpOutput(Device *, int32_t value) {
    return FS_FPGA_IF_IMM_setFcpTestOutput((uint32_t)value);
}

}  // namespace

void analog_registerFcpFunctions() {
    Device_setFrequencyPower_fcp = setFrequencyPower_fcp;
    Device_setFrequency_fcp = setFrequency_fcp;
    Device_getFcpFrequencyBands = getFcpFrequencyBands;
    Device_getFcpPowerBands = getFcpPowerBands;
    Device_setFcp8BitOutput = setFcpOutput;
    Device_setFcp16BitOutput = setFcpOutput;
}
