// The single instrument record created by Device_create: up to eight output channels with
// their boards, the reference board, source selection and the flags of the change sequences.
// Main loop only, except the VCO calibration fields (vcoMutex).
#pragma once

#include <pthread.h>

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"
#include "hw/orbxxxg_board.h"
#include "level/calibration.h"
#include "scpi/scpi_status.h"
#include "sweep/chirp.h"
#include "sweep/sweep.h"
#include "sweep/trigger.h"

constexpr int DEVICE_MAX_CHANNELS = 8;

// The digital boards' levelling state, per channel.
struct DigitalAlcRecord {
    int32_t stepAtt, stepAttMin, stepAttMax;
    int32_t doublerAtt;
    uint32_t goal;  // controller reading the loop levels to
    uint8_t calibrated;
};

// RF switching bits: while any is set, RF on and off are made with the pulse modulator.
constexpr uint32_t DEVICE_RF_SWITCHING_AM = 1u << 1;

struct DeviceChannel {
    KrFreq frequency;  // last requested, stored before it is applied
    KrPow power;
    KrAngle phase;
    KrFreq frequencyMin, frequencyMax;
    KrPow powerMin, powerMax, powerRange, powerResolution;
    float stepAttenuationMax;
    uint8_t rfRequested, rfHardwareOn, rfUnmuted;
    uint32_t rfSwitchingBits;
    uint8_t presetMode, frequencyPending, powerPending, alcControlValuePending;
    double alcControlValue;
    OrbxxxgOutBoard board;
    OrbxxxgOutBoard *boardPtr;
    int32_t fsChannel;
    uint32_t ioupdateAddress;
    KrTime phaseCompensation;
    KrTime delayOffset;
    // Levelling stages, current and target (a value no setting uses forces the first write).
    uint32_t stepAttACurrent, stepAttATarget, stepAttBCurrent, stepAttBTarget;
    float peAttCurrent, peAttTarget;
    uint32_t dacCurrent, dacTarget, gainStageCurrent, gainStageTarget;
    KrPow alcAttTarget;
    KrPow boardPower;  // what the board delivers: request, offset, flatness, extension
    float powerOffset;
    CalibrationCoord calCoord;
    uint8_t peSelect;           // clear: the power extension keeps its setting
    float peManual;             // what it keeps, held by hand
    int32_t alcMarginOverride;  // service setting of the ALC margin; -1: the calibration's
    double alcControlValueCurrent;
    // Low-power mode: the minimum step attenuation found and B at entry.
    uint8_t lowPowerMode, lpeLeaving;
    uint32_t lpeMinStepAtt, lpeStepAttB;
    uint32_t lpeGuardB;  // B's extra steps while the reference is reached from below
    DigitalAlcRecord dalc;
    uint8_t pulmForcedOff;  // the pulse modulator holds the output off
    uint8_t ledOn;
    // Digital-board variant.
    uint32_t alcControllerMode;  // 0 analog loop, 1 firmware loop, 2 FPGA loop
    uint8_t dalcAvailable;
    Sweep sweep;
    SweepSource sweepSource;
    Trigger trigger;
    Chirp chirp;
    Calibration *calibration;  // the channel's table, kept across resets
};

struct Device {
    char modelName[32];
    DeviceStatusRegisters statusRegisters;
    OrbxxxgRefBoard refBoard;
    OrbxxxgRefBoard *ref;
    DeviceChannel *current;
    DeviceChannel channels[DEVICE_MAX_CHANNELS];
    uint32_t channelCount;
    int32_t sourceIndex, sourceCursor, defaultSource;
    uint8_t channelLocalIoupdate;
    uint8_t outputBlanking;
    uint8_t digitalAlc;
    uint8_t generation3B;  // the digital-board variant built this record
    uint32_t boardCode;    // revision code handed to the output boards
    pthread_mutex_t vcoMutex;
    uint8_t vcoRunning, vcoSuccess;
    double vcoCompletion;
    // Supervision.
    uint8_t overTemperature, ledBlinkPhase, referenceLocked, peOverride;
    uint8_t powerWarningShown;
    uint8_t suppressReapply;
};
