// Generic output board (older generation, codes 1 = the 1B1 board and 2; 06G, 12G and 20G
// models): an AD9912 DDS drives the output directly below 300 MHz and is otherwise the
// reference of a PLL whose VCO (10 to 20.2 GHz) is divided by N1. The plan searches R, N1 and
// N2 so that the DDS output lies in one of its spur-free windows. The look-up-table module
// (ORBXXXG_OUT_LUT) runs the same record with settings taken from a table.
//
// Context: main loop (through the output-board slots), or the sweep task inside its SPI lock
// bracket for the preset and apply steps.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"
#include "hw/ad5643.h"
#include "hw/ad9912.h"
#include "hw/orbxxxg_board.h"
#include "hw/orbxxxg_level.h"
#include "hw/orbxxxg_out_registers.h"
#include "hw/sri.h"
#include "hw/tc77.h"

// A spur-free range of the DDS output (Hz, both bounds exclusive).
struct OrbxxxgOutWindow {
    double lowHz;
    double highHz;
};

// Windows and limits of the divider search.
struct OrbxxxgOutPlan {
    const OrbxxxgOutWindow *windows;
    uint32_t windowCount;
    uint64_t ddsFloorHz;  // candidates keep the DDS above this
    uint64_t ddsMaxHz;    // and at or below this
    uint32_t rMax;
    uint64_t vcoMinHz;  // N1 brings the VCO to at least this
    uint64_t vcoMaxHz;  // and keeps it below this
};

extern const OrbxxxgOutPlan ORBXXXG_OUT_PLAN;

// The settings of one frequency: dividers and the DDS tuning word.
struct OrbxxxgOutSetting {
    uint32_t n1, n2, r;
    uint64_t ftw;
};

// The board record, placement-constructed in the channel's board storage by init.
struct ORBXXXG_OUT {
    uint32_t revisionCode;
    const OrbxxxgOutPlan *plan;
    uint8_t ready;  // init done: slots that reach a chip may run
    SRI sri;
    AD9912 dds;
    AD5643 alcDac;  // channel A: level set point
    TC77 temperature;
    uint64_t frequencyMaxHz;  // of the model: requests above are clamped to it

    KrFreq frequency;     // requested
    KrFreq ddsFrequency;  // DDS output wanted
    KrFreq pfdFrequency;  // DDS / R on the PLL path
    KrFreq vcoFrequency;  // 0 on the direct path
    uint32_t n1, n2, r;
    uint8_t spurFree;   // the last search found a candidate inside a window
    uint8_t fromTable;  // the last setting came from a table row
    int32_t path;       // ORBXXXG_OUT_PATH_*, 0 before the first frequency
    int32_t filter;     // -1 before the first frequency
    uint8_t pathChanged;
    uint8_t dividersChanged;
    uint8_t highResolution;
    KrAngle phase;    // output phase as set, [0, 2 pi)
    double ddsPhase;  // phase programmed into the DDS, radians
    OrbxxxgLevel level;
    uint8_t rfEnabled, alcEnabled, alcHold, alcHoldSample, alcRfMute;
};

void ORBXXXG_OUT_registerFunctions();
ORBXXXG_OUT *ORBXXXG_OUT_record(OrbxxxgOutBoard *board);

int ORBXXXG_OUT_init(OrbxxxgOutBoard *board);
// Init with a given plan (tests, boards that share the record).
int ORBXXXG_OUT_initWithPlan(OrbxxxgOutBoard *board, const OrbxxxgOutPlan *plan);
// *address: the channel's I/O base address in, its I/O update address out.
int ORBXXXG_OUT_getBaseAddress(OrbxxxgOutBoard *board, uint32_t *address);

// N1, N2 and R for f (the PLL path); 1 when a candidate lies inside a window, else 0 with
// the last candidate tested (a complete setting either way). The word is not computed.
int ORBXXXG_OUT_planDividers(const OrbxxxgOutPlan *plan, const KrFreq *f,
                             OrbxxxgOutSetting *setting);
// What a setting produces: clock x word / 2^48, then x N2 / (R x N1) unless direct.
void ORBXXXG_OUT_settingOutput(const OrbxxxgOutSetting *setting, int direct, KrFreq *out);

// The preset step: path, filter, dividers and tuning word into the shadows; nothing is sent.
// row: a table's setting for exactly this frequency, or nullptr for the computed plan.
// -222 for a negative frequency (the settings stay as they were).
int ORBXXXG_OUT_presetSetFrequencyWith(OrbxxxgOutBoard *board, const KrFreq *f,
                                       const OrbxxxgOutSetting *row);
int ORBXXXG_OUT_presetSetFrequency(OrbxxxgOutBoard *board, const KrFreq *f);
// Apply step: the register image and the tuning word.
int ORBXXXG_OUT_SRI_applyPreset(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_setFrequencyAsync(OrbxxxgOutBoard *board, const KrFreq *f);
// Standalone (self test, direct use): preset, apply, I/O update.
int ORBXXXG_OUT_setFrequency(OrbxxxgOutBoard *board, const KrFreq *f);

int ORBXXXG_OUT_getPathSettlingTime(OrbxxxgOutBoard *board, KrTime *t);
int ORBXXXG_OUT_getVcoTuneTime(OrbxxxgOutBoard *board, KrTime *t);
// The 48-bit word always resolves microhertz; the flag is kept for the query only.
int ORBXXXG_OUT_isFrequencyResolutionLow(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_isFrequencyResolutionHigh(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_setFrequencyResolutionLow(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_setFrequencyResolutionHigh(OrbxxxgOutBoard *board);
// Edges at which path or filter change, up to the model's maximum (the last entry), appended
// at array[*count]; -321 when the array fills first.
int ORBXXXG_OUT_getFrequencyBands(OrbxxxgOutBoard *board, KrFreq *array, int32_t capacity,
                                  int32_t *count);
int ORBXXXG_OUT_getFrequencyExact(OrbxxxgOutBoard *board, KrFreq *f);
int ORBXXXG_OUT_getDirectBandLimit(OrbxxxgOutBoard *board, KrFreq *f);
int ORBXXXG_OUT_getVcoFrequency(OrbxxxgOutBoard *board, KrFreq *f);
int ORBXXXG_OUT_getPDFrequency(OrbxxxgOutBoard *board, KrFreq *f);
int ORBXXXG_OUT_getPllN1Divider(OrbxxxgOutBoard *board, uint32_t *n);
int ORBXXXG_OUT_getPllN2Divider(OrbxxxgOutBoard *board, uint32_t *n);
int ORBXXXG_OUT_getPllRDivider(OrbxxxgOutBoard *board, uint32_t *n);

// Output phase through the DDS phase offset, scaled by the loop and moved in steps of at
// most 30 degrees at the DDS.
int ORBXXXG_OUT_setPhase(OrbxxxgOutBoard *board, const KrAngle *angle);
int ORBXXXG_OUT_getPhase(OrbxxxgOutBoard *board, KrAngle *angle);

int ORBXXXG_OUT_enableRf(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_disableRf(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_enableAlcRfMute(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_disableAlcRfMute(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_powerDown(OrbxxxgOutBoard *board);

// Level set point: -40 dBm to +30 dBm onto the ALC DAC's range (clamped).
int ORBXXXG_OUT_enableAlc(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_disableAlc(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_isAlcEnabled(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_enableAlcHold(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_disableAlcHold(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_isAlcHoldEnabled(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_enableAlcHoldSampleMode(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_disableAlcHoldSampleMode(OrbxxxgOutBoard *board);
// 0 levelled, 1 set point outside the range, 3 RF off.
int ORBXXXG_OUT_getAlcCondition(OrbxxxgOutBoard *board, uint32_t *condition);
int ORBXXXG_OUT_getTemperature(OrbxxxgOutBoard *board, double *celsius);
// DDS diagnostics, written at once.
int ORBXXXG_OUT_getDdsFtw(OrbxxxgOutBoard *board, uint64_t *word);
int ORBXXXG_OUT_setDdsFtw(OrbxxxgOutBoard *board, uint64_t word);
int ORBXXXG_OUT_setDdsFrequency(OrbxxxgOutBoard *board, const KrFreq *out);
int ORBXXXG_OUT_getDdsFsc(OrbxxxgOutBoard *board, uint32_t *code);
int ORBXXXG_OUT_setDdsFsc(OrbxxxgOutBoard *board, uint32_t code);
int ORBXXXG_OUT_isDdsOutputEnabled(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_enableDdsOutput(OrbxxxgOutBoard *board);
int ORBXXXG_OUT_disableDdsOutput(OrbxxxgOutBoard *board);
