// Frequency tuning word of a DDS: word = floor(out / in x 2^w), truncated, never rounded up,
// computed with exact integer arithmetic. Shared by every DDS driver (AD9910 w = 32, AD9912
// and AD9164 w = 48, AD5932 w = 24). Pure functions over the record; any thread.
#pragma once

#include <cstdint>

#include "device/krfreq.h"

struct FTW {
    uint32_t width;  // bits of the tuning word, 1-64
    KrFreq in;       // clock
    KrFreq out;      // wanted output
    uint64_t ftw;
};

// A row of a tuning-word table: the word (and a fine word for high resolution) of one
// output frequency.
struct FtwLutRow {
    KrFreq out;
    uint64_t ftw;
    uint64_t fine;
};

void FTW_init(FTW *record, uint32_t width);
// set: store and recompute the word; preset: store only.
void FTW_setIn(FTW *record, const KrFreq *in);
void FTW_setOut(FTW *record, const KrFreq *out);
void FTW_presetIn(FTW *record, const KrFreq *in);
void FTW_presetOut(FTW *record, const KrFreq *out);
const KrFreq *FTW_getIn(const FTW *record);
const KrFreq *FTW_getOut(const FTW *record);
// 1 when out is a frequency the DDS can produce from clock: not negative, below half of it.
int FTW_isBelowNyquist(const KrFreq *out, const KrFreq *clock);

// The word from the stored frequencies, kept in the record and returned.
uint64_t FTW_calcPreset(FTW *record);
// The word by bitwise long division over every bit of both frequencies.
uint64_t FTW_calcFTW(const KrFreq *in, const KrFreq *out, uint32_t width);
// The word by normalised 64-bit mantissas and quotient correction (the usual path). An output
// at or above the clock gives the largest word; a clock of 0 Hz gives 0.
uint64_t FTW_calcFtwFast(const KrFreq *in, const KrFreq *out, uint32_t width);
// The output that the stored word really produces: in x word / 2^w.
void FTW_calcRealFout(const FTW *record, KrFreq *out);
// The clock that would make the stored word exact: out x 2^w / word (0 Hz for word 0).
void FTW_calcRealFin(const FTW *record, KrFreq *in);
// value rounded to a multiple of 2^n: to nearest, an exact half going down.
uint64_t FTW_round(uint64_t value, int n);
// value rounded to the nearest number whose low n bits equal those of pattern (an exact
// half going down).
uint64_t FTW_roundToPattern(uint64_t value, uint64_t pattern, int n);
// Looks the stored output up in a table (exact match); 0 and the word stored, or -1 and the
// word computed.
int FTW_calcFtwLut(FTW *record, const FtwLutRow *rows, int count);
int FTW_calcFtwLut_highres(FTW *record, const FtwLutRow *rows, int count, uint64_t *fine);
