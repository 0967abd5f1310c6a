#include "scpi/scpi_convert.h"

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scpi/scpi_errorcodes.h"

namespace {

// Significant digits kept: enough for 39 integer and 41 fraction digits whatever the exponent.
constexpr int DIGIT_CAPACITY = SCPI_STDDEC_INT_DIGITS + SCPI_STDDEC_FRAC_DIGITS;
// Exponents beyond this are out of range (or zero) anyway; saturating keeps the sums defined.
constexpr long EXPONENT_LIMIT = 1000000;

// value = (negative ? -1 : 1) * 0.d1 d2 ... dn * 10^point, with d1 != 0 and dn != 0; zero
// has count 0.
struct Decimal {
    bool negative;
    int count;
    long point;
    char digits[DIGIT_CAPACITY];
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Decimal digit at position k of the digit string (0 is the first after the point of
// 0.d1d2...); zero outside the significant digits.
int digitAt(const Decimal *d, long k) {
    return k >= 0 && k < d->count ? d->digits[k] - '0' : 0;
}

int parseExponent(const char *text, int begin, int end, long *exponent) {
    int i = begin;
    bool negative = false;
    if (i < end && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == end) return KR_E_ILLEGAL_PARAMETER_VALUE;
    long e = 0;
    for (; i < end; i++) {
        if (!isDigit(text[i])) return KR_E_ILLEGAL_PARAMETER_VALUE;
        if (e < EXPONENT_LIMIT) e = e * 10 + (text[i] - '0');
    }
    *exponent = negative ? -e : e;
    return 0;
}

// The one number syntax of every parameter. With a table, the unit suffix is taken off
// first; its multiple is applied to the number except for decibel units, whose multiple the
// caller applies through *entry.
int parseDecimal(const char *text, Decimal *d, const ScpiUnitTable *table, int flags,
                 const ScpiUnitEntry **entry) {
    if (text == nullptr) return KR_E_MISSING_PARAMETER;
    int end = static_cast<int>(strnlen(text, INT_MAX));
    long unitExponent = 0;
    if (table != nullptr) {
        const ScpiUnitEntry *unit = nullptr;
        int r = scpi_parseSuffixRange(text, &end, table, flags, &unit);
        if (r != 0) return r;
        if (unit->type != SCPI_UNIT_DB_WATT && unit->type != SCPI_UNIT_DB_VOLT &&
            unit->type != SCPI_UNIT_DB_AMPERE)
            unitExponent = unit->exponent;
        if (entry != nullptr) *entry = unit;
    }
    int begin = 0;
    while (begin < end && isBlank(text[begin]))
        begin++;
    while (end > begin && isBlank(text[end - 1]))
        end--;

    int mantissaEnd = end;
    long exponent = 0;
    for (int i = begin; i < end; i++) {
        if (text[i] != 'e' && text[i] != 'E') continue;
        if (mantissaEnd != end) return KR_E_ILLEGAL_PARAMETER_VALUE;  // a second "e"
        mantissaEnd = i;
    }
    if (mantissaEnd != end) {
        int r = parseExponent(text, mantissaEnd + 1, end, &exponent);
        if (r != 0) return r;
        while (mantissaEnd > begin && isBlank(text[mantissaEnd - 1]))
            mantissaEnd--;
    }

    int i = begin;
    d->negative = false;
    if (i < mantissaEnd && (text[i] == '+' || text[i] == '-')) d->negative = text[i++] == '-';
    bool seenPoint = false;
    bool seenDigit = false;
    int count = 0;
    long point = 0;
    for (; i < mantissaEnd; i++) {
        char c = text[i];
        if (c == '.') {
            if (seenPoint) return KR_E_ILLEGAL_PARAMETER_VALUE;
            seenPoint = true;
            continue;
        }
        if (!isDigit(c)) return KR_E_ILLEGAL_PARAMETER_VALUE;
        seenDigit = true;
        if (count == 0 && c == '0') {
            if (seenPoint) point--;  // 0.00d: the first significant digit moves right
            continue;
        }
        if (!seenPoint) point++;
        if (count < DIGIT_CAPACITY) d->digits[count++] = c;  // later digits are truncated
    }
    if (!seenDigit) return KR_E_ILLEGAL_PARAMETER_VALUE;
    while (count > 0 && d->digits[count - 1] == '0')
        count--;
    d->count = count;
    if (count == 0) {
        d->negative = false;
        d->point = 0;
        return 0;
    }
    point += exponent + unitExponent;
    if (point > SCPI_STDDEC_INT_DIGITS) return KR_E_DATA_OUT_OF_RANGE;
    d->point = point < -EXPONENT_LIMIT ? -EXPONENT_LIMIT : point;
    return 0;
}

// The value as a double, correctly rounded by strtod from "0.<digits>e<point>".
double decimalToDouble(const Decimal *d) {
    if (d->count == 0) return 0.0;
    char buf[DIGIT_CAPACITY + 24];
    int n = 0;
    buf[n++] = d->negative ? '-' : '+';
    buf[n++] = '0';
    buf[n++] = '.';
    memcpy(buf + n, d->digits, d->count);
    n += d->count;
    snprintf(buf + n, sizeof buf - n, "e%ld", d->point);
    return strtod(buf, nullptr);
}

// The magnitude of an integral value; fractions are -224, more than 64 bits -222.
int decimalToMagnitude(const Decimal *d, uint64_t *magnitude) {
    if (d->count > d->point) return KR_E_ILLEGAL_PARAMETER_VALUE;
    if (d->point > 20) return KR_E_DATA_OUT_OF_RANGE;
    uint64_t m = 0;
    for (long k = 0; k < d->point; k++) {
        unsigned digit = digitAt(d, k);
        if (m > (UINT64_MAX - digit) / 10) return KR_E_DATA_OUT_OF_RANGE;
        m = m * 10 + digit;
    }
    *magnitude = m;
    return 0;
}

// An integer in [-maxPositive - 1, maxPositive] (signed) or [0, maxPositive].
int parseInteger(const char *text, bool isSigned, uint64_t maxPositive, int64_t *value) {
    Decimal d;
    uint64_t m = 0;
    int r = parseDecimal(text, &d, nullptr, 0, nullptr);
    if (r == 0) r = decimalToMagnitude(&d, &m);
    if (r != 0) return r;
    uint64_t limit = d.negative ? (isSigned ? maxPositive + 1 : 0) : maxPositive;
    if (m > limit) return KR_E_DATA_OUT_OF_RANGE;
    // Two's complement by definition (C++20), also for UINT64_MAX as unsigned.
    *value = d.negative ? static_cast<int64_t>(0 - m) : static_cast<int64_t>(m);
    return 0;
}

// 128-bit unsigned arithmetic on 32-bit limbs, least significant first, so that the frequency
// path needs no wider multiplier than the controller has.
struct U128 {
    uint32_t limb[4];
};

void mulSmall(U128 *x, uint32_t m) {
    uint64_t carry = 0;
    for (uint32_t &l : x->limb) {
        uint64_t p = static_cast<uint64_t>(l) * m + carry;
        l = static_cast<uint32_t>(p);
        carry = p >> 32;
    }
}

void addU64(U128 *x, uint64_t a) {
    uint64_t carry = a;
    for (uint32_t &l : x->limb) {
        uint64_t s = static_cast<uint64_t>(l) + (carry & 0xFFFFFFFFu);
        l = static_cast<uint32_t>(s);
        carry = (carry >> 32) + (s >> 32);
    }
}

// Left shift by 32 + 13 bits.
void shiftLeft45(U128 *x) {
    x->limb[3] = (x->limb[2] << 13) | (x->limb[1] >> 19);
    x->limb[2] = (x->limb[1] << 13) | (x->limb[0] >> 19);
    x->limb[1] = x->limb[0] << 13;
    x->limb[0] = 0;
}

// Long division by a constant below 2^32 (the compiler turns it into multiplications).
template <uint32_t D>
void divSmall(U128 *x) {
    uint64_t rem = 0;
    for (int i = 3; i >= 0; i--) {
        uint64_t cur = (rem << 32) | x->limb[i];
        x->limb[i] = static_cast<uint32_t>(cur / D);
        rem = cur % D;
    }
}

// The decimal fraction 0.<hi><lo> (ten digits each) in units of 2^-64, rounded to nearest:
// floor(D * 2^64 / 10^20 + 1/2) = floor((D * 2^45 + 5^20) / (2 * 5^20)), D < 10^20 so every
// intermediate stays below 2^113. Ties cannot occur (the numerator is odd). The result may be
// 2^64, reported through *carry.
uint64_t decimalFractionToBinary(uint64_t hi, uint64_t lo, uint32_t *carry) {
    constexpr uint32_t FIVE_POW_10 = 9765625u;
    constexpr uint64_t FIVE_POW_20 = 95367431640625ull;
    U128 x = {{static_cast<uint32_t>(hi), static_cast<uint32_t>(hi >> 32), 0, 0}};
    mulSmall(&x, 100000u);
    mulSmall(&x, 100000u);
    addU64(&x, lo);
    shiftLeft45(&x);
    addU64(&x, FIVE_POW_20);
    divSmall<FIVE_POW_10>(&x);
    divSmall<FIVE_POW_10>(&x);
    uint64_t low = x.limb[0] | static_cast<uint64_t>(x.limb[1]) << 32;
    *carry = x.limb[2] >> 1;
    return (low >> 1) | static_cast<uint64_t>(x.limb[2] & 1u) << 63;
}

int decimalToKrFreq(const Decimal *d, KrFreq *freq) {
    if (d->point > 19) return KR_E_DATA_OUT_OF_RANGE;
    uint64_t integer = 0;
    for (long k = 0; k < d->point; k++)
        integer = integer * 10 + digitAt(d, k);
    uint64_t hi = 0, lo = 0;
    for (long j = 0; j < 10; j++)
        hi = hi * 10 + digitAt(d, d->point + j);
    for (long j = 10; j < 20; j++)
        lo = lo * 10 + digitAt(d, d->point + j);
    uint32_t carry = 0;
    uint64_t fraction = decimalFractionToBinary(hi, lo, &carry);
    integer += carry;
    constexpr uint64_t TWO_POW_63 = 1ull << 63;
    // Positive values stay below 2^63 Hz; -2^63 Hz itself is representable.
    if (integer > TWO_POW_63 || (integer == TWO_POW_63 && (!d->negative || fraction != 0)))
        return KR_E_DATA_OUT_OF_RANGE;
    if (d->negative) {
        // 128-bit two's complement: the fraction's +1 carries into the integer only from 0.
        integer = ~integer + (fraction == 0 ? 1 : 0);
        fraction = 0 - fraction;
    }
    freq->integer = static_cast<int64_t>(integer);
    freq->fraction = fraction;
    return 0;
}

int parseDouble(const char *text, const ScpiUnitTable *table, int flags, double *value,
                const ScpiUnitEntry **entry) {
    Decimal d;
    int r = parseDecimal(text, &d, table, flags, entry);
    if (r != 0) return r;
    *value = decimalToDouble(&d);
    return 0;
}

// Keyword parameter with the short/long rule: the upper-case head of the keyword or the whole
// keyword, ignoring case.
bool matchesKeyword(const char *keyword, const char *text, int n) {
    int shortLength = 0;
    while (keyword[shortLength] != '\0' &&
           !(keyword[shortLength] >= 'a' && keyword[shortLength] <= 'z'))
        shortLength++;
    int longLength = static_cast<int>(strlen(keyword));
    if (n != shortLength && n != longLength) return false;
    for (int i = 0; i < n; i++) {
        if (upper(keyword[i]) != upper(text[i])) return false;
    }
    return true;
}

int queryError(char *out, int size, int *length) {
    if (size > 0) out[0] = '\0';
    if (length != nullptr) *length = 0;
    return KR_E_QUERY_ERROR;
}

int emitText(char *out, int size, int *length, const char *text, int n) {
    if (n < 0 || n >= size) return queryError(out, size, length);
    memcpy(out, text, n);
    out[n] = '\0';
    if (length != nullptr) *length = n;
    return 0;
}

__attribute__((format(printf, 4, 5))) int emitf(char *out, int size, int *length,
                                                const char *format, ...) {
    if (size <= 0) return queryError(out, size, length);
    va_list args;
    va_start(args, format);
    int n = vsnprintf(out, size, format, args);
    va_end(args);
    if (n < 0 || n >= size) return queryError(out, size, length);
    if (length != nullptr) *length = n;
    return 0;
}

int doubleFormat(double value, bool fixed, char *out, int size, int *length) {
    return fixed ? emitf(out, size, length, "%.9lf", value)
                 : emitf(out, size, length, "%lE", value);
}

}  // namespace

int scpi_str2stddecstr(const char *text, const ScpiUnitTable *table, int flags,
                       const ScpiUnitEntry **entry, char *out, int size) {
    Decimal d;
    int r = parseDecimal(text, &d, table, flags, entry);
    if (r != 0) return r;
    char buf[SCPI_STDDEC_SIZE];
    int n = 0;
    buf[n++] = d.negative ? '-' : '+';
    if (d.point <= 0) buf[n++] = '0';
    for (long k = 0; k < d.point; k++)
        buf[n++] = static_cast<char>('0' + digitAt(&d, k));
    buf[n++] = '.';
    for (long k = d.point; k < d.count && k < d.point + SCPI_STDDEC_FRAC_DIGITS; k++)
        buf[n++] = static_cast<char>('0' + digitAt(&d, k));
    while (buf[n - 1] == '0')
        n--;  // a value below the last kept digit has no fraction left
    if (n + 1 > size) {
        if (size > 0) out[0] = '\0';
        return KR_E_TOO_MUCH_DATA;
    }
    memcpy(out, buf, n);
    out[n] = '\0';
    return 0;
}

int scpi_str2kr_freq(const char *text, KrFreq *freq) {
    Decimal d;
    int r = parseDecimal(text, &d, &unitFrequency, 0, nullptr);
    if (r != 0) return r;
    return decimalToKrFreq(&d, freq);
}

int scpi_str2kr_pow(const char *text, KrPow *pow, int flags) {
    const ScpiUnitEntry *unit = nullptr;
    double value = 0.0;
    int r = parseDouble(text, &unitPower, flags, &value, &unit);
    if (r != 0) return r;
    double dBm = 0.0;
    r = scpi_unit_pow2dBm(value, unit, &dBm);
    if (r != 0) return r;
    if (std::fabs(dBm) > FLT_MAX) return KR_E_DATA_OUT_OF_RANGE;
    *pow = static_cast<float>(dBm);
    return 0;
}

int scpi_str2kr_time(const char *text, KrTime *time) {
    return parseDouble(text, &unitTime, 0, time, nullptr);
}

int scpi_str2kr_angle(const char *text, KrAngle *angle) {
    return scpi_str2double_unit(text, angle, &unitAngle);
}

int scpi_str2ratio(const char *text, double *value) {
    return parseDouble(text, &unitRatio, 0, value, nullptr);
}

int scpi_str2double_unit(const char *text, double *value, const ScpiUnitTable *table) {
    const ScpiUnitEntry *unit = nullptr;
    double v = 0.0;
    int r = parseDouble(text, table, 0, &v, &unit);
    if (r != 0) return r;
    switch (unit->type) {
        case SCPI_UNIT_DEGREE:
            v *= M_PI / 180.0;
            break;
        case SCPI_UNIT_DB_WATT:
            v += 10.0 * unit->exponent;
            break;
        case SCPI_UNIT_DB_VOLT:
        case SCPI_UNIT_DB_AMPERE:
            v += 20.0 * unit->exponent;
            break;
        default:
            break;
    }
    *value = v;
    return 0;
}

int scpi_str2double(const char *text, double *value) {
    return parseDouble(text, nullptr, 0, value, nullptr);
}

int scpi_str2float(const char *text, float *value) {
    double v = 0.0;
    int r = parseDouble(text, nullptr, 0, &v, nullptr);
    if (r != 0) return r;
    if (std::fabs(v) > FLT_MAX) return KR_E_DATA_OUT_OF_RANGE;
    *value = static_cast<float>(v);
    return 0;
}

int scpi_str2int(const char *text, int32_t *value) {
    int64_t v = 0;
    int r = parseInteger(text, true, INT32_MAX, &v);
    if (r == 0) *value = static_cast<int32_t>(v);
    return r;
}

int scpi_str2uint(const char *text, uint32_t *value) {
    int64_t v = 0;
    int r = parseInteger(text, false, UINT32_MAX, &v);
    if (r == 0) *value = static_cast<uint32_t>(v);
    return r;
}

int scpi_str2lint(const char *text, int64_t *value) {
    return parseInteger(text, true, INT64_MAX, value);
}

int scpi_str2ulint(const char *text, uint64_t *value) {
    int64_t v = 0;
    int r = parseInteger(text, false, UINT64_MAX, &v);
    if (r == 0) *value = static_cast<uint64_t>(v);
    return r;
}

int scpi_str2bool(const char *text, int *flag) {
    if (text == nullptr) return KR_E_MISSING_PARAMETER;
    const char *begin = text;
    while (isBlank(*begin))
        begin++;
    int n = static_cast<int>(strlen(begin));
    while (n > 0 && isBlank(begin[n - 1]))
        n--;
    if (matchesKeyword("OFF", begin, n)) {
        *flag = 0;
        return 0;
    }
    if (matchesKeyword("ON", begin, n)) {
        *flag = 1;
        return 0;
    }
    int32_t v = 0;
    int r = scpi_str2int(text, &v);
    if (r == 0) *flag = v != 0 ? 1 : 0;
    return r;
}

char *scpi_unquote(char *text) {
    size_t n = strlen(text);
    if (n >= 2 && (text[0] == '"' || text[0] == '\'') && text[n - 1] == text[0]) {
        text[n - 1] = 0;
        return text + 1;
    }
    return text;
}

int scpi_str2chararray(const char *text, char *buffer, int size) {
    if (text == nullptr) return KR_E_MISSING_PARAMETER;
    size_t n = strlen(text);
    if (size <= 0 || n >= static_cast<size_t>(size)) {
        if (size > 0) buffer[0] = '\0';
        return KR_E_TOO_MUCH_DATA;
    }
    memcpy(buffer, text, n + 1);
    return 0;
}

int scpi_kr_freq2str(const KrFreq *freq, char *out, int size, int *length) {
    uint64_t fraction = freq->fraction;
    uint64_t integer = static_cast<uint64_t>(freq->integer);
    char buf[1 + 20 + 1 + 20];
    int n = 0;
    if (freq->integer < 0) {
        // The magnitude as unsigned 128 bits, so that -2^63 Hz prints too.
        integer = 0 - integer - (fraction != 0 ? 1 : 0);
        fraction = 0 - fraction;
        buf[n++] = '-';
    }
    char digits[20];
    int d = 0;
    do {
        digits[d++] = static_cast<char>('0' + integer % 10);
        integer /= 10;
    } while (integer != 0);
    while (d > 0)
        buf[n++] = digits[--d];
    buf[n++] = '.';
    // Each digit is the one carried out of fraction * 10, on 32-bit halves.
    for (int i = 0; i < 20; i++) {
        uint64_t low = (fraction & 0xFFFFFFFFu) * 10;
        uint64_t high = (fraction >> 32) * 10 + (low >> 32);
        buf[n++] = static_cast<char>('0' + (high >> 32));
        fraction = (high << 32) | (low & 0xFFFFFFFFu);
    }
    return emitText(out, size, length, buf, n);
}

int scpi_kr_pow2str(const KrPow *pow, char *out, int size, int *length) {
    return scpi_kr_pow2strf(pow, 0, out, size, length);
}

int scpi_kr_pow2strf(const KrPow *pow, int flags, char *out, int size, int *length) {
    if (pow == nullptr) return emitText(out, size, length, "0", 1);
    double value = *pow;
    if (!(flags & SCPI_FORMAT_DEVICE_UNITS)) {
        int r = scpi_kr_pow_unit_dev2user(pow, &value);
        if (r != 0) {
            if (size > 0) out[0] = '\0';
            if (length != nullptr) *length = 0;
            return r;
        }
    }
    return (flags & SCPI_FORMAT_TWO_DECIMALS) ? emitf(out, size, length, "%.2f", value)
                                              : emitf(out, size, length, "%f", value);
}

int scpi_kr_time2str(const KrTime *time, char *out, int size, int *length) {
    return scpi_kr_time2strf(time, 0, out, size, length);
}

int scpi_kr_time2strf(const KrTime *time, int flags, char *out, int size, int *length) {
    if (time == nullptr) return emitText(out, size, length, "0.0", 3);
    return doubleFormat(*time, flags & SCPI_FORMAT_FIXED, out, size, length);
}

int scpi_kr_angle2str(const KrAngle *angle, char *out, int size, int *length) {
    return scpi_kr_angle2strf(angle, SCPI_FORMAT_FIXED, out, size, length);
}

int scpi_kr_angle2strf(const KrAngle *angle, int flags, char *out, int size, int *length) {
    if (angle == nullptr) return emitText(out, size, length, "0.0", 3);
    return doubleFormat(*angle, flags & SCPI_FORMAT_FIXED, out, size, length);
}

int scpi_double2str(double value, char *out, int size, int *length) {
    return doubleFormat(value, true, out, size, length);
}

int scpi_double2strf(double value, int flags, char *out, int size, int *length) {
    return doubleFormat(value, flags & SCPI_FORMAT_FIXED, out, size, length);
}

int scpi_float2str(float value, char *out, int size, int *length) {
    return scpi_double2str(value, out, size, length);
}

int scpi_doubleArray2strf(const double *values, int count, int flags, char *out, int size,
                          int *length) {
    if (size <= 0) return queryError(out, size, length);
    int used = 0;
    out[0] = '\0';
    for (int i = 0; i < count; i++) {
        if (i > 0) {
            if (emitText(out + used, size - used, nullptr, ", ", 2) != 0)
                return queryError(out, size, length);
            used += 2;
        }
        int n = 0;
        if (doubleFormat(values[i], flags & SCPI_FORMAT_FIXED, out + used, size - used, &n) != 0)
            return queryError(out, size, length);
        used += n;
    }
    if (length != nullptr) *length = used;
    return 0;
}

int scpi_int2str(int32_t value, char *out, int size, int *length) {
    return emitf(out, size, length, "%d", value);
}

int scpi_uint2str(uint32_t value, char *out, int size, int *length) {
    return emitf(out, size, length, "%u", value);
}

int scpi_ulint2str(uint64_t value, char *out, int size, int *length) {
    return emitf(out, size, length, "%llu", static_cast<unsigned long long>(value));
}

int scpi_bool2str(int flag, char *out, int size, int *length) {
    return emitf(out, size, length, "%d", flag != 0 ? 1 : 0);
}

int scpi_chararray2str(const char *text, char *out, int size, int *length) {
    return emitText(out, size, length, text, static_cast<int>(strnlen(text, INT_MAX)));
}

int scpi_buffer2str(const char *buffer, int bufferSize, char *out, int size, int *length) {
    return emitText(out, size, length, buffer,
                    static_cast<int>(strnlen(buffer, bufferSize > 0 ? bufferSize : 0)));
}
