// 40 GHz output board: frequency plan, loop filter, phase, level set point and RF state.
#include "hw/orbx40g_out.h"

#include <cmath>
#include <new>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "hw/dds_instruction.h"
#include "hw/krgio.h"
#include "hw/orbxxxg_phase.h"

namespace {

constexpr uint32_t IOUPDATE_OFFSET = 0x40;  // the channel's I/O update register in its window
constexpr double LOOP_POT_RAB_OHM = 1000.0;
constexpr KrTime PATH_SETTLING_S = 10e-6;  // path switches and harmonic filter relays
constexpr KrTime VCO_TUNE_S = 50e-6;       // the loop re-locks after a divider change
const OrbxxxgLevelLayout LEVEL_LAYOUT = {-1, 0, ORBX40G_OUT_BIT_SSPE};
constexpr uint32_t DETECTOR_RAIL_MARGIN = 16;
constexpr uint32_t DETECTOR_FULL_SCALE = 65535;

// Default divider table: keeps the DAC (VCO / R) between about 2.5 and 3.2 GHz.
constexpr uint64_t DEFAULT_THRESHOLDS_HZ[] = {0, 12800000000ull, 16000000000ull, 19200000000ull};
constexpr uint8_t DEFAULT_R[] = {4, 5, 6, 7};

// Spur windows: VCO strictly inside (low, high) takes R; later rows win.
struct DividerWindow {
    uint64_t lowHz, highHz;
    uint32_t r;
};
constexpr DividerWindow DIVIDER_WINDOWS[] = {
    {11900000000ull, 12100000000ull, 5}, {12100000000ull, 12150000000ull, 4},
    {13400000000ull, 13600000000ull, 4}, {14300000000ull, 14500000000ull, 4},
    {14700000000ull, 14900000000ull, 4}, {15900000000ull, 16100000000ull, 5},
    {17900000000ull, 18100000000ull, 5}, {19100000000ull, 19300000000ull, 5},
    {19900000000ull, 20100000000ull, 7},
};

constexpr uint64_t BAND_EDGES_HZ[] = {
    ORBX40G_OUT_DIRECT_LIMIT_HZ,    ORBX40G_OUT_FILTER_EDGES_HZ[0], ORBX40G_OUT_FILTER_EDGES_HZ[1],
    ORBX40G_OUT_FILTER_EDGES_HZ[2], ORBX40G_OUT_FILTER_EDGES_HZ[3], ORBX40G_OUT_DOUBLER_EDGE_HZ,
};

template <size_t N>
void presetBits(SRI *sri, const int (&bits)[N]) {
    for (int b : bits)
        SRI_presetSetBit(sri, b);
}

void presetPath(ORBX40G_OUT *b, int32_t path) {
    b->pathChanged = path != b->path;
    if (!b->pathChanged) return;
    for (int bit : ORBX40G_OUT_PATH_ALL_BITS)
        SRI_presetClearBit(&b->sri, bit);
    if (path == ORBX40G_OUT_PATH_DIRECT) presetBits(&b->sri, ORBX40G_OUT_PATH_DIRECT_BITS);
    if (path == ORBX40G_OUT_PATH_PLL) presetBits(&b->sri, ORBX40G_OUT_PATH_PLL_BITS);
    if (path == ORBX40G_OUT_PATH_DOUBLER) presetBits(&b->sri, ORBX40G_OUT_PATH_DOUBLER_BITS);
    b->path = path;
}

// The filter follows the frequency before the doubler.
void presetFilter(ORBX40G_OUT *b, const KrFreq *f) {
    int32_t index = ORBX40G_OUT_FILTERS - 1;
    for (int i = 0; i < ORBX40G_OUT_FILTERS - 1; i++) {
        if (krfreqCompareHz(f, ORBX40G_OUT_FILTER_EDGES_HZ[i]) < 0) {
            index = i;
            break;
        }
    }
    if (index == b->filter) return;
    SRI_presetField(&b->sri, ORBX40G_OUT_BIT_FILTER, ORBX40G_OUT_FILTER_WIDTH, (uint32_t)index);
    b->filter = index;
}

void presetDividers(ORBX40G_OUT *b, uint32_t n1, uint32_t r, uint32_t multiplier) {
    b->dividersChanged = n1 != b->n1 || r != b->r;
    b->n1 = n1;
    b->n2 = 1;
    b->r = r;
    b->multiplier = multiplier;
    SRI_presetField(&b->sri, ORBX40G_OUT_BIT_N1, ORBX40G_OUT_DIVIDER_WIDTH, n1);
    SRI_presetField(&b->sri, ORBX40G_OUT_BIT_R, ORBX40G_OUT_DIVIDER_WIDTH, r);
}

// Largest N1 with f x N1 <= limit; 0 when f alone is above it.
uint32_t largestN1(const KrFreq *f, uint64_t limitHz) {
    if (f->integer <= 0) return 0;
    uint64_t n = limitHz / (uint64_t)f->integer;  // the fraction can only make it smaller
    if (n > 255) n = 255;
    KrFreq product;
    while (n > 0) {
        krfreqMultiplyByInt32(&product, f, (int32_t)n);
        if (krfreqCompareHz(&product, limitHz) <= 0) break;
        n--;
    }
    return (uint32_t)n;
}

int writePhaseWord(ORBX40G_OUT *b, double dacPhase) {
    double p = orbxxxg_wrapAngle(dacPhase);
    uint32_t word = (uint32_t)(p * (65536.0 / (2 * M_PI))) & 0xFFFF;
    int r = ddsInstruction_write(b->dac.slave, AD9164_REG_NCO_PHASE_HIGH, word, 2, 0);
    r = r ? r : ddsInstruction_write(b->dac.slave, AD9164_REG_NCO_UPDATE, 1, 1, 0);
    return r ? r : krgio_ioupdate();
}

int applyBit(ORBX40G_OUT *b, int bit, int value) {
    if (!b->ready) return KR_E_HARDWARE_MISSING;  // no chip addresses yet
    int r = SRI_presetBitValue(&b->sri, bit, value);
    return r ? r : SRI_applyPreset(&b->sri);
}

// A control bit with the record's flag that mirrors it.
int switchBit(OrbxxxgOutBoard *board, uint8_t ORBX40G_OUT::*flag, int bit, int on) {
    ORBX40G_OUT *b = orbxxxg_outRecord<ORBX40G_OUT>(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    b->*flag = (uint8_t)on;
    return applyBit(b, bit, on);
}

}  // namespace

ORBX40G_OUT *ORBX40G_OUT_record(OrbxxxgOutBoard *board) {
    return orbxxxg_outRecord<ORBX40G_OUT>(board);
}

int ORBX40G_OUT_getBaseAddress(OrbxxxgOutBoard *board, uint32_t *address) {
    if (!address) return KR_E_EXECUTION_ERROR;
    board->ioBase = *address;
    board->ioupdateAddress = *address | IOUPDATE_OFFSET;
    *address = board->ioupdateAddress;
    return 0;
}

int ORBX40G_OUT_init(OrbxxxgOutBoard *board) {
    ORBX40G_OUT *b = new (board->module) ORBX40G_OUT();
    b->revisionCode = board->revisionCode;
    int c = board->channel;
    uint8_t initial[ORBX40G_OUT_SRI_BYTES] = {};
    int r = SRI_init(&b->sri, board_outSlave(c, BOARD_OUT_SRI), initial, ORBX40G_OUT_SRI_BYTES);
    KrFreq clock = krfreqHz(ORBX40G_OUT_DAC_CLOCK_HZ);
    int s = AD9164_init(&b->dac, board_outSlave(c, BOARD_OUT_RFDAC), &clock);
    // A pure tone from the NCO alone: no sample data on this board.
    s = s ? s : AD9164_setMode(&b->dac, AD9164_DATAPATH_NCO | AD9164_DATAPATH_NCO_ONLY);
    r = r ? r : s;
    s = AD8402_init(&b->loopPot, board_outSlave(c, BOARD_OUT_LOOP_POT), LOOP_POT_RAB_OHM);
    r = r ? r : s;
    s = AD5643_init(&b->alcDac, board_outSlave(c, BOARD_OUT_ALC_DAC));
    r = r ? r : s;
    s = TC77_init(&b->temperature, board_outSlave(c, BOARD_OUT_TEMP));
    r = r ? r : s;
    s = AD7680_init(&b->detector, board_outSlave(c, BOARD_OUT_ALC_ADC));
    r = r ? r : s;
    b->filter = -1;
    b->n1 = b->n2 = b->r = b->multiplier = 1;
    ORBX40G_OUT_setDividerTable(board, DEFAULT_THRESHOLDS_HZ, DEFAULT_R,
                                (int32_t)(sizeof(DEFAULT_R) / sizeof(DEFAULT_R[0])));
    b->ready = 1;
    r = r ? r : orbxxxg_level_init(board, &b->level, &b->sri, &b->alcDac, &LEVEL_LAYOUT);
    r = r ? r : SRI_applyPreset(&b->sri);
    if (r) printd("ORBX40G_OUT_init(): channel %d: chip set-up failed (%d)\n", c, r);
    return r;
}

int ORBX40G_OUT_setDividerTable(OrbxxxgOutBoard *board, const uint64_t *thresholdsHz,
                                const uint8_t *r, int32_t rows) {
    if (rows < 1 || rows > ORBX40G_OUT_DIVIDER_ROWS) return KR_E_ILLEGAL_PARAMETER_VALUE;
    for (int32_t i = 0; i < rows; i++) {
        if (r[i] == 0) return KR_E_ILLEGAL_PARAMETER_VALUE;
        if (i > 0 && thresholdsHz[i] <= thresholdsHz[i - 1]) return KR_E_ILLEGAL_PARAMETER_VALUE;
    }
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    for (int32_t i = 0; i < rows; i++) {
        b->dividerThresholdHz[i] = thresholdsHz[i];
        b->dividerR[i] = r[i];
    }
    b->dividerRows = rows;
    return 0;
}

uint32_t ORBX40G_OUT_lookupDivider(const ORBX40G_OUT *b, const KrFreq *vco) {
    // Binary search (6 steps for 64 rows) for the last threshold at or below the VCO.
    int32_t low = 0, high = b->dividerRows;  // answer in [low, high)
    while (high - low > 1) {
        int32_t mid = (low + high) / 2;
        if (krfreqCompareHz(vco, b->dividerThresholdHz[mid]) >= 0)
            low = mid;
        else
            high = mid;
    }
    uint32_t r = b->dividerRows > 0 ? b->dividerR[low] : 1;
    for (const DividerWindow &w : DIVIDER_WINDOWS)
        if (krfreqCompareHz(vco, w.lowHz) > 0 && krfreqCompareHz(vco, w.highHz) < 0) r = w.r;
    return r;
}

int ORBX40G_OUT_presetSetFrequency(OrbxxxgOutBoard *board, const KrFreq *f) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    printd("ORBX40G_OUT_presetSetFrequency frequency: %llu Hz\n", (unsigned long long)f->integer);
    b->frequency = *f;
    if (!b->ready) return 0;
    if (krfreqNegative(f)) return KR_E_DATA_OUT_OF_RANGE;

    if (krfreqCompareHz(f, ORBX40G_OUT_DIRECT_LIMIT_HZ) < 0) {
        presetPath(b, ORBX40G_OUT_PATH_DIRECT);
        presetFilter(b, f);
        presetDividers(b, 1, 1, 1);
        b->dividersChanged = 0;  // the loop is not in the path
        b->vcoFrequency = krfreqHz(0);
        AD9164_presetOutputPath(&b->dac, 1, 1);
        AD9164_presetOutputFrequency(&b->dac, f);
        b->dacFrequency = *FTW_getOut(&b->dac.nco);
        return 0;
    }

    KrFreq fp = *f;
    uint32_t multiplier = 1;
    if (krfreqCompareHz(f, ORBX40G_OUT_DOUBLER_EDGE_HZ) >= 0) {
        krfreqShiftRight(&fp, 1);
        multiplier = 2;
    }
    uint64_t vcoMax = device_config_usesORBX_limitedVCO() ? ORBX40G_OUT_VCO_MAX_LIMITED_HZ
                                                          : ORBX40G_OUT_VCO_MAX_HZ;
    uint32_t n1 = largestN1(&fp, vcoMax);
    if (n1 == 0) {
        // Beyond twice the VCO's top: no divider reaches it; keep the last settings.
        printd("ORBX40G_OUT_presetSetFrequency(): %llu Hz is out of reach\n",
               (unsigned long long)f->integer);
        return KR_E_DATA_OUT_OF_RANGE;
    }
    KrFreq vco;
    krfreqMultiplyByInt32(&vco, &fp, (int32_t)n1);
    uint32_t r = ORBX40G_OUT_lookupDivider(b, &vco);

    presetPath(b, multiplier == 2 ? ORBX40G_OUT_PATH_DOUBLER : ORBX40G_OUT_PATH_PLL);
    presetFilter(b, &fp);
    presetDividers(b, n1, r, multiplier);
    b->vcoFrequency = vco;

    // The DAC runs at VCO / R: the requested output x N1 / (R x doubler).
    AD9164_presetOutputPath(&b->dac, r * multiplier, n1);
    AD9164_presetOutputFrequency(&b->dac, f);
    b->dacFrequency = *FTW_getOut(&b->dac.nco);

    double vcoHz = krfreqToDouble(&vco);
    double dacHz = krfreqToDouble(&b->dacFrequency);
    if (r >= 7)
        b->r1 = 700;
    else
        b->r1 = (uint32_t)((vcoHz - 10e9) * 400 / 10e9 + 2.5e11 / dacHz);
    printd(
        "ORBX40G_OUT_getPLLSettings VCO freq: %.3f MHz, PD freq: %.2f MHz, N1: %i, N2: %i, R: %i  "
        "R1=%d\n",
        vcoHz / 1e6, dacHz / 1e6, (int)b->n1, (int)b->n2, (int)b->r, (int)b->r1);
    return 0;
}

int ORBX40G_OUT_SRI_applyPreset(OrbxxxgOutBoard *board) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    int r = SRI_applyPreset(&b->sri);
    if (b->path != ORBX40G_OUT_PATH_DIRECT && b->r1 != 0 && b->r1 != b->r1Applied) {
        int s = AD8402_setResistanceWB1(&b->loopPot, b->r1);
        if (s == 0) b->r1Applied = b->r1;
        r = r ? r : s;
    }
    int s = AD9164_applyPreset(&b->dac);
    return r ? r : s;
}

int ORBX40G_OUT_setFrequencyAsync(OrbxxxgOutBoard *board, const KrFreq *f) {
    (void)board;
    (void)f;
    return 0;  // the loop re-locks by itself; nothing follows the I/O update
}

int ORBX40G_OUT_setFrequency(OrbxxxgOutBoard *board, const KrFreq *f) {
    int r = ORBX40G_OUT_presetSetFrequency(board, f);
    if (r) return r;
    r = ORBX40G_OUT_SRI_applyPreset(board);
    r = r ? r : krgio_ioupdate();
    return r ? r : ORBX40G_OUT_setFrequencyAsync(board, f);
}

int ORBX40G_OUT_getPathSettlingTime(OrbxxxgOutBoard *board, KrTime *t) {
    *t = ORBX40G_OUT_record(board)->pathChanged ? PATH_SETTLING_S : 0.0;
    return 0;
}

int ORBX40G_OUT_getVcoTuneTime(OrbxxxgOutBoard *board, KrTime *t) {
    const ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    bool pll = b->path == ORBX40G_OUT_PATH_PLL || b->path == ORBX40G_OUT_PATH_DOUBLER;
    *t = pll && (b->dividersChanged || b->pathChanged) ? VCO_TUNE_S : 0.0;
    return 0;
}

int ORBX40G_OUT_getFrequencyBands(OrbxxxgOutBoard *board, KrFreq *array, int32_t capacity,
                                  int32_t *count) {
    (void)board;
    int32_t n = *count < 0 ? 0 : *count;
    for (uint64_t edge : BAND_EDGES_HZ) {
        if (n >= capacity) {
            *count = n;
            return KR_E_OUT_OF_MEMORY;
        }
        array[n++] = krfreqHz(edge);
    }
    *count = n;
    return 0;
}

int ORBX40G_OUT_getFrequencyExact(OrbxxxgOutBoard *board, KrFreq *f) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready || b->path == 0) {
        *f = b->frequency;
        return 0;
    }
    KrFreq dac;
    FTW_calcRealFout(&b->dac.nco, &dac);  // exact: integer clock, 48-bit word
    if (b->path == ORBX40G_OUT_PATH_DIRECT) {
        *f = dac;
        return 0;
    }
    KrFreq vco;
    krfreqMultiplyByInt32(&vco, &dac, (int32_t)b->r);
    krfreqDivideByInt32(f, &vco, (int32_t)b->n1);
    krfreqMultiplyByInt32(f, f, (int32_t)b->multiplier);
    return 0;
}

int ORBX40G_OUT_getDirectBandLimit(OrbxxxgOutBoard *board, KrFreq *f) {
    (void)board;
    *f = krfreqHz(ORBX40G_OUT_DIRECT_LIMIT_HZ);
    return 0;
}

int ORBX40G_OUT_getVcoFrequency(OrbxxxgOutBoard *board, KrFreq *f) {
    *f = ORBX40G_OUT_record(board)->vcoFrequency;
    return 0;
}

int ORBX40G_OUT_getPDFrequency(OrbxxxgOutBoard *board, KrFreq *f) {
    *f = ORBX40G_OUT_record(board)->dacFrequency;
    return 0;
}

int ORBX40G_OUT_getPllN1Divider(OrbxxxgOutBoard *board, uint32_t *n) {
    *n = ORBX40G_OUT_record(board)->n1;
    return 0;
}

int ORBX40G_OUT_getPllN2Divider(OrbxxxgOutBoard *board, uint32_t *n) {
    *n = ORBX40G_OUT_record(board)->n2;
    return 0;
}

int ORBX40G_OUT_getPllRDivider(OrbxxxgOutBoard *board, uint32_t *n) {
    *n = ORBX40G_OUT_record(board)->r;
    return 0;
}

int ORBX40G_OUT_setPhase(OrbxxxgOutBoard *board, const KrAngle *angle) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!std::isfinite(*angle)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    double a = orbxxxg_wrapAngle(*angle);
    if (!b->ready) {
        b->phase = a;
        return 0;
    }
    // The output phase moves by the NCO's times R x doubler / N1.
    double k = 1.0;
    if (b->path == ORBX40G_OUT_PATH_PLL || b->path == ORBX40G_OUT_PATH_DOUBLER)
        k = (double)b->n1 / ((double)b->r * (double)b->multiplier);
    double from = b->dacPhase, to = a * k;
    int r = orbxxxg_stepPhase(
        from, to,
        [](void *context, double phase) {
            return writePhaseWord(static_cast<ORBX40G_OUT *>(context), phase);
        },
        b, &b->dacPhase);
    if (r) return r;
    b->dacPhase = to;
    b->phase = a;
    return 0;
}

int ORBX40G_OUT_getPhase(OrbxxxgOutBoard *board, KrAngle *angle) {
    *angle = ORBX40G_OUT_record(board)->phase;
    return 0;
}

int ORBX40G_OUT_enableRf(OrbxxxgOutBoard *board) {
    return applyBit(ORBX40G_OUT_record(board), ORBX40G_OUT_BIT_RF_ENABLE, 1);
}

int ORBX40G_OUT_disableRf(OrbxxxgOutBoard *board) {
    return applyBit(ORBX40G_OUT_record(board), ORBX40G_OUT_BIT_RF_ENABLE, 0);
}

int ORBX40G_OUT_enableAlcRfMute(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX40G_OUT::alcRfMute, ORBX40G_OUT_BIT_ALC_RF_MUTE, 1);
}

int ORBX40G_OUT_disableAlcRfMute(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX40G_OUT::alcRfMute, ORBX40G_OUT_BIT_ALC_RF_MUTE, 0);
}

int ORBX40G_OUT_powerDown(OrbxxxgOutBoard *board) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    SRI_presetClearBit(&b->sri, ORBX40G_OUT_BIT_RF_ENABLE);
    for (int bit : ORBX40G_OUT_PATH_ALL_BITS)
        SRI_presetClearBit(&b->sri, bit);
    b->path = 0;  // the next frequency change selects its path again
    return SRI_applyPreset(&b->sri);
}

int ORBX40G_OUT_enableAlc(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX40G_OUT::alcEnabled, ORBX40G_OUT_BIT_ALC_ENABLE, 1);
}

int ORBX40G_OUT_disableAlc(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX40G_OUT::alcEnabled, ORBX40G_OUT_BIT_ALC_ENABLE, 0);
}

int ORBX40G_OUT_isAlcEnabled(OrbxxxgOutBoard *board) {
    return ORBX40G_OUT_record(board)->alcEnabled ? 1 : 0;
}

int ORBX40G_OUT_enableAlcHold(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX40G_OUT::alcHold, ORBX40G_OUT_BIT_ALC_HOLD, 1);
}

int ORBX40G_OUT_disableAlcHold(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX40G_OUT::alcHold, ORBX40G_OUT_BIT_ALC_HOLD, 0);
}

int ORBX40G_OUT_isAlcHoldEnabled(OrbxxxgOutBoard *board) {
    return ORBX40G_OUT_record(board)->alcHold ? 1 : 0;
}

int ORBX40G_OUT_enableAlcHoldSampleMode(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX40G_OUT::alcHoldSample, ORBX40G_OUT_BIT_ALC_SAMPLE, 1);
}

int ORBX40G_OUT_disableAlcHoldSampleMode(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX40G_OUT::alcHoldSample, ORBX40G_OUT_BIT_ALC_SAMPLE, 0);
}

int ORBX40G_OUT_getAlcCondition(OrbxxxgOutBoard *board, uint32_t *condition) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    *condition = 0;
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    if (!b->alcEnabled) return 0;
    uint32_t v = 0;
    int r = AD7680_read(&b->detector, &v);
    if (r) return r;
    bool rail = v <= DETECTOR_RAIL_MARGIN || v >= DETECTOR_FULL_SCALE - DETECTOR_RAIL_MARGIN;
    *condition = rail ? 1 : 0;
    return 0;
}

int ORBX40G_OUT_getTemperature(OrbxxxgOutBoard *board, double *celsius) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    return TC77_readTemperature(&b->temperature, celsius);
}

// Diagnostics of the DAC's NCO word and the loop filter, written at once; the next frequency
// change sets the plan's values again.
int ORBX40G_OUT_getDdsFtw(OrbxxxgOutBoard *board, uint64_t *word) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    *word = b->dac.nco.ftw;
    return 0;
}

int ORBX40G_OUT_setDdsFtw(OrbxxxgOutBoard *board, uint64_t word) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    if (word >> AD9164_FTW_BITS) return KR_E_DATA_OUT_OF_RANGE;
    printd("ORBX40G_OUT: DAC NCO FTW %llu\n", (unsigned long long)word);
    return AD9164_setFtw(&b->dac, word);
}

int ORBX40G_OUT_setDdsFrequency(OrbxxxgOutBoard *board, const KrFreq *out) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    if (!FTW_isBelowNyquist(out, FTW_getIn(&b->dac.nco))) return KR_E_DATA_OUT_OF_RANGE;
    b->dacFrequency = *out;
    return AD9164_setFrequency_unimod(&b->dac, out);
}

int ORBX40G_OUT_getDdsClockPhase(OrbxxxgOutBoard *board, uint32_t *phase) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    *phase = b->dac.clockPhase;
    return 0;
}

int ORBX40G_OUT_setDdsClockPhase(OrbxxxgOutBoard *board, uint32_t phase) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    if (phase > UINT8_MAX) return KR_E_DATA_OUT_OF_RANGE;
    return AD9164_setClockPhase(&b->dac, (uint8_t)phase);
}

int ORBX40G_OUT_setLoopFilter(OrbxxxgOutBoard *board, double ohms) {
    ORBX40G_OUT *b = ORBX40G_OUT_record(board);
    if (!b->ready) return KR_E_HARDWARE_MISSING;
    if (!(ohms > 0) || ohms > b->loopPot.rab + b->loopPot.rw) return KR_E_DATA_OUT_OF_RANGE;
    int r = AD8402_setResistanceWB1(&b->loopPot, ohms);
    if (r == 0) b->r1Applied = (uint32_t)ohms;
    return r ? r : krgio_ioupdate();
}

namespace {

int getAd5643(OrbxxxgOutBoard *board, AD5643 **dac) {
    *dac = &ORBX40G_OUT_record(board)->alcDac;
    return 0;
}

int getAd9164(OrbxxxgOutBoard *board, AD9164 **dac) {
    *dac = &ORBX40G_OUT_record(board)->dac;
    return 0;
}

}  // namespace

void ORBX40G_OUT_registerFunctions() {
    orbxxxg_level_registerFunctions();
    BOARD_ORBXXXG_OUT_init = ORBX40G_OUT_init;
    BOARD_ORBXXXG_OUT_getBaseAddress = ORBX40G_OUT_getBaseAddress;
    BOARD_ORBXXXG_OUT_SRI_applyPreset = ORBX40G_OUT_SRI_applyPreset;
    BOARD_ORBXXXG_OUT_setFrequencySync = ORBX40G_OUT_presetSetFrequency;
    BOARD_ORBXXXG_OUT_setFrequencyAsync = ORBX40G_OUT_setFrequencyAsync;
    BOARD_ORBXXXG_OUT_getPathSettlingTime = ORBX40G_OUT_getPathSettlingTime;
    BOARD_ORBXXXG_OUT_getVcoTuneTime = ORBX40G_OUT_getVcoTuneTime;
    BOARD_ORBXXXG_OUT_getPhase = ORBX40G_OUT_getPhase;
    BOARD_ORBXXXG_OUT_setPhase_async = ORBX40G_OUT_setPhase;
    BOARD_ORBXXXG_OUT_enableRf = ORBX40G_OUT_enableRf;
    BOARD_ORBXXXG_OUT_disableRf = ORBX40G_OUT_disableRf;
    BOARD_ORBXXXG_OUT_enableAlcRfMute = ORBX40G_OUT_enableAlcRfMute;
    BOARD_ORBXXXG_OUT_disableAlcRfMute = ORBX40G_OUT_disableAlcRfMute;
    BOARD_ORBXXXG_OUT_enableAlc = ORBX40G_OUT_enableAlc;
    BOARD_ORBXXXG_OUT_disableAlc = ORBX40G_OUT_disableAlc;
    BOARD_ORBXXXG_OUT_isAlcEnabled = ORBX40G_OUT_isAlcEnabled;
    BOARD_ORBXXXG_OUT_enableAlcHold = ORBX40G_OUT_enableAlcHold;
    BOARD_ORBXXXG_OUT_disableAlcHold = ORBX40G_OUT_disableAlcHold;
    BOARD_ORBXXXG_OUT_isAlcHoldEnabled = ORBX40G_OUT_isAlcHoldEnabled;
    BOARD_ORBXXXG_OUT_enableAlcHoldSampleMode = ORBX40G_OUT_enableAlcHoldSampleMode;
    BOARD_ORBXXXG_OUT_disableAlcHoldSampleMode = ORBX40G_OUT_disableAlcHoldSampleMode;
    BOARD_ORBXXXG_OUT_getAlcCondition = ORBX40G_OUT_getAlcCondition;
    BOARD_ORBXXXG_OUT_getPDFrequency = ORBX40G_OUT_getPDFrequency;
    BOARD_ORBXXXG_OUT_getVcoFrequency = ORBX40G_OUT_getVcoFrequency;
    BOARD_ORBXXXG_OUT_getDirectBandLimit = ORBX40G_OUT_getDirectBandLimit;
    BOARD_ORBXXXG_OUT_getDdsDirectPathMaxFreq = ORBX40G_OUT_getDirectBandLimit;
    BOARD_ORBXXXG_OUT_powerDown = ORBX40G_OUT_powerDown;
    BOARD_ORBXXXG_OUT_getFrequencyBands = ORBX40G_OUT_getFrequencyBands;
    BOARD_ORBXXXG_OUT_getDdsFtw = ORBX40G_OUT_getDdsFtw;
    BOARD_ORBXXXG_OUT_setDdsFtw = ORBX40G_OUT_setDdsFtw;
    BOARD_ORBXXXG_OUT_setLoopFilter = ORBX40G_OUT_setLoopFilter;
    BOARD_ORBXXXG_OUT_setDdsFrequency = ORBX40G_OUT_setDdsFrequency;
    BOARD_ORBXXXG_OUT_getDdsClockPhase = ORBX40G_OUT_getDdsClockPhase;
    BOARD_ORBXXXG_OUT_setDdsClockPhase = ORBX40G_OUT_setDdsClockPhase;
    BOARD_ORBXXXG_OUT_getTemperature = ORBX40G_OUT_getTemperature;
    BOARD_ORBXXXG_OUT_getPllN1Divider = ORBX40G_OUT_getPllN1Divider;
    BOARD_ORBXXXG_OUT_getPllN2Divider = ORBX40G_OUT_getPllN2Divider;
    BOARD_ORBXXXG_OUT_getPllRDivider = ORBX40G_OUT_getPllRDivider;
    BOARD_ORBXXXG_OUT_getFrequencyExact = ORBX40G_OUT_getFrequencyExact;
    BOARD_ORBXXXG_OUT_getAd5643 = getAd5643;
    BOARD_ORBXXXG_OUT_getAd9164 = getAd9164;
}
