// Generic output board with its synthesizer settings read from a look-up table: a frequency
// that the table holds uses the table's dividers and tuning word; any other falls back to the
// computed plan of ORBXXXG_OUT. The table is a fixed array in the board record, looked up by
// binary search, so a frequency change allocates nothing.
//
// Table file (plain ASCII, under /korvane/dev/, one row a line):
//     # comment; blank lines are ignored
//     <frequency Hz>,<N1>,<N2>,<R>,<tuning word>
// The frequency is in whole hertz and matches requests without a fraction; N1, N2 and R are
// 1 to 255; the tuning word is the AD9912's 48-bit word in decimal. Rows below the direct
// limit (300 MHz) drive the output from the DDS and carry 1,1,1. A row is skipped and counted
// when a field is missing, extra or not a decimal number, a value is out of range, the DDS or
// VCO would leave its range, its setting would not produce its frequency within 1 Hz, or it
// repeats an earlier frequency. The built-in table of channel n (from 1) is synlut<n>.csv.
//
// Context: main loop (loading, slots), or the sweep task inside its SPI lock bracket for the
// preset step.
#pragma once

#include <cstddef>
#include <cstdint>

#include "hw/orbxxxg_out.h"

constexpr int32_t ORBXXXG_OUT_LUT_ROWS = 240;
constexpr size_t ORBXXXG_OUT_LUT_NAME_BYTES = 128;

struct OrbxxxgOutLutRow {
    uint64_t frequencyHz;
    uint64_t ftw;
    uint8_t n1, n2, r;
};

// The generic board's record first, so that its slots work on this storage unchanged.
struct ORBXXXG_OUT_LUT {
    ORBXXXG_OUT board;
    OrbxxxgOutLutRow rows[ORBXXXG_OUT_LUT_ROWS];  // ascending frequency
    int32_t rowCount;
    uint32_t skippedRows;                       // by the last load
    char filename[ORBXXXG_OUT_LUT_NAME_BYTES];  // as given to the last successful load
};

void ORBXXXG_OUT_LUT_registerFunctions();
ORBXXXG_OUT_LUT *ORBXXXG_OUT_LUT_record(OrbxxxgOutBoard *board);

// The generic board's init with an empty table.
int ORBXXXG_OUT_LUT_init(OrbxxxgOutBoard *board);
// Replaces the table with the rows of a file in /korvane/dev/ (a name there, or an absolute
// path inside it). -224 for a name outside the directory and -200 for a file that cannot be
// read (the table stays as it was); -223 when valid rows did not fit (the first ones are
// kept); else 0, bad rows skipped and counted.
int ORBXXXG_OUT_LUT_loadCsvSynthesizerLut(OrbxxxgOutBoard *board, const char *name);
// The channel's built-in table; without the file the table is empty and the plan computes
// every frequency (0).
int ORBXXXG_OUT_LUT_loadBuiltinSynthesizerLut(OrbxxxgOutBoard *board);
// The name of the loaded table, "" when none.
int ORBXXXG_OUT_LUT_getSynthesizerLutFilename(OrbxxxgOutBoard *board, const char **name);
// The row for exactly f, or nullptr.
const OrbxxxgOutLutRow *ORBXXXG_OUT_LUT_lookup(const ORBXXXG_OUT_LUT *lut, const KrFreq *f);
// The preset step: the table's row when it has one, else the computed plan.
int ORBXXXG_OUT_LUT_presetSetFrequency(OrbxxxgOutBoard *board, const KrFreq *f);
