// Pulse modulation of the control board: the internal pulse generator, the external gate and
// the bit pattern, per channel. The FS variant's FPGA makes the pulses from 200 MHz counts;
// the standard variant has its own real-time driver (/dev/krssc_pulm) on a 66.048 MHz clock
// and switches the routing with the board's shift register. Main loop only.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"

struct Device;

constexpr uint32_t PULM_SOURCE_INTERNAL = 0;
constexpr uint32_t PULM_SOURCE_EXTERNAL = 1;
constexpr uint32_t PULM_SOURCE_BITSTREAM = 2;
constexpr int PULM_PATTERN_BYTES = 512;
constexpr int PULM_TRAIN_PULSES = 3;  // pulses 2, 3 and 4 of a train

struct PulseMod {
    uint32_t source;
    uint32_t enabled;
    uint32_t polarity;  // 0 normal, 1 inverted
    KrFreq frequency;   // kept equal to 1 / period
    KrTime period;
    KrTime width;
    KrTime widthCorrection;
    uint8_t multiPulseActive;
    uint8_t pulseEnabled[PULM_TRAIN_PULSES];
    KrTime pulseDelay[PULM_TRAIN_PULSES];  // from the start of pulse 1
    KrTime pulseWidth[PULM_TRAIN_PULSES];
    KrTime minPulseDelay, minPulseWidth;
    uint8_t loaded;
    uint8_t paused;
    uint32_t ones, zeroes, divider;  // standard variant: the last applied configuration
    uint8_t bitstream[PULM_PATTERN_BYTES];
    uint32_t bitstreamTotalBits;
    uint32_t bitstreamStartBit;
    uint32_t bitstreamBits;
    uint32_t bitstreamTicks;
    uint32_t bitstreamDivider;
    int32_t pauseCount;
    uint32_t msbFirst;
    uint32_t flag;
    uint32_t count;
    uint8_t continuousImmediate;
    uint8_t multiPauseCount;
    uint8_t multiPausedActive;
    uint8_t trainAdjusted;  // status bits of the last train start (period, spacing, width)
    Device *owner;
    int32_t channel;
    uint32_t videoOutputSource;
    uint32_t videoPolarity;
};

// Start-up for the device's current channel: attaches the record, loads the modulator,
// applies the defaults and registers the operations. -241 when the modulator cannot load.
int pulsemod_init(Device *device);
int KrcontPulsemod_init(PulseMod *pm);
void KrcontPulsemod_free();
void KrcontPulsemod_registerDeviceFunctions();

// The record of the device's current channel, or null.
PulseMod *KRCONT_getPulseMod(Device *device);

// Applies width, period and the train (both variants) to the hardware.
int KRCONT_computeApplyConfiguration_pulm(PulseMod *pm);
int KRCONT_setPulmState(PulseMod *pm, int on);
int KRCONT_setPulmPolarity(PulseMod *pm, uint32_t polarity);
double KRCONT_getPulmFreqbase();
double KRCONT_getPulmTimebase();

// Bit pattern: hex text, high nibble first; -223 over 512 characters, -224 at a non-hex digit
// (the digits before it stay).
int KRCONT_setPulmBitstream(PulseMod *pm, const char *text);
int KRCONT_getPulmBitstream(const PulseMod *pm, char *buffer, int size);

// -221 when pulse modulation is on: AM and PM cannot run with it.
int krcont_pulsemod_checkConflict(Device *device);
