// Sweep configuration: start, stop, center, span and step of frequency, power and phase, the
// point count, timing, spacing and direction, and the points derived from them.
//
// Context: the setters run on the main loop. The player task reads the point plan while a
// sweep runs, so every setter that changes it writes inside the record's sequence count and
// the point functions read a consistent copy; they neither allocate nor lock.
#pragma once

#include <cstdint>

#include "sweep/sweep.h"

constexpr uint32_t SWEEP_SPACING_LIN = 0;
constexpr uint32_t SWEEP_SPACING_LOG = 1;

constexpr uint32_t SWEEP_DIRECTION_UP = 0;
constexpr uint32_t SWEEP_DIRECTION_UPDOWN = 1;
constexpr uint32_t SWEEP_DIRECTION_DOWN = 2;
constexpr uint32_t SWEEP_DIRECTION_DOWNUP = 3;
constexpr uint32_t SWEEP_DIRECTION_RANDOM = 4;

constexpr uint32_t SWEEP_BLANK_INVALID_OFF = 0;
constexpr uint32_t SWEEP_BLANK_INVALID_THIS = 1;
constexpr uint32_t SWEEP_BLANK_INVALID_ALL = 2;

constexpr uint32_t SWEEP_LIST_POINTS_MIN = 2;
constexpr uint32_t SWEEP_LIST_POINTS_MAX = 10000;

// Module-wide time limits (seconds) of the fitted controller.
struct SweepTimeLimits {
    KrTime dwellMin, dwellMax;
    KrTime delayMin, delayMax;
    KrTime pointTimeMin, pointTimeMax;
    KrTime automaticDelay;
};

enum SweepVariant {
    SWEEP_VARIANT_STANDARD,
    SWEEP_VARIANT_FS,
    // FS controller of revision 2C or newer driving an external FPGA board.
    SWEEP_VARIANT_FS_EXTERNAL_FPGA,
};

// The table row of a variant, and the limits in force.
const SweepTimeLimits *sweep_getVariantLimits(SweepVariant variant);
const SweepTimeLimits *sweep_getLimits();
// Puts a variant's row in force.
void sweep_selectLimits(SweepVariant variant);
void sweep_configurePointTime(KrTime minimumPointTime, KrTime automaticDelay);
// Limits of the fitted controller from the device configuration, with the point time the
// channel initialisation configures for it.
void sweep_configureLimits();

// center, span, step and the logarithmic factors from start, stop and points.
void calculateFrequencyCenterSpanStep(Sweep *s);
// span and step of power and phase.
void calculatePowerPhaseSpanStep(Sweep *s);
// Takes a changed dwell or delay into the running timing.
int Sweep_updateTimes(Sweep *s);

// The point count that a step gives over a span: floor(|span| / |step| + 1.5), at least 2;
// 0 for a zero or non-finite step.
uint32_t sweep_pointsForStep(double span, double step);

// What a point needs, copied out of the record in one piece.
struct SweepPlan {
    KrFreq frequencyStart, frequencyStop, frequencyStep;
    double logFactor;
    KrPow powerStart, powerStep;
    KrAngle phaseStart, phaseStep;
    uint32_t points, spacing, direction;
};

// Copies the plan unless the main loop is changing it at this moment: 0, or -1 with *plan as
// it was (a task that preempted the writer cannot wait for it, so it plays the plan it has).
int Sweep_readPlan(const Sweep *s, SweepPlan *plan);

// Point generation. index is the 0-based number of the point in play order; natural != 0
// asks for point index itself, whatever the direction. The results go to out; a power or
// phase point of a logarithmic sweep leaves out unchanged. The plan forms are for the player
// task, the record forms for the main loop (which is the only writer).
uint32_t Sweep_getPointIndex(const SweepPlan *plan, uint32_t index, int natural);
void Sweep_getNextPointFrequency(const SweepPlan *plan, uint32_t index, int natural, KrFreq *out);
void Sweep_getNextPointPower(const SweepPlan *plan, uint32_t index, int natural, KrPow *out);
void Sweep_getNextPointPhase(const SweepPlan *plan, uint32_t index, int natural, KrAngle *out);
void Sweep_getNextPointFrequency(const Sweep *s, uint32_t index, int natural, KrFreq *out);
void Sweep_getNextPointPower(const Sweep *s, uint32_t index, int natural, KrPow *out);
void Sweep_getNextPointPhase(const Sweep *s, uint32_t index, int natural, KrAngle *out);

// Progress of the player: written by it, read by the progress query.
void Sweep_setProgress(Sweep *s, uint32_t index, uint32_t total);

// Directions without a slot of their own.
int setSweepDirectionUpDown(Device *device);
int setSweepDirectionDownUp(Device *device);
int isSweepDirectionUpDown(Device *device);
int isSweepDirectionDownUp(Device *device);

// Flags of the player.
int Sweep_disablePresetSweep(Sweep *s);
int Sweep_enableBlankSweepStop(Sweep *s);
// FS variant only, else -241.
int Sweep_enableCwTransientSeparation(Sweep *s);

void sweep_config_registerDeviceFunctions();
