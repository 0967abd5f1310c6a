// The function-output connector and the control board's LF generator as device operations:
// the source (pulse-modulation video, LF generator, trigger, fixed low or high, user DAC),
// on and off, and the generator's frequency, shape and amplitude. The trigger-output line
// follows the source; the routing itself is the control board's (KRCONT). Main loop.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "hw/ad5432.h"
#include "hw/ad5640.h"
#include "hw/ad5932.h"
#include "hw/ad7680.h"

struct Device;

constexpr uint32_t FUNCOUT_SOURCE_PULM = 0;
constexpr uint32_t FUNCOUT_SOURCE_LFG = 1;
constexpr uint32_t FUNCOUT_SOURCE_TRIGGER = 2;
constexpr uint32_t FUNCOUT_SOURCE_LOW = 3;
constexpr uint32_t FUNCOUT_SOURCE_HIGH = 4;
constexpr uint32_t FUNCOUT_SOURCE_DAC = 5;

constexpr uint32_t LFG_SHAPE_SINE = 0;
constexpr uint32_t LFG_SHAPE_TRIANGLE = 1;
constexpr uint32_t LFG_SHAPE_SQUARE = 2;

constexpr int64_t DEFAULT_LFG_FREQUENCY = 400;  // Hz
constexpr float DEFAULT_LFG_AMPLITUDE = 1.0f;   // V
constexpr int64_t LFG_FREQUENCY_MIN_HZ = 10;
constexpr int64_t LFG_FREQUENCY_MAX_HZ = 5000000;
// The amplitude DAC's full scale, and what the output stage takes at most.
constexpr float LFG_DAC_FULL_SCALE_V = 2.25f;
constexpr float LFG_VOLTAGE_MAX_V = 1.8f;
// A square wave comes from the generator's logic output at its fixed level.
constexpr float LFG_SQUARE_VOLTAGE_V = 2.5f;
// The user DAC (AD5640) takes 14-bit words.
constexpr uint32_t FUNCOUT_DAC_MAX = 16383;

struct Funcout {
    uint32_t enabled;
    uint32_t source;  // FUNCOUT_SOURCE_*
    KrFreq lfgFrequencyMin;
    KrFreq lfgFrequencyMax;
    uint8_t pulseAtIoupdate;  // the trigger output pulses at every I/O update
};

// Instruments without the control board's generator keep only the selection.
struct FuncoutSystem {
    Funcout funcout;
};

// The control board's part: the selection, the LF generator and the user converters.
struct FuncoutBoard {
    Funcout funcout;
    KrFreq lfgFrequency;
    float lfgVoltage;   // volts, at most LFG_VOLTAGE_MAX_V
    uint32_t lfgShape;  // LFG_SHAPE_*
    uint8_t lfgEnabled;
    AD5932 lfg;
    AD5432 lfgAmplitude;
    AD5640 userDac;
    AD7680 userAdc;
};

// Frequency limits of the generator.
void Funcout_setDefaults(Funcout *f);
// From device init, once: the defaults (output off; with the board: the generator at 400 Hz,
// 1 V, sine, as source; without: the trigger), then the operations. -241 without any record.
int Funcout_init(Device *device);
void Funcout_registerDeviceFunctions();
