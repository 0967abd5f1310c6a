// Exact frequency: 128-bit two's-complement fixed point, 64 integer bits (hertz) followed by
// 64 fraction bits (units of 2^-64 Hz). All arithmetic is integer-only so that it may run
// inside real-time tasks; nothing here allocates or locks.
#pragma once

#include <cstdint>

struct KrFreq {
    int64_t integer;    // signed hertz
    uint64_t fraction;  // 2^-64 Hz, counted upward from the integer part
};

// Unsigned 32.32 fixed-point factor.
struct KrFixedPointU32U32 {
    uint32_t integer;
    uint32_t fraction;
};

// Result buffer of getters that compute a value; copy it before the next such call.
extern KrFreq globalKrFreq;

// Whole hertz as a frequency, the sign of f minus whole hertz, and the value in hertz.
constexpr KrFreq krfreqHz(int64_t hz) {
    return KrFreq{hz, 0};
}
int krfreqCompareHz(const KrFreq *f, int64_t hz);
double krfreqToDouble(const KrFreq *f);

int krfreqNegative(const KrFreq *f);
void krfreqInvert(KrFreq *out, const KrFreq *f);
void krfreqAdd(KrFreq *out, const KrFreq *a, const KrFreq *b);
void krfreqSubtract(KrFreq *out, const KrFreq *a, const KrFreq *b);
int krfreqCompare(const KrFreq *a, const KrFreq *b);
// out = f x m modulo 2^128 (a negative m multiplies by its magnitude and negates).
void krfreqMultiplyByInt32(KrFreq *out, const KrFreq *f, int32_t m);
// Exact 160-bit product of the signed f: low 128 bits to out, bits 128 to 159 to overflow
// when given.
void krfreqMultiplyByUint32_ov(KrFreq *out, const KrFreq *f, uint32_t m, uint32_t *overflow);
void krfreqMultiplyByFixedPointU32U32(KrFreq *out, const KrFreq *f, const KrFixedPointU32U32 *q);
// d in [0, 2^32), taken as a truncated 32.32 factor.
void krfreqMultiplyByDouble(KrFreq *out, const KrFreq *f, double d);
// Truncates toward zero; a negative d divides by its magnitude and negates, d = 0 gives 0 Hz.
void krfreqDivideByInt32(KrFreq *out, const KrFreq *f, int32_t d);
// In-place shifts, arithmetic to the right; any n >= 0 (counts of 128 or more fill).
void krfreqShiftRight(KrFreq *f, int n);
void krfreqShiftLeft(KrFreq *f, int n);
double krfreq2double(const KrFreq *f, double *out);
// Truncating; negative values through their magnitude, out-of-range values saturate, NaN -> 0.
void double2krfreq(double d, KrFreq *out);
float krfreq2float(const KrFreq *f, float *out);
void float2krfreq(float d, KrFreq *out);
void krfreqSortArrayAscending(KrFreq *a, int n);
// Collapses every run of equal neighbours to its first entry; count gets the entries left.
void krfreqSkipArrayMultiples(KrFreq *a, int n, int *count);
