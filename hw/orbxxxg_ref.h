// Standard reference board: internal 10 MHz/100 MHz oscillator chain or an external
// reference at 10 MHz, 100 MHz or 1 GHz, the rear reference output and the fan-out to the
// output boards. Fills the reference-board function table; the channel device calls it
// through the table on the main loop (start-up included).
//
// Also the parts the low-noise board shares: reference-frequency selection and the
// loop-voltage lock test.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "device/krfreq.h"
#include "hw/ad5643.h"
#include "hw/ad7940.h"
#include "hw/hmc987.h"
#include "hw/orbxxxg_board.h"
#include "hw/sri.h"

constexpr uint8_t ORBXXXG_REF_SOURCE_INTERNAL = 0;
constexpr uint8_t ORBXXXG_REF_SOURCE_EXTERNAL = 1;

constexpr uint8_t ORBXXXG_REF_TUNE_INTERNAL = 0;  // oscillator tuned against internal 10 MHz
constexpr uint8_t ORBXXXG_REF_TUNE_EXTERNAL = 1;  // ... against the external 10 MHz
constexpr uint8_t ORBXXXG_REF_TUNE_OFF = 2;

constexpr uint16_t ORBXXXG_REF_TUNING_MAX = 16383;

// The module's record inside OrbxxxgRefBoard.
struct OrbxxxgRef {
    SRI sri;
    AD5643 tuneDac;  // channel 0 tunes the oscillator, channel 1 drives the lock test
    AD7940 adc;      // loop control voltage
    HMC987 fanout;   // upper port group: one port per channel
    uint8_t tuneState;
    uint8_t source;
    uint8_t refOutEnabled;
    uint8_t lockFlag;  // result of the last lock check
    uint8_t refOut100M;
    uint32_t tuning;
    KrFreq referenceFrequency;  // external reference in use: 10 MHz, 100 MHz or 1 GHz
};

void ORBXXXG_REF_registerFunctions();

int ORBXXXG_REF_init(OrbxxxgRefBoard *board);
int ORBXXXG_REF_setDefaultValues(OrbxxxgRefBoard *board);
int ORBXXXG_REF_setReferenceSourceInternal(OrbxxxgRefBoard *board);
int ORBXXXG_REF_setReferenceSourceExternal(OrbxxxgRefBoard *board);
int ORBXXXG_REF_selectTuneExternalSource(OrbxxxgRefBoard *board);
int ORBXXXG_REF_selectTuneInternalSource(OrbxxxgRefBoard *board);
int ORBXXXG_REF_isReferenceSourceInternal(OrbxxxgRefBoard *board);
int ORBXXXG_REF_isReferenceSourceExternal(OrbxxxgRefBoard *board);
int ORBXXXG_REF_enableRefOut(OrbxxxgRefBoard *board);
int ORBXXXG_REF_disableRefOut(OrbxxxgRefBoard *board);
int ORBXXXG_REF_isRefOutEnabled(OrbxxxgRefBoard *board);
int ORBXXXG_REF_getReferenceOutputFrequency(OrbxxxgRefBoard *board, KrFreq *f);
int ORBXXXG_REF_setReferenceOutputFrequency(OrbxxxgRefBoard *board, const KrFreq *f);
// Channels 0-3; others answer -224.
int ORBXXXG_REF_enableRefChannel(OrbxxxgRefBoard *board, int32_t channel);
int ORBXXXG_REF_disableRefChannel(OrbxxxgRefBoard *board, int32_t channel);
// Values above 16383 (and below 0) are limited.
int ORBXXXG_REF_setReferenceTuning(OrbxxxgRefBoard *board, double value);
int ORBXXXG_REF_getReferenceTuning(OrbxxxgRefBoard *board, double *value);
int ORBXXXG_REF_isReferencePhaseLocked(OrbxxxgRefBoard *board);
// Takes about 1.2 s of hardware time.
int ORBXXXG_REF_checkReferencePhaseLock(OrbxxxgRefBoard *board);
int ORBXXXG_REF_getTuneAdc(OrbxxxgRefBoard *board, uint32_t *value);
int ORBXXXG_REF_setReferenceFrequency(OrbxxxgRefBoard *board, const KrFreq *f);
int ORBXXXG_REF_setReferenceFrequencyJump(OrbxxxgRefBoard *board, const KrFreq *f);
int ORBXXXG_REF_getReferenceFrequency(OrbxxxgRefBoard *board, KrFreq *f);
int ORBXXXG_REF_getReferenceFrequencyMin(OrbxxxgRefBoard *board, KrFreq *f);
int ORBXXXG_REF_getReferenceFrequencyMax(OrbxxxgRefBoard *board, KrFreq *f);
// The next supported value below / above current (nullptr: the value in use).
int ORBXXXG_REF_getReferenceFrequencyLower(OrbxxxgRefBoard *board, const KrFreq *current,
                                           KrFreq *f);
int ORBXXXG_REF_getReferenceFrequencyHigher(OrbxxxgRefBoard *board, const KrFreq *current,
                                            KrFreq *f);
// The board has no low-noise option to give up: -241.
int ORBXXXG_REF_disableOptionLn(OrbxxxgRefBoard *board);

// Shared with the low-noise board.

KrFreq ORBXXXG_REF_hz(int64_t hz);
// A tuning value as the DAC takes it: 0 to 16383, fractions dropped.
uint32_t ORBXXXG_REF_limitTuning(double value);
// krfreqCompare against whole hertz.
int ORBXXXG_REF_compareHz(const KrFreq *f, int64_t hz);
// Clears, then sets path bits in the preset (applied by the caller).
void ORBXXXG_REF_presetBits(SRI *sri, std::initializer_list<int> set,
                            std::initializer_list<int> clear);
// The supported external reference for f: 10 MHz below 55 MHz, 100 MHz below 550 MHz, from
// there 1 GHz when allowed and 100 MHz otherwise.
KrFreq ORBXXXG_REF_selectReferenceFrequency(const KrFreq *f, int allow1G);

// The DAC that disturbs the oscillator loop during the lock test.
struct OrbxxxgRefLockTestDac {
    void *dac;
    int (*setValue)(void *dac, uint16_t value);
    int (*switchOn)(void *dac);
    int (*switchOff)(void *dac);
};
// Readings before, during (DAC at 8300 and 8100) and after the disturbance: a locked loop
// pulls the control voltage back to where it started. Sets *lockFlag to the result; returns
// 0, or the first chip failure (the flag then stays cleared).
int ORBXXXG_REF_runLockCheck(AD7940 *adc, const OrbxxxgRefLockTestDac *dac, uint8_t *lockFlag);
// The decision on four readings (prints them): 1 locked, 0 not.
int ORBXXXG_REF_evaluateLock(const uint32_t readings[4]);
// One reading of the loop's control voltage, for diagnostics (both boards).
int ORBXXXG_REF_readTuneAdc(AD7940 *adc, uint32_t *value);
