// 20 GHz output board: frequency plan, RF, phase, power and temperature.
#include "hw/orbx20g_out.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <new>

#include "core/printd.h"
#include "device/device_board.h"
#include "device/krlongdouble.h"
#include "hw/board_slaves.h"
#include "hw/krgio.h"
#include "hw/krspi.h"
#include "hw/orbx20g_out_registers.h"
#include "hw/orbxxxg_phase.h"
#include "scpi/scpi_errorcodes.h"

namespace {

constexpr uint64_t MHZ = 1000000ull;
constexpr uint64_t GHZ = 1000000000ull;

// The 1A loop: spur-free ranges of f x R / N2 (Hz), the top one closed by N2 x 1410 MHz.
const Orbx20gOutWindow windows1A[] = {
    {1113e6, 1116e6},   {1120e6, 1127e6}, {1127e6, 1132e6},   {1138e6, 1141e6}, {1144e6, 1149e6},
    {1151.5e6, 1159e6}, {1159e6, 1164e6}, {1169e6, 1175e6},   {1179e6, 1185e6}, {1189e6, 1196e6},
    {1203e6, 1212e6},   {1216e6, 1231e6}, {1233e6, 1245.5e6}, {1255e6, 1271e6}, {1276e6, 1283e6},
    {1287e6, 1296e6},   {1303e6, 1325e6}, {1344e6, 1347e6},   {1353e6, 1359e6}, {1367e6, 1371.5e6},
    {1376e6, 1382e6},   {1391e6, 1396e6}, {1403e6, 1410e6},
};

// From 1B on: spur-free ranges of f x N1 x R / N2 (Hz).
const Orbx20gOutWindow windows1B[] = {
    {1169.5e6, 1197.5e6}, {1203.5e6, 1243.5e6}, {1255.5e6, 1295.5e6},
    {1303.5e6, 1318.5e6}, {1339.5e6, 1371.5e6}, {1379.5e6, 1397.5e6},
};

constexpr uint64_t N2_STEP_HZ = 1410000000ull;  // first N2: about y / 1.41 GHz
constexpr uint32_t DIVIDER_MAX = 255;           // one byte each in the register image
constexpr uint32_t R_FALLBACK = 16;             // 1A: R past the search
constexpr uint64_t LOW_FALLBACK_HZ = 500 * MHZ;

// The ALC DAC follows the power linearly in dB over this range until levelling comes in.
const OrbxxxgLevelLayout LEVEL_LAYOUT = {ORBX20G_OUT_BIT_GAIN_LOW, ORBX20G_OUT_GAIN_BITS,
                                         ORBX20G_OUT_BIT_SSPE};

// Filter rows 0 to 6 and 11 to 13 announce themselves; the band-1 bank (7 to 10) does not.
const char *const filterMessages[ORBX20G_OUT_FILTERS] = {
    "ORBX20G_OUT_setBandFilterLowSync 10M - 200M\n",
    "ORBX20G_OUT_setBandFilterLowSync 10M - 460M\n",
    "ORBX20G_OUT_setBandFilterLowSync 460M - 650M\n",
    "ORBX20G_OUT_setBandFilterLowSync 650 - 900M\n",
    "ORBX20G_OUT_setBandFilterLowSync 900M - 1500M\n",
    "ORBX20G_OUT_setBandFilterLowSync 1500M - 2200M\n",
    "ORBX20G_OUT_setBandFilterLowSync 2200M - 3000M\n",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    "ORBX20G_OUT_setBand2FilterSync 7G - 10G\n",
    "ORBX20G_OUT_setBand2FilterSync 10G - 14G\n",
    "ORBX20G_OUT_setBand2FilterSync 14G - 20G\n",
};
constexpr int FIRST_BAND2_FILTER = 11;

int firstError(int a, int b) {
    return a ? a : b;
}

uint32_t slaveWord(int channel, uint32_t chip, uint32_t clockCode) {
    return krspi_makeWord(board_outSlave(channel, chip), 0, clockCode);
}

uint64_t firstN2(uint64_t y) {
    return y <= N2_STEP_HZ ? 1 : (y - N2_STEP_HZ - 1) / N2_STEP_HZ + 2;
}

bool inWindow(const Orbx20gOutPlan *plan, uint64_t y, uint64_t n2) {
    double x = (double)y / (double)n2;
    for (uint32_t i = 0; i < plan->windowCount; i++)
        if (x > plan->windows[i].lowHz && x < plan->windows[i].highHz) return true;
    return false;
}

struct Dividers {
    uint32_t n1, n2, r;
};

// 1A: R and N2 (N1 plays no part in the comparison); false when no window took a candidate.
bool search1A(const Orbx20gOutPlan *plan, uint64_t f, Dividers *d) {
    uint64_t floor = (uint64_t)plan->pfdFloorHz, narrow = (uint64_t)plan->pfdNarrowHz;
    for (uint32_t r = 1; r <= plan->rMax; r++) {
        uint64_t y = f * r;
        uint64_t n2 = firstN2(y);
        while (n2 <= DIVIDER_MAX && y > n2 * floor) {
            if ((narrow && y < n2 * narrow) || inWindow(plan, y, n2)) {
                d->r = r;
                d->n2 = (uint32_t)n2;
                return true;
            }
            if (!(y > (n2 + 1) * floor)) break;
            n2++;
        }
    }
    return false;
}

void plan1A(ORBX20G_OUT *o, uint64_t f, Dividers *d) {
    const Orbx20gOutPlan *plan = o->plan;
    d->n1 = 1;
    if (f < plan->vcoMinHz)
        for (d->n1 = 2; f * d->n1 < plan->vcoMinHz;)
            d->n1 *= 2;
    o->spurFree = search1A(plan, f, d);
    if (o->spurFree) return;
    // Nothing in the windows: the highest VCO frequency is the least bad.
    while (f * d->n1 * 2 < plan->vcoMaxHz && d->n1 * 2 <= DIVIDER_MAX)
        d->n1 *= 2;
    if (f < LOW_FALLBACK_HZ) {
        // Low frequencies lock the DDS side just above the floor instead.
        for (d->n1 = 16; f * d->n1 < plan->vcoMinHz;)
            d->n1 *= 2;
        uint64_t limit = (uint64_t)plan->pfdFloorHz;
        d->n2 = 1;
        if (f > 340 * MHZ) {
            d->n2 = 2;
            limit *= 2;
        }
        d->r = f >= limit ? 1 : (uint32_t)((limit + f - 1) / f);
        return;
    }
    printd("------------> ERRRROOORRRRR \n\n\n");
    // N2 follows R so that the DDS stays inside its band (y / N2 in 1.2 to 1.41 GHz).
    d->r = R_FALLBACK;
    d->n2 = (uint32_t)firstN2(f * d->r);
}

// From 1B on: N1 is any integer that puts the VCO into its range; R, then N1, then N2.
void plan1B(ORBX20G_OUT *o, uint64_t f, Dividers *d) {
    const Orbx20gOutPlan *plan = o->plan;
    uint64_t floor = (uint64_t)plan->pfdFloorHz;
    uint32_t n1First = f >= plan->vcoMinHz ? 1 : (uint32_t)((plan->vcoMinHz + f - 1) / f);
    bool tested = false;
    o->spurFree = 0;
    for (uint32_t r = 1; r <= plan->rMax && !o->spurFree; r++) {
        for (uint32_t n1 = n1First;
             n1 <= DIVIDER_MAX && (n1 == n1First || f * n1 < plan->vcoMaxHz) && !o->spurFree;
             n1++) {
            uint64_t y = f * n1 * r;
            for (uint64_t n2 = firstN2(y); n2 <= DIVIDER_MAX && y > n2 * floor; n2++) {
                // The last candidate tested is kept: its DDS output lies in the tuning range.
                *d = {n1, (uint32_t)n2, r};
                tested = true;
                if (inWindow(plan, y, n2)) {
                    o->spurFree = 1;
                    break;
                }
            }
        }
    }
    if (o->spurFree) return;
    printd("------------> ERRRROOORRRRR \n\n\n");
    if (!tested) *d = {n1First, (uint32_t)firstN2(f * n1First), 1};
}

// Loop-filter resistance: more for a higher feedback division and a higher VCO.
double loopFilter1A(const Dividers &d, uint64_t vco) {
    double r1 = d.n2 < 11 ? 100 : 300;
    r1 += d.n1 == 1 ? 0 : d.n1 == 2 ? 100 : d.n1 <= 4 ? 200 : d.n1 <= 8 ? 300 : 400;
    if (vco > 18 * GHZ) r1 += 200;
    return r1;
}

// From 1B the loop divides the VCO by N2 alone.
double loopFilter1B(const Dividers &d, uint64_t vco) {
    double r1 = d.n2 < 11 ? 100 : d.n2 < 22 ? 200 : 300;
    if (vco > 18 * GHZ) r1 += 200;
    return r1;
}

void presetBits(SRI *sri, const int *bits, size_t count, int value) {
    for (size_t i = 0; i < count; i++)
        if (bits[i] >= 0) SRI_presetBitValue(sri, bits[i], value);
}

template <size_t N>
void presetBits(SRI *sri, const int (&bits)[N], int value) {
    presetBits(sri, bits, N, value);
}

KrAngle wrapAngle(KrAngle a) {
    return orbxxxg_wrapAngle(a);
}

// One phase step: the 16-bit offset word, then the I/O update that makes it take effect.
int writeDdsPhase(void *context, double phase) {
    ORBX20G_OUT *o = static_cast<ORBX20G_OUT *>(context);
    uint16_t word = (uint16_t)(uint32_t)(wrapAngle(phase) * 65536.0 / (2 * M_PI));
    int r = AD9910_setPhaseOffsetU16(&o->dds, word);
    return firstError(r, krgio_ioupdate());
}

// The record of an initialised board; nullptr while the storage is still zero-filled (a
// slot called before init must not send to slave 0 or follow the missing plan).
ORBX20G_OUT *ready(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = orbxxxg_outRecord<ORBX20G_OUT>(board);
    return o->plan ? o : nullptr;
}

}  // namespace

const Orbx20gOutPlan ORBX20G_OUT_PLAN_1A = {
    1,        windows1A,   (uint32_t)std::size(windows1A),
    1103e6,   1106.5e6,    15,
    10 * GHZ, 20200 * MHZ, 0,
    20 * GHZ, 0,
};
const Orbx20gOutPlan ORBX20G_OUT_PLAN_1B = {
    0,        windows1B, (uint32_t)std::size(windows1B), 1070e6, 0, 3, 10 * GHZ, 20200 * MHZ, 0,
    20 * GHZ, 0,
};
const Orbx20gOutPlan ORBX20G_OUT_PLAN_1C = {
    0,        windows1B, (uint32_t)std::size(windows1B), 1070e6, 0, 3, 10 * GHZ, 20200 * MHZ, 0,
    20 * GHZ, 1,
};

ORBX20G_OUT *ORBX20G_OUT_record(OrbxxxgOutBoard *board) {
    return orbxxxg_outRecord<ORBX20G_OUT>(board);
}

int ORBX20G_OUT_initWithPlan(OrbxxxgOutBoard *board, const Orbx20gOutPlan *plan) {
    ORBX20G_OUT *o = new (board->module) ORBX20G_OUT{};
    o->revisionCode = board->revisionCode;
    o->plan = plan;
    o->path = 0;
    o->filter = -1;
    o->bandEdge1Hz = ORBX20G_OUT_BAND_EDGE1_HZ;
    o->bandEdge2Hz = ORBX20G_OUT_BAND_EDGE2_HZ;
    o->band2EdgeHz = ORBX20G_OUT_BAND2_EDGE_HZ;
    o->phaseControl = 1;
    o->alcEnabled = 1;
    int c = board->channel;
    // Power-on image: RF off, level loop closed, every path and filter switch open, dividers
    // 0; the first frequency selects them all.
    uint8_t image[ORBX20G_OUT_SRI_BYTES] = {};
    image[ORBX20G_OUT_BIT_ALC_ENABLE / 8] |= (uint8_t)(1u << (ORBX20G_OUT_BIT_ALC_ENABLE % 8));
    int r = SRI_init(&o->sri, slaveWord(c, BOARD_OUT_SRI, 2), image, ORBX20G_OUT_SRI_BYTES);
    r = firstError(r, AD9910_init(&o->dds, slaveWord(c, BOARD_OUT_DDS, 2), 0));
    KrFreq clock = krfreqHz(ORBX20G_OUT_DDS_CLOCK_HZ);
    r = firstError(r, AD9910_setDDSIn(&o->dds, &clock));
    r = firstError(r, AD9910_disableInputDivider(&o->dds));
    r = firstError(r, AD9910_powerUp(&o->dds));
    r = firstError(r, AD8402_init(&o->loopPot, slaveWord(c, BOARD_OUT_LOOP_POT, 3), 0));
    o->r1Ohm = AD8402_getResistanceWB1(&o->loopPot);
    r = firstError(r, AD5643_init(&o->alcDac, slaveWord(c, BOARD_OUT_ALC_DAC, 3)));
    r = firstError(r, TC77_init(&o->temp, slaveWord(c, BOARD_OUT_TEMP, 5)));
    r = firstError(r, orbxxxg_level_init(board, &o->level, &o->sri, &o->alcDac, &LEVEL_LAYOUT));
    r = firstError(r, SRI_applyPreset(&o->sri));
    r = firstError(r, krgio_ioupdate());
    if (r) printd("ORBX20G_OUT_init(): channel %d failed: %d\n", c, r);
    return r;
}

int ORBX20G_OUT_init(OrbxxxgOutBoard *board) {
    const Orbx20gOutPlan *plan = board->revisionCode < 4   ? &ORBX20G_OUT_PLAN_1A
                                 : board->revisionCode < 5 ? &ORBX20G_OUT_PLAN_1B
                                                           : &ORBX20G_OUT_PLAN_1C;
    return ORBX20G_OUT_initWithPlan(board, plan);
}

int ORBX20G_OUT_getBaseAddress(OrbxxxgOutBoard *board, uint32_t *address) {
    board->ioupdateAddress = *address + ORBX20G_OUT_IOUPDATE_OFFSET;
    *address = board->ioupdateAddress;
    return 0;
}

int ORBX20G_OUT_filterIndex(const ORBX20G_OUT *o, const KrFreq *frequency) {
    const uint64_t edges[] = {o->bandEdge1Hz, 460 * MHZ, 650 * MHZ, o->bandEdge2Hz, 1500 * MHZ,
                              2200 * MHZ,     3 * GHZ,   4 * GHZ,   5 * GHZ,        5800 * MHZ,
                              o->band2EdgeHz, 10 * GHZ,  14 * GHZ};
    for (int i = 0; i < (int)(sizeof(edges) / sizeof(edges[0])); i++)
        if (edges[i] && frequency->integer < (int64_t)edges[i]) return i;
    return ORBX20G_OUT_FILTERS - 1;
}

int ORBX20G_OUT_presetSetFilter(ORBX20G_OUT *o, const KrFreq *frequency) {
    int index = ORBX20G_OUT_filterIndex(o, frequency);
    if (index == o->filter) {
        if (index >= FIRST_BAND2_FILTER)
            printd("ORBX20G_OUT_presetSetBand2Filter(): nothing to do\n");
        return 0;
    }
    presetBits(&o->sri, ORBX20G_OUT_FILTER_ALL_BITS, 0);
    presetBits(&o->sri, ORBX20G_OUT_FILTER_BITS[index], 4, 1);
    if (filterMessages[index])
        printd("%s", filterMessages[index]);
    else
        printd("ORBX20G_OUT_presetSetFilter(): band-1 filter %d\n", index);
    o->filter = index;
    return 0;
}

int ORBX20G_OUT_presetSelectBandPath(ORBX20G_OUT *o, const KrFreq *frequency) {
    int64_t f = frequency->integer;
    int path = f < (int64_t)ORBX20G_OUT_DIRECT_LIMIT_HZ           ? ORBX20G_OUT_PATH_DIRECT
               : f < (int64_t)(3 * GHZ)                           ? ORBX20G_OUT_PATH_BAND0
               : (o->band2EdgeHz && f >= (int64_t)o->band2EdgeHz) ? ORBX20G_OUT_PATH_BAND2
                                                                  : ORBX20G_OUT_PATH_BAND1;
    if (path == o->path) return 0;
    presetBits(&o->sri, ORBX20G_OUT_PATH_ALL_BITS, 0);
    switch (path) {
        case ORBX20G_OUT_PATH_DIRECT:
            presetBits(&o->sri, ORBX20G_OUT_PATH_DIRECT_BITS, 1);
            break;
        case ORBX20G_OUT_PATH_BAND0:
            presetBits(&o->sri, ORBX20G_OUT_PATH_BAND0_BITS, 1);
            break;
        case ORBX20G_OUT_PATH_BAND2:
            presetBits(&o->sri, ORBX20G_OUT_PATH_BAND2_BITS, 1);
            break;
        default:
            presetBits(&o->sri, ORBX20G_OUT_PATH_BAND1_BITS, 1);
            break;
    }
    o->path = path;
    o->pathChanged = 1;
    return 0;
}

int ORBX20G_OUT_getPLLSettings(ORBX20G_OUT *o, const KrFreq *frequency) {
    uint64_t f = (uint64_t)frequency->integer;
    if (f == 0) return KR_E_EXECUTION_ERROR;
    Dividers d = {1, 1, 1};
    bool legacy = o->plan->legacySearch;
    if (legacy)
        plan1A(o, f, &d);
    else
        plan1B(o, f, &d);
    o->n1Changed = d.n1 != o->n1;
    o->n1 = (uint8_t)d.n1;
    o->n2 = (uint8_t)d.n2;
    o->r = (uint8_t)d.r;
    uint64_t vco = f * d.n1;
    o->vcoFrequency = krfreqHz(vco);
    // 1A compares the output / N2, later boards the VCO / N2, with (DDS + 1 GHz) / R.
    KrFreq loop;
    krfreqMultiplyByInt32(&loop, frequency, legacy ? 1 : (int32_t)d.n1);
    krfreqDivideByInt32(&o->pfdFrequency, &loop, (int32_t)d.n2);
    KrFreq y, offset = krfreqHz(ORBX20G_OUT_PFD_OFFSET_HZ);
    krfreqMultiplyByInt32(&y, &loop, (int32_t)d.r);
    krfreqDivideByInt32(&y, &y, (int32_t)d.n2);
    krfreqSubtract(&o->ddsFrequency, &y, &offset);
    o->r1SetpointOhm = legacy ? loopFilter1A(d, vco) : loopFilter1B(d, vco);
    printd(
        "%s VCO frequency: %.3f MHz, PD frequency: %.2f MHz, DDS frequency: %.2f MHz, N1: %i, "
        "N2: %i, R: %i  R1=%d\n",
        legacy ? "ORBX20G_OUT_1A_getPLLSettings" : "ORBX20G_OUT_getPLLSettings", (double)vco / 1e6,
        krfreqToDouble(&o->pfdFrequency) / 1e6, krfreqToDouble(&o->ddsFrequency) / 1e6, (int)d.n1,
        (int)d.n2, (int)d.r, (int)o->r1SetpointOhm);
    return 0;
}

int ORBX20G_OUT_presetSetFrequency(ORBX20G_OUT *o, const KrFreq *frequency) {
    KrFreq f = *frequency;
    if (f.integer < 0) f = krfreqHz(0);
    if (o->plan->frequencyMaxHz && f.integer >= (int64_t)o->plan->frequencyMaxHz)
        f = krfreqHz(o->plan->frequencyMaxHz);
    printd("ORBX20G_OUT_presetSetFrequency frequency: %llu Hz\n", (unsigned long long)f.integer);
    o->frequency = f;
    o->ddsFrequency = f;
    o->pathChanged = 0;
    o->n1Changed = 0;
    int r = ORBX20G_OUT_presetSetFilter(o, &f);
    r = firstError(r, ORBX20G_OUT_presetSelectBandPath(o, &f));
    if (f.integer >= (int64_t)ORBX20G_OUT_DIRECT_LIMIT_HZ)
        r = firstError(r, ORBX20G_OUT_getPLLSettings(o, &f));
    r = firstError(r, AD9910_disableHighResolution(&o->dds));
    AD9910_presetDDSOut(&o->dds, &o->ddsFrequency);
    AD9910_calculatePreset(&o->dds);
    SRI_presetField(&o->sri, ORBX20G_OUT_BIT_R, ORBX20G_OUT_DIVIDER_WIDTH, o->r);
    SRI_presetField(&o->sri, ORBX20G_OUT_BIT_N2, ORBX20G_OUT_DIVIDER_WIDTH, o->n2);
    SRI_presetField(&o->sri, ORBX20G_OUT_BIT_N1, ORBX20G_OUT_DIVIDER_WIDTH, o->n1);
    uint32_t word = AD9910_getFtwOnly(&o->dds);
    AD9910_presetFtwOnly(&o->dds, word);
    printd("ORBX20G_OUT_presetSetFrequency(): FTW %llu\n", (unsigned long long)word);
    return r;
}

int ORBX20G_OUT_writeLoopFilter(ORBX20G_OUT *o, double ohms) {
    if (ohms <= 0 || ohms == o->r1Ohm) return 0;
    int r = AD8402_setResistanceWB1(&o->loopPot, ohms);
    if (r == 0) o->r1Ohm = ohms;
    return r;
}

// Apply step: the register image, the DDS word (both take effect with the I/O update) and
// the loop filter unless the digital-levelling sequence sets it after the VCO has tuned.
int ORBX20G_OUT_SRI_applyPreset(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    int r = SRI_applyPreset(&o->sri);
    r = firstError(r, AD9910_applyPreset(&o->dds));
    if (!o->r1Deferred) r = firstError(r, ORBX20G_OUT_writeLoopFilter(o, o->r1SetpointOhm));
    return r;
}

int ORBX20G_OUT_setFrequencySync(OrbxxxgOutBoard *board, const KrFreq *frequency) {
    ORBX20G_OUT *o = ready(board);
    return o ? ORBX20G_OUT_presetSetFrequency(o, frequency) : KR_E_HARDWARE_MISSING;
}

int ORBX20G_OUT_setFrequencyAsync(OrbxxxgOutBoard *board, const KrFreq *) {
    ORBX20G_OUT *o = ORBX20G_OUT_record(board);
    return o->highResolution ? AD9910_enableHighResolution(&o->dds) : 0;
}

int ORBX20G_OUT_setFrequency(ORBX20G_OUT *o, const KrFreq *frequency) {
    int r = ORBX20G_OUT_presetSetFrequency(o, frequency);
    r = firstError(r, SRI_applyPreset(&o->sri));
    r = firstError(r, AD9910_applyPreset(&o->dds));
    r = firstError(r, ORBX20G_OUT_writeLoopFilter(o, o->r1SetpointOhm));
    r = firstError(r, krgio_ioupdate());
    if (o->highResolution) r = firstError(r, AD9910_enableHighResolution(&o->dds));
    return r;
}

int ORBX20G_OUT_isFrequencyResolutionLow(OrbxxxgOutBoard *board) {
    return !ORBX20G_OUT_record(board)->highResolution;
}

int ORBX20G_OUT_isFrequencyResolutionHigh(OrbxxxgOutBoard *board) {
    return ORBX20G_OUT_record(board)->highResolution;
}

int ORBX20G_OUT_setFrequencyResolutionLow(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    o->highResolution = 0;
    return AD9910_disableHighResolution(&o->dds);
}

int ORBX20G_OUT_setFrequencyResolutionHigh(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    o->highResolution = 1;
    return AD9910_enableHighResolution(&o->dds);
}

void ORBX20G_OUT_setPhaseControl(ORBX20G_OUT *o, int on) {
    o->phaseControl = on ? 1 : 0;
}

int ORBX20G_OUT_setPhase(ORBX20G_OUT *o, const KrAngle *angle) {
    KrAngle target = wrapAngle(*angle);
    if (!o->phaseControl) {
        o->phase = target;
        return 0;
    }
    // The output phase is the DDS phase scaled by the loop; on the direct path it is the
    // DDS phase itself.
    double k = 1.0;
    double f = krfreqToDouble(&o->frequency);
    if (o->path != ORBX20G_OUT_PATH_DIRECT && f > 0)
        k = (krfreqToDouble(&o->ddsFrequency) + (double)ORBX20G_OUT_PFD_OFFSET_HZ) / f;
    double from = o->phase * k, to = target * k, reached;
    int r = orbxxxg_stepPhase(from, to, writeDdsPhase, o, &reached);
    if (r == 0) o->phase = target;
    return r;
}

int ORBX20G_OUT_getPhase(OrbxxxgOutBoard *board, KrAngle *angle) {
    *angle = ORBX20G_OUT_record(board)->phase;
    return 0;
}

int ORBX20G_OUT_setPhase_async(OrbxxxgOutBoard *board, const KrAngle *angle) {
    ORBX20G_OUT *o = ready(board);
    return o ? ORBX20G_OUT_setPhase(o, angle) : KR_E_HARDWARE_MISSING;
}

int ORBX20G_OUT_enableRf(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ORBX20G_OUT_record(board);
    int r = SRI_setBit(&o->sri, ORBX20G_OUT_BIT_RF_ENABLE);
    if (r == 0) o->rfEnabled = 1;
    return r;
}

int ORBX20G_OUT_disableRf(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ORBX20G_OUT_record(board);
    int r = SRI_clearBit(&o->sri, ORBX20G_OUT_BIT_RF_ENABLE);
    if (r == 0) o->rfEnabled = 0;
    return r;
}

namespace {

// A level-loop switch: the flag and its register bit, sent at once.
int switchBit(OrbxxxgOutBoard *board, uint8_t ORBX20G_OUT::*flag, int bit, int on) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    int r = on ? SRI_setBit(&o->sri, bit) : SRI_clearBit(&o->sri, bit);
    if (r == 0) o->*flag = (uint8_t)on;
    return r;
}

}  // namespace

int ORBX20G_OUT_enableAlcRfMute(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX20G_OUT::alcRfMute, ORBX20G_OUT_BIT_ALC_RF_MUTE, 1);
}

int ORBX20G_OUT_disableAlcRfMute(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX20G_OUT::alcRfMute, ORBX20G_OUT_BIT_ALC_RF_MUTE, 0);
}

int ORBX20G_OUT_enableAlc(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX20G_OUT::alcEnabled, ORBX20G_OUT_BIT_ALC_ENABLE, 1);
}

int ORBX20G_OUT_disableAlc(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX20G_OUT::alcEnabled, ORBX20G_OUT_BIT_ALC_ENABLE, 0);
}

int ORBX20G_OUT_isAlcEnabled(OrbxxxgOutBoard *board) {
    return ORBX20G_OUT_record(board)->alcEnabled;
}

int ORBX20G_OUT_enableAlcHold(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX20G_OUT::alcHold, ORBX20G_OUT_BIT_ALC_HOLD, 1);
}

int ORBX20G_OUT_disableAlcHold(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX20G_OUT::alcHold, ORBX20G_OUT_BIT_ALC_HOLD, 0);
}

int ORBX20G_OUT_isAlcHoldEnabled(OrbxxxgOutBoard *board) {
    return ORBX20G_OUT_record(board)->alcHold;
}

int ORBX20G_OUT_enableAlcHoldSampleMode(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX20G_OUT::alcHoldSampleMode, ORBX20G_OUT_BIT_ALC_SAMPLE, 1);
}

int ORBX20G_OUT_disableAlcHoldSampleMode(OrbxxxgOutBoard *board) {
    return switchBit(board, &ORBX20G_OUT::alcHoldSampleMode, ORBX20G_OUT_BIT_ALC_SAMPLE, 0);
}

int ORBX20G_OUT_getAlcCondition(OrbxxxgOutBoard *board, uint32_t *condition) {
    const ORBX20G_OUT *o = ORBX20G_OUT_record(board);
    return ORBXXXG_LEVEL_getAlcCondition(board, o->rfEnabled, o->alcEnabled, condition);
}

int ORBX20G_OUT_getPDFrequency(OrbxxxgOutBoard *board, KrFreq *frequency) {
    *frequency = ORBX20G_OUT_record(board)->pfdFrequency;
    return 0;
}

int ORBX20G_OUT_getVcoFrequency(OrbxxxgOutBoard *board, KrFreq *frequency) {
    *frequency = ORBX20G_OUT_record(board)->vcoFrequency;
    return 0;
}

int ORBX20G_OUT_getDirectBandLimit(OrbxxxgOutBoard *, KrFreq *frequency) {
    *frequency = krfreqHz(ORBX20G_OUT_DIRECT_LIMIT_HZ);
    return 0;
}

int ORBX20G_OUT_powerDown(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    int r = SRI_clearBit(&o->sri, ORBX20G_OUT_BIT_RF_ENABLE);
    o->rfEnabled = 0;
    r = firstError(r, AD9910_powerDown(&o->dds));
    return firstError(r, krgio_ioupdate());
}

int ORBX20G_OUT_getFrequencyBands(OrbxxxgOutBoard *board, KrFreq *array, int32_t capacity,
                                  int32_t *count) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    const Orbx20gOutPlan *plan = o->plan;
    const uint64_t edges[] = {
        ORBX20G_OUT_DIRECT_LIMIT_HZ,
        o->bandEdge1Hz,
        460 * MHZ,
        650 * MHZ,
        o->bandEdge2Hz,
        1500 * MHZ,
        2200 * MHZ,
        3 * GHZ,
        4 * GHZ,
        5 * GHZ,
        5800 * MHZ,
        o->band2EdgeHz,
        10 * GHZ,
        14 * GHZ,
        plan->edge16G ? 16 * GHZ : 0,
        plan->lastEdgeHz,
    };
    for (const uint64_t &e : edges) {
        if (e == 0 || (e >= plan->lastEdgeHz && &e != &edges[std::size(edges) - 1])) continue;
        if (*count >= capacity) return KR_E_OUT_OF_MEMORY;
        array[(*count)++] = krfreqHz(e);
    }
    return 0;
}

int ORBX20G_OUT_getTemperature(OrbxxxgOutBoard *board, double *celsius) {
    ORBX20G_OUT *o = ready(board);
    return o ? TC77_readTemperature(&o->temp, celsius) : KR_E_HARDWARE_MISSING;
}

int ORBX20G_OUT_getPllN1Divider(OrbxxxgOutBoard *board, uint32_t *n1) {
    *n1 = ORBX20G_OUT_record(board)->n1;
    return 0;
}

int ORBX20G_OUT_getPllN2Divider(OrbxxxgOutBoard *board, uint32_t *n2) {
    *n2 = ORBX20G_OUT_record(board)->n2;
    return 0;
}

int ORBX20G_OUT_getPllRDivider(OrbxxxgOutBoard *board, uint32_t *r) {
    *r = ORBX20G_OUT_record(board)->r;
    return 0;
}

// What the programmed word and dividers produce: the DDS output (with the time average of
// the dithered words in high resolution), then (DDS + 1 GHz) x N2 / R, and / N1 where the
// loop locks the VCO. Products stay exact in KrFreq; the divisions truncate in binary128.
int ORBX20G_OUT_getFrequencyExact(OrbxxxgOutBoard *board, KrFreq *frequency) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    const AD9910 *dds = &o->dds;
    KrFreq out = *AD9910_calculateAndGetRealFout(dds);
    uint32_t up = dds->drgRateUp, down = dds->drgRateDown;
    if (dds->highResolution && up + down) {
        KrLongDouble clock, share, sum;
        ld_fromKrfreq(&dds->ftw.in, &clock);
        ld_fromUint64(down, &share);
        ld_multiply(&share, &clock, &share);
        ld_fromUint64(up + down, &sum);
        ld_divide(&share, &share, &sum);
        ld_divideByPow2(&share, &share, (int32_t)AD9910_FTW_BITS);
        KrFreq dither;
        ld_toKrfreq(&share, &dither);
        krfreqAdd(&out, &out, &dither);
    }
    if (o->path == ORBX20G_OUT_PATH_DIRECT || o->r == 0) {
        *frequency = out;
        return 0;
    }
    KrFreq offset = krfreqHz(ORBX20G_OUT_PFD_OFFSET_HZ), loop;
    krfreqAdd(&loop, &out, &offset);
    krfreqMultiplyByInt32(&loop, &loop, o->n2);
    uint32_t divisor = o->r * (o->plan->legacySearch ? 1u : o->n1);
    KrLongDouble num, den, q;
    ld_fromKrfreq(&loop, &num);
    ld_fromUint64(divisor, &den);
    ld_divide(&q, &num, &den);
    ld_toKrfreq(&q, frequency);
    return 0;
}

// ---- DDS and loop-filter diagnostics ---------------------------------------------------
// Each writes the chip at once and latches it with its own I/O update; the next frequency
// change sets the plan's values again, for the DDS clock last set.

int ORBX20G_OUT_getDdsFtw(OrbxxxgOutBoard *board, uint64_t *word) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    *word = o->dds.presetFtw;
    return 0;
}

namespace {

// A write, then the I/O update that makes it take effect (in this order).
int latched(int r) {
    return firstError(r, krgio_ioupdate());
}

// The preset word to the chip; the ramp of high resolution would move it, so it stops first.
int sendDdsWord(ORBX20G_OUT *o) {
    int r = AD9910_disableHighResolution(&o->dds);
    r = firstError(r, AD9910_applyFtwOnly(&o->dds));
    printd("ORBX20G_OUT: channel DDS FTW %u\n", (unsigned)o->dds.presetFtw);
    return latched(r);
}

}  // namespace

int ORBX20G_OUT_setDdsFtw(OrbxxxgOutBoard *board, uint64_t word) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    if (word >> AD9910_FTW_BITS) return KR_E_DATA_OUT_OF_RANGE;
    AD9910_presetFtwOnly(&o->dds, (uint32_t)word);
    return sendDdsWord(o);
}

int ORBX20G_OUT_setDdsFrequency(OrbxxxgOutBoard *board, const KrFreq *out) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    if (!FTW_isBelowNyquist(out, FTW_getIn(&o->dds.ftw))) return KR_E_DATA_OUT_OF_RANGE;
    o->ddsFrequency = *out;
    AD9910_presetDDSOut(&o->dds, out);
    AD9910_calculatePreset(&o->dds);
    return sendDdsWord(o);
}

// The clock that this word and every later one are computed for (a measured one, say); the
// DDS output is kept.
int ORBX20G_OUT_setDdsReferenceFrequency(OrbxxxgOutBoard *board, const KrFreq *clock) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    if (!FTW_isBelowNyquist(&o->ddsFrequency, clock)) return KR_E_DATA_OUT_OF_RANGE;
    AD9910_setDDSIn(&o->dds, clock);
    return sendDdsWord(o);
}

int ORBX20G_OUT_getDdsFsc(OrbxxxgOutBoard *board, uint32_t *code) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    *code = o->dds.fullScaleCurrent;
    return 0;
}

int ORBX20G_OUT_setDdsFsc(OrbxxxgOutBoard *board, uint32_t code) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    if (code > AD9910_AUX_DAC_FSC_MASK) return KR_E_DATA_OUT_OF_RANGE;
    return latched(AD9910_setFullScaleCurrent(&o->dds, (uint8_t)code));
}

int ORBX20G_OUT_isDdsOutputEnabled(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ready(board);
    return o && !o->dds.poweredDown ? 1 : 0;
}

int ORBX20G_OUT_enableDdsOutput(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    return latched(AD9910_powerUp(&o->dds));
}

int ORBX20G_OUT_disableDdsOutput(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    return latched(AD9910_powerDown(&o->dds));
}

int ORBX20G_OUT_setLoopFilter(OrbxxxgOutBoard *board, double ohms) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    if (!(ohms > 0) || ohms > o->loopPot.rab + o->loopPot.rw) return KR_E_DATA_OUT_OF_RANGE;
    return latched(ORBX20G_OUT_writeLoopFilter(o, ohms));
}

namespace {

constexpr double DRG_TICK_S = (double)AD9910_DRG_RATE_CLOCKS / (double)ORBX20G_OUT_DDS_CLOCK_HZ;
// A ramp of the board's choice steps by this many tuning-word units at least, so that its
// step count misses the time by a 64th at most.
constexpr double AUTO_STEP_WORDS_MIN = 64;

uint16_t drgRate(double ticks) {
    double n = std::floor(ticks + 0.5);
    if (!(n >= 1)) return 1;
    return n > AD9910_DRG_RATE_MAX ? (uint16_t)AD9910_DRG_RATE_MAX : (uint16_t)n;
}

// The DDS frequency that puts the output at f with the loop's present dividers.
bool chirpDdsFrequency(const ORBX20G_OUT *o, const KrFreq *f, KrFreq *dds) {
    if (o->frequency.integer < (int64_t)ORBX20G_OUT_DIRECT_LIMIT_HZ) {
        *dds = *f;
    } else {
        if (o->n2 == 0 || o->r == 0) return false;
        KrFreq loop, y, offset = krfreqHz(ORBX20G_OUT_PFD_OFFSET_HZ);
        krfreqMultiplyByInt32(&loop, f, o->plan->legacySearch ? 1 : (int32_t)o->n1);
        krfreqMultiplyByInt32(&y, &loop, (int32_t)o->r);
        krfreqDivideByInt32(&y, &y, (int32_t)o->n2);
        krfreqSubtract(dds, &y, &offset);
    }
    return dds->integer > 0 && FTW_isBelowNyquist(dds, FTW_getIn(&o->dds.ftw));
}

}  // namespace

int ORBX20G_OUT_enableChirp(OrbxxxgOutBoard *board, const KrFreq *start, const KrFreq *stop,
                            const KrTime *time, uint32_t steps, uint32_t down, uint32_t alternate) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    KrFreq a, b;
    if (!chirpDdsFrequency(o, start, &a) || !chirpDdsFrequency(o, stop, &b)) {
        printd("ORBX20G_OUT_enableChirp(): %.0f to %.0f Hz is beyond the DDS ramp\n",
               krfreqToDouble(start), krfreqToDouble(stop));
        return KR_E_SETTINGS_CONFLICT;
    }
    const KrFreq *in = FTW_getIn(&o->dds.ftw);
    uint32_t wa = (uint32_t)FTW_calcFtwFast(in, &a, AD9910_FTW_BITS);
    uint32_t wb = (uint32_t)FTW_calcFtwFast(in, &b, AD9910_FTW_BITS);
    uint32_t low = wa < wb ? wa : wb, high = wa < wb ? wb : wa;
    double span = (double)(high - low), ticks = *time / DRG_TICK_S, n;
    uint16_t rate;
    if (steps) {
        rate = drgRate(ticks / steps);
        n = steps;
    } else {
        // As fine as the time allows: the shortest rate that keeps the steps coarse enough.
        rate = span > 0 ? drgRate(std::ceil(ticks * AUTO_STEP_WORDS_MIN / span)) : 1;
        n = std::max(1.0, std::floor(ticks / rate + 0.5));
    }
    uint32_t step = (uint32_t)std::max(1.0, std::ceil(span / n));
    printd("ORBX20G_OUT_enableChirp(): words %u to %u, step %u, rate %u%s%s\n", (unsigned)low,
           (unsigned)high, (unsigned)step, (unsigned)rate, down ? ", down" : "",
           alternate ? ", alternating" : "");
    // The ramp replaces the high-resolution dither, which the next frequency brings back.
    o->dds.highResolution = 0;
    return AD9910_enableRamp(&o->dds, low, high, step, rate, (int)down, (int)alternate);
}

int ORBX20G_OUT_disableChirp(OrbxxxgOutBoard *board) {
    ORBX20G_OUT *o = ready(board);
    if (!o) return KR_E_HARDWARE_MISSING;
    int r = AD9910_disableChirp(&o->dds);
    return firstError(r, krgio_ioupdate());
}

int ORBX20G_OUT_getChirpTimebaseClosest(OrbxxxgOutBoard *, const KrFreq *, const KrTime *dwell,
                                        KrTime *closest) {
    *closest = drgRate(*dwell / DRG_TICK_S) * DRG_TICK_S;
    return 0;
}

void ORBX20G_OUT_registerFunctions() {
    orbxxxg_level_registerFunctions();
    BOARD_ORBXXXG_OUT_init = ORBX20G_OUT_init;
    BOARD_ORBXXXG_OUT_getBaseAddress = ORBX20G_OUT_getBaseAddress;
    BOARD_ORBXXXG_OUT_SRI_applyPreset = ORBX20G_OUT_SRI_applyPreset;
    BOARD_ORBXXXG_OUT_setFrequencySync = ORBX20G_OUT_setFrequencySync;
    BOARD_ORBXXXG_OUT_setFrequencyAsync = ORBX20G_OUT_setFrequencyAsync;
    BOARD_ORBXXXG_OUT_isFrequencyResolutionLow = ORBX20G_OUT_isFrequencyResolutionLow;
    BOARD_ORBXXXG_OUT_isFrequencyResolutionHigh = ORBX20G_OUT_isFrequencyResolutionHigh;
    BOARD_ORBXXXG_OUT_setFrequencyResolutionLow = ORBX20G_OUT_setFrequencyResolutionLow;
    BOARD_ORBXXXG_OUT_setFrequencyResolutionHigh = ORBX20G_OUT_setFrequencyResolutionHigh;
    BOARD_ORBXXXG_OUT_getPhase = ORBX20G_OUT_getPhase;
    BOARD_ORBXXXG_OUT_setPhase_async = ORBX20G_OUT_setPhase_async;
    BOARD_ORBXXXG_OUT_enableRf = ORBX20G_OUT_enableRf;
    BOARD_ORBXXXG_OUT_disableRf = ORBX20G_OUT_disableRf;
    BOARD_ORBXXXG_OUT_enableAlcRfMute = ORBX20G_OUT_enableAlcRfMute;
    BOARD_ORBXXXG_OUT_disableAlcRfMute = ORBX20G_OUT_disableAlcRfMute;
    BOARD_ORBXXXG_OUT_enableAlc = ORBX20G_OUT_enableAlc;
    BOARD_ORBXXXG_OUT_disableAlc = ORBX20G_OUT_disableAlc;
    BOARD_ORBXXXG_OUT_isAlcEnabled = ORBX20G_OUT_isAlcEnabled;
    BOARD_ORBXXXG_OUT_enableAlcHold = ORBX20G_OUT_enableAlcHold;
    BOARD_ORBXXXG_OUT_disableAlcHold = ORBX20G_OUT_disableAlcHold;
    BOARD_ORBXXXG_OUT_isAlcHoldEnabled = ORBX20G_OUT_isAlcHoldEnabled;
    BOARD_ORBXXXG_OUT_enableAlcHoldSampleMode = ORBX20G_OUT_enableAlcHoldSampleMode;
    BOARD_ORBXXXG_OUT_disableAlcHoldSampleMode = ORBX20G_OUT_disableAlcHoldSampleMode;
    BOARD_ORBXXXG_OUT_getAlcCondition = ORBX20G_OUT_getAlcCondition;
    BOARD_ORBXXXG_OUT_getPDFrequency = ORBX20G_OUT_getPDFrequency;
    BOARD_ORBXXXG_OUT_getVcoFrequency = ORBX20G_OUT_getVcoFrequency;
    BOARD_ORBXXXG_OUT_getDirectBandLimit = ORBX20G_OUT_getDirectBandLimit;
    BOARD_ORBXXXG_OUT_getDdsDirectPathMaxFreq = ORBX20G_OUT_getDirectBandLimit;
    BOARD_ORBXXXG_OUT_powerDown = ORBX20G_OUT_powerDown;
    BOARD_ORBXXXG_OUT_getFrequencyBands = ORBX20G_OUT_getFrequencyBands;
    BOARD_ORBXXXG_OUT_getTemperature = ORBX20G_OUT_getTemperature;
    BOARD_ORBXXXG_OUT_getPllN1Divider = ORBX20G_OUT_getPllN1Divider;
    BOARD_ORBXXXG_OUT_getPllN2Divider = ORBX20G_OUT_getPllN2Divider;
    BOARD_ORBXXXG_OUT_getPllRDivider = ORBX20G_OUT_getPllRDivider;
    BOARD_ORBXXXG_OUT_getFrequencyExact = ORBX20G_OUT_getFrequencyExact;
    BOARD_ORBXXXG_OUT_getDdsFtw = ORBX20G_OUT_getDdsFtw;
    BOARD_ORBXXXG_OUT_setDdsFtw = ORBX20G_OUT_setDdsFtw;
    BOARD_ORBXXXG_OUT_getDdsFsc = ORBX20G_OUT_getDdsFsc;
    BOARD_ORBXXXG_OUT_setDdsFsc = ORBX20G_OUT_setDdsFsc;
    BOARD_ORBXXXG_OUT_isDdsOutputEnabled = ORBX20G_OUT_isDdsOutputEnabled;
    BOARD_ORBXXXG_OUT_enableDdsOutput = ORBX20G_OUT_enableDdsOutput;
    BOARD_ORBXXXG_OUT_disableDdsOutput = ORBX20G_OUT_disableDdsOutput;
    BOARD_ORBXXXG_OUT_setDdsFrequency = ORBX20G_OUT_setDdsFrequency;
    BOARD_ORBXXXG_OUT_setDdsReferenceFrequency = ORBX20G_OUT_setDdsReferenceFrequency;
    BOARD_ORBXXXG_OUT_setLoopFilter = ORBX20G_OUT_setLoopFilter;
    BOARD_ORBXXXG_OUT_enableChirp = ORBX20G_OUT_enableChirp;
    BOARD_ORBXXXG_OUT_disableChirp = ORBX20G_OUT_disableChirp;
    BOARD_ORBXXXG_OUT_getChirpTimebaseClosest = ORBX20G_OUT_getChirpTimebaseClosest;
}
