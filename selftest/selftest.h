// The instrument's self test (*TST?, TEST:FULL?, TEST:FAST?): every channel is tuned across its
// range at the power points where its calibration changes zone, and the level controller and
// the VCO tuning ADC are read back at each point. The full test writes its report,
// /media/ram/selftest.txt, one line per fact ("<code>;<fields>\r\n"):
//   1;2                        report layout
//   2;*<identification>
//   3;<build date>, <build time>
//   4;<board revision code>;<board channel>
//   5;<channel count>;<current source + 1>
//   6;<VCO ADC min>;<VCO ADC max>;<controller min>;<controller max>
//   7;<FM pass>
//   8;<options>
//   90;<temperature names, ';'-separated>     91;<temperature values>
//   10k;<RF on>;<power>;<frequency Hz>;<ALC ADC>;0          the state found, channel k
//   20k;<power>;<frequency>;<controller>;<ALC ADC>;<deviation>;<VCO ADC>;<failed>   a point
//   21k;...                    the same in the FM pass
//   30k;<link check text>[;<RAM check result>]
//   40k;<link up>;<12 lane flags>    lanes 0 to 3, each code-group sync, frame sync, checksum;
//                                    every field is 1 when good
//   50k;<zero-slip ok>;<optimum delay>
//   999;<result>               the negated failure bits (0: passed)
// The fast test writes the first and the last line only.
//
// Context: main loop (the command executor), with the device access held; it takes minutes.
#pragma once

#include <cstdint>

#include "device/krfreq.h"

struct Device;
struct Calibration;

// Failure bits; the result is their negation.
constexpr uint32_t SELFTEST_FAIL_LEVEL = 1u << 0;  // level controller or levelling deviation
constexpr uint32_t SELFTEST_FAIL_VCO = 1u << 1;    // VCO tuning ADC out of range
constexpr uint32_t SELFTEST_FAIL_RAM = 1u << 2;
constexpr uint32_t SELFTEST_FAIL_JESD = 1u << 3;
constexpr uint32_t SELFTEST_FAIL_COM = SELFTEST_FAIL_RAM | SELFTEST_FAIL_JESD;

constexpr int SELFTEST_MAX_POWERS = 16;

struct SelftestParam {
    KrFreq step, start, stop;
    uint32_t boardWords[2];  // the output board's revision code and channel
    int32_t powerIndexMax;   // highest calibration power index
    float powers[SELFTEST_MAX_POWERS];
    uint32_t powerCount;
    int32_t vcoAdcMin, vcoAdcMax;
    int32_t controllerMin, controllerMax;
    int32_t deviationMax;  // digital ALC: |set point - ADC|
    uint8_t digitalAlc;
    uint8_t checkJesd;
    uint8_t checkPhaseSync;
    uint8_t flag;  // kept set for the record's readers
    uint8_t checkComRam;
    uint8_t testFm;
    uint8_t logSteps;  // frequency steps grow with the frequency
    uint8_t dropLastPower;
    uint8_t lowerLastPower;  // last point 4 dB lower
    uint8_t useDacValue;     // the controller value is the ALC control value or DAC
    uint8_t checkController;
    uint8_t phsZeroSlip;  // bit c: channel c's phase link slipped at zero
    uint8_t phsOptimumDelay;
};

// Fills the device's record from its configuration and the current channel (start-up).
void analog_setSelftestParam(Device *device);
// The device's record, filled on first use.
SelftestParam *selftest_getParam(Device *device);
void selftest_savePhsZeroSlip(Device *device, int channel, int bit);
void selftest_savePhsOptimumDelay(Device *device, int channel, int bit);

// The power points of a channel into param (powers, powerCount): the first and the last
// calibration power and the last power of every zone. The count, never below one.
int getPowerForSelftest(const Calibration *calibration, SelftestParam *param);

// 0 when passed, the negated failure bits, or -1 when the report cannot be written.
int fullSelftest(Device *device);
int fastSelftest(Device *device);

// Device_fullSelftest, Device_fastSelftest, Device_getSelftestParam.
void selftest_registerFunctions();
