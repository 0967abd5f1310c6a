// 20 GHz output board (revisions 1A to 1C, codes 3 to 5): the frequency plan that turns one
// output frequency into a signal path, a band filter, PLL dividers, a loop-filter setting and
// a DDS tuning word, and the board's RF, phase, power and temperature operations. The
// ultra-low-noise and digital-levelling boards run the same plan with their own windows and
// limits (Orbx20gOutPlan) over the same record.
//
// Context: main loop (through the output-board slots), or the sweep task inside its SPI lock
// bracket for the preset and apply steps.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"
#include "hw/ad5643.h"
#include "hw/ad8402.h"
#include "hw/ad9910.h"
#include "hw/orbxxxg_board.h"
#include "hw/orbxxxg_level.h"
#include "hw/sri.h"
#include "hw/tc77.h"

// A spur-free range of the DDS-side phase-detector input (Hz, both bounds exclusive).
struct Orbx20gOutWindow {
    double lowHz;
    double highHz;
};

// What differs between the boards that share the plan: the windows and limits of the divider
// search, the loop topology, and the frequency range.
struct Orbx20gOutPlan {
    // 1: the 1A search (N1 a power of two, R up to rMax, the loop locks the output behind
    // N1); 0: the search from 1B on (any integer N1, the loop locks the VCO itself).
    uint8_t legacySearch;
    const Orbx20gOutWindow *windows;
    uint32_t windowCount;
    double pfdFloorHz;   // a candidate needs y / N2 above this
    double pfdNarrowHz;  // 1A: accepted below this even outside the windows (0: never)
    uint32_t rMax;
    uint64_t vcoMinHz;        // N1 brings the VCO to at least this
    uint64_t vcoMaxHz;        // and keeps it below this
    uint64_t frequencyMaxHz;  // higher requests are clamped to this (0: none)
    uint64_t lastEdgeHz;      // the top of the band-edge list
    uint8_t edge16G;          // the band-edge list carries 16 GHz
};

extern const Orbx20gOutPlan ORBX20G_OUT_PLAN_1A;
extern const Orbx20gOutPlan ORBX20G_OUT_PLAN_1B;
extern const Orbx20gOutPlan ORBX20G_OUT_PLAN_1C;

// The board record, placement-constructed in the channel's board storage by init.
struct ORBX20G_OUT {
    uint32_t revisionCode;
    const Orbx20gOutPlan *plan;
    SRI sri;
    AD9910 dds;
    AD8402 loopPot;
    AD5643 alcDac;
    TC77 temp;
    KrFreq frequency;     // requested
    KrFreq ddsFrequency;  // DDS output wanted
    KrFreq pfdFrequency;
    KrFreq vcoFrequency;  // whole hertz
    uint8_t n1, n2, r;    // RF VCO divider, PFD VCO divider, PFD DDS divider
    uint8_t spurFree;     // the last search found a candidate inside a window
    int32_t path;         // ORBX20G_OUT_PATH_*, 0 before the first frequency
    int32_t filter;       // filter index, -1 before the first frequency
    uint8_t pathChanged;
    uint8_t n1Changed;
    uint64_t bandEdge1Hz;  // upper edge of the lowest filter (0: absent)
    uint64_t bandEdge2Hz;  // upper edge of the filter above 650 MHz (0: absent)
    uint64_t band2EdgeHz;  // start of band 2 (0: absent)
    uint8_t highResolution;
    KrAngle phase;
    uint8_t phaseControl;
    uint8_t rfEnabled;
    uint8_t alcEnabled;
    uint8_t alcHold;
    uint8_t alcHoldSampleMode;
    uint8_t alcRfMute;
    uint8_t dalcEnabled;
    uint8_t r1Deferred;    // the loop filter is set by setR1ResistanceToSetpoint only
    double r1Ohm;          // loop-filter resistance last written
    double r1SetpointOhm;  // loop-filter resistance the plan chose
    OrbxxxgLevel level;
};

constexpr uint32_t ORBX20G_OUT_IOUPDATE_OFFSET = 0x40;
constexpr uint64_t ORBX20G_OUT_BAND_EDGE1_HZ = 200000000ull;
constexpr uint64_t ORBX20G_OUT_BAND_EDGE2_HZ = 900000000ull;
constexpr uint64_t ORBX20G_OUT_BAND2_EDGE_HZ = 7000000000ull;

ORBX20G_OUT *ORBX20G_OUT_record(OrbxxxgOutBoard *board);
void ORBX20G_OUT_registerFunctions();

// Shared with the boards that run the same plan: init with a given plan.
int ORBX20G_OUT_initWithPlan(OrbxxxgOutBoard *board, const Orbx20gOutPlan *plan);

int ORBX20G_OUT_init(OrbxxxgOutBoard *board);
int ORBX20G_OUT_getBaseAddress(OrbxxxgOutBoard *board, uint32_t *address);

// Preset step: path, filter, dividers, loop filter and tuning word into the shadows.
int ORBX20G_OUT_presetSetFrequency(ORBX20G_OUT *o, const KrFreq *frequency);
int ORBX20G_OUT_presetSelectBandPath(ORBX20G_OUT *o, const KrFreq *frequency);
int ORBX20G_OUT_presetSetFilter(ORBX20G_OUT *o, const KrFreq *frequency);
// N1, N2, R, PFD, VCO and DDS frequencies for f (140 MHz and above).
int ORBX20G_OUT_getPLLSettings(ORBX20G_OUT *o, const KrFreq *frequency);
// Standalone: preset, send, I/O update, high resolution again.
int ORBX20G_OUT_setFrequency(ORBX20G_OUT *o, const KrFreq *frequency);
// The loop-filter resistance R1 (wiper 1), written only when it changes.
int ORBX20G_OUT_writeLoopFilter(ORBX20G_OUT *o, double ohms);
int ORBX20G_OUT_setPhase(ORBX20G_OUT *o, const KrAngle *angle);
void ORBX20G_OUT_setPhaseControl(ORBX20G_OUT *o, int on);
// The filter index for f with the record's band edges (no writes).
int ORBX20G_OUT_filterIndex(const ORBX20G_OUT *o, const KrFreq *frequency);

// Slots.
int ORBX20G_OUT_SRI_applyPreset(OrbxxxgOutBoard *board);
int ORBX20G_OUT_setFrequencySync(OrbxxxgOutBoard *board, const KrFreq *frequency);
int ORBX20G_OUT_setFrequencyAsync(OrbxxxgOutBoard *board, const KrFreq *frequency);
int ORBX20G_OUT_isFrequencyResolutionLow(OrbxxxgOutBoard *board);
int ORBX20G_OUT_isFrequencyResolutionHigh(OrbxxxgOutBoard *board);
int ORBX20G_OUT_setFrequencyResolutionLow(OrbxxxgOutBoard *board);
int ORBX20G_OUT_setFrequencyResolutionHigh(OrbxxxgOutBoard *board);
int ORBX20G_OUT_getPhase(OrbxxxgOutBoard *board, KrAngle *angle);
int ORBX20G_OUT_setPhase_async(OrbxxxgOutBoard *board, const KrAngle *angle);
int ORBX20G_OUT_enableRf(OrbxxxgOutBoard *board);
int ORBX20G_OUT_disableRf(OrbxxxgOutBoard *board);
int ORBX20G_OUT_enableAlcRfMute(OrbxxxgOutBoard *board);
int ORBX20G_OUT_disableAlcRfMute(OrbxxxgOutBoard *board);
int ORBX20G_OUT_enableAlc(OrbxxxgOutBoard *board);
int ORBX20G_OUT_disableAlc(OrbxxxgOutBoard *board);
int ORBX20G_OUT_isAlcEnabled(OrbxxxgOutBoard *board);
int ORBX20G_OUT_enableAlcHold(OrbxxxgOutBoard *board);
int ORBX20G_OUT_disableAlcHold(OrbxxxgOutBoard *board);
int ORBX20G_OUT_isAlcHoldEnabled(OrbxxxgOutBoard *board);
int ORBX20G_OUT_enableAlcHoldSampleMode(OrbxxxgOutBoard *board);
int ORBX20G_OUT_disableAlcHoldSampleMode(OrbxxxgOutBoard *board);
int ORBX20G_OUT_getAlcCondition(OrbxxxgOutBoard *board, uint32_t *condition);
int ORBX20G_OUT_getPDFrequency(OrbxxxgOutBoard *board, KrFreq *frequency);
int ORBX20G_OUT_getVcoFrequency(OrbxxxgOutBoard *board, KrFreq *frequency);
int ORBX20G_OUT_getDirectBandLimit(OrbxxxgOutBoard *board, KrFreq *frequency);
int ORBX20G_OUT_powerDown(OrbxxxgOutBoard *board);
int ORBX20G_OUT_getFrequencyBands(OrbxxxgOutBoard *board, KrFreq *array, int32_t capacity,
                                  int32_t *count);
int ORBX20G_OUT_getTemperature(OrbxxxgOutBoard *board, double *celsius);
int ORBX20G_OUT_getPllN1Divider(OrbxxxgOutBoard *board, uint32_t *n1);
int ORBX20G_OUT_getPllN2Divider(OrbxxxgOutBoard *board, uint32_t *n2);
int ORBX20G_OUT_getPllRDivider(OrbxxxgOutBoard *board, uint32_t *r);
int ORBX20G_OUT_getFrequencyExact(OrbxxxgOutBoard *board, KrFreq *frequency);
// DDS and loop-filter diagnostics: written at once, each with its own I/O update.
int ORBX20G_OUT_getDdsFtw(OrbxxxgOutBoard *board, uint64_t *word);
int ORBX20G_OUT_setDdsFtw(OrbxxxgOutBoard *board, uint64_t word);
int ORBX20G_OUT_setDdsFrequency(OrbxxxgOutBoard *board, const KrFreq *out);
int ORBX20G_OUT_setDdsReferenceFrequency(OrbxxxgOutBoard *board, const KrFreq *clock);
int ORBX20G_OUT_getDdsFsc(OrbxxxgOutBoard *board, uint32_t *code);
int ORBX20G_OUT_setDdsFsc(OrbxxxgOutBoard *board, uint32_t code);
int ORBX20G_OUT_isDdsOutputEnabled(OrbxxxgOutBoard *board);
int ORBX20G_OUT_enableDdsOutput(OrbxxxgOutBoard *board);
int ORBX20G_OUT_disableDdsOutput(OrbxxxgOutBoard *board);
int ORBX20G_OUT_setLoopFilter(OrbxxxgOutBoard *board, double ohms);

// Chirp on the DDS ramp (see the board slots): the output range maps onto the DDS through the
// dividers of the frequency set last; -221 when it falls outside the DDS's band. The ramp's
// rate counts 4 DDS clock periods, up to 65535.
int ORBX20G_OUT_enableChirp(OrbxxxgOutBoard *board, const KrFreq *start, const KrFreq *stop,
                            const KrTime *time, uint32_t steps, uint32_t down, uint32_t alternate);
int ORBX20G_OUT_disableChirp(OrbxxxgOutBoard *board);
int ORBX20G_OUT_getChirpTimebaseClosest(OrbxxxgOutBoard *board, const KrFreq *center,
                                        const KrTime *dwell, KrTime *closest);
