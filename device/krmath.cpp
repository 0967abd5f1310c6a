#include "device/krmath.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586476925286766559;
constexpr double kPi = 3.141592653589793238462643383279;

struct Fraction {
    int64_t num;
    int64_t den;
};

// Adds n words with carry; returns the carry out.
uint32_t addWords(uint32_t *out, const uint32_t *a, const uint32_t *b, int n) {
    uint64_t carry = 0;
    for (int i = 0; i < n; ++i) {
        uint64_t s = (uint64_t)a[i] + b[i] + carry;
        out[i] = (uint32_t)s;
        carry = s >> 32;
    }
    return (uint32_t)carry;
}

// Two's-complement negation of n words: invert and add one.
void negateWords(uint32_t *out, const uint32_t *a, int n) {
    uint64_t carry = 1;
    for (int i = 0; i < n; ++i) {
        uint64_t s = (uint64_t)(uint32_t)~a[i] + carry;
        out[i] = (uint32_t)s;
        carry = s >> 32;
    }
}

// Schoolbook product of two n-word numbers (n at most 4) into 2n words, 32 x 32 -> 64-bit
// partial products; a temporary keeps it safe when out overlaps an operand.
void mulWords(uint32_t *out, const uint32_t *a, const uint32_t *b, int n) {
    uint32_t r[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < n; ++i) {
        uint64_t carry = 0;
        for (int j = 0; j < n; ++j) {
            uint64_t p = (uint64_t)a[i] * b[j] + r[i + j] + carry;
            r[i + j] = (uint32_t)p;
            carry = p >> 32;
        }
        r[i + n] = (uint32_t)carry;
    }
    for (int i = 0; i < 2 * n; ++i)
        out[i] = r[i];
}

}  // namespace

double krmath_fitAngleInto2rad(double a) {
    double r = a;
    if (a >= kTwoPi) {
        r = a - std::floor(a / kTwoPi) * kTwoPi;
    } else if (a < 0) {
        r = a + (std::floor(-a / kTwoPi) + 1) * kTwoPi;
    }
    // The quotient may round across a multiple of 2 pi (and -2 pi itself lands on 2 pi):
    // bring such results back into the half-open range.
    if (r >= kTwoPi) r -= kTwoPi;
    if (r < 0) r += kTwoPi;
    return r;
}

double krmath_fitAngleIntoPlusMinusPiRad(double a) {
    return krmath_fitAngleInto2rad(a + kPi) - kPi;
}

void krmath_double2FixedPointU32U32(KrFixedPointU32U32 *out, double d) {
    if (!(d > 0)) {
        out->integer = 0;
        out->fraction = 0;
        return;
    }
    if (d >= 4294967296.0) {
        out->integer = UINT32_MAX;
        out->fraction = UINT32_MAX;
        return;
    }
    uint32_t integer = (uint32_t)d;
    out->integer = integer;
    out->fraction = (uint32_t)((d - (double)integer) * 4294967296.0);
}

int krmath_rationalApproximation(double x, uint32_t limit, int64_t *num, int64_t *den) {
    double ax = std::fabs(x);
    Fraction lower = {0, 1};
    Fraction upper = {1, 0};
    Fraction m = {1, 1};
    while (m.num < (int64_t)limit && m.den < (int64_t)limit) {
        if (ax * (double)m.den > (double)m.num) {
            lower = m;
        } else {
            upper = m;
            // An exact hit cannot be improved on: every later step keeps it as the answer.
            if (ax * (double)m.den == (double)m.num) break;
        }
        // Likewise once the lower bound is exact the later steps only narrow the upper one.
        if (ax * (double)lower.den == (double)lower.num) break;
        m.num = lower.num + upper.num;
        m.den = lower.den + upper.den;
    }
    Fraction best = lower;
    if (upper.den != 0) {
        double lowerError = ax - (double)lower.num / (double)lower.den;
        double upperError = (double)upper.num / (double)upper.den - ax;
        if (lowerError > upperError) best = upper;
    }
    int negative = x < 0 ? 1 : 0;
    *num = negative ? -best.num : best.num;
    *den = best.den;
    return negative;
}

void krmath_distributeValue2(int v, int lo, int hi, int *a, int *b) {
    if (v < lo) {
        *a = v;
        *b = 0;
    } else if (v < 2 * hi - lo) {
        *a = (v + lo) / 2;
        *b = (v + 1 - lo) / 2;
    } else if (v <= 2 * hi) {
        *a = hi;
        *b = v - hi;
    } else {
        *a = hi;
        *b = hi;
    }
}

// Context: any; no library calls for ordinary arguments.
float krmath_fastSin4(float x) {
    double xd = x;
    if (!(std::fabs(xd) < 1e11)) {
        if (!std::isfinite(xd)) return NAN;
        xd = std::fmod(xd, kTwoPi);  // keeps the scaled phase within 64 bits
    }
    constexpr int64_t kHalfTurn = (int64_t)1 << 27;  // pi in the 28-bit phase
    constexpr int64_t kQuarterTurn = (int64_t)1 << 26;
    int64_t phase = (int64_t)(xd * 42722828.0);
    phase = (int64_t)((uint64_t)phase & 0x0FFFFFFF);
    if (phase >= kHalfTurn) phase -= 2 * kHalfTurn;
    if (phase > kQuarterTurn) {
        phase = kHalfTurn - phase;
    } else if (phase < -kQuarterTurn) {
        phase = -kHalfTurn - phase;
    }
    bool negative = phase < 0;
    int64_t r = (negative ? -phase : phase) * 1686629713 >> 28;  // radians, Q28
    int64_t r2 = r * r >> 28;
    int64_t r3 = r2 * r >> 28;
    int64_t r5 = r3 * r2 >> 28;
    int64_t s = r - (44581390 * r3 >> 28) + (2049175 * r5 >> 28);
    float result = (float)s * (1.0f / 268435456.0f);
    return negative ? -result : result;
}

double krmath_log2(double x) {
    return std::log(x) * 1.4426950408889634;
}

int krmath_min(int a, int b) {
    return a < b ? a : b;
}
int krmath_max(int a, int b) {
    return a > b ? a : b;
}

void krmath_mul_uint64(uint32_t *out, uint64_t a, uint64_t b) {
    uint32_t x[2] = {(uint32_t)a, (uint32_t)(a >> 32)};
    uint32_t y[2] = {(uint32_t)b, (uint32_t)(b >> 32)};
    mulWords(out, x, y, 2);
}

uint32_t krmath_add_uint128(uint32_t *out, const uint32_t *a, const uint32_t *b) {
    return addWords(out, a, b, 4);
}

uint32_t krmath_sub_uint128(uint32_t *out, const uint32_t *a, const uint32_t *b) {
    int64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
        int64_t d = (int64_t)a[i] - b[i] - borrow;
        out[i] = (uint32_t)d;
        borrow = d < 0 ? 1 : 0;
    }
    return (uint32_t)borrow;
}

void krmath_negate_uint128(uint32_t *out, const uint32_t *a) {
    negateWords(out, a, 4);
}

int krmath_compare_uint128(const uint32_t *a, const uint32_t *b) {
    for (int i = 3; i >= 0; --i) {
        if (a[i] != b[i]) return a[i] > b[i] ? 1 : -1;
    }
    return 0;
}

void krmath_shiftRight_uint128(uint32_t *out, const uint32_t *a, int n) {
    if (n < 0) n = 0;
    if (n > 128) n = 128;
    int words = n / 32;
    int bits = n % 32;
    for (int i = 0; i < 4; ++i) {
        int src = i + words;
        uint32_t lo = src < 4 ? a[src] : 0;
        uint32_t hi = src + 1 < 4 ? a[src + 1] : 0;
        out[i] = bits ? (lo >> bits) | (hi << (32 - bits)) : lo;
    }
}

void krmath_shiftLeft_uint128(uint32_t *out, const uint32_t *a, int n) {
    if (n < 0) n = 0;
    if (n > 128) n = 128;
    int words = n / 32;
    int bits = n % 32;
    for (int i = 3; i >= 0; --i) {
        int src = i - words;
        uint32_t hi = src >= 0 ? a[src] : 0;
        uint32_t lo = src - 1 >= 0 ? a[src - 1] : 0;
        out[i] = bits ? (hi << bits) | (lo >> (32 - bits)) : hi;
    }
}

void krmath_mul_uint128(uint32_t *out, const uint32_t *a, const uint32_t *b) {
    mulWords(out, a, b, 4);
}

uint32_t krmath_add_uint256(uint32_t *out, const uint32_t *a, const uint32_t *b) {
    return addWords(out, a, b, 8);
}

void krmath_negate_uint256(uint32_t *out, const uint32_t *a) {
    negateWords(out, a, 8);
}
