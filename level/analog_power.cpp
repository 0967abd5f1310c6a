// Levelling steps: the board presets its power stages in the decrease step and applies the
// rest after the I/O update.
#include "level/analog_power.h"

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device_board.h"

int analog_setPowerDecrease(Device *device) {
    DeviceChannel *ch = device->current;
    if (!BOARD_ORBXXXG_OUT_ISREG(setPowerSync)) return 0;
    int r = BOARD_ORBXXXG_OUT_setPowerSync(ch->boardPtr, &ch->power);
    if (r < 0) printd("setPowerDecrease(): board error %d\n", r);
    return r;
}

int analog_setPowerIncrease(Device *device) {
    DeviceChannel *ch = device->current;
    if (!BOARD_ORBXXXG_OUT_ISREG(setPowerAsync)) return 0;
    int r = BOARD_ORBXXXG_OUT_setPowerAsync(ch->boardPtr, &ch->power);
    if (r < 0) printd("setPowerIncrease(): board error %d\n", r);
    return r;
}

int analog_isLowPowerModeCase(Device *device, const KrPow *p) {
    int c = (int)(device->current - device->channels);
    return *p < -20.5f && device_config_isOrbx40G(c) &&
           device_config_uses_ORBX40G_OUT_NOPE_1AorNewer(c) &&
           device_config_uses_ORBX40G_OUT_NOPE_1CorOlder(c) && !device_config_usesSspeAtOut(c) &&
           !device_config_usesSspeOnOutBoard(c) && BOARD_ORBXXXG_OUT_ISREG(isAlcEnabled) &&
           BOARD_ORBXXXG_OUT_isAlcEnabled(device->current->boardPtr) == 1;
}

// The board reaches the low powers with its own stages; the mode only records that it is in.
int analog_enterLowPowerMode(Device *device, const KrPow *p) {
    DeviceChannel *ch = device->current;
    ch->lowPowerMode = 1;
    ch->power = *p;
    analog_setPowerDecrease(device);
    if (BOARD_ORBXXXG_OUT_ISREG(SRI_applyPreset)) BOARD_ORBXXXG_OUT_SRI_applyPreset(ch->boardPtr);
    analog_setPowerIncrease(device);
    return 0;
}

int analog_leaveLowPowerMode(Device *device) {
    device->current->lowPowerMode = 0;
    return 0;
}
