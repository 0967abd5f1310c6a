// Low-noise reference board.
#include "hw/orbxxxg_ref_uln.h"

#include <cmath>
#include <initializer_list>
#include <new>

#include "config/device_config.h"
#include "core/krstuff.h"
#include "core/printd.h"
#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "hw/krspi.h"
#include "hw/orbxxxg_ref.h"
#include "hw/orbxxxg_ref_registers.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr uint32_t SRI_CLOCK = 2;   // 25 MHz
constexpr uint32_t SLOW_CLOCK = 3;  // 12.5 MHz: ADF4002 and lock-test DAC
constexpr uint32_t CHIP_CLOCK = 4;  // 6.25 MHz
constexpr uint32_t FANOUT_OFF_AT_START = 15;
constexpr uint32_t SYSCLK_PORT = 3;
constexpr uint32_t LOCK_DAC_ON = 0;
constexpr uint32_t LOCK_DAC_OFF = 3;  // three-state
constexpr uint32_t EXT_10M_SETTLE_US = 500000;

constexpr int64_t HZ_1M = 1000000;
constexpr int64_t HZ_10M = 10000000;
constexpr int64_t HZ_55M = 55000000;
constexpr int64_t HZ_100M = 100000000;
constexpr int64_t HZ_250M = 250000000;
constexpr int64_t HZ_550M = 550000000;
constexpr int64_t HZ_1G = 1000000000;
constexpr int64_t PLL_STEP_HZ = 100000;

// PLL set-up for the external loop.
constexpr uint32_t PLL_CHARGE_PUMP = 7;
constexpr uint32_t PLL_POLARITY = 0;
constexpr uint32_t PLL_MUX_LOCK_DETECT = 1;

// Phase-coherent builds.
constexpr uint32_t FANOUT_RF_GAIN = 5;
constexpr uint16_t SYSREF_DIVIDER = 1920;
constexpr int SYSREF_OUTPUT[ORBXXXG_REF_ULN_SYSREF_CHANNELS] = {6, 4, 2, 0};
constexpr int SYSREF_REFERENCE_OUTPUT = 11;
constexpr int CLOCK_OUTPUT = 10;
constexpr uint16_t CLOCK_DIVIDER = 24;

// Every source change starts from none of these.
constexpr std::initializer_list<int> SOURCE_BITS = {
    ORBXXXG_REF_ULN_BIT_INTERNAL_LN, ORBXXXG_REF_ULN_BIT_PATH2,   ORBXXXG_REF_ULN_BIT_SYSCLK,
    ORBXXXG_REF_ULN_BIT_EXT,         ORBXXXG_REF_ULN_BIT_EXT_10M, ORBXXXG_REF_ULN_BIT_EXT_100M,
    ORBXXXG_REF_ULN_BIT_PATH12,      ORBXXXG_REF_ULN_BIT_PATH13,  ORBXXXG_REF_ULN_BIT_PLL,
    ORBXXXG_REF_ULN_BIT_EXT_1G,      ORBXXXG_REF_ULN_BIT_PATH17,  ORBXXXG_REF_ULN_BIT_PATH18,
    ORBXXXG_REF_ULN_BIT_SYSCLK_IN,   ORBXXXG_REF_ULN_BIT_PATH21,  ORBXXXG_REF_ULN_BIT_PATH22,
    ORBXXXG_REF_ULN_BIT_INTERNAL};

OrbxxxgRefLockDetectReader lockDetectReader = nullptr;

OrbxxxgRefUln *rec(OrbxxxgRefBoard *board) {
    return orbxxxg_refRecord<OrbxxxgRefUln>(board);
}

uint32_t word(uint32_t slave, uint32_t clock) {
    return krspi_makeWord(slave, 0, clock);
}

int cmp(const KrFreq *f, int64_t hz) {
    return ORBXXXG_REF_compareHz(f, hz);
}

bool is2A(const OrbxxxgRefBoard *board) {
    return board->revisionCode == ORBXXXG_REF_ULN_REV_2A;
}

bool is2C(const OrbxxxgRefBoard *board) {
    return board->revisionCode == ORBXXXG_REF_ULN_REV_2C;
}

void keepFirst(int *first, int r) {
    if (*first == 0) *first = r;
}

int applySource(OrbxxxgRefUln *r, std::initializer_list<int> bits) {
    ORBXXXG_REF_presetBits(&r->sri, bits, SOURCE_BITS);
    return SRI_applyPreset(&r->sri);
}

// The output frequency bits into the preset. Revision 2A can only pass on 100 MHz from an
// external 100 MHz or the plain internal chain, and only 10 MHz with the external PLL.
void presetRefOutFrequency(OrbxxxgRefBoard *board, OrbxxxgRefUln *r) {
    if (is2A(board)) {
        if ((r->source == ORBXXXG_REF_SOURCE_EXTERNAL &&
             cmp(&r->referenceFrequency, HZ_100M) == 0) ||
            (r->source == ORBXXXG_REF_SOURCE_INTERNAL && r->lnDisabled))
            r->refOut100M = 1;
        else if (r->source == ORBXXXG_REF_ULN_SOURCE_PLL)
            r->refOut100M = 0;
    }
    int ten = !r->refOut100M;
    SRI_presetBitValue(&r->sri, ORBXXXG_REF_ULN_BIT_REFOUT_10M, ten);
    if (!is2A(board)) SRI_presetBitValue(&r->sri, ORBXXXG_REF_ULN_BIT_REFOUT_10M_A, ten);
}

// After a change to an external 100 MHz path: 2A cannot keep a 10 MHz output.
int dropTenMegahertzOutput(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    if (is2A(board) && r->refOutEnabled && !r->refOut100M)
        return ORBXXXG_REF_ULN_disableRefOut(board);
    return 0;
}

int programPll(OrbxxxgRefUln *r) {
    KrFreq comparison = ORBXXXG_REF_hz(HZ_100M);
    int e = ADF4002_powerUp(&r->pll);
    if (e == 0) e = ADF4002_setChargePumpCurrent(&r->pll, PLL_CHARGE_PUMP);
    if (e == 0) e = ADF4002_setPhaseDetectorPolarity(&r->pll, PLL_POLARITY);
    if (e == 0) e = ADF4002_setMuxOut(&r->pll, PLL_MUX_LOCK_DETECT);
    if (e == 0) e = ADF4002_setComparisonFrequency(&r->pll, &comparison);
    if (e == 0) e = ADF4002_setReferenceFrequency(&r->pll, &r->extPllFrequency);
    if (e != 0) printd("ORBXXXG_REF_ULN_programPll(): PLL set-up failed (%d)\n", e);
    return e;
}

// Channel to fan-out port; -1 for channels the board does not serve.
int refChannelPort(const OrbxxxgRefUln *r, int32_t channel) {
    if (channel < 0 || channel >= ORBXXXG_REF_ULN_SYSREF_CHANNELS) return -1;
    return r->channelOrderReversed ? 7 - channel : channel;
}

int lockDacSet(void *dac, uint16_t value) {
    return AD5640_setValue(static_cast<AD5640 *>(dac), value);
}
int lockDacOn(void *dac) {
    return AD5640_setOperatingMode(static_cast<AD5640 *>(dac), LOCK_DAC_ON);
}
int lockDacOff(void *dac) {
    return AD5640_setOperatingMode(static_cast<AD5640 *>(dac), LOCK_DAC_OFF);
}

int sysrefOutput(int32_t channel) {
    return channel >= 0 && channel < ORBXXXG_REF_ULN_SYSREF_CHANNELS ? SYSREF_OUTPUT[channel] : -1;
}

}  // namespace

void ORBXXXG_REF_ULN_setLockDetectReader(OrbxxxgRefLockDetectReader reader) {
    lockDetectReader = reader;
}

int ORBXXXG_REF_ULN_init(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = new (board->module) OrbxxxgRefUln{};
    uint8_t zeros[ORBXXXG_REF_SRI_BYTES] = {};
    int e = SRI_init(&r->sri, word(BOARD_REF_SRI, SRI_CLOCK), zeros, ORBXXXG_REF_SRI_BYTES);
    // Reset pulse; the distributor is configured after it.
    keepFirst(&e, SRI_setBit(&r->sri, ORBXXXG_REF_ULN_BIT_RESET));
    keepFirst(&e, SRI_clearBit(&r->sri, ORBXXXG_REF_ULN_BIT_RESET));
    keepFirst(&e, HMC7043_init(&r->clock, word(BOARD_REF_ULN_CLOCK, CHIP_CLOCK)));
    keepFirst(&e, HMC987_init(&r->fanout, word(BOARD_REF_ULN_FANOUT, CHIP_CLOCK)));
    keepFirst(&e, AD5760_init(&r->oscDac, word(BOARD_REF_ULN_OSC_DAC, CHIP_CLOCK)));
    keepFirst(&e, ADF4002_init(&r->pll, word(BOARD_REF_ULN_PLL, SLOW_CLOCK)));
    keepFirst(&e, AD7940_init(&r->adc, word(BOARD_REF_ULN_ADC, CHIP_CLOCK)));
    keepFirst(&e, AD5640_init(&r->lockDac, word(BOARD_REF_ULN_LOCK_DAC, SLOW_CLOCK)));
    keepFirst(&e, lockDacOff(&r->lockDac));  // the lock test switches it on only for itself
    keepFirst(&e, ORBXXXG_REF_ULN_setReferenceSourceInternal(board));
    keepFirst(&e, HMC987_disablePortLSB(&r->fanout, FANOUT_OFF_AT_START));
    keepFirst(&e, ORBXXXG_REF_ULN_setDefaultValues(board));
    if (e != 0) printd("ORBXXXG_REF_ULN_init(): reference board set-up failed (%d)\n", e);
    return e;
}

int ORBXXXG_REF_ULN_setDefaultValues(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    r->referenceFrequency = ORBXXXG_REF_hz(HZ_10M);
    r->lockFlag = 1;
    r->extPllFrequencyMin = ORBXXXG_REF_hz(HZ_1M);
    r->extPllFrequencyMax = ORBXXXG_REF_hz(HZ_250M);
    r->extPllFrequency = ORBXXXG_REF_hz(HZ_10M);
    r->channelOrderReversed = 1;
    int e = ORBXXXG_REF_ULN_setReferenceSourceInternal(board);
    r->refOut100M = 1;
    keepFirst(&e, ORBXXXG_REF_ULN_disableRefOut(board));
    keepFirst(&e, ORBXXXG_REF_ULN_disableSysClockOut(board));
    return e;
}

int ORBXXXG_REF_ULN_setReferenceSourceInternal(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    int e = 0;
    if (r->source == ORBXXXG_REF_ULN_SOURCE_PLL) e = ADF4002_powerDown(&r->pll);
    r->source = ORBXXXG_REF_SOURCE_INTERNAL;
    if (r->lnDisabled)
        keepFirst(&e, applySource(r, {ORBXXXG_REF_ULN_BIT_PATH13, ORBXXXG_REF_ULN_BIT_PATH17,
                                      ORBXXXG_REF_ULN_BIT_PATH18, ORBXXXG_REF_ULN_BIT_PATH2,
                                      ORBXXXG_REF_ULN_BIT_INTERNAL}));
    else
        keepFirst(&e, applySource(r, {ORBXXXG_REF_ULN_BIT_INTERNAL_LN, ORBXXXG_REF_ULN_BIT_PATH12,
                                      ORBXXXG_REF_ULN_BIT_PATH13, ORBXXXG_REF_ULN_BIT_PATH17,
                                      ORBXXXG_REF_ULN_BIT_PATH18, ORBXXXG_REF_ULN_BIT_PATH2,
                                      ORBXXXG_REF_ULN_BIT_PATH21, ORBXXXG_REF_ULN_BIT_PATH22}));
    return e;
}

int ORBXXXG_REF_ULN_setReferenceSourceExternal(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    if (cmp(&r->referenceFrequency, HZ_1G) >= 0) {
        if (!is2C(board)) {
            printd("ORBXXXG_REF_ULN_setReferenceSourceExternal(): no 1 GHz input\n");
            return 0;
        }
        r->source = ORBXXXG_REF_SOURCE_EXTERNAL;
        int e = applySource(r, {ORBXXXG_REF_ULN_BIT_EXT_1G, ORBXXXG_REF_ULN_BIT_EXT,
                                ORBXXXG_REF_ULN_BIT_EXT_100M, ORBXXXG_REF_ULN_BIT_PATH2});
        keepFirst(&e, ORBXXXG_REF_ULN_disableRefOut(board));
        return e;
    }
    r->source = ORBXXXG_REF_SOURCE_EXTERNAL;
    if (cmp(&r->referenceFrequency, HZ_100M) >= 0) {
        int e = applySource(
            r, {ORBXXXG_REF_ULN_BIT_EXT, ORBXXXG_REF_ULN_BIT_EXT_100M, ORBXXXG_REF_ULN_BIT_PATH17,
                ORBXXXG_REF_ULN_BIT_PATH18, ORBXXXG_REF_ULN_BIT_PATH2});
        keepFirst(&e, dropTenMegahertzOutput(board));
        return e;
    }
    int e = applySource(
        r, {ORBXXXG_REF_ULN_BIT_EXT_10M, ORBXXXG_REF_ULN_BIT_EXT, ORBXXXG_REF_ULN_BIT_PATH12,
            ORBXXXG_REF_ULN_BIT_PATH13, ORBXXXG_REF_ULN_BIT_PATH17, ORBXXXG_REF_ULN_BIT_PATH18,
            ORBXXXG_REF_ULN_BIT_PATH2, ORBXXXG_REF_ULN_BIT_PATH22});
    krstuff_delay_us_spi(EXT_10M_SETTLE_US);  // the oscillator pulls in to the new input
    return e;
}

int ORBXXXG_REF_ULN_setReferenceSourceExternalVariable(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    r->source = ORBXXXG_REF_ULN_SOURCE_PLL;
    int e = applySource(
        r, {ORBXXXG_REF_ULN_BIT_EXT, ORBXXXG_REF_ULN_BIT_PATH13, ORBXXXG_REF_ULN_BIT_PATH17,
            ORBXXXG_REF_ULN_BIT_PATH18, ORBXXXG_REF_ULN_BIT_PATH2, ORBXXXG_REF_ULN_BIT_PLL,
            ORBXXXG_REF_ULN_BIT_PATH22});
    keepFirst(&e, dropTenMegahertzOutput(board));
    keepFirst(&e, programPll(r));
    return e;
}

int ORBXXXG_REF_ULN_setReferenceSourceExternalSysClock(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    r->source = ORBXXXG_REF_ULN_SOURCE_SYSCLK;
    int e = applySource(r, {ORBXXXG_REF_ULN_BIT_SYSCLK, ORBXXXG_REF_ULN_BIT_SYSCLK_IN});
    keepFirst(&e, ORBXXXG_REF_ULN_disableRefOut(board));
    return e;
}

int ORBXXXG_REF_ULN_isReferenceSourceInternal(OrbxxxgRefBoard *board) {
    return rec(board)->source == ORBXXXG_REF_SOURCE_INTERNAL;
}

int ORBXXXG_REF_ULN_isReferenceSourceExternal(OrbxxxgRefBoard *board) {
    return rec(board)->source == ORBXXXG_REF_SOURCE_EXTERNAL;
}

int ORBXXXG_REF_ULN_isReferenceSourceExternalVariable(OrbxxxgRefBoard *board) {
    return rec(board)->source == ORBXXXG_REF_ULN_SOURCE_PLL;
}

int ORBXXXG_REF_ULN_isReferenceSourceExternalSysClock(OrbxxxgRefBoard *board) {
    return rec(board)->source == ORBXXXG_REF_ULN_SOURCE_SYSCLK;
}

int ORBXXXG_REF_ULN_enableRefOut(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    if (r->refOutEnabled || r->source == ORBXXXG_REF_ULN_SOURCE_SYSCLK) return 0;
    presetRefOutFrequency(board, r);
    SRI_presetSetBit(&r->sri, ORBXXXG_REF_ULN_BIT_REFOUT_ON);
    r->refOutEnabled = 1;
    return SRI_applyPreset(&r->sri);
}

int ORBXXXG_REF_ULN_disableRefOut(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    SRI_presetClearBit(&r->sri, ORBXXXG_REF_ULN_BIT_REFOUT_ON);
    SRI_presetSetBit(&r->sri, ORBXXXG_REF_ULN_BIT_REFOUT_10M);
    if (!is2A(board)) SRI_presetClearBit(&r->sri, ORBXXXG_REF_ULN_BIT_REFOUT_10M_A);
    r->refOutEnabled = 0;
    return SRI_applyPreset(&r->sri);
}

int ORBXXXG_REF_ULN_isRefOutEnabled(OrbxxxgRefBoard *board) {
    return rec(board)->refOutEnabled;
}

int ORBXXXG_REF_ULN_getReferenceOutputFrequency(OrbxxxgRefBoard *board, KrFreq *f) {
    *f = ORBXXXG_REF_hz(rec(board)->refOut100M ? HZ_100M : HZ_10M);
    return 0;
}

int ORBXXXG_REF_ULN_setReferenceOutputFrequency(OrbxxxgRefBoard *board, const KrFreq *f) {
    OrbxxxgRefUln *r = rec(board);
    r->refOut100M = cmp(f, HZ_55M) >= 0;
    printd("setting output freq to: %s", r->refOut100M ? "100MHz\n: " : "10MHz\n: ");
    if (!r->refOutEnabled) return 0;  // selected when the output is switched on
    presetRefOutFrequency(board, r);
    return SRI_applyPreset(&r->sri);
}

int ORBXXXG_REF_ULN_enableSysClockOut(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    r->sysClockOutEnabled = 1;
    return HMC987_enablePort(&r->fanout, SYSCLK_PORT);
}

int ORBXXXG_REF_ULN_disableSysClockOut(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    r->sysClockOutEnabled = 0;
    return HMC987_disablePort(&r->fanout, SYSCLK_PORT);
}

int ORBXXXG_REF_ULN_isSysClockOutEnabled(OrbxxxgRefBoard *board) {
    return rec(board)->sysClockOutEnabled;
}

int ORBXXXG_REF_ULN_enableRefChannel(OrbxxxgRefBoard *board, int32_t channel) {
    OrbxxxgRefUln *r = rec(board);
    int port = refChannelPort(r, channel);
    if (port < 0) return KR_E_ILLEGAL_PARAMETER_VALUE;
    return HMC987_enablePort(&r->fanout, (uint32_t)port);
}

int ORBXXXG_REF_ULN_disableRefChannel(OrbxxxgRefBoard *board, int32_t channel) {
    OrbxxxgRefUln *r = rec(board);
    int port = refChannelPort(r, channel);
    if (port < 0) return KR_E_ILLEGAL_PARAMETER_VALUE;
    return HMC987_disablePort(&r->fanout, (uint32_t)port);
}

int ORBXXXG_REF_ULN_setReferenceTuning(OrbxxxgRefBoard *board, double value) {
    OrbxxxgRefUln *r = rec(board);
    uint32_t v = ORBXXXG_REF_limitTuning(value);
    r->tuning = v;
    return AD5760_setValue(&r->oscDac, (uint16_t)v);
}

int ORBXXXG_REF_ULN_getReferenceTuning(OrbxxxgRefBoard *board, double *value) {
    *value = rec(board)->tuning;
    return 0;
}

int ORBXXXG_REF_ULN_isReferencePhaseLocked(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    switch (r->source) {
        case ORBXXXG_REF_SOURCE_INTERNAL:
            return r->lockFlag;
        case ORBXXXG_REF_SOURCE_EXTERNAL:
            return cmp(&r->referenceFrequency, HZ_100M) < 0 ? r->lockFlag : 1;
        case ORBXXXG_REF_ULN_SOURCE_PLL:
            printd("PLL phase lock check\n");
            return lockDetectReader && lockDetectReader() ? 1 : 0;
        default:
            return 0;
    }
}

int ORBXXXG_REF_ULN_checkReferencePhaseLock(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    const OrbxxxgRefLockTestDac dac = {&r->lockDac, lockDacSet, lockDacOn, lockDacOff};
    return ORBXXXG_REF_runLockCheck(&r->adc, &dac, &r->lockFlag);
}

int ORBXXXG_REF_ULN_getTuneAdc(OrbxxxgRefBoard *board, uint32_t *value) {
    return ORBXXXG_REF_readTuneAdc(&rec(board)->adc, value);
}

int ORBXXXG_REF_ULN_setReferenceFrequency(OrbxxxgRefBoard *board, const KrFreq *f) {
    OrbxxxgRefUln *r = rec(board);
    r->referenceFrequency = ORBXXXG_REF_selectReferenceFrequency(f, is2C(board));
    return r->source == ORBXXXG_REF_SOURCE_EXTERNAL
               ? ORBXXXG_REF_ULN_setReferenceSourceExternal(board)
               : 0;
}

int ORBXXXG_REF_ULN_setReferenceFrequencyJump(OrbxxxgRefBoard *board, const KrFreq *f) {
    KrFreq current = rec(board)->referenceFrequency;
    KrFreq next = *f;
    int c = krfreqCompare(f, &current);
    if (c > 0) ORBXXXG_REF_ULN_getReferenceFrequencyHigher(board, &current, &next);
    if (c < 0) ORBXXXG_REF_ULN_getReferenceFrequencyLower(board, &current, &next);
    return ORBXXXG_REF_ULN_setReferenceFrequency(board, &next);
}

int ORBXXXG_REF_ULN_getReferenceFrequency(OrbxxxgRefBoard *board, KrFreq *f) {
    *f = rec(board)->referenceFrequency;
    return 0;
}

int ORBXXXG_REF_ULN_getReferenceFrequencyMin(OrbxxxgRefBoard *, KrFreq *f) {
    *f = ORBXXXG_REF_hz(HZ_10M);
    return 0;
}

int ORBXXXG_REF_ULN_getReferenceFrequencyMax(OrbxxxgRefBoard *board, KrFreq *f) {
    *f = ORBXXXG_REF_hz(is2C(board) ? HZ_1G : HZ_100M);
    return 0;
}

int ORBXXXG_REF_ULN_getReferenceFrequencyLower(OrbxxxgRefBoard *board, const KrFreq *current,
                                               KrFreq *f) {
    const KrFreq *c = current ? current : &rec(board)->referenceFrequency;
    *f = ORBXXXG_REF_hz(cmp(c, HZ_550M) >= 0 ? HZ_100M : HZ_10M);
    return 0;
}

int ORBXXXG_REF_ULN_getReferenceFrequencyHigher(OrbxxxgRefBoard *board, const KrFreq *current,
                                                KrFreq *f) {
    const KrFreq *c = current ? current : &rec(board)->referenceFrequency;
    bool oneGig = cmp(c, HZ_550M) >= 0 || (cmp(c, HZ_55M) >= 0 && is2C(board));
    *f = ORBXXXG_REF_hz(oneGig ? HZ_1G : HZ_100M);
    return 0;
}

int ORBXXXG_REF_ULN_setReferenceFrequencyPLL(OrbxxxgRefBoard *board, const KrFreq *f) {
    OrbxxxgRefUln *r = rec(board);
    // Limited first: the limits are whole steps, and huge values cannot overflow the rounding.
    int64_t hz = f->integer;
    if (hz < r->extPllFrequencyMin.integer) hz = r->extPllFrequencyMin.integer;
    if (hz > r->extPllFrequencyMax.integer) hz = r->extPllFrequencyMax.integer;
    int64_t rest = hz % PLL_STEP_HZ;
    hz -= rest;
    if (rest >= PLL_STEP_HZ / 2) hz += PLL_STEP_HZ;
    KrFreq rounded = ORBXXXG_REF_hz(hz);
    r->extPllFrequency = rounded;
    return r->source == ORBXXXG_REF_ULN_SOURCE_PLL ? programPll(r) : 0;
}

int ORBXXXG_REF_ULN_getExtReferencePllFrequency(OrbxxxgRefBoard *board, KrFreq *f) {
    *f = rec(board)->extPllFrequency;
    return 0;
}

int ORBXXXG_REF_ULN_getExtReferencePllFrequencyMax(OrbxxxgRefBoard *board, KrFreq *f) {
    *f = rec(board)->extPllFrequencyMax;
    return 0;
}

int ORBXXXG_REF_ULN_getExtReferencePllFrequencyMin(OrbxxxgRefBoard *board, KrFreq *f) {
    *f = rec(board)->extPllFrequencyMin;
    return 0;
}

int ORBXXXG_REF_ULN_disableOptionLn(OrbxxxgRefBoard *board) {
    OrbxxxgRefUln *r = rec(board);
    r->lnDisabled = 1;
    if (r->source == ORBXXXG_REF_SOURCE_INTERNAL) ORBXXXG_REF_ULN_setReferenceSourceInternal(board);
    return KR_E_HARDWARE_MISSING;
}

int ORBXXXG_REF_ULN_initialize_phs(OrbxxxgRefBoard *board, uint32_t mask) {
    OrbxxxgRefUln *r = rec(board);
    HMC7043 *c = &r->clock;
    int e = HMC7043_setInputBufferMode(c, HMC7043_INPUT_AC_CML_100);
    if (e == 0) e = HMC987_enableRfBuffer(&r->fanout);
    if (e == 0) e = HMC987_setRfBufferGain(&r->fanout, FANOUT_RF_GAIN);
    if (e == 0) e = HMC7043_setSysrefDivider(c, SYSREF_DIVIDER);
    for (int ch = 0; ch < ORBXXXG_REF_ULN_SYSREF_CHANNELS && e == 0; ch++) {
        int out = SYSREF_OUTPUT[ch];
        if (mask & (1u << ch)) {
            printd("ORBXXXG_REF_ULN_initialize_phs(): enable SYSREF to channel %d\n", ch);
            e = HMC7043_setDivider(c, out, SYSREF_DIVIDER);
            if (e == 0) e = HMC7043_enableOutput(c, out);
            if (e == 0) e = HMC7043_selectAnalogDelay(c, out);
            if (e == 0) e = HMC7043_disableMultislip(c, out);
        } else {
            printd("ORBXXXG_REF_ULN_initialize_phs(): disable SYSREF to channel %d\n", ch);
            e = HMC7043_disableOutput(c, out);  // may still run from an earlier, wider mask
        }
    }
    if (e == 0) e = HMC7043_setDivider(c, SYSREF_REFERENCE_OUTPUT, SYSREF_DIVIDER);
    if (e == 0) e = HMC7043_enableOutput(c, SYSREF_REFERENCE_OUTPUT);
    if (e == 0) e = HMC7043_disableMultislip(c, SYSREF_REFERENCE_OUTPUT);
    if (e == 0) e = HMC7043_setDivider(c, CLOCK_OUTPUT, CLOCK_DIVIDER);
    if (e == 0) e = HMC7043_enableOutput(c, CLOCK_OUTPUT);
    if (e == 0) e = HMC7043_disableMultislip(c, CLOCK_OUTPUT);
    if (e == 0) e = HMC7043_reseed(c);
    return e;
}

int ORBXXXG_REF_ULN_setSysrefChannelAnalogDelay(OrbxxxgRefBoard *board, int32_t channel,
                                                const KrTime *delay) {
    OrbxxxgRefUln *r = rec(board);
    int out = sysrefOutput(channel);
    double steps = *delay / ORBXXXG_REF_ULN_ANALOG_DELAY_STEP_S;
    // The negated test also refuses NaN.
    if (out < 0 || !(steps > -0.5 && steps < ORBXXXG_REF_ULN_ANALOG_DELAY_MAX + 0.5))
        return KR_E_ILLEGAL_PARAMETER_VALUE;
    uint8_t code = (uint8_t)std::lround(steps);
    int e = HMC7043_setAnalogDelay(&r->clock, out, code);
    if (e == 0) r->analogDelay[channel] = code;
    return e;
}

int ORBXXXG_REF_ULN_getSysrefChannelAnalogDelay(OrbxxxgRefBoard *board, int32_t channel,
                                                KrTime *delay) {
    if (sysrefOutput(channel) < 0) return KR_E_ILLEGAL_PARAMETER_VALUE;
    *delay = rec(board)->analogDelay[channel] * ORBXXXG_REF_ULN_ANALOG_DELAY_STEP_S;
    return 0;
}

void ORBXXXG_REF_ULN_registerFunctions() {
    BOARD_ORBXXXG_REF_init = ORBXXXG_REF_ULN_init;
    BOARD_ORBXXXG_REF_setDefaultValues = ORBXXXG_REF_ULN_setDefaultValues;
    BOARD_ORBXXXG_REF_setReferenceSourceInternal = ORBXXXG_REF_ULN_setReferenceSourceInternal;
    BOARD_ORBXXXG_REF_setReferenceSourceExternal = ORBXXXG_REF_ULN_setReferenceSourceExternal;
    BOARD_ORBXXXG_REF_setReferenceSourceExternalVariable =
        ORBXXXG_REF_ULN_setReferenceSourceExternalVariable;
    BOARD_ORBXXXG_REF_setReferenceSourceExternalSysClock =
        ORBXXXG_REF_ULN_setReferenceSourceExternalSysClock;
    BOARD_ORBXXXG_REF_enableRefOut = ORBXXXG_REF_ULN_enableRefOut;
    BOARD_ORBXXXG_REF_disableRefOut = ORBXXXG_REF_ULN_disableRefOut;
    BOARD_ORBXXXG_REF_isRefOutEnabled = ORBXXXG_REF_ULN_isRefOutEnabled;
    BOARD_ORBXXXG_REF_enableSysClockOut = ORBXXXG_REF_ULN_enableSysClockOut;
    BOARD_ORBXXXG_REF_disableSysClockOut = ORBXXXG_REF_ULN_disableSysClockOut;
    BOARD_ORBXXXG_REF_isSysClockOutEnabled = ORBXXXG_REF_ULN_isSysClockOutEnabled;
    BOARD_ORBXXXG_REF_getReferenceOutputFrequency = ORBXXXG_REF_ULN_getReferenceOutputFrequency;
    BOARD_ORBXXXG_REF_setReferenceOutputFrequency = ORBXXXG_REF_ULN_setReferenceOutputFrequency;
    BOARD_ORBXXXG_REF_isReferenceSourceInternal = ORBXXXG_REF_ULN_isReferenceSourceInternal;
    BOARD_ORBXXXG_REF_isReferenceSourceExternal = ORBXXXG_REF_ULN_isReferenceSourceExternal;
    BOARD_ORBXXXG_REF_isReferenceSourceExternalVariable =
        ORBXXXG_REF_ULN_isReferenceSourceExternalVariable;
    BOARD_ORBXXXG_REF_isReferenceSourceExternalSysClock =
        ORBXXXG_REF_ULN_isReferenceSourceExternalSysClock;
    BOARD_ORBXXXG_REF_initialize_phs = ORBXXXG_REF_ULN_initialize_phs;
    BOARD_ORBXXXG_REF_disableRefChannel = ORBXXXG_REF_ULN_disableRefChannel;
    BOARD_ORBXXXG_REF_enableRefChannel = ORBXXXG_REF_ULN_enableRefChannel;
    BOARD_ORBXXXG_REF_getSysrefChannelAnalogDelay = ORBXXXG_REF_ULN_getSysrefChannelAnalogDelay;
    BOARD_ORBXXXG_REF_setSysrefChannelAnalogDelay = ORBXXXG_REF_ULN_setSysrefChannelAnalogDelay;
    BOARD_ORBXXXG_REF_getReferenceTuning = ORBXXXG_REF_ULN_getReferenceTuning;
    BOARD_ORBXXXG_REF_setReferenceTuning = ORBXXXG_REF_ULN_setReferenceTuning;
    BOARD_ORBXXXG_REF_isReferencePhaseLocked = ORBXXXG_REF_ULN_isReferencePhaseLocked;
    BOARD_ORBXXXG_REF_checkReferencePhaseLock = ORBXXXG_REF_ULN_checkReferencePhaseLock;
    BOARD_ORBXXXG_REF_getTuneAdc = ORBXXXG_REF_ULN_getTuneAdc;
    BOARD_ORBXXXG_REF_setReferenceFrequencyJump = ORBXXXG_REF_ULN_setReferenceFrequencyJump;
    BOARD_ORBXXXG_REF_getReferenceFrequency = ORBXXXG_REF_ULN_getReferenceFrequency;
    BOARD_ORBXXXG_REF_getReferenceFrequencyMin = ORBXXXG_REF_ULN_getReferenceFrequencyMin;
    BOARD_ORBXXXG_REF_getReferenceFrequencyMax = ORBXXXG_REF_ULN_getReferenceFrequencyMax;
    BOARD_ORBXXXG_REF_getReferenceFrequencyLower = ORBXXXG_REF_ULN_getReferenceFrequencyLower;
    BOARD_ORBXXXG_REF_getReferenceFrequencyHigher = ORBXXXG_REF_ULN_getReferenceFrequencyHigher;
    BOARD_ORBXXXG_REF_setReferenceFrequency = ORBXXXG_REF_ULN_setReferenceFrequency;
    BOARD_ORBXXXG_REF_setReferenceFrequencyPLL = ORBXXXG_REF_ULN_setReferenceFrequencyPLL;
    BOARD_ORBXXXG_REF_getExtReferencePllFrequency = ORBXXXG_REF_ULN_getExtReferencePllFrequency;
    BOARD_ORBXXXG_REF_getExtReferencePllFrequencyMax =
        ORBXXXG_REF_ULN_getExtReferencePllFrequencyMax;
    BOARD_ORBXXXG_REF_getExtReferencePllFrequencyMin =
        ORBXXXG_REF_ULN_getExtReferencePllFrequencyMin;
    BOARD_ORBXXXG_REF_disableOptionLn = ORBXXXG_REF_ULN_disableOptionLn;
}
