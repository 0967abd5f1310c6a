// Chirp: a frequency ramp between the sweep's start and stop that the synthesizer chip (or the
// FS FPGA) makes by itself, repeated a number of times or continuously. Frequency mode CHIRP
// starts it (Device_chirp_start); the chip-level ramp is the channel device's
// (Device_enableChirp, Device_disableChirp). The player task of the sweeps runs the handler
// that arms the ramp at each timer period.
//
// Context: setters, start and stop on the main loop with the channel current; the handler on
// the sweep task (standard) or in the caller (FS). ready is shared with the task and
// accessed atomically (sweep_rt_flag).
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"

struct Device;
struct Sweep;

constexpr uint32_t CHIRP_MODE_AUTO = 0;
constexpr uint32_t CHIRP_MODE_MANUAL = 1;
constexpr uint32_t CHIRP_COUNT_MIN = 1;
constexpr uint32_t CHIRP_COUNT_MAX = 32767;
constexpr uint32_t CHIRP_POINTS_MIN = 2;
constexpr KrTime CHIRP_TIME_MAX = 60.0;
constexpr KrTime CHIRP_TIME_MAX_NEC = 1.0;
constexpr KrTime CHIRP_TIME_MIN_NEC = 1e-5;
constexpr KrTime CHIRP_PERIOD_MAX = 60.0;

struct Chirp {
    KrTime time;    // requested
    KrTime period;  // repetition period of pulsed chirps
    KrFreq frequencyStart, frequencyStop;
    uint32_t down;      // 0 ramp up, 1 ramp down
    uint8_t alternate;  // back and forth
    uint32_t count;     // 0: continuous
    uint8_t blanking;   // RF blanked while waiting
    uint32_t mode;      // CHIRP_MODE_*
    uint32_t points;    // steps of the ramp
    KrTime dwell;       // requested time per step
    KrTime realisedTime, realisedDwell;
    uint8_t ready;  // the handler has the hardware running
    uint8_t multichannel;
};

// Once per channel from device init, with that channel current: the defaults, then the
// operations (registered by the first call). -113 when the sweep or chirp record is missing.
int Chirp_init(Device *device);
void Chirp_setDefaults(Chirp *chirp);
void Chirp_registerDeviceFunctions();
// The period operations of pulsed chirps.
void Chirp_enablePulsedChirpsInterface();

// What the hardware realises for a step of d (copies the sweep's range into the record).
KrTime Chirp_getClosestChirpDwellTime(Device *device, Chirp *chirp, KrTime d);
KrTime Chirp_getClosestChirpTime(Device *device, Chirp *chirp, KrTime t);

int Chirp_start(Device *device, Sweep *sweep, Chirp *chirp);
int Chirp_stop(Device *device);
// A chirp runs: on the task, or on the chip in the background.
bool Chirp_isRunning();
