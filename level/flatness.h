// The user flatness correction: one table per device of up to 3201 points (frequency in Hz,
// correction in dB), sorted by frequency. While enabled, the correction at the current
// channel's frequency is added to the power the board must deliver. Tables are stored by
// name in /korvane/cust/flatness as "<frequency>;<correction>" lines.
//
// Every change of the table or its state sets the current power again so that it takes
// effect at once.
//
// Context: main loop (command executor); flatness_findAndGet also from the power setting.
#pragma once

#include <cstdint>

constexpr int32_t FLATNESS_MAX_POINTS = 3201;
constexpr int FLATNESS_NAME_MAX = 32;
constexpr const char *FLATNESS_DIR = "/korvane/cust/flatness";

enum FlatnessMode : int32_t {
    FLATNESS_MODE_LOWER = 0,
    FLATNESS_MODE_HIGHER = 1,
    FLATNESS_MODE_INTERPOLATION = 2,
};

struct FlatnessPoint {
    int64_t frequency;  // Hz
    float correction;   // dB
};

struct Flatness {
    int32_t count;
    int32_t enabled;
    int32_t mode;          // FlatnessMode
    int32_t lower, upper;  // point indices of the last look-up
    int64_t frequency;     // of the last look-up
    FlatnessPoint points[FLATNESS_MAX_POINTS];
};

// The correction in dB at frequency (Hz) in the table's mode: the first point's below the
// table, the last one's above it, 0 for an empty table.
float flatness_findAndGet(Flatness *table, int64_t frequency);

// Fills the flatness slots and starts from an empty, disabled table (start-up and *RST).
void flatness_registerDeviceFunctions();
