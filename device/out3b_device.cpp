// The digital-board variant: the channel device of the 3B generation, with the ALC
// controller modes and the phase reset of its boards.
#include "config/device_config.h"
#include "core/printd.h"
#include "device/analog_device.h"
#include "device/device.h"
#include "device/device_board.h"
#include "scpi/scpi_errorcodes.h"
#include "selftest/selftest.h"

namespace {

DeviceChannel *channel(Device *device) {
    return device->current;
}

int reapplyFrequency(Device *device) {
    if (device->suppressReapply) return 0;
    KrFreq f = channel(device)->frequency;
    return Device_setFrequency(device, &f);
}

int disableDalcIfPresent(Device *device) {
    if (!BOARD_ORBXXXG_OUT_ISREG(disableDalc)) return 0;
    return BOARD_ORBXXXG_OUT_disableDalc(channel(device)->boardPtr);
}

int out3b_setAlcControllerAnalog(Device *device) {
    int r = disableDalcIfPresent(device);
    channel(device)->alcControllerMode = 0;
    return r;
}

int out3b_setAlcControllerFirmware(Device *device) {
    int r = disableDalcIfPresent(device);
    channel(device)->alcControllerMode = 1;
    return r;
}

int out3b_setAlcControllerFpga(Device *device) {
    DeviceChannel *ch = channel(device);
    int result = KR_E_UNDEFINED_HEADER;
    if (BOARD_ORBXXXG_OUT_ISREG(enableDalc) && ch->dalcAvailable) {
        result = BOARD_ORBXXXG_OUT_enableDalc(ch->boardPtr);
        if (result == 0 && !device->suppressReapply) result = reapplyFrequency(device);
    } else if (BOARD_ORBXXXG_OUT_ISREG(disableDalc) && !ch->dalcAvailable) {
        result = BOARD_ORBXXXG_OUT_disableDalc(ch->boardPtr);
        if (result == 0 && !device->suppressReapply) result = reapplyFrequency(device);
        if (result == 0 && BOARD_ORBXXXG_OUT_ISREG(setAlcDacToMax_sync))
            result = BOARD_ORBXXXG_OUT_setAlcDacToMax_sync(ch->boardPtr);
    }
    ch->alcControllerMode = 2;
    return result;
}

int out3b_isAlcControllerAnalog(Device *device) {
    return channel(device)->alcControllerMode == 0;
}
int out3b_isAlcControllerFirmware(Device *device) {
    return channel(device)->alcControllerMode == 1;
}
int out3b_isAlcControllerFpga(Device *device) {
    return channel(device)->alcControllerMode == 2;
}

int out3b_phaseResetSlot(Device *device) {
    return out3b_phaseReset(device, 0);
}

void out3b_registerDeviceFunctions() {
    Device_setAlcControllerInternal = out3b_setAlcControllerAnalog;
    Device_isAlcControllerInternal = out3b_isAlcControllerAnalog;
    Device_setAlcControllerFpga = out3b_setAlcControllerFpga;
    Device_isAlcControllerFpga = out3b_isAlcControllerFpga;
    Device_phaseReset = out3b_phaseResetSlot;
    Device_periodic = out3b_periodic;
    (void)out3b_setAlcControllerFirmware;
    (void)out3b_isAlcControllerFirmware;
}

}  // namespace

int out3b_phaseReset(Device *device, int32_t mode) {
    printd("phaseReset(): ORBXxxG phase reset\n");
    if (mode == 0)
        return BOARD_ORBXXXG_OUT_ISREG(phaseReset)
                   ? BOARD_ORBXXXG_OUT_phaseReset(channel(device)->boardPtr)
                   : KR_E_UNDEFINED_HEADER;
    int c = (int)(device->current - device->channels);
    if (mode <= 100) {
        // The distributor's analog delay steps are 25 ps.
        KrTime delay = (double)(mode - 1) * 25e-12;
        return BOARD_ORBXXXG_REF_setSysrefChannelAnalogDelay(device->ref, c, &delay);
    }
    return BOARD_ORBXXXG_REF_ISREG(initialize_phs)
               ? BOARD_ORBXXXG_REF_initialize_phs(device->ref, (uint32_t)(mode - 101))
               : KR_E_UNDEFINED_HEADER;
}

// The digital boards level in the firmware: the test judges the loop's deviation from its set
// point, and the controller value is the DAC the loop drives.
void out3b_setSelftestParam(Device *device) {
    analog_setSelftestParam(device);
    SelftestParam *p = selftest_getParam(device);
    p->digitalAlc = 1;
    p->useDacValue = 1;
    p->checkController = 0;
}

int out3b_periodic(Device *device, uint32_t ticks) {
    return analog_periodic(device, ticks);
}

Device *out3b_device_create() {
    return analog_device_create();
}

int out3b_device_init(Device *device) {
    analog_device_selectGeneration3B(1);
    int r = analog_device_init(device);
    analog_device_selectGeneration3B(0);
    for (uint32_t c = 0; c < device->channelCount; c++)
        device->channels[c].dalcAvailable = BOARD_ORBXXXG_OUT_ISREG(enableDalc) ? 1 : 0;
    out3b_registerDeviceFunctions();
    out3b_setSelftestParam(device);
    return r;
}

int out3b_device_ioupdate() {
    return analog_device_ioupdate();
}

int out3b_device_ioupdateTrigger(int flag) {
    return analog_device_ioupdateTrigger(flag);
}
