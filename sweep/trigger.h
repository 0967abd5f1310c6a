// Triggers and the trigger output of a channel: where a sweep's trigger comes from, what it
// does (start, gate, advance a point), edge, delay and re-arming, and what the trigger-output
// connector reports. Every setter stores into the channel's record and programs the trigger
// hardware: driver requests on the kr_generic_io handle, on the FS variant preceded by the
// fields of the FS FPGA's trigger and delay registers.
//
// Context: main loop, with the channel current; the point-source setters also from the sweep
// start.
#pragma once

#include <cstdint>

#include "device/krquantity.h"

struct Device;

constexpr uint32_t TRIGGER_SLOPE_POSITIVE = 0;
constexpr uint32_t TRIGGER_SLOPE_NEGATIVE = 1;
constexpr uint32_t TRIGGER_SLOPE_POSITIVE_NEGATIVE = 2;
constexpr uint32_t TRIGGER_SLOPE_NEGATIVE_POSITIVE = 3;

constexpr uint32_t TRIGGER_SOURCE_IMMEDIATE = 0;
constexpr uint32_t TRIGGER_SOURCE_EXTERNAL = 1;
constexpr uint32_t TRIGGER_SOURCE_BUS = 2;
constexpr uint32_t TRIGGER_SOURCE_KEY = 3;

constexpr uint32_t TRIGGER_TYPE_NORMAL = 0;
constexpr uint32_t TRIGGER_TYPE_GATE = 1;
constexpr uint32_t TRIGGER_TYPE_POINT = 2;

constexpr uint32_t TRIGGER_LINE_OFF = 0;
constexpr uint32_t TRIGGER_LINE_LOW = 1;
constexpr uint32_t TRIGGER_LINE_HIGH = 2;
constexpr uint32_t TRIGGER_LINE_TRIGGER = 3;  // the output follows the mode

constexpr uint32_t TRIGGER_OUTPUT_NORMAL = 0;
constexpr uint32_t TRIGGER_OUTPUT_POINT = 1;
constexpr uint32_t TRIGGER_OUTPUT_GATE = 2;
constexpr uint32_t TRIGGER_OUTPUT_VALID = 3;
constexpr uint32_t TRIGGER_OUTPUT_SYSREF = 4;

constexpr uint32_t TRIGGER_POINT_SOURCE_TIMER = 0;
constexpr uint32_t TRIGGER_POINT_SOURCE_IOUPDATE = 1;

constexpr double TRIGGER_DELAY_MAX = 20.0;  // seconds

struct Trigger {
    KrTime delay;
    uint32_t slope;
    uint32_t eventCount;  // triggers skipped before one acts (standard variant)
    uint32_t source;
    uint32_t type;
    uint8_t initiateContinuous;
    uint32_t outputLine;
    uint32_t outputMode;
    uint32_t pointSource;
    uint32_t outputPolarity;  // 0 normal, 1 inverted
    uint32_t outputSource;    // channel whose output-valid signal is reported (FS variant)
};

// Defaults of the current channel's record, programmed through the setters.
void trigger_setDefaults(Device *device);
// Once per channel from device init, with that channel current: the defaults, then the
// operations are registered by the first call. -113 when the record or the driver is
// missing, or when the operations were registered already (every later call).
int Trigger_init(Device *device);
void trigger_registerDeviceFunctions();
// The pulse the trigger output gives at every I/O update (inverted: active low), a
// control-board driver request on the standard variant; the FS variant has none (0).
int Trigger_requestPulseAtIoupdate(int on, int inverted);
