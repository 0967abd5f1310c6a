// The channel device's chirp: the record of each channel and the ramp on the channel's board.
// The ramp follows the record it is given: a channel's own record ramps that channel (the
// sweep task arms it without looking at the current source), any other record the current
// channel.
//
// Context: main loop, and the sweep task while a chirp plays (it holds the SPI lock).
#include <cstdint>

#include "device/analog_device.h"
#include "device/device.h"
#include "device/device_board.h"
#include "scpi/scpi_errorcodes.h"
#include "sweep/chirp.h"

namespace {

DeviceChannel *owner(Device *device, const Chirp *c) {
    for (uint32_t i = 0; i < device->channelCount; i++)
        if (&device->channels[i].chirp == c) return &device->channels[i];
    return device->current;
}

Chirp *getChirpPtr(Device *device) {
    return &device->current->chirp;
}

Chirp *getChirpSourcePtr(Device *device, int32_t source) {
    if (source < 0 || (uint32_t)source >= device->channelCount) return nullptr;
    return &device->channels[source].chirp;
}

// MANUAL: the record's points are the ramp's steps; AUTO: the board chooses them.
int enableChirp(Device *device, Chirp *c) {
    if (!c) return KR_E_UNDEFINED_HEADER;
    if (!BOARD_ORBXXXG_OUT_ISREG(enableChirp)) return KR_E_UNDEFINED_HEADER;
    uint32_t steps = c->mode == CHIRP_MODE_MANUAL ? c->points : 0;
    return BOARD_ORBXXXG_OUT_enableChirp(owner(device, c)->boardPtr, &c->frequencyStart,
                                         &c->frequencyStop, &c->realisedTime, steps, c->down,
                                         c->alternate);
}

int disableChirp(Device *device, Chirp *c) {
    if (!BOARD_ORBXXXG_OUT_ISREG(disableChirp)) return KR_E_UNDEFINED_HEADER;
    return BOARD_ORBXXXG_OUT_disableChirp(owner(device, c)->boardPtr);
}

const KrTime *getChirpTimebaseClosest(Device *device, const KrFreq *center, const KrTime *d) {
    globalKrTime = *d;
    if (BOARD_ORBXXXG_OUT_ISREG(getChirpTimebaseClosest) &&
        BOARD_ORBXXXG_OUT_getChirpTimebaseClosest(device->current->boardPtr, center, d,
                                                  &globalKrTime) < 0)
        globalKrTime = *d;
    return &globalKrTime;
}

}  // namespace

void analog_registerChirpFunctions() {
    Device_getChirpPtr = getChirpPtr;
    Device_getChirpSourcePtr = getChirpSourcePtr;
    Device_enableChirp = enableChirp;
    Device_disableChirp = disableChirp;
    Device_getChirpTimebaseClosest = getChirpTimebaseClosest;
}
