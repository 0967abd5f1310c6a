#include "device/analog_calibration.h"

#include <cstdio>

#include "core/printd.h"
#include "device/device.h"
#include "device/device_record.h"
#include "level/calibration.h"
#include "level/csvtables.h"
#include "scpi/scpi_errorcodes.h"

namespace {

// Allocated at the channel's first initialisation and kept for the process: the memory is
// locked, so a table for every possible channel would hold pages no fitted channel uses.
Calibration *tables[DEVICE_MAX_CHANNELS];
char filename[48];

uint32_t channelOf(const Device *device) {
    return (uint32_t)(device->current - device->channels);
}

const char *analog_getCalibrationFilename(Device *device) {
    snprintf(filename, sizeof(filename), "/korvane/dev/calibration%u.csv", channelOf(device));
    return filename;
}

Calibration *analog_getCalibration(Device *device) {
    return device->current ? device->current->calibration : nullptr;
}

int analog_loadCalibrationData(Device *device, const char *name) {
    return analog_readCalibration(device, name, true);
}

}  // namespace

void analog_registerCalibrationFunctions() {
    Device_getCalibrationFilename = analog_getCalibrationFilename;
    Device_getCalibration = analog_getCalibration;
    Device_loadCalibrationData = analog_loadCalibrationData;
}

void analog_initCalibration(Device *device) {
    DeviceChannel *ch = device->current;
    Calibration *&table = tables[channelOf(device)];
    if (!table) table = new Calibration();
    ch->calibration = table;
    Calibration_init(ch->calibration);
}

int analog_readCalibration(Device *device, const char *name, bool reapply) {
    Calibration *cal = analog_getCalibration(device);
    if (!cal) return KR_E_HARDWARE_MISSING;
    const char *path = name && *name ? name : analog_getCalibrationFilename(device);
    int status = Csvtables_Csv2Cal(path, cal);
    if (status == 0) status = Calibration_validate(cal);
    if (status != 0) printd("Failed to load calibration data!\n");
    printd("loadCalibrationData(): source %u\n", channelOf(device));
    printd("    Cal: %d p x %d f\n", (int)cal->powerCount, (int)cal->frequencyCount);
    KrFreq edges[CAL_MAX_BAND_EDGES];
    int64_t hertz[CAL_MAX_BAND_EDGES];
    int32_t count = 0;
    if (status == 0 && Device_getFrequencyBands(device, edges, CAL_MAX_BAND_EDGES, &count) >= 0) {
        for (int32_t i = 0; i < count; i++)
            hertz[i] = edges[i].integer;
        Calibration_defineBands(cal, hertz, count);
    }
    if (reapply) {
        KrPow power = device->current->power;
        int r = Device_setPower(device, &power);
        if (r < 0 && status == 0) return r;
    }
    return status != 0 ? KR_E_EXECUTION_ERROR : 0;
}
