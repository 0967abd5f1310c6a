// Generic output board: frequency plan over the AD9912, RF, phase, level and temperature.
#include "hw/orbxxxg_out.h"

#include <cmath>
#include <iterator>
#include <new>

#include "config/device_config.h"
#include "core/printd.h"
#include "device/device_board.h"
#include "hw/board_slaves.h"
#include "hw/krgio.h"
#include "hw/orbxxxg_phase.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr uint64_t MHZ = 1000000ull;
constexpr uint64_t GHZ = 1000000000ull;
constexpr uint32_t IOUPDATE_OFFSET = 0x40;
constexpr uint32_t DIVIDER_MAX = 255;         // one byte each in the register image
constexpr KrTime PATH_SETTLING_S = 20e-6;     // path switch and filter relays
constexpr KrTime VCO_TUNE_S = 100e-6;         // the loop re-locks after a divider change
constexpr double PHASE_WORD_STEPS = 16384.0;  // 14-bit phase offset
const OrbxxxgLevelLayout LEVEL_LAYOUT = {-1, 0, ORBXXXG_OUT_BIT_SSPE};

// The DDS output keeps clear of the low-order spurs near clock / 5, / 4, x 2/7, / 3, x 3/8
// and stays under 40 % of the clock, where the reconstruction filter still passes.
const OrbxxxgOutWindow windowsDds[] = {
    {205e6, 245e6}, {255e6, 281e6}, {291e6, 328e6}, {339e6, 370e6}, {380e6, 398e6},
};

int firstError(int a, int b) {
    return a ? a : b;
}

uint64_t ceilDiv(uint64_t a, uint64_t b) {
    return (a + b - 1) / b;
}

bool inWindow(const OrbxxxgOutPlan *plan, uint64_t y, uint64_t n2) {
    double x = (double)y / (double)n2;
    for (uint32_t i = 0; i < plan->windowCount; i++)
        if (x > plan->windows[i].lowHz && x < plan->windows[i].highHz) return true;
    return false;
}

uint64_t modelMaxHz(int channel) {
    if (device_config_isOrbx06G(channel)) return 6 * GHZ;
    if (device_config_isOrbx12G(channel)) return 12500 * MHZ;
    return 20100 * MHZ;
}

// The record of an initialised board; nullptr while the storage is still zero-filled (a
// slot called before init must not send to slave 0).
ORBXXXG_OUT *ready(OrbxxxgOutBoard *board) {
    ORBXXXG_OUT *o = ORBXXXG_OUT_record(board);
    return o->ready ? o : nullptr;
}

int applyBit(OrbxxxgOutBoard *board, uint8_t ORBXXXG_OUT::*flag, int bit, int on) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    int r = SRI_presetBitValue(&o->sri, bit, on);
    r = firstError(r, SRI_applyPreset(&o->sri));
    if (r == 0) o->*flag = (uint8_t)on;
    return r;
}

void presetPath(ORBXXXG_OUT *o, int32_t path) {
    o->pathChanged = path != o->path;
    if (!o->pathChanged) return;
    for (int bit : ORBXXXG_OUT_PATH_ALL_BITS)
        SRI_presetClearBit(&o->sri, bit);
    SRI_presetSetBit(&o->sri, path == ORBXXXG_OUT_PATH_DIRECT ? ORBXXXG_OUT_BIT_PATH_DIRECT
                                                              : ORBXXXG_OUT_BIT_PATH_PLL);
    o->path = path;
}

// Returns whether the filter changed.
bool presetFilter(ORBXXXG_OUT *o, const KrFreq *f) {
    int32_t index = ORBXXXG_OUT_FILTERS - 1;
    for (int i = 0; i < ORBXXXG_OUT_FILTERS - 1; i++) {
        if (krfreqCompareHz(f, ORBXXXG_OUT_FILTER_EDGES_HZ[i]) < 0) {
            index = i;
            break;
        }
    }
    if (index == o->filter) return false;
    SRI_presetField(&o->sri, ORBXXXG_OUT_BIT_FILTER, ORBXXXG_OUT_FILTER_WIDTH, (uint32_t)index);
    o->filter = index;
    return true;
}

void presetDividers(ORBXXXG_OUT *o, const OrbxxxgOutSetting &s) {
    o->dividersChanged = s.n1 != o->n1 || s.n2 != o->n2 || s.r != o->r;
    o->n1 = s.n1;
    o->n2 = s.n2;
    o->r = s.r;
    SRI_presetField(&o->sri, ORBXXXG_OUT_BIT_N1, ORBXXXG_OUT_DIVIDER_WIDTH, s.n1);
    SRI_presetField(&o->sri, ORBXXXG_OUT_BIT_N2, ORBXXXG_OUT_DIVIDER_WIDTH, s.n2);
    SRI_presetField(&o->sri, ORBXXXG_OUT_BIT_R, ORBXXXG_OUT_DIVIDER_WIDTH, s.r);
}

int writeDdsPhase(ORBXXXG_OUT *o, double radians) {
    double a = orbxxxg_wrapAngle(radians);
    uint16_t word = (uint16_t)((uint32_t)(a * (PHASE_WORD_STEPS / (2 * M_PI))) & 0x3FFF);
    return AD9912_setPhase(&o->dds, word);
}

// The DDS output to ask for a table's word: the output the word produces exactly, which the
// word computation gives back as that word.
void rowDdsFrequency(const OrbxxxgOutSetting *row, KrFreq *dds) {
    ORBXXXG_OUT_settingOutput(row, 1, dds);
}

}  // namespace

const OrbxxxgOutPlan ORBXXXG_OUT_PLAN = {
    windowsDds, (uint32_t)std::size(windowsDds), 200 * MHZ, 400 * MHZ, 4, 10 * GHZ, 20200 * MHZ,
};

ORBXXXG_OUT *ORBXXXG_OUT_record(OrbxxxgOutBoard *board) {
    return orbxxxg_outRecord<ORBXXXG_OUT>(board);
}

int ORBXXXG_OUT_getBaseAddress(OrbxxxgOutBoard *board, uint32_t *address) {
    if (!address) return KR_E_EXECUTION_ERROR;
    board->ioBase = *address;
    board->ioupdateAddress = *address | IOUPDATE_OFFSET;
    *address = board->ioupdateAddress;
    return 0;
}

int ORBXXXG_OUT_initWithPlan(OrbxxxgOutBoard *board, const OrbxxxgOutPlan *plan) {
    ORBXXXG_OUT *o = new (board->module) ORBXXXG_OUT{};
    o->revisionCode = board->revisionCode;
    o->plan = plan;
    o->filter = -1;
    o->alcEnabled = 1;
    int c = board->channel;
    o->frequencyMaxHz = modelMaxHz(c);
    // Power-on image: RF off, no path, dividers 0; the first frequency selects them all.
    uint8_t image[ORBXXXG_OUT_SRI_BYTES] = {};
    int r = SRI_init(&o->sri, board_outSlave(c, BOARD_OUT_SRI), image, ORBXXXG_OUT_SRI_BYTES);
    KrFreq clock = krfreqHz(ORBXXXG_OUT_DDS_CLOCK_HZ);
    r = firstError(r, AD9912_init(&o->dds, board_outSlave(c, BOARD_OUT_DDS48), &clock));
    r = firstError(r, AD5643_init(&o->alcDac, board_outSlave(c, BOARD_OUT_ALC_DAC)));
    r = firstError(r, TC77_init(&o->temperature, board_outSlave(c, BOARD_OUT_TEMP)));
    r = firstError(r, orbxxxg_level_init(board, &o->level, &o->sri, &o->alcDac, &LEVEL_LAYOUT));
    r = firstError(r, SRI_applyPreset(&o->sri));
    o->ready = 1;
    if (r) printd("ORBXXXG_OUT_init(): channel %d: chip set-up failed (%d)\n", c, r);
    return r;
}

int ORBXXXG_OUT_init(OrbxxxgOutBoard *board) {
    return ORBXXXG_OUT_initWithPlan(board, &ORBXXXG_OUT_PLAN);
}

// R, then N1, then N2: the first candidate whose DDS output y / N2 lies inside a window.
int ORBXXXG_OUT_planDividers(const OrbxxxgOutPlan *plan, const KrFreq *f,
                             OrbxxxgOutSetting *setting) {
    uint64_t fHz = f->integer > 0 ? (uint64_t)f->integer : 1;
    uint32_t n1First = fHz >= plan->vcoMinHz ? 1 : (uint32_t)ceilDiv(plan->vcoMinHz, fHz);
    if (n1First > DIVIDER_MAX) n1First = DIVIDER_MAX;
    bool tested = false;
    for (uint32_t r = 1; r <= plan->rMax; r++) {
        for (uint32_t n1 = n1First;
             n1 <= DIVIDER_MAX && (n1 == n1First || fHz * n1 < plan->vcoMaxHz); n1++) {
            uint64_t y = fHz * n1 * r;
            for (uint64_t n2 = ceilDiv(y, plan->ddsMaxHz);
                 n2 <= DIVIDER_MAX && y > n2 * plan->ddsFloorHz; n2++) {
                *setting = {n1, (uint32_t)n2, r, 0};
                tested = true;
                if (inWindow(plan, y, n2)) return 1;
            }
        }
    }
    if (!tested) {
        uint64_t n2 = ceilDiv(fHz * n1First, plan->ddsMaxHz);
        *setting = {n1First, (uint32_t)(n2 < 1 ? 1 : n2 > DIVIDER_MAX ? DIVIDER_MAX : n2), 1, 0};
    }
    return 0;
}

void ORBXXXG_OUT_settingOutput(const OrbxxxgOutSetting *s, int direct, KrFreq *out) {
    FTW word;
    FTW_init(&word, AD9912_FTW_BITS);
    KrFreq clock = krfreqHz(ORBXXXG_OUT_DDS_CLOCK_HZ);
    FTW_presetIn(&word, &clock);
    word.ftw = s->ftw;
    FTW_calcRealFout(&word, out);  // exact: integer clock, 48-bit word
    if (direct || s->r == 0 || s->n1 == 0) return;
    // The product is exact; one truncating division, as the loop divides.
    krfreqMultiplyByInt32(out, out, (int32_t)s->n2);
    krfreqDivideByInt32(out, out, (int32_t)(s->r * s->n1));
}

int ORBXXXG_OUT_presetSetFrequencyWith(OrbxxxgOutBoard *board, const KrFreq *frequency,
                                       const OrbxxxgOutSetting *row) {
    ORBXXXG_OUT *o = ORBXXXG_OUT_record(board);
    if (!o->ready) return KR_E_HARDWARE_MISSING;
    if (krfreqNegative(frequency)) return KR_E_DATA_OUT_OF_RANGE;
    KrFreq f = *frequency;
    if (krfreqCompareHz(&f, o->frequencyMaxHz) > 0) f = krfreqHz(o->frequencyMaxHz);
    printd("ORBXXXG_OUT_presetSetFrequency frequency: %llu Hz\n", (unsigned long long)f.integer);
    o->frequency = f;
    o->fromTable = row != nullptr;
    bool filterChanged = presetFilter(o, &f);

    if (krfreqCompareHz(&f, ORBXXXG_OUT_DIRECT_LIMIT_HZ) < 0) {
        presetPath(o, ORBXXXG_OUT_PATH_DIRECT);
        presetDividers(o, {1, 1, 1, 0});
        o->dividersChanged = 0;  // the loop is not in the path
        o->vcoFrequency = krfreqHz(0);
        o->pfdFrequency = krfreqHz(0);
        o->spurFree = 1;
        o->ddsFrequency = f;
        if (row) rowDdsFrequency(row, &o->ddsFrequency);
    } else {
        OrbxxxgOutSetting s = {1, 1, 1, 0};
        if (row) {
            s = *row;
            o->spurFree = 1;
        } else {
            o->spurFree = (uint8_t)ORBXXXG_OUT_planDividers(o->plan, &f, &s);
            if (!o->spurFree) printd("------------> ERRRROOORRRRR \n\n\n");
        }
        presetPath(o, ORBXXXG_OUT_PATH_PLL);
        presetDividers(o, s);
        krfreqMultiplyByInt32(&o->vcoFrequency, &f, (int32_t)s.n1);
        if (row) {
            rowDdsFrequency(row, &o->ddsFrequency);
        } else {
            KrFreq y;
            krfreqMultiplyByInt32(&y, &o->vcoFrequency, (int32_t)s.r);
            krfreqDivideByInt32(&o->ddsFrequency, &y, (int32_t)s.n2);
        }
        krfreqDivideByInt32(&o->pfdFrequency, &o->ddsFrequency, (int32_t)s.r);
    }
    o->pathChanged = o->pathChanged || filterChanged;
    FTW_presetOut(&o->dds.ftw, &o->ddsFrequency);
    uint64_t word = FTW_calcPreset(&o->dds.ftw);
    if (row && word != row->ftw)
        printd("ORBXXXG_OUT_presetSetFrequency(): table word %llu came back as %llu\n",
               (unsigned long long)row->ftw, (unsigned long long)word);
    printd(
        "ORBXXXG_OUT_getPLLSettings VCO freq: %.3f MHz, DDS freq: %.6f MHz, N1: %i, N2: %i, R: "
        "%i, FTW %llu%s\n",
        krfreqToDouble(&o->vcoFrequency) / 1e6, krfreqToDouble(&o->ddsFrequency) / 1e6, (int)o->n1,
        (int)o->n2, (int)o->r, (unsigned long long)word, row ? " (table)" : "");
    return 0;
}

int ORBXXXG_OUT_presetSetFrequency(OrbxxxgOutBoard *board, const KrFreq *f) {
    return ORBXXXG_OUT_presetSetFrequencyWith(board, f, nullptr);
}

int ORBXXXG_OUT_SRI_applyPreset(OrbxxxgOutBoard *board) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    int r = SRI_applyPreset(&o->sri);
    if (o->path == 0) return r;
    // After a power-down the next frequency brings the DDS back.
    if (o->dds.power & AD9912_POWER_DOWN) r = firstError(r, AD9912_powerUp(&o->dds));
    return firstError(r, AD9912_setFrequency(&o->dds, &o->dds.ftw.out));
}

int ORBXXXG_OUT_setFrequencyAsync(OrbxxxgOutBoard *board, const KrFreq *f) {
    (void)board;
    (void)f;
    return 0;  // the loop re-locks by itself; nothing follows the I/O update
}

int ORBXXXG_OUT_setFrequency(OrbxxxgOutBoard *board, const KrFreq *f) {
    int r = ORBXXXG_OUT_presetSetFrequency(board, f);
    if (r) return r;
    r = ORBXXXG_OUT_SRI_applyPreset(board);
    return firstError(r, krgio_ioupdate());
}

int ORBXXXG_OUT_getPathSettlingTime(OrbxxxgOutBoard *board, KrTime *t) {
    *t = ORBXXXG_OUT_record(board)->pathChanged ? PATH_SETTLING_S : 0.0;
    return 0;
}

int ORBXXXG_OUT_getVcoTuneTime(OrbxxxgOutBoard *board, KrTime *t) {
    const ORBXXXG_OUT *o = ORBXXXG_OUT_record(board);
    bool pll = o->path == ORBXXXG_OUT_PATH_PLL;
    *t = pll && (o->dividersChanged || o->pathChanged) ? VCO_TUNE_S : 0.0;
    return 0;
}

int ORBXXXG_OUT_isFrequencyResolutionLow(OrbxxxgOutBoard *board) {
    return !ORBXXXG_OUT_record(board)->highResolution;
}

int ORBXXXG_OUT_isFrequencyResolutionHigh(OrbxxxgOutBoard *board) {
    return ORBXXXG_OUT_record(board)->highResolution;
}

int ORBXXXG_OUT_setFrequencyResolutionLow(OrbxxxgOutBoard *board) {
    ORBXXXG_OUT_record(board)->highResolution = 0;
    return 0;
}

int ORBXXXG_OUT_setFrequencyResolutionHigh(OrbxxxgOutBoard *board) {
    ORBXXXG_OUT_record(board)->highResolution = 1;
    return 0;
}

int ORBXXXG_OUT_getFrequencyBands(OrbxxxgOutBoard *board, KrFreq *array, int32_t capacity,
                                  int32_t *count) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    int32_t n = *count < 0 ? 0 : *count;
    for (size_t i = 0; i <= std::size(ORBXXXG_OUT_FILTER_EDGES_HZ); i++) {
        uint64_t edge = i < std::size(ORBXXXG_OUT_FILTER_EDGES_HZ) ? ORBXXXG_OUT_FILTER_EDGES_HZ[i]
                                                                   : o->frequencyMaxHz;
        if (i < std::size(ORBXXXG_OUT_FILTER_EDGES_HZ) && edge >= o->frequencyMaxHz) continue;
        if (n >= capacity) {
            *count = n;
            return KR_E_OUT_OF_MEMORY;
        }
        array[n++] = krfreqHz(edge);
    }
    *count = n;
    return 0;
}

int ORBXXXG_OUT_getFrequencyExact(OrbxxxgOutBoard *board, KrFreq *f) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    if (o->path == 0) {
        *f = o->frequency;
        return 0;
    }
    OrbxxxgOutSetting s = {o->n1, o->n2, o->r, o->dds.ftw.ftw};
    ORBXXXG_OUT_settingOutput(&s, o->path == ORBXXXG_OUT_PATH_DIRECT, f);
    return 0;
}

int ORBXXXG_OUT_getDirectBandLimit(OrbxxxgOutBoard *board, KrFreq *f) {
    (void)board;
    *f = krfreqHz(ORBXXXG_OUT_DIRECT_LIMIT_HZ);
    return 0;
}

int ORBXXXG_OUT_getVcoFrequency(OrbxxxgOutBoard *board, KrFreq *f) {
    *f = ORBXXXG_OUT_record(board)->vcoFrequency;
    return 0;
}

int ORBXXXG_OUT_getPDFrequency(OrbxxxgOutBoard *board, KrFreq *f) {
    *f = ORBXXXG_OUT_record(board)->pfdFrequency;
    return 0;
}

int ORBXXXG_OUT_getPllN1Divider(OrbxxxgOutBoard *board, uint32_t *n) {
    *n = ORBXXXG_OUT_record(board)->n1;
    return 0;
}

int ORBXXXG_OUT_getPllN2Divider(OrbxxxgOutBoard *board, uint32_t *n) {
    *n = ORBXXXG_OUT_record(board)->n2;
    return 0;
}

int ORBXXXG_OUT_getPllRDivider(OrbxxxgOutBoard *board, uint32_t *n) {
    *n = ORBXXXG_OUT_record(board)->r;
    return 0;
}

int ORBXXXG_OUT_setPhase(OrbxxxgOutBoard *board, const KrAngle *angle) {
    ORBXXXG_OUT *o = ORBXXXG_OUT_record(board);
    if (!std::isfinite(*angle)) return KR_E_ILLEGAL_PARAMETER_VALUE;
    double a = orbxxxg_wrapAngle(*angle);
    if (!o->ready) {
        o->phase = a;
        return 0;
    }
    // The output moves by the DDS phase x N2 / (R x N1) on the PLL path.
    double k = 1.0;
    if (o->path == ORBXXXG_OUT_PATH_PLL && o->n2) k = (double)o->r * (double)o->n1 / (double)o->n2;
    double from = o->ddsPhase, to = a * k;
    int r = orbxxxg_stepPhase(
        from, to,
        [](void *context, double phase) {
            ORBXXXG_OUT *board = static_cast<ORBXXXG_OUT *>(context);
            int r = writeDdsPhase(board, phase);
            return firstError(r, krgio_ioupdate());
        },
        o, &o->ddsPhase);
    if (r) return r;
    o->ddsPhase = to;
    o->phase = a;
    return 0;
}

int ORBXXXG_OUT_getPhase(OrbxxxgOutBoard *board, KrAngle *angle) {
    *angle = ORBXXXG_OUT_record(board)->phase;
    return 0;
}

int ORBXXXG_OUT_enableRf(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::rfEnabled, ORBXXXG_OUT_BIT_RF_ENABLE, 1);
}

int ORBXXXG_OUT_disableRf(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::rfEnabled, ORBXXXG_OUT_BIT_RF_ENABLE, 0);
}

int ORBXXXG_OUT_enableAlcRfMute(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::alcRfMute, ORBXXXG_OUT_BIT_ALC_RF_MUTE, 1);
}

int ORBXXXG_OUT_disableAlcRfMute(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::alcRfMute, ORBXXXG_OUT_BIT_ALC_RF_MUTE, 0);
}

int ORBXXXG_OUT_powerDown(OrbxxxgOutBoard *board) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    SRI_presetClearBit(&o->sri, ORBXXXG_OUT_BIT_RF_ENABLE);
    for (int bit : ORBXXXG_OUT_PATH_ALL_BITS)
        SRI_presetClearBit(&o->sri, bit);
    o->rfEnabled = 0;
    o->path = 0;  // the next frequency change selects its path again
    int r = SRI_applyPreset(&o->sri);
    return firstError(r, AD9912_powerDown(&o->dds));
}

int ORBXXXG_OUT_enableAlc(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::alcEnabled, ORBXXXG_OUT_BIT_ALC_ENABLE, 1);
}

int ORBXXXG_OUT_disableAlc(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::alcEnabled, ORBXXXG_OUT_BIT_ALC_ENABLE, 0);
}

int ORBXXXG_OUT_isAlcEnabled(OrbxxxgOutBoard *board) {
    return ORBXXXG_OUT_record(board)->alcEnabled ? 1 : 0;
}

int ORBXXXG_OUT_enableAlcHold(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::alcHold, ORBXXXG_OUT_BIT_ALC_HOLD, 1);
}

int ORBXXXG_OUT_disableAlcHold(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::alcHold, ORBXXXG_OUT_BIT_ALC_HOLD, 0);
}

int ORBXXXG_OUT_isAlcHoldEnabled(OrbxxxgOutBoard *board) {
    return ORBXXXG_OUT_record(board)->alcHold ? 1 : 0;
}

int ORBXXXG_OUT_enableAlcHoldSampleMode(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::alcHoldSample, ORBXXXG_OUT_BIT_ALC_SAMPLE, 1);
}

int ORBXXXG_OUT_disableAlcHoldSampleMode(OrbxxxgOutBoard *board) {
    return applyBit(board, &ORBXXXG_OUT::alcHoldSample, ORBXXXG_OUT_BIT_ALC_SAMPLE, 0);
}

int ORBXXXG_OUT_getAlcCondition(OrbxxxgOutBoard *board, uint32_t *condition) {
    const ORBXXXG_OUT *o = ORBXXXG_OUT_record(board);
    return ORBXXXG_LEVEL_getAlcCondition(board, o->rfEnabled, o->alcEnabled, condition);
}

int ORBXXXG_OUT_getTemperature(OrbxxxgOutBoard *board, double *celsius) {
    ORBXXXG_OUT *o = ready(board);
    return o ? TC77_readTemperature(&o->temperature, celsius) : KR_E_HARDWARE_MISSING;
}

// ---- DDS diagnostics: written at once; the next frequency change sets the plan's again ----

int ORBXXXG_OUT_getDdsFtw(OrbxxxgOutBoard *board, uint64_t *word) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    *word = o->dds.ftw.ftw;
    return 0;
}

int ORBXXXG_OUT_setDdsFtw(OrbxxxgOutBoard *board, uint64_t word) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    if (word >> AD9912_FTW_BITS) return KR_E_DATA_OUT_OF_RANGE;
    printd("ORBXXXG_OUT: DDS FTW %llu\n", (unsigned long long)word);
    return AD9912_setFtw(&o->dds, word);
}

int ORBXXXG_OUT_setDdsFrequency(OrbxxxgOutBoard *board, const KrFreq *out) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    if (!FTW_isBelowNyquist(out, FTW_getIn(&o->dds.ftw))) return KR_E_DATA_OUT_OF_RANGE;
    o->ddsFrequency = *out;
    return AD9912_setFrequency(&o->dds, out);
}

int ORBXXXG_OUT_getDdsFsc(OrbxxxgOutBoard *board, uint32_t *code) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    *code = o->dds.fullScaleCurrent;
    return 0;
}

int ORBXXXG_OUT_setDdsFsc(OrbxxxgOutBoard *board, uint32_t code) {
    ORBXXXG_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    if (code > AD9912_DAC_CURRENT_MAX) return KR_E_DATA_OUT_OF_RANGE;
    return AD9912_setFullScaleCurrent(&o->dds, (uint16_t)code);
}

int ORBXXXG_OUT_isDdsOutputEnabled(OrbxxxgOutBoard *board) {
    ORBXXXG_OUT *o = ready(board);
    return o && !(o->dds.power & AD9912_POWER_DOWN) ? 1 : 0;
}

int ORBXXXG_OUT_enableDdsOutput(OrbxxxgOutBoard *board) {
    ORBXXXG_OUT *o = ready(board);
    return o ? AD9912_powerUp(&o->dds) : KR_E_HARDWARE_MISSING;
}

int ORBXXXG_OUT_disableDdsOutput(OrbxxxgOutBoard *board) {
    ORBXXXG_OUT *o = ready(board);
    return o ? AD9912_powerDown(&o->dds) : KR_E_HARDWARE_MISSING;
}

void ORBXXXG_OUT_registerFunctions() {
    orbxxxg_level_registerFunctions();
    BOARD_ORBXXXG_OUT_init = ORBXXXG_OUT_init;
    BOARD_ORBXXXG_OUT_getBaseAddress = ORBXXXG_OUT_getBaseAddress;
    BOARD_ORBXXXG_OUT_SRI_applyPreset = ORBXXXG_OUT_SRI_applyPreset;
    BOARD_ORBXXXG_OUT_getDdsFtw = ORBXXXG_OUT_getDdsFtw;
    BOARD_ORBXXXG_OUT_setDdsFtw = ORBXXXG_OUT_setDdsFtw;
    BOARD_ORBXXXG_OUT_setDdsFrequency = ORBXXXG_OUT_setDdsFrequency;
    BOARD_ORBXXXG_OUT_getDdsFsc = ORBXXXG_OUT_getDdsFsc;
    BOARD_ORBXXXG_OUT_setDdsFsc = ORBXXXG_OUT_setDdsFsc;
    BOARD_ORBXXXG_OUT_isDdsOutputEnabled = ORBXXXG_OUT_isDdsOutputEnabled;
    BOARD_ORBXXXG_OUT_enableDdsOutput = ORBXXXG_OUT_enableDdsOutput;
    BOARD_ORBXXXG_OUT_disableDdsOutput = ORBXXXG_OUT_disableDdsOutput;
    BOARD_ORBXXXG_OUT_setFrequencySync = ORBXXXG_OUT_presetSetFrequency;
    BOARD_ORBXXXG_OUT_setFrequencyAsync = ORBXXXG_OUT_setFrequencyAsync;
    BOARD_ORBXXXG_OUT_getPathSettlingTime = ORBXXXG_OUT_getPathSettlingTime;
    BOARD_ORBXXXG_OUT_getVcoTuneTime = ORBXXXG_OUT_getVcoTuneTime;
    BOARD_ORBXXXG_OUT_isFrequencyResolutionLow = ORBXXXG_OUT_isFrequencyResolutionLow;
    BOARD_ORBXXXG_OUT_isFrequencyResolutionHigh = ORBXXXG_OUT_isFrequencyResolutionHigh;
    BOARD_ORBXXXG_OUT_setFrequencyResolutionLow = ORBXXXG_OUT_setFrequencyResolutionLow;
    BOARD_ORBXXXG_OUT_setFrequencyResolutionHigh = ORBXXXG_OUT_setFrequencyResolutionHigh;
    BOARD_ORBXXXG_OUT_getPhase = ORBXXXG_OUT_getPhase;
    BOARD_ORBXXXG_OUT_setPhase_async = ORBXXXG_OUT_setPhase;
    BOARD_ORBXXXG_OUT_enableRf = ORBXXXG_OUT_enableRf;
    BOARD_ORBXXXG_OUT_disableRf = ORBXXXG_OUT_disableRf;
    BOARD_ORBXXXG_OUT_enableAlcRfMute = ORBXXXG_OUT_enableAlcRfMute;
    BOARD_ORBXXXG_OUT_disableAlcRfMute = ORBXXXG_OUT_disableAlcRfMute;
    BOARD_ORBXXXG_OUT_enableAlc = ORBXXXG_OUT_enableAlc;
    BOARD_ORBXXXG_OUT_disableAlc = ORBXXXG_OUT_disableAlc;
    BOARD_ORBXXXG_OUT_isAlcEnabled = ORBXXXG_OUT_isAlcEnabled;
    BOARD_ORBXXXG_OUT_enableAlcHold = ORBXXXG_OUT_enableAlcHold;
    BOARD_ORBXXXG_OUT_disableAlcHold = ORBXXXG_OUT_disableAlcHold;
    BOARD_ORBXXXG_OUT_isAlcHoldEnabled = ORBXXXG_OUT_isAlcHoldEnabled;
    BOARD_ORBXXXG_OUT_enableAlcHoldSampleMode = ORBXXXG_OUT_enableAlcHoldSampleMode;
    BOARD_ORBXXXG_OUT_disableAlcHoldSampleMode = ORBXXXG_OUT_disableAlcHoldSampleMode;
    BOARD_ORBXXXG_OUT_getAlcCondition = ORBXXXG_OUT_getAlcCondition;
    BOARD_ORBXXXG_OUT_getPDFrequency = ORBXXXG_OUT_getPDFrequency;
    BOARD_ORBXXXG_OUT_getVcoFrequency = ORBXXXG_OUT_getVcoFrequency;
    BOARD_ORBXXXG_OUT_getDirectBandLimit = ORBXXXG_OUT_getDirectBandLimit;
    BOARD_ORBXXXG_OUT_powerDown = ORBXXXG_OUT_powerDown;
    BOARD_ORBXXXG_OUT_getFrequencyBands = ORBXXXG_OUT_getFrequencyBands;
    BOARD_ORBXXXG_OUT_getTemperature = ORBXXXG_OUT_getTemperature;
    BOARD_ORBXXXG_OUT_getPllN1Divider = ORBXXXG_OUT_getPllN1Divider;
    BOARD_ORBXXXG_OUT_getPllN2Divider = ORBXXXG_OUT_getPllN2Divider;
    BOARD_ORBXXXG_OUT_getPllRDivider = ORBXXXG_OUT_getPllRDivider;
    BOARD_ORBXXXG_OUT_getFrequencyExact = ORBXXXG_OUT_getFrequencyExact;
}
