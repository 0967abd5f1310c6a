#include "device/krlongdouble.h"

#include <cstring>

#include "core/printd.h"
#include "device/krmath.h"

namespace {

constexpr int32_t kBias = 16383;
constexpr int32_t kFieldMax = 0x7FFF;
constexpr int32_t kHiddenBit = 112;
// Extra low bits carried through an addition so that its result can be truncated exactly.
constexpr int kGuardBits = 14;

int32_t field(const KrLongDouble *a) {
    return (int32_t)((a->w[3] >> 16) & kFieldMax);
}

uint32_t signOf(const KrLongDouble *a) {
    return a->w[3] >> 31;
}

bool isZero(const KrLongDouble *a) {
    return ((a->w[3] & 0x7FFFFFFFu) | a->w[2] | a->w[1] | a->w[0]) == 0;
}

bool wordsZero(const uint32_t *f) {
    return (f[0] | f[1] | f[2] | f[3]) == 0;
}

void setZero(KrLongDouble *out, uint32_t sign) {
    out->w[0] = out->w[1] = out->w[2] = 0;
    out->w[3] = sign << 31;
}

// The 113-bit significand with its leading 1 at bit 112.
void significand(const KrLongDouble *a, uint32_t *out) {
    out[0] = a->w[0];
    out[1] = a->w[1];
    out[2] = a->w[2];
    out[3] = (a->w[3] & 0xFFFFu) | (field(a) != 0 ? 0x10000u : 0);
}

int leadingBit(const uint32_t *f) {
    for (int i = 3; i >= 0; --i) {
        if (f[i]) return 32 * i + 31 - __builtin_clz(f[i]);
    }
    return -1;
}

// value = (-1)^sign x fraction x 2^(exponent - 127); 64-bit exponent arithmetic so that
// sums of extreme exponents reach the range check instead of wrapping.
void build(uint32_t sign, int64_t exponent, const uint32_t *fraction, KrLongDouble *out) {
    int lead = leadingBit(fraction);
    if (lead < 0) {
        setZero(out, sign);
        return;
    }
    uint32_t f[4];
    if (lead > kHiddenBit) {
        krmath_shiftRight_uint128(f, fraction, lead - kHiddenBit);
    } else {
        krmath_shiftLeft_uint128(f, fraction, kHiddenBit - lead);
    }
    int64_t e = exponent - 127 + lead;
    int64_t biased = e + kBias;
    if (biased >= kFieldMax) {
        printd("ld_fromS...(): NaN, exponent too large\n");
        biased = kFieldMax;
    } else if (biased <= 0) {
        printd("ld_fromS...(): NaN, exponent too small\n");
        biased = 0;
    }
    out->w[0] = f[0];
    out->w[1] = f[1];
    out->w[2] = f[2];
    out->w[3] = (f[3] & 0xFFFFu) | ((uint32_t)biased << 16) | (sign << 31);
}

// Weight of bit 127 of a significand whose leading 1 sits at bit 112.
int64_t topWeight(const KrLongDouble *a) {
    return (int64_t)ld_getExponent32(a) + 127 - kHiddenBit;
}

// Shifts a significand (leading 1 at bit 112) so that bit 0 has the weight 2^lowWeight,
// truncating; used for the integer and fixed-point conversions.
void placeSignificand(const KrLongDouble *a, int64_t lowWeight, uint32_t *out) {
    uint32_t s[4];
    significand(a, s);
    int64_t shift = (int64_t)ld_getExponent32(a) - kHiddenBit - lowWeight;
    if (shift >= 0) {
        krmath_shiftLeft_uint128(out, s, shift > 128 ? 128 : (int)shift);
    } else {
        krmath_shiftRight_uint128(out, s, shift < -128 ? 128 : (int)-shift);
    }
}

// Exponent change; zeros stay as they are.
void scale(KrLongDouble *out, const KrLongDouble *a, int64_t n) {
    if (isZero(a)) {
        *out = *a;
        return;
    }
    uint32_t s[4];
    significand(a, s);
    build(signOf(a), topWeight(a) + n, s, out);
}

}  // namespace

void ld_fromSignExponentFraction(int32_t sign, int32_t exponent, const uint32_t *fraction,
                                 KrLongDouble *out) {
    build(sign ? 1 : 0, exponent, fraction, out);
}

void ld_positiveZero(KrLongDouble *out) {
    setZero(out, 0);
}
void ld_negativeZero(KrLongDouble *out) {
    setZero(out, 1);
}

int ld_isPositiveZero(const KrLongDouble *a) {
    return isZero(a) && !signOf(a) ? 1 : 0;
}
int ld_isNegativeZero(const KrLongDouble *a) {
    return isZero(a) && signOf(a) ? 1 : 0;
}

int32_t ld_getSign32(const KrLongDouble *a) {
    return (int32_t)signOf(a);
}

int32_t ld_getExponent32(const KrLongDouble *a) {
    return field(a) - kBias;
}

void ld_getFraction128(const KrLongDouble *a, uint32_t *out) {
    uint32_t s[4];
    significand(a, s);
    krmath_shiftLeft_uint128(out, s, 127 - kHiddenBit);
}

uint64_t ld_getFraction64(const KrLongDouble *a) {
    uint32_t f[4];
    ld_getFraction128(a, f);
    return ((uint64_t)f[3] << 32) | f[2];
}

void ld_fromDouble(double d, KrLongDouble *out) {
    uint64_t bits;
    memcpy(&bits, &d, sizeof(bits));
    uint32_t sign = (uint32_t)(bits >> 63);
    uint32_t exp11 = (uint32_t)(bits >> 52) & 0x7FF;
    uint64_t frac52 = bits & 0xFFFFFFFFFFFFFull;
    if (exp11 == 0) {
        // Zero keeps its sign; a subnormal double becomes a normal binary128 number.
        uint32_t f[4] = {(uint32_t)frac52, (uint32_t)(frac52 >> 32), 0, 0};
        build(sign, -1074 + 127, f, out);
        return;
    }
    uint32_t biased = exp11 == 0x7FF ? (uint32_t)kFieldMax : exp11 + (kBias - 1023);
    uint64_t hi = frac52 >> 4;  // fraction bits 64 to 111
    uint64_t lo = frac52 << 60;
    out->w[0] = (uint32_t)lo;
    out->w[1] = (uint32_t)(lo >> 32);
    out->w[2] = (uint32_t)hi;
    out->w[3] = ((uint32_t)(hi >> 32) & 0xFFFFu) | (biased << 16) | (sign << 31);
}

double ld_toDouble(const KrLongDouble *a) {
    uint64_t sign = (uint64_t)signOf(a) << 63;
    uint64_t hi = (((uint64_t)a->w[3] & 0xFFFFu) << 32) | a->w[2];
    uint64_t lo = ((uint64_t)a->w[1] << 32) | a->w[0];
    uint64_t frac52 = (hi << 4) | (lo >> 60);
    int32_t e = ld_getExponent32(a);
    uint64_t bits;
    if (field(a) == kFieldMax) {
        bits = sign | 0x7FF0000000000000ull | ((hi | lo) ? 0x8000000000000ull : 0);
    } else if (isZero(a) || e < -1074) {
        bits = sign;
    } else if (e > 1023) {
        bits = sign | 0x7FEFFFFFFFFFFFFFull;  // truncation stops at the largest double
    } else if (e < -1022) {
        // Subnormal double, truncated like everything else here.
        bits = sign | (((1ull << 52) | frac52) >> (-1022 - e));
    } else {
        bits = sign | ((uint64_t)(e + 1023) << 52) | frac52;
    }
    double d;
    memcpy(&d, &bits, sizeof(d));
    return d;
}

void ld_fromUint64(uint64_t v, KrLongDouble *out) {
    uint32_t f[4] = {(uint32_t)v, (uint32_t)(v >> 32), 0, 0};
    build(0, 127, f, out);
}

uint64_t ld_toUint64(const KrLongDouble *a) {
    if (isZero(a)) return 0;
    if (signOf(a)) {
        printd("ld_toUint64() error: number is negative\n");
        return 0;
    }
    if (ld_getExponent32(a) > 63) {
        printd("ld_toUint64() error: number does not fit into uint64_t\n");
        return UINT64_MAX;
    }
    uint32_t v[4];
    placeSignificand(a, 0, v);
    return ((uint64_t)v[1] << 32) | v[0];
}

void ld_toUint128(const KrLongDouble *a, uint32_t *out) {
    if (isZero(a) || signOf(a)) {
        if (!isZero(a)) printd("ld_toUint128() error: number is negative\n");
        out[0] = out[1] = out[2] = out[3] = 0;
        return;
    }
    if (ld_getExponent32(a) > 127) {
        printd("ld_toUint128() error: number does not fit into 128 bits\n");
        out[0] = out[1] = out[2] = out[3] = UINT32_MAX;
        return;
    }
    placeSignificand(a, 0, out);
}

void ld_fromKrfreq(const KrFreq *f, KrLongDouble *out) {
    KrFreq m = *f;
    uint32_t sign = krfreqNegative(f) ? 1 : 0;
    if (sign) krfreqInvert(&m, f);  // -2^127 stays as it is: 2^127 read unsigned
    uint64_t integer = (uint64_t)m.integer;
    uint32_t words[4] = {(uint32_t)m.fraction, (uint32_t)(m.fraction >> 32), (uint32_t)integer,
                         (uint32_t)(integer >> 32)};
    build(sign, 63, words, out);
}

void ld_toKrfreq(const KrLongDouble *a, KrFreq *out) {
    if (isZero(a)) {
        out->integer = 0;
        out->fraction = 0;
        return;
    }
    uint32_t sign = signOf(a);
    if (ld_getExponent32(a) >= 63) {
        uint32_t s[4];
        significand(a, s);
        bool minimum = sign && ld_getExponent32(a) == 63 && s[0] == 0 && s[1] == 0 && s[2] == 0 &&
                       s[3] == 0x10000u;  // exactly -2^63 Hz fits
        if (!minimum) printd("ld_toKrfreq() error: number does not fit into KrFreq\n");
        out->integer = sign ? INT64_MIN : INT64_MAX;
        out->fraction = sign ? 0 : UINT64_MAX;
        return;
    }
    uint32_t v[4];
    placeSignificand(a, -64, v);
    out->integer = (int64_t)(((uint64_t)v[3] << 32) | v[2]);
    out->fraction = ((uint64_t)v[1] << 32) | v[0];
    if (sign) krfreqInvert(out, out);
}

// Both significands carry kGuardBits extra low bits; the bits of the smaller operand that
// still fall off the end are remembered (sticky), so a subtraction can take the one unit
// it owes: the result is the exact sum truncated toward zero.
void ld_add(KrLongDouble *out, const KrLongDouble *a, const KrLongDouble *b) {
    if (isZero(a) || isZero(b)) {
        if (isZero(a) && isZero(b)) {
            setZero(out, signOf(a) & signOf(b));
        } else {
            *out = isZero(a) ? *b : *a;
        }
        return;
    }
    const KrLongDouble *big = a, *small = b;
    uint32_t sBig[4], sSmall[4];
    significand(a, sBig);
    significand(b, sSmall);
    int32_t ea = ld_getExponent32(a), eb = ld_getExponent32(b);
    if (eb > ea || (eb == ea && krmath_compare_uint128(sSmall, sBig) > 0)) {
        big = b;
        small = a;
        significand(big, sBig);
        significand(small, sSmall);
    }
    krmath_shiftLeft_uint128(sBig, sBig, kGuardBits);
    krmath_shiftLeft_uint128(sSmall, sSmall, kGuardBits);
    int64_t diff = (int64_t)ld_getExponent32(big) - ld_getExponent32(small);
    int shift = diff > 128 ? 128 : (int)diff;
    uint32_t aligned[4], back[4];
    krmath_shiftRight_uint128(aligned, sSmall, shift);
    krmath_shiftLeft_uint128(back, aligned, shift);
    bool sticky = shift == 128 ? !wordsZero(sSmall) : krmath_compare_uint128(back, sSmall) != 0;

    uint32_t r[4];
    uint32_t sign = signOf(big);
    if (signOf(a) == signOf(b)) {
        krmath_add_uint128(r, sBig, aligned);  // below 2^128: both are below 2^127
    } else {
        krmath_sub_uint128(r, sBig, aligned);
        if (sticky) {
            uint32_t one[4] = {1, 0, 0, 0};
            krmath_sub_uint128(r, r, one);
        }
        if (wordsZero(r)) sign = 0;  // x - x is +0
    }
    // The leading 1 of sBig sits at bit 126: bit 127 weighs one more than the exponent.
    build(sign, (int64_t)ld_getExponent32(big) + 1, r, out);
}

void ld_subtract(KrLongDouble *out, const KrLongDouble *a, const KrLongDouble *b) {
    KrLongDouble negated;
    ld_invert(&negated, b);
    ld_add(out, a, &negated);
}

void ld_multiply(KrLongDouble *out, const KrLongDouble *a, const KrLongDouble *b) {
    uint32_t sign = signOf(a) ^ signOf(b);
    if (isZero(a) || isZero(b)) {
        setZero(out, sign);
        return;
    }
    uint32_t p[4];
    krmath_mul_uint64(p, ld_getFraction64(a), ld_getFraction64(b));
    // Each factor is below 2^64 with its leading 1 weighing 2^exponent.
    build(sign, (int64_t)ld_getExponent32(a) + ld_getExponent32(b) + 1, p, out);
}

// Restoring long division of the 113-bit significands: 114 quotient bits, so that the
// final normalisation truncates the exact quotient.
void ld_divide(KrLongDouble *out, const KrLongDouble *a, const KrLongDouble *b) {
    uint32_t sign = signOf(a) ^ signOf(b);
    if (isZero(b)) {
        printd("ld_divide(): division by zero\n");
        out->w[0] = out->w[1] = out->w[2] = UINT32_MAX;
        out->w[3] = 0xFFFFu | ((uint32_t)(kFieldMax - 1) << 16) | (sign << 31);
        return;
    }
    if (isZero(a)) {
        setZero(out, sign);
        return;
    }
    uint32_t rest[4], divisor[4], q[4] = {0, 0, 0, 0};
    significand(a, rest);
    significand(b, divisor);
    for (int i = 0; i <= kHiddenBit + 1; ++i) {
        krmath_shiftLeft_uint128(q, q, 1);
        if (krmath_compare_uint128(rest, divisor) >= 0) {
            krmath_sub_uint128(rest, rest, divisor);
            q[0] |= 1;
        }
        krmath_shiftLeft_uint128(rest, rest, 1);
    }
    // q = floor(2^113 x a / b) in units of the significands.
    int64_t exponent = (int64_t)ld_getExponent32(a) - ld_getExponent32(b) + 127 - (kHiddenBit + 1);
    build(sign, exponent, q, out);
}

void ld_invert(KrLongDouble *out, const KrLongDouble *a) {
    *out = *a;
    out->w[3] ^= 0x80000000u;
}

void ld_multiplyByPow2(KrLongDouble *out, const KrLongDouble *a, int32_t n) {
    scale(out, a, n);
}

void ld_divideByPow2(KrLongDouble *out, const KrLongDouble *a, int32_t n) {
    scale(out, a, -(int64_t)n);
}

void ld_printd(const KrLongDouble *a) {
    printd("ld_printd(): f %llu, e %d, s %d\n", (unsigned long long)ld_getFraction64(a),
           ld_getExponent32(a), ld_getSign32(a));
}
