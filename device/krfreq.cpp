#include "device/krfreq.h"

#include "core/printd.h"
#include "device/krmath.h"

KrFreq globalKrFreq;

namespace {

constexpr double kTwoPow64 = 18446744073709551616.0;
constexpr double kTwoPow63 = 9223372036854775808.0;

inline uint32_t lo32(uint64_t v) {
    return (uint32_t)v;
}
inline uint32_t hi32(uint64_t v) {
    return (uint32_t)(v >> 32);
}

// 128 x 32 -> 160-bit product of the raw two's-complement bit pattern. The four 32 x 32 -> 64
// partial products are independent; their sums carry explicitly, so the carry chain is two
// additions long. Returns bits 128 to 159 of the unsigned product.
inline uint32_t mulUnsigned(KrFreq *out, const KrFreq *f, uint32_t m) {
    uint64_t frac = f->fraction;
    uint64_t integer = (uint64_t)f->integer;
    uint64_t p0 = (uint64_t)lo32(frac) * m;     // weight 2^0
    uint64_t p1 = (uint64_t)hi32(frac) * m;     // weight 2^32
    uint64_t p2 = (uint64_t)lo32(integer) * m;  // weight 2^64
    uint64_t p3 = (uint64_t)hi32(integer) * m;  // weight 2^96
    uint64_t low = p0 + (p1 << 32);
    uint64_t carry = low < p0 ? 1 : 0;
    uint64_t mid = p2 + (p1 >> 32) + carry;  // cannot overflow: p2 <= (2^32 - 1)^2
    uint64_t high = mid + (p3 << 32);
    uint64_t carry2 = high < mid ? 1 : 0;
    out->fraction = low;
    out->integer = (int64_t)high;
    return (uint32_t)((p3 >> 32) + carry2);
}

// Magnitude of a 128-bit value as two unsigned words; -2^127 maps onto 2^127.
inline void magnitude(const KrFreq *f, uint64_t *integer, uint64_t *fraction) {
    if (f->integer >= 0) {
        *integer = (uint64_t)f->integer;
        *fraction = f->fraction;
        return;
    }
    *fraction = 0 - f->fraction;
    *integer = ~(uint64_t)f->integer + (f->fraction == 0 ? 1 : 0);
}

}  // namespace

int krfreqNegative(const KrFreq *f) {
    return f->integer < 0 ? 1 : 0;
}

void krfreqInvert(KrFreq *out, const KrFreq *f) {
    uint64_t frac = f->fraction;
    out->integer = (int64_t)(~(uint64_t)f->integer + (frac == 0 ? 1 : 0));
    out->fraction = 0 - frac;
}

void krfreqAdd(KrFreq *out, const KrFreq *a, const KrFreq *b) {
    uint64_t frac = a->fraction + b->fraction;
    uint64_t carry = frac < a->fraction ? 1 : 0;
    out->integer = (int64_t)((uint64_t)a->integer + (uint64_t)b->integer + carry);
    out->fraction = frac;
}

void krfreqSubtract(KrFreq *out, const KrFreq *a, const KrFreq *b) {
    uint64_t borrow = a->fraction < b->fraction ? 1 : 0;
    uint64_t frac = a->fraction - b->fraction;
    out->integer = (int64_t)((uint64_t)a->integer - (uint64_t)b->integer - borrow);
    out->fraction = frac;
}

int krfreqCompare(const KrFreq *a, const KrFreq *b) {
    if (a->integer != b->integer) return a->integer > b->integer ? 1 : -1;
    if (a->fraction != b->fraction) return a->fraction > b->fraction ? 1 : -1;
    return 0;
}

// Context: any, including the real-time sweep task.
void krfreqMultiplyByInt32(KrFreq *out, const KrFreq *f, int32_t m) {
    if (m >= 0) {
        mulUnsigned(out, f, (uint32_t)m);
        return;
    }
    // A negative factor multiplies by its magnitude and negates; modulo 2^128 this equals
    // the product with the sign-extended factor.
    mulUnsigned(out, f, 0u - (uint32_t)m);
    krfreqInvert(out, out);
}

// The 160-bit product is that of the signed value: for a negative f the overflow word holds
// the sign-extended top of the two's-complement product.
void krfreqMultiplyByUint32_ov(KrFreq *out, const KrFreq *f, uint32_t m, uint32_t *overflow) {
    bool negative = f->integer < 0;
    uint32_t top = mulUnsigned(out, f, m);
    if (overflow) *overflow = negative ? top - m : top;
}

void krfreqMultiplyByFixedPointU32U32(KrFreq *out, const KrFreq *f, const KrFixedPointU32U32 *q) {
    KrFreq whole;
    KrFreq shifted = *f;
    krfreqMultiplyByUint32_ov(&whole, f, q->integer, nullptr);
    krfreqShiftRight(&shifted, 32);
    krfreqMultiplyByUint32_ov(&shifted, &shifted, q->fraction, nullptr);
    krfreqAdd(out, &whole, &shifted);
}

void krfreqMultiplyByDouble(KrFreq *out, const KrFreq *f, double d) {
    KrFixedPointU32U32 q;
    krmath_double2FixedPointU32U32(&q, d);
    krfreqMultiplyByFixedPointU32U32(out, f, &q);
}

// Truncates toward zero. The magnitude is divided in three 64-by-32-bit steps so that every
// partial quotient fits into 64 bits: the integer part, then the remainder followed by each
// half of the fraction. A zero divisor gives 0 Hz instead of a division trap.
// Context: any, including the real-time sweep task.
void krfreqDivideByInt32(KrFreq *out, const KrFreq *f, int32_t d) {
    if (d == 0) {
        printd("krfreqDivideByInt32(): division by zero\n");
        out->integer = 0;
        out->fraction = 0;
        return;
    }
    bool negative = (f->integer < 0) != (d < 0);
    uint64_t divisor = d < 0 ? 0u - (uint32_t)d : (uint32_t)d;
    uint64_t integer, frac;
    magnitude(f, &integer, &frac);

    uint64_t qInteger = integer / divisor;
    uint64_t rest = integer % divisor;
    uint64_t part = (rest << 32) | hi32(frac);
    uint64_t qHigh = part / divisor;
    rest = part % divisor;
    part = (rest << 32) | lo32(frac);
    uint64_t qLow = part / divisor;

    out->integer = (int64_t)qInteger;
    out->fraction = (qHigh << 32) | qLow;
    if (negative) krfreqInvert(out, out);
}

// Shift counts beyond 63 are honoured as well (the result fills with the sign or with
// zeros); a count of zero or below leaves the value alone.
void krfreqShiftRight(KrFreq *f, int n) {
    if (n <= 0) return;
    int64_t sign = f->integer < 0 ? -1 : 0;
    if (n < 64) {
        f->fraction = (f->fraction >> n) | ((uint64_t)f->integer << (64 - n));
        f->integer >>= n;
    } else if (n < 128) {
        f->fraction = (uint64_t)(f->integer >> (n - 64));
        f->integer = sign;
    } else {
        f->fraction = (uint64_t)sign;
        f->integer = sign;
    }
}

void krfreqShiftLeft(KrFreq *f, int n) {
    if (n <= 0) return;
    if (n < 64) {
        f->integer = (int64_t)(((uint64_t)f->integer << n) | (f->fraction >> (64 - n)));
        f->fraction <<= n;
    } else if (n < 128) {
        f->integer = (int64_t)(f->fraction << (n - 64));
        f->fraction = 0;
    } else {
        f->integer = 0;
        f->fraction = 0;
    }
}

double krfreq2double(const KrFreq *f, double *out) {
    double d = (double)f->integer + (double)f->fraction * (1.0 / kTwoPow64);
    if (out) *out = d;
    return d;
}

// Negative values are converted through their magnitude, so -1.5 becomes integer -2 and
// fraction 2^63; values outside the range saturate and NaN gives 0 Hz.
void double2krfreq(double d, KrFreq *out) {
    if (d != d) {
        out->integer = 0;
        out->fraction = 0;
        return;
    }
    if (d >= kTwoPow63) {
        out->integer = INT64_MAX;
        out->fraction = UINT64_MAX;
        return;
    }
    if (d < -kTwoPow63) {
        out->integer = INT64_MIN;
        out->fraction = 0;
        return;
    }
    bool negative = d < 0;
    if (negative) d = -d;
    int64_t integer = (int64_t)d;
    out->integer = integer;
    out->fraction = (uint64_t)((d - (double)integer) * kTwoPow64);
    if (negative) krfreqInvert(out, out);
}

float krfreq2float(const KrFreq *f, float *out) {
    float r = (float)f->integer + (float)f->fraction * (float)(1.0 / kTwoPow64);
    if (out) *out = r;
    return r;
}

// A float is exactly representable as a double, so the double conversion is exact here.
void float2krfreq(float d, KrFreq *out) {
    double2krfreq((double)d, out);
}

void krfreqSortArrayAscending(KrFreq *a, int n) {
    if (n < 2) return;
    bool exchanged = true;
    for (int end = n - 1; exchanged && end > 0; --end) {
        exchanged = false;
        for (int i = 0; i < end; ++i) {
            if (krfreqCompare(&a[i], &a[i + 1]) > 0) {
                KrFreq t = a[i];
                a[i] = a[i + 1];
                a[i + 1] = t;
                exchanged = true;
            }
        }
    }
}

// Keeps the first entry of every run of equal neighbours, however long the run.
void krfreqSkipArrayMultiples(KrFreq *a, int n, int *count) {
    int kept = n > 0 ? 1 : 0;
    for (int i = 1; i < n; ++i) {
        if (krfreqCompare(&a[i], &a[kept - 1]) != 0) a[kept++] = a[i];
    }
    if (count) *count = kept;
}

int krfreqCompareHz(const KrFreq *f, int64_t hz) {
    KrFreq x = krfreqHz(hz);
    return krfreqCompare(f, &x);
}

double krfreqToDouble(const KrFreq *f) {
    double d;
    return krfreq2double(f, &d);
}
