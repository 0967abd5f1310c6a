// FM, PM, FSK and AM of the channels whose last synthesizer stage is the AD9164 RF DAC (FS
// controller). Internal FM and PM are a table of NCO words (or phases) that the FS FPGA plays
// in a loop; external FM, PM and FSK are the FPGA's own scaling of its modulation ADC into
// the NCO; internal AM is a table of ALC set points for the AM DAC. Main loop only.
#pragma once

#include <cstdint>

#include "device/krfreq.h"

struct Device;

constexpr uint32_t FS_DAC_MOD_AM_INTERNAL = 1, FS_DAC_MOD_AM_EXTERNAL = 0;
constexpr uint32_t FS_DAC_MOD_SOURCE_INTERNAL = 0, FS_DAC_MOD_SOURCE_EXTERNAL = 1;  // FM, PM
constexpr uint32_t FS_DAC_MOD_COUPLING_AC = 0, FS_DAC_MOD_COUPLING_DC = 1;

// Table lengths: at least this many samples, and fewer than the limit (else the sample
// period grows).
constexpr uint32_t FS_DAC_MOD_MIN_SAMPLES = 2000;
constexpr uint32_t FS_DAC_MOD_MAX_SAMPLES = 8001;
// The largest NCO phase step between two samples the output follows cleanly.
constexpr double FS_DAC_MOD_PHASE_STEP_LIMIT = 0.5235987755982988;

struct FsDacMod {
    uint32_t amSource;
    uint8_t amEnabled;
    uint8_t amPeBlanking;
    int32_t amPauseCount;
    double amDepth;
    double amSensitivity;
    KrFreq amInternalFrequency;
    uint8_t digitalAlcAm;
    float amDepthSlope, amPrewarpSlope;
    uint32_t fmSource;
    uint8_t fmEnabled;
    int32_t fmPauseCount;
    double fmDeviation;
    double fmSensitivity;
    double fmInternalFrequency;
    uint32_t fmCoupling;
    double fmCenter;
    uint32_t pmSource;
    uint8_t pmEnabled;
    int32_t pmPauseCount;
    double pmDeviation;
    double pmSensitivity;
    double pmInternalFrequency;
    uint8_t fskEnabled;
    int32_t fskPauseCount;
    double fskDeviation;
    uint8_t flag;
    uint8_t phaseTable;  // internal FM and PM write NCO phases instead of frequencies
    uint32_t savedDacMode;
    uint8_t savedDacModeValid;
};

// Start-up of the device's current channel: checks the slots, writes the defaults.
int fs_dac_mod_init(Device *device, int32_t source);
void fs_dac_mod_setDefaults(FsDacMod *m);
void fs_dac_mod_registerFunctions_optionMod(Device *device, int32_t source);
void fs_dac_mod_registerFunctions_optionFsk(Device *device, int32_t source);
// The channel's record (Device_getFsDacMod), or null when the channel has none.
FsDacMod *fs_dac_mod_record(int32_t source);

// Other parts suspend every running modulation around their own hardware sequences; pauses
// nest. -241 without the modulation record slot.
int fs_dac_mod_pause(Device *device, int32_t source);
int fs_dac_mod_resume(Device *device, int32_t source);
// -221 when AM, FM, PM or FSK runs, or the frequency or power mode is not fixed (what is
// asked for does not matter: only one may run at a time).
int fs_dac_mod_checkConflict(Device *device, int32_t source, int predicate);
// 1 when any of AM, FM, PM, FSK runs on the channel (it holds the FPGA's engine).
int fs_dac_mod_isRunning(int32_t source);
int togglePowFtw(Device *device, int32_t source);

// Table length for a rate at a sample rate: the table spans 1, 2, 4 ... modulation periods
// so that it holds at least minSamples.
int fs_dac_mod_findClosestFm(double sampleRate, double rate, uint32_t minSamples, double *duration,
                             double *actualRate, uint32_t *n);
// The ADC scaling: gain 0-3 (x 65536, 256, 1, 1/256) and the 26-bit factor. -222 when x is
// too large for the field (the factor saturates).
int fs_dac_mod_calculateFactorGainReg(double x, uint32_t *gain, uint32_t *factor);
// The channel's 64-bit modulation register.
uint64_t fs_dac_mod_modulationRegister(uint32_t gain, uint32_t factor, int pm, uint32_t offset);
// Register 6's ADC field values (mode, polarity, limits) as one word for the masked bits.
uint32_t fs_dac_mod_adcLimitsField(uint32_t upper, uint32_t lower);
