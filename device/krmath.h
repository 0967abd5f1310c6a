// Small numeric functions shared by the board, modulation and quantity code. All are pure
// and allocation-free. Multi-word integers are arrays of 32-bit words, least significant
// first: uint128 = uint32_t[4], uint256 = uint32_t[8]. Results may alias operands.
#pragma once

#include <cstdint>

#include "device/krfreq.h"

// Wraps an angle into [0, 2 pi); an exact multiple of 2 pi gives 0.
double krmath_fitAngleInto2rad(double a);
// Wraps an angle into [-pi, pi).
double krmath_fitAngleIntoPlusMinusPiRad(double a);

// d <= 0 (and NaN) gives 0.0; d at or above 2^32 saturates to the largest factor.
void krmath_double2FixedPointU32U32(KrFixedPointU32U32 *out, double d);

// Best fraction num/den for x with both parts below limit, by mediant (Stern-Brocot) search.
// Returns 1 when x is negative (num then carries the sign), else 0. The search takes one
// step per mediant, so its cost grows with limit for x near an integer or near zero.
int krmath_rationalApproximation(double x, uint32_t limit, int64_t *num, int64_t *den);

// Splits v between two stages, a + b = v while v <= 2 hi; above that both stay at hi.
void krmath_distributeValue2(int v, int lo, int hi, int *a, int *b);

// Sine in Q28 fixed point with a fifth-order polynomial; absolute error below 2e-4.
float krmath_fastSin4(float x);

double krmath_log2(double x);

int krmath_min(int a, int b);
int krmath_max(int a, int b);

// out[4] = a x b.
void krmath_mul_uint64(uint32_t *out, uint64_t a, uint64_t b);
// out[4] = a + b, returns the carry out.
uint32_t krmath_add_uint128(uint32_t *out, const uint32_t *a, const uint32_t *b);
// out[4] = a - b, returns 1 on a borrow out.
uint32_t krmath_sub_uint128(uint32_t *out, const uint32_t *a, const uint32_t *b);
// out[4] = -a modulo 2^128.
void krmath_negate_uint128(uint32_t *out, const uint32_t *a);
// 1 if a > b, -1 if a < b, 0 if equal.
int krmath_compare_uint128(const uint32_t *a, const uint32_t *b);
// Logical shifts; counts of 128 or more give 0, counts of 0 or below copy.
void krmath_shiftRight_uint128(uint32_t *out, const uint32_t *a, int n);
void krmath_shiftLeft_uint128(uint32_t *out, const uint32_t *a, int n);
// out[8] = a x b.
void krmath_mul_uint128(uint32_t *out, const uint32_t *a, const uint32_t *b);
// out[8] = a + b, returns the carry out.
uint32_t krmath_add_uint256(uint32_t *out, const uint32_t *a, const uint32_t *b);
// out[8] = -a modulo 2^256.
void krmath_negate_uint256(uint32_t *out, const uint32_t *a);
