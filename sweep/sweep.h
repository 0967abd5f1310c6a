// Sweep configuration per channel: how frequency, power and phase are varied (fixed, swept,
// from a list, chirped), and the fixed value each source shows. The fixed path and the modes
// live here: a fixed setting is stored in the sweep source record and applied at once while
// every quantity is fixed. Ranges, points and timing are in sweep_config.h. Main loop only,
// except for the fields sweep_config.h names as shared with the player task.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"

struct Device;
struct DeviceStatusRegisters;

constexpr uint32_t SWEEP_MODE_FIX = 0;
constexpr uint32_t SWEEP_MODE_SWEEP = 1;
constexpr uint32_t SWEEP_MODE_LIST = 2;
constexpr uint32_t SWEEP_MODE_CHIRP = 3;

struct Sweep {
    uint32_t frequencyMode, powerMode, phaseMode;
    uint32_t requestedFrequencyMode, requestedPowerMode, requestedPhaseMode;
    uint8_t modeChangePending;
    uint8_t cwTriggerEnabled;
    KrFreq frequencyStart, frequencyStop;
    KrFreq currentFrequency;
    KrFreq frequencyStep;
    double logFactor, logFactorInverse;
    KrFreq frequencyCenter, frequencySpan;
    KrPow powerStart, powerStop, currentPower, powerStep, powerSpan;
    KrAngle phaseStart, phaseStop, currentPhase, phaseStep, phaseSpan;
    uint32_t points;
    uint32_t count;
    KrTime dwell;
    KrTime delay;
    uint8_t delayAuto;
    KrTime pointTime;
    uint32_t spacing;    // 0 linear, 1 logarithmic
    uint32_t direction;  // 0 UP, 1 UPDOWN, 2 DOWN, 3 DOWNUP, 4 RANDOM
    DeviceStatusRegisters *statusRegisters;
    uint32_t channel;
    uint32_t blankInvalid;
    uint8_t presetSweepDisabled, presetActive, presetMeasured, triggerable, blankingEnabled;
    uint8_t blankSweepStop, cwTransientSeparation;
    uint32_t fsChannel;
    uint8_t stopRequested, running, rfMuteBetweenPoints;
    uint32_t progressTotal, progressIndex;
    void (*stoppedCallback)(void *cookie);
    void *stoppedCookie;
    // Odd while the main loop changes the point plan (Sweep_readPlan).
    uint32_t configSequence;
    // Fast channel programming (fcp_sweep.h). Main loop only.
    struct {
        uint8_t listCtrl, freqCtrl, amplCtrl, running;
        uint32_t frequencyLutCount, amplitudeLutCount;
    } fcp;
};

// The value a source shows in fixed mode.
struct SweepSource {
    KrFreq frequency;
    KrPow power;    // byte 16
    KrAngle phase;  // byte 24
};
static_assert(__builtin_offsetof(SweepSource, power) == 16);
static_assert(__builtin_offsetof(SweepSource, phase) == 24);

// Defaults of one channel's record (the channel device calls it for every channel, with
// that channel current). Checks that the device operations the sweep needs are registered:
// -113 when one is missing, but the record is set up all the same.
int Sweep_init(Device *device, uint32_t channel);
void Sweep_registerDeviceFunctions();
// Fixed frequency, power and phase of every source from the channel's current values.
int Sweep_initFixedValues(Device *device);

// Applies a frequency with source coupling.
int setCurrentFrequency(Device *device, const KrFreq *f);
// Pending mode changes of every source.
int sweep_execute(Device *device);

int Sweep_inModeSweep(const Sweep *s);
int Sweep_inModeList(const Sweep *s);
int Sweep_inModeChirp(const Sweep *s);
int Sweep_inModeFixed(const Sweep *s);
int Sweep_isActive(const Sweep *s);
