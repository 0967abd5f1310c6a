// The levelling steps around every frequency and power change: everything that lowers the
// output first (decrease step, before the caller's I/O update), everything that raises it
// afterwards (increase step), so the output never overshoots the larger of the old and new
// level. The board power (request, offset, flatness, power extension) is looked up in the
// channel's calibration for the stages' targets: step attenuations A and B, the ALC set-point
// DAC, the gain stage, the loop attenuator and the power-extension attenuation. Digital boards
// level with the firmware or FPGA loop instead. Main loop.
#pragma once

#include "device/device_record.h"

// Amplitude modulation needs this much room at the top of the loop (half-dB steps).
constexpr int32_t ANALOG_AM_ALC_MARGIN = 12;
constexpr uint32_t ANALOG_DAC_MAX = 16383;
constexpr KrPow ANALOG_LPE_THRESHOLD_DBM = -20.5f;
constexpr KrPow ANALOG_LPE_REFERENCE_DBM = -20.0f;
// Half-dB steps of surplus attenuation the digital loop takes off the DAC instead.
constexpr int DIGITAL_ALC_LUT_STEPS = 27;
extern const uint16_t DAC_CORRECTION_LUT[DIGITAL_ALC_LUT_STEPS];

int analog_setPowerDecrease(Device *device, const KrPow *p);
int analog_setPowerIncrease(Device *device, const KrPow *p);
// The sweep form: targets for the power, then every stage at once (the caller's I/O update
// latches them).
int analog_setPowerSweep(Device *device, const KrPow *p);

// Board power and its targets only (no chip written): for the steps above and for tests.
void analog_computePowerTargets(Device *device, const KrPow *p);
// The power-extension attenuation for a board power; the board power it leaves.
int analog_selectPe(Device *device, KrPow *boardPower, KrPow *peAttenuation,
                    CalibrationCoord *coord);
int analog_getPELimit(Device *device, KrPow *limit);

// Low-power mode of the 40 GHz boards without a step attenuator.
int analog_isLowPowerModeCase(Device *device, const KrPow *p);
int analog_enterLowPowerMode(Device *device, const KrPow *p);
int analog_setLowPower(Device *device, const KrPow *p);
int analog_leaveLowPowerMode(Device *device);
// Applies the stored power again with the leaving flag set, so the minimum is found anew.
int analog_leaveLpe(Device *device);

// The firmware levelling loop of the digital boards; -113 without the digital record.
int DIGITAL_ALC_setPower(Device *device);
// Moves step attenuation A from its maximum until the measured power lies in
// [goal + 0.2, goal + 1.2) dB; ends when A cannot move. -200 when it never got there.
int DIGITAL_ALC_correctAttenuation(Device *device, KrPow (*measure)(Device *), KrPow goal);
int DIGITAL_ALC_setAlcSetpoint(Device *device, uint32_t goal);
