// Low-noise reference board (revisions 2A, 2B and 2C, from the board header's revision
// code): internal low-noise chain, external 10 MHz, 100 MHz or (2C) 1 GHz, any external
// frequency through the ADF4002, or an external system clock; the clock distributor that
// carries SYSREF to the channels of phase-coherent builds. Fills the reference-board
// function table; the channel device calls it through the table on the main loop.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"
#include "hw/ad5640.h"
#include "hw/ad5760.h"
#include "hw/ad7940.h"
#include "hw/adf4002.h"
#include "hw/hmc7043.h"
#include "hw/hmc987.h"
#include "hw/orbxxxg_board.h"
#include "hw/sri.h"

// Revision codes of OrbxxxgRefBoard.
constexpr uint32_t ORBXXXG_REF_ULN_REV_2A = 1;
constexpr uint32_t ORBXXXG_REF_ULN_REV_2B = 2;
constexpr uint32_t ORBXXXG_REF_ULN_REV_2C = 3;

// Sources beyond ORBXXXG_REF_SOURCE_INTERNAL and ORBXXXG_REF_SOURCE_EXTERNAL.
constexpr uint8_t ORBXXXG_REF_ULN_SOURCE_PLL = 2;  // external at any frequency, via the ADF4002
constexpr uint8_t ORBXXXG_REF_ULN_SOURCE_SYSCLK = 3;

constexpr int ORBXXXG_REF_ULN_SYSREF_CHANNELS = 4;
// Analog delay of the distributor's outputs: 24 steps of 25 ps.
constexpr double ORBXXXG_REF_ULN_ANALOG_DELAY_STEP_S = 25e-12;
constexpr uint8_t ORBXXXG_REF_ULN_ANALOG_DELAY_MAX = 23;

struct OrbxxxgRefUln {
    SRI sri;
    HMC7043 clock;
    HMC987 fanout;  // channel outputs, port 3 the system-clock output
    AD5760 oscDac;
    ADF4002 pll;
    AD7940 adc;
    AD5640 lockDac;
    uint8_t source;
    uint8_t refOutEnabled;
    uint8_t lockFlag;
    uint8_t sysClockOutEnabled;
    uint8_t refOut100M;
    uint32_t tuning;
    KrFreq referenceFrequency;
    KrFreq extPllFrequency;
    KrFreq extPllFrequencyMax;
    KrFreq extPllFrequencyMin;
    uint8_t lnDisabled;  // the build has no low-noise option
    uint8_t channelOrderReversed;
    uint8_t analogDelay[ORBXXXG_REF_ULN_SYSREF_CHANNELS];  // steps, per channel
};

void ORBXXXG_REF_ULN_registerFunctions();

// The control board's filtered lock-detect input of the ADF4002 loop: 1 locked. The control
// board module installs its reader; without one the PLL counts as unlocked.
typedef int (*OrbxxxgRefLockDetectReader)();
void ORBXXXG_REF_ULN_setLockDetectReader(OrbxxxgRefLockDetectReader reader);

int ORBXXXG_REF_ULN_init(OrbxxxgRefBoard *board);
// Settings to their defaults; whether the low-noise option is fitted is kept.
int ORBXXXG_REF_ULN_setDefaultValues(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_setReferenceSourceInternal(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_setReferenceSourceExternal(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_setReferenceSourceExternalVariable(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_setReferenceSourceExternalSysClock(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_isReferenceSourceInternal(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_isReferenceSourceExternal(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_isReferenceSourceExternalVariable(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_isReferenceSourceExternalSysClock(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_enableRefOut(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_disableRefOut(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_isRefOutEnabled(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_getReferenceOutputFrequency(OrbxxxgRefBoard *board, KrFreq *f);
int ORBXXXG_REF_ULN_setReferenceOutputFrequency(OrbxxxgRefBoard *board, const KrFreq *f);
int ORBXXXG_REF_ULN_enableSysClockOut(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_disableSysClockOut(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_isSysClockOutEnabled(OrbxxxgRefBoard *board);
// Channels 0-3; others answer -224.
int ORBXXXG_REF_ULN_enableRefChannel(OrbxxxgRefBoard *board, int32_t channel);
int ORBXXXG_REF_ULN_disableRefChannel(OrbxxxgRefBoard *board, int32_t channel);
int ORBXXXG_REF_ULN_setReferenceTuning(OrbxxxgRefBoard *board, double value);
int ORBXXXG_REF_ULN_getReferenceTuning(OrbxxxgRefBoard *board, double *value);
int ORBXXXG_REF_ULN_isReferencePhaseLocked(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_checkReferencePhaseLock(OrbxxxgRefBoard *board);
int ORBXXXG_REF_ULN_getTuneAdc(OrbxxxgRefBoard *board, uint32_t *value);
int ORBXXXG_REF_ULN_setReferenceFrequency(OrbxxxgRefBoard *board, const KrFreq *f);
int ORBXXXG_REF_ULN_setReferenceFrequencyJump(OrbxxxgRefBoard *board, const KrFreq *f);
int ORBXXXG_REF_ULN_getReferenceFrequency(OrbxxxgRefBoard *board, KrFreq *f);
int ORBXXXG_REF_ULN_getReferenceFrequencyMin(OrbxxxgRefBoard *board, KrFreq *f);
int ORBXXXG_REF_ULN_getReferenceFrequencyMax(OrbxxxgRefBoard *board, KrFreq *f);
// The next supported value below / above current (nullptr: the value in use).
int ORBXXXG_REF_ULN_getReferenceFrequencyLower(OrbxxxgRefBoard *board, const KrFreq *current,
                                               KrFreq *f);
int ORBXXXG_REF_ULN_getReferenceFrequencyHigher(OrbxxxgRefBoard *board, const KrFreq *current,
                                                KrFreq *f);
// Rounded to 100 kHz and kept within the PLL limits; programs the PLL when it is in use.
int ORBXXXG_REF_ULN_setReferenceFrequencyPLL(OrbxxxgRefBoard *board, const KrFreq *f);
int ORBXXXG_REF_ULN_getExtReferencePllFrequency(OrbxxxgRefBoard *board, KrFreq *f);
int ORBXXXG_REF_ULN_getExtReferencePllFrequencyMax(OrbxxxgRefBoard *board, KrFreq *f);
int ORBXXXG_REF_ULN_getExtReferencePllFrequencyMin(OrbxxxgRefBoard *board, KrFreq *f);
// Marks the low-noise option absent (the internal source is re-applied without it); -241.
int ORBXXXG_REF_ULN_disableOptionLn(OrbxxxgRefBoard *board);
// SYSREF to the channels whose bit is set in mask (bits 0-3); the others' SYSREF is off.
int ORBXXXG_REF_ULN_initialize_phs(OrbxxxgRefBoard *board, uint32_t mask);
// Delay in seconds, in steps of 25 ps up to 575 ps; other values answer -224.
int ORBXXXG_REF_ULN_setSysrefChannelAnalogDelay(OrbxxxgRefBoard *board, int32_t channel,
                                                const KrTime *delay);
int ORBXXXG_REF_ULN_getSysrefChannelAnalogDelay(OrbxxxgRefBoard *board, int32_t channel,
                                                KrTime *delay);
