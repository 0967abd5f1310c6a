// Software IEEE 754 binary128 numbers for the few places that must divide exact frequencies
// (output-frequency read-back, phase reset, high-resolution DDS mode). Only finite normal
// numbers and the two zeros are produced; arithmetic truncates toward zero. Integer-only,
// no allocation; values go in and out through caller-owned records.
#pragma once

#include <cstdint>

#include "device/krfreq.h"

// Four 32-bit words, least significant first: 112 fraction bits, then the 15-bit exponent
// (bias 16383) and the sign in the top 16 bits of w[3].
struct KrLongDouble {
    uint32_t w[4];
};

// Normalising constructor used by every other operation. fraction is a 128-bit significand
// (uint32_t[4], least significant first) whose bit 127 carries the weight 2^exponent, so
// that ld_fromSignExponentFraction(ld_getSign32(x), ld_getExponent32(x), frac128 of x)
// rebuilds x. Bits below the 113-bit significand are truncated. An exponent beyond the
// binary128 range is reported and stored clamped to the largest or smallest exponent field.
void ld_fromSignExponentFraction(int32_t sign, int32_t exponent, const uint32_t *fraction,
                                 KrLongDouble *out);

void ld_fromDouble(double d, KrLongDouble *out);
// Truncating: beyond the double range the largest double of that sign.
double ld_toDouble(const KrLongDouble *a);
void ld_fromUint64(uint64_t v, KrLongDouble *out);
// Truncating; above the range all ones, a negative number 0 (both reported).
uint64_t ld_toUint64(const KrLongDouble *a);
void ld_toUint128(const KrLongDouble *a, uint32_t *out);
void ld_fromKrfreq(const KrFreq *f, KrLongDouble *out);
// Truncates to 2^-64 Hz; a magnitude of 2^63 Hz or more saturates.
void ld_toKrfreq(const KrLongDouble *a, KrFreq *out);

void ld_add(KrLongDouble *out, const KrLongDouble *a, const KrLongDouble *b);
void ld_subtract(KrLongDouble *out, const KrLongDouble *a, const KrLongDouble *b);
// Uses the top 64 significand bits of each operand.
void ld_multiply(KrLongDouble *out, const KrLongDouble *a, const KrLongDouble *b);
// Division by zero is reported and gives the largest magnitude with the combined sign.
void ld_divide(KrLongDouble *out, const KrLongDouble *a, const KrLongDouble *b);
void ld_invert(KrLongDouble *out, const KrLongDouble *a);
void ld_multiplyByPow2(KrLongDouble *out, const KrLongDouble *a, int32_t n);
void ld_divideByPow2(KrLongDouble *out, const KrLongDouble *a, int32_t n);

void ld_positiveZero(KrLongDouble *out);
void ld_negativeZero(KrLongDouble *out);
int ld_isPositiveZero(const KrLongDouble *a);
int ld_isNegativeZero(const KrLongDouble *a);

// 1 for negative numbers (and -0), else 0.
int32_t ld_getSign32(const KrLongDouble *a);
// Unbiased exponent.
int32_t ld_getExponent32(const KrLongDouble *a);
// Top 64 significand bits, the leading 1 at bit 63 (0 for zeros).
uint64_t ld_getFraction64(const KrLongDouble *a);
// The 113-bit significand shifted up by 15, the leading 1 at bit 127.
void ld_getFraction128(const KrLongDouble *a, uint32_t *out);

void ld_printd(const KrLongDouble *a);
