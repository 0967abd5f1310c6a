// Frequency tuning words.
#include "hw/ftw.h"

#include "device/krlongdouble.h"
#include "device/krmath.h"

namespace {

bool positive(const KrFreq *f) {
    return f->integer > 0 || (f->integer == 0 && f->fraction != 0);
}

int bitLength(uint64_t v) {
    // Binary search over the bit positions.
    int n = 0;
    for (int step = 32; step > 0; step /= 2) {
        if (v >> step) {
            v >>= step;
            n += step;
        }
    }
    return v ? n + 1 : n;
}

// integer and fraction as one 64-bit mantissa: bits 63 .. 64 - s hold the integer.
uint64_t mantissa(const KrFreq *f, int s) {
    uint64_t i = (uint64_t)f->integer;
    return (s >= 64 ? 0 : i << (64 - s)) | (f->fraction >> s);
}

void set128(uint32_t *w, uint64_t hi, uint64_t lo) {
    w[0] = (uint32_t)lo;
    w[1] = (uint32_t)(lo >> 32);
    w[2] = (uint32_t)hi;
    w[3] = (uint32_t)(hi >> 32);
}

uint64_t hi64(const uint32_t *w) {
    return (uint64_t)w[3] << 32 | w[2];
}

uint64_t lo64(const uint32_t *w) {
    return (uint64_t)w[1] << 32 | w[0];
}

int bitLength128(const uint32_t *w) {
    uint64_t h = hi64(w);
    return h ? 64 + bitLength(h) : bitLength(lo64(w));
}

// floor(n x 2^64 / d) for n < d, by quotient correction: estimate with the divisor's upper
// 32 bits plus one (an underestimate), subtract, repeat until the remainder is below d.
uint64_t divideFraction(uint64_t n, uint64_t d) {
    uint32_t num[4], prod[4], rem[4], dd[4];
    set128(num, n, 0);
    set128(dd, 0, d);
    uint64_t q = 0;
    uint64_t divisor = (d >> 32) + 1;
    for (int round = 0; round < 130; round++) {
        krmath_mul_uint64(prod, q, d);
        krmath_sub_uint128(rem, num, prod);
        if (krmath_compare_uint128(rem, dd) < 0) break;
        int k = bitLength128(rem) - 64;
        if (k < 0) k = 0;
        uint32_t top[4];
        krmath_shiftRight_uint128(top, rem, k);
        uint64_t est = lo64(top) / divisor;
        uint64_t part = k >= 32 ? est << (k - 32) : est >> (32 - k);
        q += part ? part : 1;
    }
    return q;
}

uint64_t toWidth(uint64_t q64, uint32_t width) {
    return width >= 64 ? q64 : q64 >> (64 - width);
}

uint64_t maxWord(uint32_t width) {
    return width >= 64 ? ~0ull : (1ull << width) - 1;
}

}  // namespace

void FTW_init(FTW *record, uint32_t width) {
    record->width = width < 1 ? 1 : width > 64 ? 64 : width;
    record->in = {0, 0};
    record->out = {0, 0};
    record->ftw = 0;
}

void FTW_setIn(FTW *record, const KrFreq *in) {
    record->in = *in;
    FTW_calcPreset(record);
}

void FTW_setOut(FTW *record, const KrFreq *out) {
    record->out = *out;
    FTW_calcPreset(record);
}

void FTW_presetIn(FTW *record, const KrFreq *in) {
    record->in = *in;
}

void FTW_presetOut(FTW *record, const KrFreq *out) {
    record->out = *out;
}

const KrFreq *FTW_getIn(const FTW *record) {
    return &record->in;
}

int FTW_isBelowNyquist(const KrFreq *out, const KrFreq *clock) {
    KrFreq twice;
    krfreqMultiplyByInt32(&twice, out, 2);
    return !krfreqNegative(out) && krfreqCompare(&twice, clock) < 0 ? 1 : 0;
}

const KrFreq *FTW_getOut(const FTW *record) {
    return &record->out;
}

uint64_t FTW_calcPreset(FTW *record) {
    record->ftw = FTW_calcFtwFast(&record->in, &record->out, record->width);
    return record->ftw;
}

uint64_t FTW_calcFTW(const KrFreq *in, const KrFreq *out, uint32_t width) {
    if (!positive(in) || !positive(out)) return 0;
    if (krfreqCompare(out, in) >= 0) return maxWord(width);
    uint32_t r[4], d[4];
    set128(r, (uint64_t)out->integer, out->fraction);
    set128(d, (uint64_t)in->integer, in->fraction);
    uint64_t q = 0;
    for (uint32_t i = 0; i < width; i++) {
        krmath_shiftLeft_uint128(r, r, 1);  // r < d < 2^127: no bit is lost
        q <<= 1;
        if (krmath_compare_uint128(r, d) >= 0) {
            krmath_sub_uint128(r, r, d);
            q |= 1;
        }
    }
    return q;
}

uint64_t FTW_calcFtwFast(const KrFreq *in, const KrFreq *out, uint32_t width) {
    if (!positive(in) || !positive(out)) return 0;
    if (krfreqCompare(out, in) >= 0) return maxWord(width);
    // The smallest shift at which both integer parts fit; the clock's top bit lands at 63.
    int s = bitLength((uint64_t)in->integer);
    if (s < 1) s = 1;
    uint64_t mIn = mantissa(in, s), mOut = mantissa(out, s);
    if (mOut >= mIn) return maxWord(width);
    uint64_t q = toWidth(divideFraction(mOut, mIn), width);
    // The mantissas drop the low bits of both frequencies, so the quotient may be one word
    // off; the product decides where it is exact (whole-hertz clock, words up to 48 bits):
    // a word whose output equals the request is that word, not the one below.
    if (in->fraction != 0 || width > 48) return q;
    FTW probe;
    probe.width = width;
    probe.in = *in;
    KrFreq real;
    for (int i = 0; i < 2; i++) {
        probe.ftw = q + 1;
        if (q + 1 > maxWord(width)) break;
        FTW_calcRealFout(&probe, &real);
        if (krfreqCompare(&real, out) > 0) break;
        q++;
    }
    for (int i = 0; i < 2 && q > 0; i++) {
        probe.ftw = q;
        FTW_calcRealFout(&probe, &real);
        if (krfreqCompare(&real, out) <= 0) break;
        q--;
    }
    return q;
}

void FTW_calcRealFout(const FTW *record, KrFreq *out) {
    KrFreq sum = {0, 0};
    int w = (int)record->width;
    for (int i = 0; i < 4; i++) {
        int32_t part = (int32_t)((record->ftw >> (16 * i)) & 0xFFFF);
        if (!part) continue;
        KrFreq term;
        krfreqMultiplyByInt32(&term, &record->in, part);
        int shift = w - 16 * i;
        if (shift >= 0)
            krfreqShiftRight(&term, shift);
        else
            krfreqShiftLeft(&term, -shift);
        krfreqAdd(&sum, &sum, &term);
    }
    *out = sum;
}

void FTW_calcRealFin(const FTW *record, KrFreq *in) {
    if (record->ftw == 0) {
        *in = {0, 0};
        return;
    }
    KrLongDouble out, word, q;
    ld_fromKrfreq(&record->out, &out);
    ld_multiplyByPow2(&out, &out, (int32_t)record->width);
    ld_fromUint64(record->ftw, &word);
    ld_divide(&q, &out, &word);
    ld_toKrfreq(&q, in);
}

uint64_t FTW_round(uint64_t value, int n) {
    if (n <= 0) return value;
    if (n >= 64) return 0;  // the nearest multiple of 2^64 that fits
    uint64_t unit = 1ull << n;
    uint64_t low = value & (unit - 1);
    uint64_t down = value - low;
    if (low > unit / 2 && down <= ~0ull - unit) return down + unit;
    return down;
}

uint64_t FTW_roundToPattern(uint64_t value, uint64_t pattern, int n) {
    if (n <= 0) return value;
    if (n > 63) n = 63;
    uint64_t unit = 1ull << n, mask = unit - 1;
    uint64_t base = value & ~mask, candidate = base | (pattern & mask);
    bool hasLower, hasUpper;
    uint64_t lower = 0, upper = 0;
    if (candidate <= value) {
        lower = candidate;
        hasLower = true;
        hasUpper = candidate <= ~0ull - unit;
        upper = candidate + unit;
    } else {
        upper = candidate;
        hasUpper = true;
        hasLower = base >= unit;
        lower = candidate - unit;
    }
    if (!hasUpper) return lower;
    if (!hasLower) return upper;
    return upper - value < value - lower ? upper : lower;
}

int FTW_calcFtwLut(FTW *record, const FtwLutRow *rows, int count) {
    for (int i = 0; rows && i < count; i++) {
        if (krfreqCompare(&rows[i].out, &record->out) == 0) {
            record->ftw = rows[i].ftw;
            return 0;
        }
    }
    FTW_calcPreset(record);
    return -1;
}

int FTW_calcFtwLut_highres(FTW *record, const FtwLutRow *rows, int count, uint64_t *fine) {
    for (int i = 0; rows && i < count; i++) {
        if (krfreqCompare(&rows[i].out, &record->out) == 0) {
            record->ftw = rows[i].ftw;
            if (fine) *fine = rows[i].fine;
            return 0;
        }
    }
    FTW_calcPreset(record);
    if (fine) *fine = 0;
    return -1;
}
