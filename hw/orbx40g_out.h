// 40 GHz output board (revisions 1A and 1B and newer, codes 11 and 12): the AD9164 run as a
// DDS either drives the output directly (below 1.1 GHz) or is the reference of a PLL whose
// VCO (up to 20.5 GHz) is divided by N1 and, from 20.1 GHz on, doubled. The module fills the
// output-board slots; its record lives in the board record's module storage.
//
// Context: main loop (the channel device), or a sweep task inside its SPI lock bracket for
// the preset and apply steps.
#pragma once

#include <cstdint>

#include "device/krfreq.h"
#include "device/krquantity.h"
#include "hw/ad5643.h"
#include "hw/ad7680.h"
#include "hw/ad8402.h"
#include "hw/ad9164.h"
#include "hw/orbx40g_out_registers.h"
#include "hw/orbxxxg_board.h"
#include "hw/orbxxxg_level.h"
#include "hw/sri.h"
#include "hw/tc77.h"

constexpr int ORBX40G_OUT_DIVIDER_ROWS = 64;

struct ORBX40G_OUT {
    uint32_t revisionCode;
    SRI sri;         // control shift register
    AD9164 dac;      // DDS: direct output or PLL reference
    AD8402 loopPot;  // wiper 1: loop-filter resistance R1
    AD5643 alcDac;   // channel A: level set point
    TC77 temperature;
    AD7680 detector;  // level detector, read for the loop condition
    uint8_t ready;    // init done: frequency changes reach the hardware

    KrFreq frequency;         // requested output
    KrFreq dacFrequency;      // DAC output (PLL reference on the PLL paths)
    KrFreq vcoFrequency;      // 0 on the direct path
    uint32_t n1;              // RF divider after the VCO
    uint32_t n2;              // DAC-side divider, always 1
    uint32_t r;               // VCO-side divider
    uint32_t multiplier;      // 2 with the output doubler, else 1
    int32_t path;             // ORBX40G_OUT_PATH_*, 0 before the first change
    int32_t filter;           // harmonic filter index, -1 before the first change
    uint8_t pathChanged;      // by the last preset step
    uint8_t dividersChanged;  // N1 or R by the last preset step
    uint32_t r1;              // loop-filter resistance wanted (ohms)
    uint32_t r1Applied;       // what the potentiometer holds (0: not yet written)

    // Divider table: ascending VCO thresholds, the divider R from each threshold on.
    uint64_t dividerThresholdHz[ORBX40G_OUT_DIVIDER_ROWS];
    uint8_t dividerR[ORBX40G_OUT_DIVIDER_ROWS];
    int32_t dividerRows;

    KrAngle phase;     // output phase as set, [0, 2 pi)
    KrAngle dacPhase;  // phase offset programmed into the NCO, radians
    OrbxxxgLevel level;
    uint8_t alcEnabled, alcHold, alcHoldSample, alcRfMute;
};

void ORBX40G_OUT_registerFunctions();

ORBX40G_OUT *ORBX40G_OUT_record(OrbxxxgOutBoard *board);

// Chips at the channel's slave addresses, divider table, ready flag. RF stays off. Before it,
// the preset step and the phase only store their value, and every slot that would reach a
// chip answers -241.
int ORBX40G_OUT_init(OrbxxxgOutBoard *board);
// *address: the channel's I/O base address in, its I/O update address out (also kept in the
// board record). May run before init.
int ORBX40G_OUT_getBaseAddress(OrbxxxgOutBoard *board, uint32_t *address);
// Replaces the divider table (thresholds ascending, at most ORBX40G_OUT_DIVIDER_ROWS).
int ORBX40G_OUT_setDividerTable(OrbxxxgOutBoard *board, const uint64_t *thresholdsHz,
                                const uint8_t *r, int32_t rows);
// R for a VCO frequency: the table's last threshold at or below it, then the spur windows.
uint32_t ORBX40G_OUT_lookupDivider(const ORBX40G_OUT *b, const KrFreq *vco);

// The preset step: path, filter, dividers, loop filter and DAC word into the shadows; nothing
// is sent. -222 for a frequency the board cannot reach (negative, or beyond twice the VCO).
int ORBX40G_OUT_presetSetFrequency(OrbxxxgOutBoard *board, const KrFreq *f);
// Sends the register image, the loop-filter setting when it changed and the DAC word.
int ORBX40G_OUT_SRI_applyPreset(OrbxxxgOutBoard *board);
int ORBX40G_OUT_setFrequencyAsync(OrbxxxgOutBoard *board, const KrFreq *f);
// Standalone (self test, direct use): preset, apply, I/O update.
int ORBX40G_OUT_setFrequency(OrbxxxgOutBoard *board, const KrFreq *f);

int ORBX40G_OUT_getPathSettlingTime(OrbxxxgOutBoard *board, KrTime *t);
int ORBX40G_OUT_getVcoTuneTime(OrbxxxgOutBoard *board, KrTime *t);
// The edges at which path or filter change, appended at array[*count] (*count holds the
// entries already there, 0 for a fresh query); -321 when the array fills first.
int ORBX40G_OUT_getFrequencyBands(OrbxxxgOutBoard *board, KrFreq *array, int32_t capacity,
                                  int32_t *count);
// What the programmed DAC word and dividers produce: clock x word / 2^48 on the direct path,
// else (that x R) / N1 x doubler, truncated to 2^-64 Hz like the hardware's model.
int ORBX40G_OUT_getFrequencyExact(OrbxxxgOutBoard *board, KrFreq *f);
int ORBX40G_OUT_getDirectBandLimit(OrbxxxgOutBoard *board, KrFreq *f);
int ORBX40G_OUT_getVcoFrequency(OrbxxxgOutBoard *board, KrFreq *f);
int ORBX40G_OUT_getPDFrequency(OrbxxxgOutBoard *board, KrFreq *f);
int ORBX40G_OUT_getPllN1Divider(OrbxxxgOutBoard *board, uint32_t *n);
int ORBX40G_OUT_getPllN2Divider(OrbxxxgOutBoard *board, uint32_t *n);
int ORBX40G_OUT_getPllRDivider(OrbxxxgOutBoard *board, uint32_t *n);

// Output phase through the NCO phase offset, moved in steps of at most 30 degrees with an
// I/O update after each.
int ORBX40G_OUT_setPhase(OrbxxxgOutBoard *board, const KrAngle *angle);
int ORBX40G_OUT_getPhase(OrbxxxgOutBoard *board, KrAngle *angle);

int ORBX40G_OUT_enableRf(OrbxxxgOutBoard *board);
int ORBX40G_OUT_disableRf(OrbxxxgOutBoard *board);
int ORBX40G_OUT_enableAlcRfMute(OrbxxxgOutBoard *board);
int ORBX40G_OUT_disableAlcRfMute(OrbxxxgOutBoard *board);
int ORBX40G_OUT_powerDown(OrbxxxgOutBoard *board);

// The level loop's switches; the level stages themselves are the shared ones (orbxxxg_level.h).
int ORBX40G_OUT_enableAlc(OrbxxxgOutBoard *board);
int ORBX40G_OUT_disableAlc(OrbxxxgOutBoard *board);
int ORBX40G_OUT_isAlcEnabled(OrbxxxgOutBoard *board);
int ORBX40G_OUT_enableAlcHold(OrbxxxgOutBoard *board);
int ORBX40G_OUT_disableAlcHold(OrbxxxgOutBoard *board);
int ORBX40G_OUT_isAlcHoldEnabled(OrbxxxgOutBoard *board);
int ORBX40G_OUT_enableAlcHoldSampleMode(OrbxxxgOutBoard *board);
int ORBX40G_OUT_disableAlcHoldSampleMode(OrbxxxgOutBoard *board);
// 0 levelled; 1 when the closed loop's detector sits at a rail (the loop cannot level).
int ORBX40G_OUT_getAlcCondition(OrbxxxgOutBoard *board, uint32_t *condition);
int ORBX40G_OUT_getTemperature(OrbxxxgOutBoard *board, double *celsius);
// Diagnostics: the NCO word, a direct NCO frequency, the clock phase and the loop filter,
// written at once.
int ORBX40G_OUT_getDdsFtw(OrbxxxgOutBoard *board, uint64_t *word);
int ORBX40G_OUT_setDdsFtw(OrbxxxgOutBoard *board, uint64_t word);
int ORBX40G_OUT_setLoopFilter(OrbxxxgOutBoard *board, double ohms);
int ORBX40G_OUT_setDdsFrequency(OrbxxxgOutBoard *board, const KrFreq *out);
int ORBX40G_OUT_getDdsClockPhase(OrbxxxgOutBoard *board, uint32_t *phase);
int ORBX40G_OUT_setDdsClockPhase(OrbxxxgOutBoard *board, uint32_t phase);
