// The channel device: one record with up to eight output channels, the source selection,
// and the change sequences that turn a frequency, power, phase or RF setting into board
// operations and I/O updates with the blanking, holding and waiting that keep the output
// clean. Both board generations use it; the digital-board variant (out3b_) is a
// configuration of the same record with its own levelling paths.
//
// Context: main loop (with deviceAccessMutex held), and start-up.
#pragma once

#include <cstdint>

#include "device/device_record.h"

Device *analog_device_create();
int analog_device_init(Device *device);
// Only the FS controller buffers its command stream; the standard one writes directly.
void analog_device_bufferedMode(bool on);
int analog_device_ioupdate();
int analog_device_ioupdateTrigger(int flag);
int analog_device_ioupdateChannel(Device *device);
void analog_device_setDefaults(Device *device);
void analog_registerDeviceFunctions();
// The digital-board variant builds the same record with its own levelling paths.
void analog_device_selectGeneration3B(int on);

// Source selection: suffixes are 1-based, the record 0-based; 2147483647 = no suffix.
constexpr int32_t DEVICE_NO_SUFFIX = 2147483647;
int analog_setSource(Device *device, int32_t index);
int32_t analog_getSource(Device *device);
int analog_setSourceIndex(Device *device, int32_t k);
int analog_setDefaultSourceIndex(Device *device, int32_t k);
int analog_getDefaultSourceIndex(Device *device);
int analog_getSourceIndexMin(Device *device);
int analog_getSourceIndexMax(Device *device);
int32_t analog_enumerateSources(Device *device);
int32_t analog_nextSource(Device *device);

int analog_setFrequency(Device *device, const KrFreq *f);
int analog_setPower(Device *device, const KrPow *p);
int analog_setPhase(Device *device, const KrAngle *a);
int analog_setPhaseCompensation(Device *device, const KrTime *t);
int analog_enableRf(Device *device);
int analog_disableRf(Device *device);
int analog_updateRfState(Device *device);
int analog_setReferenceFrequencyJump(Device *device, const KrFreq *f);
int analog_sweepDefinePreset(Device *device);
int analog_sweepApplyPreset(Device *device);
int analog_reset(Device *device);
int analog_getFrequencyBands(Device *device, KrFreq *array, int32_t capacity, int32_t *count);

// RF switching bits (amplitude modulation and the like) and the output-blanking flag.
int analog_setRfSwitchingBits(Device *device, uint32_t bits);
int analog_enableOutputBlanking(Device *device);
int analog_disableOutputBlanking(Device *device);
int analog_isOutputBlankingEnabled(Device *device);

// Supervision from the main loop; ticks = the tick-counter bits that went from 0 to 1.
int analog_periodic(Device *device, uint32_t ticks);
void analog_registerSupervisionFunctions();

// Background VCO calibration of every channel's board.
void analog_registerVcoCalibrationFunctions();
void analog_endVcoCalibration(Device *device);

// The forwarding slots (board and reference-board operations of the same meaning).
void analog_registerForwardingFunctions();
// Fast channel programming's device slots (FS variant).
void analog_registerFcpFunctions();
// The chirp record of each channel and the ramp on its board.
void analog_registerChirpFunctions();

// How a frequency change keeps the output clean: blanked before it (output blanking), no
// blanking while the levelling holds, a quick blank when the path needs settling time, or the
// levelling's blanking reduced (with a hard hold when the VCO needs tuning time).
enum BlankMode { BLANK_OPEN, BLANK_PRE, BLANK_NONE, BLANK_QUICK, BLANK_REDUCE_HOLD, BLANK_REDUCE };
BlankMode analog_chooseBlankMode(bool preBlanked, bool alcHold, double settling, double tuning);

// Digital-board variant.
Device *out3b_device_create();
int out3b_device_init(Device *device);
int out3b_device_ioupdate();
int out3b_device_ioupdateTrigger(int flag);
int out3b_phaseReset(Device *device, int32_t mode);
int out3b_periodic(Device *device, uint32_t ticks);
void out3b_setSelftestParam(Device *device);
