// List sweeps: up to 10000 points whose frequency, power, phase, dwell and delay are given
// column by column, edited by the list commands, kept as list files on flash (or the RAM
// list) and played by the real-time player, automatically or one point at a time.
//
// This build has no external FPGA board, so every channel shares one record. Loads parse
// into a second record and swap it in only when the whole file was good, so the list in use
// never holds a half-read file.
//
// Context: the setters run on the main loop. While a list plays the player reads the active
// record; editing the columns and loading are then refused (-221), so the player needs no
// lock. The active direction and the manual point may change meanwhile: they are single
// words, written and read (sweep_getListPointIndex) atomically.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"

struct Device;
struct Sweep;

constexpr uint32_t SWEEP_LIST_CAPACITY = 10000;
constexpr int SWEEP_LIST_NAME_MAX = 32;
constexpr const char *SWEEP_LIST_DIR = "/korvane/cust/list/";
constexpr const char *SWEEP_LIST_RAM = "/media/ram/list.csv";

// Column use, set when the list is prepared.
constexpr uint32_t SWEEP_LIST_USE_NONE = 0;       // the column is not played
constexpr uint32_t SWEEP_LIST_USE_SWEEP = 1;      // dwell and delay: the sweep record's value
constexpr uint32_t SWEEP_LIST_USE_SINGLE = 2;     // point 0's value for every point
constexpr uint32_t SWEEP_LIST_USE_PER_POINT = 3;  // each point its own value

constexpr uint32_t SWEEP_LIST_MODE_AUTO = 0;
constexpr uint32_t SWEEP_LIST_MODE_MANUAL = 1;

// The quantities in LIST mode, for the checks and the preparation.
constexpr uint32_t SWEEP_LIST_FREQUENCY = 1;
constexpr uint32_t SWEEP_LIST_POWER = 2;
constexpr uint32_t SWEEP_LIST_PHASE = 4;

struct SweepListPoint {
    KrFreq frequency;
    KrPow power;
    uint32_t spare0;
    KrAngle phase;
    KrTime dwell;
    KrTime delay;
    int16_t alcControlValue;
    uint8_t spare1[6];
};
static_assert(sizeof(SweepListPoint) == 56);

struct SweepList {
    uint32_t count;  // passes; 0 endless
    uint32_t capacity;
    uint32_t points;                      // set by the preparation
    uint32_t direction, activeDirection;  // 0 UP, 2 DOWN, 4 RANDOM
    uint8_t followsSweepDirection;
    uint32_t mode;
    uint32_t manualPoint;  // 1-based
    uint32_t frequencyUse, powerUse, phaseUse, dwellUse, delayUse;
    uint32_t frequencyCount, powerCount, phaseCount, dwellCount, delayCount;
    SweepListPoint point[SWEEP_LIST_CAPACITY];
    uint8_t delayAuto;
};

// The record the current channel plays.
SweepList *sweep_getActiveSweepList(Device *device);
void sweep_clearList(SweepList *list);
void sweep_demoList(SweepList *list);

// The largest column count (phase only with the phase option).
uint32_t sweep_getListPointCount(const SweepList *list);

// Before a LIST mode takes effect: 0, or -226 when no quantity column holds entries or a
// column (the quantities' and dwell and delay) holds neither 0, 1 nor the largest count.
int sweep_checkList(const SweepList *list, uint32_t quantities);
// Column use and points for playing the quantities (check first).
void sweep_prepareList(SweepList *list, uint32_t quantities);
// The quantities a set of modes puts in LIST mode.
uint32_t sweep_listQuantities(uint32_t frequencyMode, uint32_t powerMode, uint32_t phaseMode);
uint32_t sweep_findListTimingSource(uint32_t entries);

inline int sweep_checkFrequencyList(const SweepList *l) {
    return sweep_checkList(l, SWEEP_LIST_FREQUENCY);
}
inline int sweep_checkPowerList(const SweepList *l) {
    return sweep_checkList(l, SWEEP_LIST_POWER);
}
inline int sweep_checkPhaseList(const SweepList *l) {
    return sweep_checkList(l, SWEEP_LIST_PHASE);
}
inline int sweep_checkFrequencyPowerList(const SweepList *l) {
    return sweep_checkList(l, SWEEP_LIST_FREQUENCY | SWEEP_LIST_POWER);
}
inline int sweep_checkFrequencyPhaseList(const SweepList *l) {
    return sweep_checkList(l, SWEEP_LIST_FREQUENCY | SWEEP_LIST_PHASE);
}
inline int sweep_checkPowerPhaseList(const SweepList *l) {
    return sweep_checkList(l, SWEEP_LIST_POWER | SWEEP_LIST_PHASE);
}
inline int sweep_checkFrequencyPowerPhaseList(const SweepList *l) {
    return sweep_checkList(l, SWEEP_LIST_FREQUENCY | SWEEP_LIST_POWER | SWEEP_LIST_PHASE);
}
inline void sweep_prepareFrequencyList(SweepList *l) {
    sweep_prepareList(l, SWEEP_LIST_FREQUENCY);
}
inline void sweep_preparePowerList(SweepList *l) {
    sweep_prepareList(l, SWEEP_LIST_POWER);
}
inline void sweep_preparePhaseList(SweepList *l) {
    sweep_prepareList(l, SWEEP_LIST_PHASE);
}
inline void sweep_prepareFrequencyPowerList(SweepList *l) {
    sweep_prepareList(l, SWEEP_LIST_FREQUENCY | SWEEP_LIST_POWER);
}
inline void sweep_prepareFrequencyPhaseList(SweepList *l) {
    sweep_prepareList(l, SWEEP_LIST_FREQUENCY | SWEEP_LIST_PHASE);
}
inline void sweep_preparePowerPhaseList(SweepList *l) {
    sweep_prepareList(l, SWEEP_LIST_POWER | SWEEP_LIST_PHASE);
}
inline void sweep_prepareFrequencyPowerPhaseList(SweepList *l) {
    sweep_prepareList(l, SWEEP_LIST_FREQUENCY | SWEEP_LIST_POWER | SWEEP_LIST_PHASE);
}

// ---- For the player (no allocation, no lock) ------------------------------------------------

// The point (0-based) played as the index-th of a pass in the active direction.
uint32_t sweep_getListPointIndex(const SweepList *list, uint32_t index);
// A point's values: false (out unchanged) when the column is not played.
bool sweep_getListPointFrequency(const SweepList *list, uint32_t point, KrFreq *out);
bool sweep_getListPointPower(const SweepList *list, uint32_t point, KrPow *out);
bool sweep_getListPointPhase(const SweepList *list, uint32_t point, KrAngle *out);
// A point's dwell and delay: its own, point 0's, or the sweep record's.
KrTime sweep_getListDwellTime(const SweepList *list, const Sweep *sweep, uint32_t point);
KrTime sweep_getListDelayTime(const SweepList *list, const Sweep *sweep, uint32_t point);
// A list whose points have timing of their own.
bool sweep_isVariableTimingList(const SweepList *list);
// Plays the manual point at once (MANUAL mode with the list playing).
int sweep_list_manual(Device *device);

// The player tells when a frequency or power list of a channel starts and stops playing;
// editing and loading are refused meanwhile. A sweep record with running set in LIST mode
// counts as playing too.
void sweep_setListPlaying(uint32_t channel, bool playing);
bool sweep_isListPlaying(Device *device);
// How a playing list is restarted when its mode changes (the player's; none: nothing).
void sweep_setListRestart(int (*restart)(Device *device));

// ---- Files ----------------------------------------------------------------------------------

// The firmware path of a list name: the RAM list for an empty or missing name and for its own
// path, the name itself when it already begins with the list directory, else the name in the
// directory. -200 for a name over 32 characters or one that is not a plain file name there.
int sweep_getAbsoluteListPath(const char *name, char *out, size_t size);
int sweep_isRamList(const char *path);
int sweep_storeList(const SweepList *list, const char *name);
// Into the active record of the device, frequencies and powers clamped to its limits. The
// list stays as it was on any error.
int sweep_loadList(Device *device, const char *name);
// Parses a file without changing any list; *points (if given) := the larger of the frequency
// and power cell counts.
int sweep_verifyList(const char *name, uint32_t *points);
// "*" or null: every stored list.
int sweep_deleteList(const char *name);

// Fills the list slots and starts from the demonstration list (start-up and *RST).
void SweepList_registerDeviceFunctions();
