// Standard reference board.
#include "hw/orbxxxg_ref.h"

#include <cstdlib>
#include <initializer_list>
#include <new>

#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "hw/krspi.h"
#include "hw/orbxxxg_ref_registers.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr uint32_t SRI_CLOCK = 2;   // 25 MHz
constexpr uint32_t CHIP_CLOCK = 4;  // 6.25 MHz: within every converter's limit
constexpr int TUNE_CHANNEL = 0;
constexpr int LOCK_TEST_CHANNEL = 1;
constexpr uint32_t LOCK_TEST_POWER_DOWN = 1;  // 1 kOhm to ground
constexpr uint32_t FANOUT_OFF_AT_START = 9;   // lower ports 0 and 3

constexpr int64_t HZ_10M = 10000000;
constexpr int64_t HZ_55M = 55000000;
constexpr int64_t HZ_100M = 100000000;
constexpr int64_t HZ_550M = 550000000;
constexpr int64_t HZ_1G = 1000000000;

OrbxxxgRef *rec(OrbxxxgRefBoard *board) {
    return orbxxxg_refRecord<OrbxxxgRef>(board);
}

uint32_t word(uint32_t slave, uint32_t clock) {
    return krspi_makeWord(slave, 0, clock);
}

int cmp(const KrFreq *f, int64_t hz) {
    return ORBXXXG_REF_compareHz(f, hz);
}

void keepFirst(int *first, int r) {
    if (*first == 0) *first = r;
}

// The tuning selection bits: internal 10 MHz both set, external 10 MHz bit 0, off none.
void presetTune(SRI *sri, uint8_t state) {
    SRI_presetBitValue(sri, ORBXXXG_REF_BIT_TUNE0, state != ORBXXXG_REF_TUNE_OFF);
    SRI_presetBitValue(sri, ORBXXXG_REF_BIT_TUNE1, state == ORBXXXG_REF_TUNE_INTERNAL);
}

void presetBits(SRI *sri, std::initializer_list<int> set, std::initializer_list<int> clear) {
    ORBXXXG_REF_presetBits(sri, set, clear);
}

// The path of the stored external reference. Each row also drops the other rows' input
// paths, so that only one external input feeds the board.
int applyExternal(OrbxxxgRef *r) {
    SRI *s = &r->sri;
    if (cmp(&r->referenceFrequency, HZ_1G) >= 0) {
        // The output cannot be derived from a 1 GHz reference: it goes off with the change.
        presetBits(
            s, {ORBXXXG_REF_BIT_EXT_1G},
            {ORBXXXG_REF_BIT_MULT10, ORBXXXG_REF_BIT_OSC_100M, ORBXXXG_REF_BIT_REF100M_X10_OFF,
             ORBXXXG_REF_BIT_FEEDBACK_100M, ORBXXXG_REF_BIT_EXT_INPUT, ORBXXXG_REF_BIT_EXT_10M,
             ORBXXXG_REF_BIT_EXT_100M, ORBXXXG_REF_BIT_REFOUT_ON});
        r->refOutEnabled = 0;
        r->tuneState = ORBXXXG_REF_TUNE_OFF;
        presetTune(s, r->tuneState);
        return SRI_applyPreset(s);
    }
    if (cmp(&r->referenceFrequency, HZ_100M) >= 0) {
        presetBits(s,
                   {ORBXXXG_REF_BIT_REF100M_X10_OFF, ORBXXXG_REF_BIT_FEEDBACK_100M,
                    ORBXXXG_REF_BIT_EXT_100M, ORBXXXG_REF_BIT_EXT_INPUT},
                   {ORBXXXG_REF_BIT_MULT10, ORBXXXG_REF_BIT_OSC_100M, ORBXXXG_REF_BIT_EXT_1G,
                    ORBXXXG_REF_BIT_EXT_10M, ORBXXXG_REF_BIT_REFOUT_10M});
        r->tuneState = ORBXXXG_REF_TUNE_OFF;
        r->refOut100M = 1;
        presetTune(s, r->tuneState);
        return SRI_applyPreset(s);
    }
    presetBits(s,
               {ORBXXXG_REF_BIT_MULT10, ORBXXXG_REF_BIT_OSC_100M, ORBXXXG_REF_BIT_REF100M_X10_OFF,
                ORBXXXG_REF_BIT_FEEDBACK_100M, ORBXXXG_REF_BIT_EXT_10M, ORBXXXG_REF_BIT_EXT_INPUT},
               {ORBXXXG_REF_BIT_EXT_100M, ORBXXXG_REF_BIT_EXT_1G});
    r->tuneState = ORBXXXG_REF_TUNE_EXTERNAL;
    presetTune(s, r->tuneState);
    return SRI_applyPreset(s);
}

int selectTune(OrbxxxgRef *r, uint8_t state) {
    r->tuneState = state;
    presetTune(&r->sri, state);
    return SRI_applyPreset(&r->sri);
}

int checkChannel(int32_t channel) {
    return channel >= 0 && channel < 4 ? 0 : KR_E_ILLEGAL_PARAMETER_VALUE;
}

int lockDacSet(void *dac, uint16_t value) {
    return AD5643_setValue(static_cast<AD5643 *>(dac), LOCK_TEST_CHANNEL, value);
}
int lockDacOn(void *dac) {
    return AD5643_powerUp(static_cast<AD5643 *>(dac), LOCK_TEST_CHANNEL);
}
int lockDacOff(void *dac) {
    return AD5643_powerDown(static_cast<AD5643 *>(dac), LOCK_TEST_CHANNEL, LOCK_TEST_POWER_DOWN);
}

// The lock-test waits run in the hardware stream, so that the readings follow them.
constexpr uint32_t LOCK_SETTLE_US = 100000;
constexpr uint32_t LOCK_RELEASE_US = 1000000;
constexpr uint16_t LOCK_TEST_HIGH = 8300;
constexpr uint16_t LOCK_TEST_LOW = 8100;
constexpr uint32_t LOCK_ADC_MIN = 400;
constexpr uint32_t LOCK_ADC_MAX = 16150;
constexpr uint32_t LOCK_TOLERANCE = 50;

}  // namespace

KrFreq ORBXXXG_REF_hz(int64_t hz) {
    return KrFreq{hz, 0};
}

uint32_t ORBXXXG_REF_limitTuning(double value) {
    // NaN and negative values would make the conversion undefined.
    if (!(value > 0)) return 0;
    return value >= ORBXXXG_REF_TUNING_MAX ? ORBXXXG_REF_TUNING_MAX : (uint32_t)value;
}

int ORBXXXG_REF_compareHz(const KrFreq *f, int64_t hz) {
    KrFreq h = ORBXXXG_REF_hz(hz);
    return krfreqCompare(f, &h);
}

void ORBXXXG_REF_presetBits(SRI *sri, std::initializer_list<int> set,
                            std::initializer_list<int> clear) {
    for (int b : clear)
        SRI_presetClearBit(sri, b);
    for (int b : set)
        SRI_presetSetBit(sri, b);
}

KrFreq ORBXXXG_REF_selectReferenceFrequency(const KrFreq *f, int allow1G) {
    if (cmp(f, HZ_55M) < 0) return ORBXXXG_REF_hz(HZ_10M);
    if (cmp(f, HZ_550M) < 0 || !allow1G) return ORBXXXG_REF_hz(HZ_100M);
    return ORBXXXG_REF_hz(HZ_1G);
}

int ORBXXXG_REF_evaluateLock(const uint32_t a[4]) {
    printd("ORBX_REF_checkLock(): ADC=\t%u,\t%u,\t%u,\t%u\t", (unsigned)a[0], (unsigned)a[1],
           (unsigned)a[2], (unsigned)a[3]);
    if (a[3] < LOCK_ADC_MIN || a[3] > LOCK_ADC_MAX) {
        printd("-> unlocked, over range\n");
        return 0;
    }
    uint32_t d[3];
    for (int i = 0; i < 3; i++)
        d[i] = (uint32_t)std::labs((long)a[3] - (long)a[i]);
    printd("Diff=\t%u,\t%u,\t%u,\t", (unsigned)d[0], (unsigned)d[1], (unsigned)d[2]);
    if (d[0] <= LOCK_TOLERANCE && d[1] <= d[0] + LOCK_TOLERANCE && d[2] <= d[0] + LOCK_TOLERANCE) {
        printd("-> locked\n");
        return 1;
    }
    printd("-> unlocked\n");
    return 0;
}

int ORBXXXG_REF_readTuneAdc(AD7940 *adc, uint32_t *value) {
    int e = AD7940_read(adc, value);
    printd("ORBXXXG_REF_readTuneAdc(): ADC=%u (%d)\n", (unsigned)*value, e);
    return e;
}

int ORBXXXG_REF_runLockCheck(AD7940 *adc, const OrbxxxgRefLockTestDac *dac, uint8_t *lockFlag) {
    *lockFlag = 0;
    uint32_t a[4] = {};
    int e = AD7940_read(adc, &a[0]);
    if (e == 0) e = dac->setValue(dac->dac, LOCK_TEST_HIGH);
    if (e == 0) e = dac->switchOn(dac->dac);
    if (e == 0) {
        krstuff_delay_us_spi(LOCK_SETTLE_US);
        e = AD7940_read(adc, &a[1]);
        if (e == 0) e = dac->setValue(dac->dac, LOCK_TEST_LOW);
        krstuff_delay_us_spi(LOCK_SETTLE_US);
        if (e == 0) e = AD7940_read(adc, &a[2]);
    }
    // The disturbance ends whatever happened above.
    keepFirst(&e, dac->switchOff(dac->dac));
    if (e != 0) {
        printd("ORBXXXG_REF_runLockCheck(): lock test failed (%d)\n", e);
        return e;
    }
    krstuff_delay_us_spi(LOCK_RELEASE_US);
    e = AD7940_read(adc, &a[3]);
    if (e != 0) {
        printd("ORBXXXG_REF_runLockCheck(): lock test failed (%d)\n", e);
        return e;
    }
    *lockFlag = (uint8_t)ORBXXXG_REF_evaluateLock(a);
    return 0;
}

int ORBXXXG_REF_init(OrbxxxgRefBoard *board) {
    OrbxxxgRef *r = new (board->module) OrbxxxgRef{};
    uint8_t zeros[ORBXXXG_REF_SRI_BYTES] = {};
    int e = SRI_init(&r->sri, word(BOARD_REF_SRI, SRI_CLOCK), zeros, ORBXXXG_REF_SRI_BYTES);
    keepFirst(&e, AD5643_init(&r->tuneDac, word(BOARD_REF_TUNE_DAC, CHIP_CLOCK)));
    keepFirst(&e, AD7940_init(&r->adc, word(BOARD_REF_ADC, CHIP_CLOCK)));
    keepFirst(&e, HMC987_init(&r->fanout, word(BOARD_REF_FANOUT, CHIP_CLOCK)));
    keepFirst(&e, SRI_setBit(&r->sri, ORBXXXG_REF_BIT_STARTUP));
    keepFirst(&e, AD5643_powerUp(&r->tuneDac, TUNE_CHANNEL));
    keepFirst(&e, lockDacOff(&r->tuneDac));
    keepFirst(&e, ORBXXXG_REF_setReferenceSourceInternal(board));
    keepFirst(&e, HMC987_disablePortLSB(&r->fanout, FANOUT_OFF_AT_START));
    keepFirst(&e, ORBXXXG_REF_setDefaultValues(board));
    if (e != 0) printd("ORBXXXG_REF_init(): reference board set-up failed (%d)\n", e);
    return e;
}

int ORBXXXG_REF_setDefaultValues(OrbxxxgRefBoard *board) {
    OrbxxxgRef *r = rec(board);
    r->referenceFrequency = ORBXXXG_REF_hz(HZ_10M);
    r->lockFlag = 1;
    int e = ORBXXXG_REF_setReferenceSourceInternal(board);
    r->refOutEnabled = 0;
    r->refOut100M = 1;
    presetBits(&r->sri, {}, {ORBXXXG_REF_BIT_REFOUT_ON, ORBXXXG_REF_BIT_REFOUT_10M});
    keepFirst(&e, SRI_applyPreset(&r->sri));
    return e;
}

int ORBXXXG_REF_setReferenceSourceInternal(OrbxxxgRefBoard *board) {
    OrbxxxgRef *r = rec(board);
    presetBits(&r->sri,
               {ORBXXXG_REF_BIT_MULT10, ORBXXXG_REF_BIT_OSC_100M, ORBXXXG_REF_BIT_REF100M_X10_OFF,
                ORBXXXG_REF_BIT_FEEDBACK_100M},
               {ORBXXXG_REF_BIT_EXT_100M, ORBXXXG_REF_BIT_EXT_1G, ORBXXXG_REF_BIT_EXT_10M,
                ORBXXXG_REF_BIT_EXT_INPUT});
    r->source = ORBXXXG_REF_SOURCE_INTERNAL;
    r->tuneState = ORBXXXG_REF_TUNE_INTERNAL;
    presetTune(&r->sri, r->tuneState);
    return SRI_applyPreset(&r->sri);
}

int ORBXXXG_REF_setReferenceSourceExternal(OrbxxxgRefBoard *board) {
    OrbxxxgRef *r = rec(board);
    r->source = ORBXXXG_REF_SOURCE_EXTERNAL;
    return applyExternal(r);
}

int ORBXXXG_REF_selectTuneExternalSource(OrbxxxgRefBoard *board) {
    return selectTune(rec(board), ORBXXXG_REF_TUNE_EXTERNAL);
}

int ORBXXXG_REF_selectTuneInternalSource(OrbxxxgRefBoard *board) {
    return selectTune(rec(board), ORBXXXG_REF_TUNE_INTERNAL);
}

int ORBXXXG_REF_isReferenceSourceInternal(OrbxxxgRefBoard *board) {
    return rec(board)->source == ORBXXXG_REF_SOURCE_INTERNAL;
}

int ORBXXXG_REF_isReferenceSourceExternal(OrbxxxgRefBoard *board) {
    return rec(board)->source == ORBXXXG_REF_SOURCE_EXTERNAL;
}

int ORBXXXG_REF_enableRefOut(OrbxxxgRefBoard *board) {
    OrbxxxgRef *r = rec(board);
    if (r->refOutEnabled) return 0;
    if (r->source == ORBXXXG_REF_SOURCE_EXTERNAL && cmp(&r->referenceFrequency, HZ_1G) >= 0)
        return 0;
    r->refOutEnabled = 1;
    return SRI_setBit(&r->sri, ORBXXXG_REF_BIT_REFOUT_ON);
}

int ORBXXXG_REF_disableRefOut(OrbxxxgRefBoard *board) {
    OrbxxxgRef *r = rec(board);
    if (!r->refOutEnabled) return 0;
    r->refOutEnabled = 0;
    return SRI_clearBit(&r->sri, ORBXXXG_REF_BIT_REFOUT_ON);
}

int ORBXXXG_REF_isRefOutEnabled(OrbxxxgRefBoard *board) {
    return rec(board)->refOutEnabled;
}

int ORBXXXG_REF_getReferenceOutputFrequency(OrbxxxgRefBoard *board, KrFreq *f) {
    *f = ORBXXXG_REF_hz(rec(board)->refOut100M ? HZ_100M : HZ_10M);
    return 0;
}

int ORBXXXG_REF_setReferenceOutputFrequency(OrbxxxgRefBoard *board, const KrFreq *f) {
    OrbxxxgRef *r = rec(board);
    // Only the oscillator chain (internal or locked to 10 MHz) offers both frequencies.
    bool chain =
        r->source == ORBXXXG_REF_SOURCE_INTERNAL || cmp(&r->referenceFrequency, HZ_100M) < 0;
    if (!chain) return 0;
    r->refOut100M = cmp(f, HZ_55M) >= 0;
    printd("setting output freq to: %s", r->refOut100M ? "100MHz\n: " : "10MHz\n: ");
    return r->refOut100M ? SRI_clearBit(&r->sri, ORBXXXG_REF_BIT_REFOUT_10M)
                         : SRI_setBit(&r->sri, ORBXXXG_REF_BIT_REFOUT_10M);
}

int ORBXXXG_REF_enableRefChannel(OrbxxxgRefBoard *board, int32_t channel) {
    if (int e = checkChannel(channel)) return e;
    return HMC987_enablePortMSB(&rec(board)->fanout, 1u << channel);
}

int ORBXXXG_REF_disableRefChannel(OrbxxxgRefBoard *board, int32_t channel) {
    if (int e = checkChannel(channel)) return e;
    return HMC987_disablePortMSB(&rec(board)->fanout, 1u << channel);
}

int ORBXXXG_REF_setReferenceTuning(OrbxxxgRefBoard *board, double value) {
    OrbxxxgRef *r = rec(board);
    uint32_t v = ORBXXXG_REF_limitTuning(value);
    r->tuning = v;
    return AD5643_setValue(&r->tuneDac, TUNE_CHANNEL, (uint16_t)v);
}

int ORBXXXG_REF_getReferenceTuning(OrbxxxgRefBoard *board, double *value) {
    *value = rec(board)->tuning;
    return 0;
}

int ORBXXXG_REF_isReferencePhaseLocked(OrbxxxgRefBoard *board) {
    OrbxxxgRef *r = rec(board);
    if (r->source == ORBXXXG_REF_SOURCE_INTERNAL || cmp(&r->referenceFrequency, HZ_100M) < 0)
        return r->lockFlag;
    return 1;  // 100 MHz and 1 GHz feed the board directly: nothing to lock
}

int ORBXXXG_REF_checkReferencePhaseLock(OrbxxxgRefBoard *board) {
    OrbxxxgRef *r = rec(board);
    const OrbxxxgRefLockTestDac dac = {&r->tuneDac, lockDacSet, lockDacOn, lockDacOff};
    return ORBXXXG_REF_runLockCheck(&r->adc, &dac, &r->lockFlag);
}

int ORBXXXG_REF_getTuneAdc(OrbxxxgRefBoard *board, uint32_t *value) {
    return ORBXXXG_REF_readTuneAdc(&rec(board)->adc, value);
}

int ORBXXXG_REF_setReferenceFrequency(OrbxxxgRefBoard *board, const KrFreq *f) {
    OrbxxxgRef *r = rec(board);
    r->referenceFrequency = ORBXXXG_REF_selectReferenceFrequency(f, 1);
    return r->source == ORBXXXG_REF_SOURCE_EXTERNAL ? applyExternal(r) : 0;
}

int ORBXXXG_REF_setReferenceFrequencyJump(OrbxxxgRefBoard *board, const KrFreq *f) {
    OrbxxxgRef *r = rec(board);
    KrFreq current = r->referenceFrequency;
    KrFreq next = *f;
    int c = krfreqCompare(f, &current);
    if (c > 0) {
        KrFreq higher;
        ORBXXXG_REF_getReferenceFrequencyHigher(board, &current, &higher);
        if (krfreqCompare(&higher, f) > 0) next = higher;
    } else if (c < 0) {
        KrFreq lower;
        ORBXXXG_REF_getReferenceFrequencyLower(board, &current, &lower);
        if (krfreqCompare(&lower, f) < 0) next = lower;
    }
    return ORBXXXG_REF_setReferenceFrequency(board, &next);
}

int ORBXXXG_REF_getReferenceFrequency(OrbxxxgRefBoard *board, KrFreq *f) {
    *f = rec(board)->referenceFrequency;
    return 0;
}

int ORBXXXG_REF_getReferenceFrequencyMin(OrbxxxgRefBoard *, KrFreq *f) {
    *f = ORBXXXG_REF_hz(HZ_10M);
    return 0;
}

int ORBXXXG_REF_getReferenceFrequencyMax(OrbxxxgRefBoard *, KrFreq *f) {
    *f = ORBXXXG_REF_hz(HZ_1G);
    return 0;
}

int ORBXXXG_REF_getReferenceFrequencyLower(OrbxxxgRefBoard *board, const KrFreq *current,
                                           KrFreq *f) {
    const KrFreq *c = current ? current : &rec(board)->referenceFrequency;
    *f = ORBXXXG_REF_hz(cmp(c, HZ_100M) > 0 ? HZ_100M : HZ_10M);
    return 0;
}

int ORBXXXG_REF_getReferenceFrequencyHigher(OrbxxxgRefBoard *board, const KrFreq *current,
                                            KrFreq *f) {
    const KrFreq *c = current ? current : &rec(board)->referenceFrequency;
    *f = ORBXXXG_REF_hz(cmp(c, HZ_100M) >= 0 ? HZ_1G : HZ_100M);
    return 0;
}

int ORBXXXG_REF_disableOptionLn(OrbxxxgRefBoard *) {
    return KR_E_HARDWARE_MISSING;
}

void ORBXXXG_REF_registerFunctions() {
    BOARD_ORBXXXG_REF_init = ORBXXXG_REF_init;
    BOARD_ORBXXXG_REF_setDefaultValues = ORBXXXG_REF_setDefaultValues;
    BOARD_ORBXXXG_REF_setReferenceSourceInternal = ORBXXXG_REF_setReferenceSourceInternal;
    BOARD_ORBXXXG_REF_setReferenceSourceExternal = ORBXXXG_REF_setReferenceSourceExternal;
    BOARD_ORBXXXG_REF_selectTuneExternalSource = ORBXXXG_REF_selectTuneExternalSource;
    BOARD_ORBXXXG_REF_selectTuneInternalSource = ORBXXXG_REF_selectTuneInternalSource;
    BOARD_ORBXXXG_REF_enableRefOut = ORBXXXG_REF_enableRefOut;
    BOARD_ORBXXXG_REF_disableRefOut = ORBXXXG_REF_disableRefOut;
    BOARD_ORBXXXG_REF_isRefOutEnabled = ORBXXXG_REF_isRefOutEnabled;
    BOARD_ORBXXXG_REF_getReferenceOutputFrequency = ORBXXXG_REF_getReferenceOutputFrequency;
    BOARD_ORBXXXG_REF_setReferenceOutputFrequency = ORBXXXG_REF_setReferenceOutputFrequency;
    BOARD_ORBXXXG_REF_isReferenceSourceInternal = ORBXXXG_REF_isReferenceSourceInternal;
    BOARD_ORBXXXG_REF_isReferenceSourceExternal = ORBXXXG_REF_isReferenceSourceExternal;
    BOARD_ORBXXXG_REF_disableRefChannel = ORBXXXG_REF_disableRefChannel;
    BOARD_ORBXXXG_REF_enableRefChannel = ORBXXXG_REF_enableRefChannel;
    BOARD_ORBXXXG_REF_getReferenceTuning = ORBXXXG_REF_getReferenceTuning;
    BOARD_ORBXXXG_REF_setReferenceTuning = ORBXXXG_REF_setReferenceTuning;
    BOARD_ORBXXXG_REF_isReferencePhaseLocked = ORBXXXG_REF_isReferencePhaseLocked;
    BOARD_ORBXXXG_REF_checkReferencePhaseLock = ORBXXXG_REF_checkReferencePhaseLock;
    BOARD_ORBXXXG_REF_getTuneAdc = ORBXXXG_REF_getTuneAdc;
    BOARD_ORBXXXG_REF_setReferenceFrequencyJump = ORBXXXG_REF_setReferenceFrequencyJump;
    BOARD_ORBXXXG_REF_getReferenceFrequency = ORBXXXG_REF_getReferenceFrequency;
    BOARD_ORBXXXG_REF_getReferenceFrequencyMin = ORBXXXG_REF_getReferenceFrequencyMin;
    BOARD_ORBXXXG_REF_getReferenceFrequencyMax = ORBXXXG_REF_getReferenceFrequencyMax;
    BOARD_ORBXXXG_REF_getReferenceFrequencyLower = ORBXXXG_REF_getReferenceFrequencyLower;
    BOARD_ORBXXXG_REF_getReferenceFrequencyHigher = ORBXXXG_REF_getReferenceFrequencyHigher;
    BOARD_ORBXXXG_REF_setReferenceFrequency = ORBXXXG_REF_setReferenceFrequency;
    BOARD_ORBXXXG_REF_disableOptionLn = ORBXXXG_REF_disableOptionLn;
}
