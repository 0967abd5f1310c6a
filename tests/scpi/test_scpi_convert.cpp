#include "scpi/scpi_convert.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>

#include "platform/sim/int128.h"
#include "scpi/scpi_errorcodes.h"
#include "tests/support/param_name.h"

namespace {

constexpr uint64_t HALF = 1ull << 63;

class ConvertTest : public testing::Test {
  protected:
    void SetUp() override { unitPower.selected = nullptr; }
    void TearDown() override { unitPower.selected = nullptr; }
};

// --- Normalised decimal text ---

struct DecRow {
    const char *text;
    const ScpiUnitTable *table;
    int result;
    const char *normalised;
};

class StdDec : public testing::TestWithParam<DecRow> {};

TEST_P(StdDec, NormalisesOrRejects) {
    const DecRow &row = GetParam();
    char out[SCPI_STDDEC_SIZE];
    EXPECT_EQ(scpi_str2stddecstr(row.text, row.table, 0, nullptr, out, sizeof out), row.result)
        << "'" << row.text << "'";
    if (row.result == 0) {
        EXPECT_STREQ(out, row.normalised) << row.text;
    }
}

const std::string nines39(39, '9');
const std::string plusNines39 = "+" + nines39 + ".";

INSTANTIATE_TEST_SUITE_P(
    Texts, StdDec,
    testing::Values(DecRow{"1e9", nullptr, 0, "+1000000000."},
                    DecRow{"1GHz", &unitFrequency, 0, "+1000000000."},
                    DecRow{"1.5 kHz", &unitFrequency, 0, "+1500."},
                    DecRow{"-0.5", nullptr, 0, "-0.5"},
                    DecRow{"000123.4500", nullptr, 0, "+123.45"},
                    DecRow{"0.001e3", nullptr, 0, "+1."}, DecRow{"1.5e-3", nullptr, 0, "+0.0015"},
                    DecRow{".5", nullptr, 0, "+0.5"}, DecRow{"5.", nullptr, 0, "+5."},
                    DecRow{"+7", nullptr, 0, "+7."}, DecRow{"-0", nullptr, 0, "+0."},
                    DecRow{"  12  ", nullptr, 0, "+12."}, DecRow{"1E+2", nullptr, 0, "+100."},
                    DecRow{"3 ms", &unitTime, 0, "+0.003"},
                    // Decibel multiples are left to the caller.
                    DecRow{"-3 dBuV", &unitPower, 0, "-3."},
                    // The 39-digit limit counts integer digits after exponent and unit.
                    DecRow{"1e38", nullptr, 0, "+100000000000000000000000000000000000000."},
                    DecRow{nines39.c_str(), nullptr, 0, plusNines39.c_str()},
                    DecRow{"0.05e40", nullptr, 0, "+500000000000000000000000000000000000000."},
                    DecRow{"1e39", nullptr, KR_E_DATA_OUT_OF_RANGE, ""},
                    DecRow{"1e30GHz", &unitFrequency, KR_E_DATA_OUT_OF_RANGE, ""},
                    DecRow{"1e999", nullptr, KR_E_DATA_OUT_OF_RANGE, ""},
                    DecRow{"1e99999999999999999999", nullptr, KR_E_DATA_OUT_OF_RANGE, ""},
                    DecRow{"1e-999", nullptr, 0, "+0."}, DecRow{"0e999", nullptr, 0, "+0."},
                    DecRow{"1e-99999999999999999999", nullptr, 0, "+0."},
                    // Fraction digits beyond 41 are dropped.
                    DecRow{"0.1234567890123456789012345678901234567890123456789", nullptr, 0,
                           "+0.12345678901234567890123456789012345678901"},
                    // Malformed.
                    DecRow{"1.2.3", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"1e5e3", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"1e", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"1e+", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"e5", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"   ", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"-", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{".", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"--1", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"1 000", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"1e 5", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"1e5.0", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"0x10", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"1,5", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"NAN", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"INF", nullptr, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"1.5.GHz", &unitFrequency, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    DecRow{"GHz", &unitFrequency, KR_E_ILLEGAL_PARAMETER_VALUE, ""},
                    // With a unit table trailing letters are a suffix.
                    DecRow{"NAN", &unitFrequency, KR_E_INVALID_SUFFIX, ""},
                    DecRow{"1THz", &unitFrequency, KR_E_INVALID_SUFFIX, ""}),
    [](const testing::TestParamInfo<DecRow> &info) {
        return paramText(info.param.text) + (info.param.table ? "_WithUnits" : "");
    });

TEST(StdDec, SmallBufferIsTooMuchData) {
    char out[5];
    EXPECT_EQ(scpi_str2stddecstr("123456", nullptr, 0, nullptr, out, sizeof out),
              KR_E_TOO_MUCH_DATA);
    EXPECT_STREQ(out, "");
}

// --- Frequencies ---

struct FreqRow {
    const char *text;
    int result;
    int64_t integer;
    uint64_t fraction;
};

class FreqParse : public testing::TestWithParam<FreqRow> {};

TEST_P(FreqParse, ExactValueOrError) {
    const FreqRow &row = GetParam();
    KrFreq f = {123, 456};
    EXPECT_EQ(scpi_str2kr_freq(row.text, &f), row.result) << "'" << row.text << "'";
    if (row.result == 0) {
        EXPECT_EQ(f.integer, row.integer) << row.text;
        EXPECT_EQ(f.fraction, row.fraction) << row.text;
    } else {
        EXPECT_EQ(f.integer, 123) << "a failed parse leaves the value alone";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, FreqParse,
    testing::Values(
        FreqRow{"1GH", 0, 1000000000, 0}, FreqRow{"1GHz", 0, 1000000000, 0},
        FreqRow{"1 ghz", 0, 1000000000, 0}, FreqRow{"1e9", 0, 1000000000, 0},
        FreqRow{"1MH", 0, 1000000, 0}, FreqRow{"1MAHz", 0, 1000000, 0},
        FreqRow{"1000 kHz", 0, 1000000, 0}, FreqRow{"5.", 0, 5, 0},
        FreqRow{"1.GHz", 0, 1000000000, 0}, FreqRow{"2.5", 0, 2, HALF},
        FreqRow{"0.25", 0, 0, HALF >> 1}, FreqRow{"-0.5", 0, -1, HALF}, FreqRow{"-3", 0, -3, 0},
        FreqRow{"-0", 0, 0, 0},
        // 2^64 / 10 = 1844674407370955161.6, rounded to nearest.
        FreqRow{"0.1", 0, 0, 1844674407370955162ull},
        // 1e-9 * 2^64 = 18446744073.709551616: the last digit survives, no double involved.
        FreqRow{"1.000000000000000001 GHz", 0, 1000000000, 18446744074ull},
        FreqRow{"0.00000000000000000001", 0, 0, 0},
        FreqRow{"0.99999999999999999999", 0, 1, 0},  // rounds up into the integer part
        FreqRow{"0.999999999999999999999999", 0, 1, 0}, FreqRow{"1e-21", 0, 0, 0},
        FreqRow{"9223372036854775807", 0, INT64_MAX, 0},
        FreqRow{"-9223372036854775808", 0, INT64_MIN, 0},
        FreqRow{"9223372036854775807.5", 0, INT64_MAX, HALF},
        FreqRow{"9223372036854775807.99999999999999999999", KR_E_DATA_OUT_OF_RANGE, 0, 0},
        FreqRow{"9223372036854775808", KR_E_DATA_OUT_OF_RANGE, 0, 0},
        FreqRow{"-9223372036854775808.5", KR_E_DATA_OUT_OF_RANGE, 0, 0},
        FreqRow{"99999999999999999999", KR_E_DATA_OUT_OF_RANGE, 0, 0},
        FreqRow{"1e19", KR_E_DATA_OUT_OF_RANGE, 0, 0},
        FreqRow{"1e999", KR_E_DATA_OUT_OF_RANGE, 0, 0}, FreqRow{"1THz", KR_E_INVALID_SUFFIX, 0, 0},
        FreqRow{"NAN", KR_E_INVALID_SUFFIX, 0, 0}, FreqRow{"INF", KR_E_INVALID_SUFFIX, 0, 0},
        FreqRow{"1.5.GHz", KR_E_ILLEGAL_PARAMETER_VALUE, 0, 0},
        FreqRow{"1 000 Hz", KR_E_ILLEGAL_PARAMETER_VALUE, 0, 0},
        FreqRow{"", KR_E_ILLEGAL_PARAMETER_VALUE, 0, 0}),
    [](const testing::TestParamInfo<FreqRow> &info) { return paramText(info.param.text); });

struct FreqTextRow {
    int64_t integer;
    uint64_t fraction;
    const char *text;
};

class FreqFormat : public testing::TestWithParam<FreqTextRow> {};

TEST_P(FreqFormat, TwentyTruncatedDigits) {
    KrFreq f = {GetParam().integer, GetParam().fraction};
    char out[64];
    int length = 0;
    ASSERT_EQ(scpi_kr_freq2str(&f, out, sizeof out, &length), 0);
    EXPECT_STREQ(out, GetParam().text);
    EXPECT_EQ(length, static_cast<int>(strlen(GetParam().text)));
}

INSTANTIATE_TEST_SUITE_P(
    Values, FreqFormat,
    testing::Values(FreqTextRow{1, 0, "1.00000000000000000000"},
                    FreqTextRow{2, HALF, "2.50000000000000000000"},
                    FreqTextRow{-1, HALF, "-0.50000000000000000000"},
                    FreqTextRow{-3, 0, "-3.00000000000000000000"},
                    FreqTextRow{0, 1, "0.00000000000000000005"},
                    FreqTextRow{0, UINT64_MAX, "0.99999999999999999994"},
                    FreqTextRow{-1, 1, "-0.99999999999999999994"},
                    FreqTextRow{10000000000, 3 * (HALF >> 1), "10000000000.75000000000000000000"},
                    FreqTextRow{INT64_MIN, 0, "-9223372036854775808.00000000000000000000"},
                    FreqTextRow{INT64_MAX, UINT64_MAX, "9223372036854775807.99999999999999999994"}),
    [](const testing::TestParamInfo<FreqTextRow> &info) { return paramText(info.param.text); });

// The magnitude of a frequency as integer hertz and fraction plus a carry bit.
void magnitude(const KrFreq &f, uint64_t *integer, uint64_t *fraction) {
    *integer = static_cast<uint64_t>(f.integer);
    *fraction = f.fraction;
    if (f.integer < 0) {
        *integer = 0 - *integer - (*fraction != 0 ? 1 : 0);
        *fraction = 0 - *fraction;
    }
}

// Any value printed and read back is the same value: the text is truncated to 20 digits, less
// than 0.19 ulp (10^-20 Hz against 2^-64 Hz) below the value, and reading rounds to nearest.
TEST(FreqRoundTrip, ValueToTextToValueIsIdentity) {
    std::mt19937_64 rng(42);
    for (int i = 0; i < 20000; i++) {
        KrFreq f = {static_cast<int64_t>(rng()), rng()};
        if (i % 3 == 1) f.integer %= 100000000000;  // also ordinary magnitudes
        if (i % 7 == 2) f.fraction >>= rng() % 64;
        char text[64];
        ASSERT_EQ(scpi_kr_freq2str(&f, text, sizeof text, nullptr), 0);
        KrFreq back = {0, 0};
        ASSERT_EQ(scpi_str2kr_freq(text, &back), 0) << text;
        ASSERT_EQ(back.integer, f.integer) << text;
        ASSERT_EQ(back.fraction, f.fraction) << text;
    }
}

// A text with 20 fraction digits has no exact binary value in general (10^20 texts per hertz,
// 2^64 values). Reading it gives the nearest value: |value - text| <= 2^-65 Hz; printing that
// value again gives a text at most 3 units of the 20th digit below or 2 above the original.
TEST(FreqRoundTrip, TextToValueIsNearestAndPrintsBackWithinThreeDigits) {
    constexpr kr_u128 FIVE_POW_20 = 95367431640625ull;
    std::mt19937_64 rng(7);
    for (int i = 0; i < 20000; i++) {
        uint64_t integer = rng() % 1000000000000000000ull;
        if (i % 2 == 0) integer %= 100000000000ull;
        uint64_t hi = rng() % 10000000000ull, lo = rng() % 10000000000ull;
        if (i % 5 == 0) hi = 9999999999ull;  // near the next hertz
        bool negative = i % 3 == 0;
        char text[64];
        snprintf(text, sizeof text, "%s%llu.%010llu%010llu", negative ? "-" : "",
                 static_cast<unsigned long long>(integer), static_cast<unsigned long long>(hi),
                 static_cast<unsigned long long>(lo));
        KrFreq f;
        ASSERT_EQ(scpi_str2kr_freq(text, &f), 0) << text;
        EXPECT_EQ(f.integer < 0, negative && (integer != 0 || hi != 0 || lo != 0));

        uint64_t mi, mf;
        magnitude(f, &mi, &mf);
        ASSERT_LE(mi - integer, 1u) << text;  // a carry from rounding at most
        kr_u128 d = static_cast<kr_u128>(hi) * 10000000000ull + lo;
        // |(carry * 2^64 + mf) - d * 2^64 / 10^20| <= 1/2, scaled by 2 * 5^20.
        kr_u128 value = ((static_cast<kr_u128>(mi - integer) << 64) + mf) * 2 * FIVE_POW_20;
        kr_u128 exact = d << 45;
        kr_u128 diff = value > exact ? value - exact : exact - value;
        ASSERT_LE(diff, FIVE_POW_20) << text;

        char again[64];
        ASSERT_EQ(scpi_kr_freq2str(&f, again, sizeof again, nullptr), 0);
        unsigned long long ai = 0, ah = 0, al = 0;
        const char *p = again + (again[0] == '-' ? 1 : 0);
        ASSERT_EQ(sscanf(p, "%llu.%10llu%10llu", &ai, &ah, &al), 3) << again;
        kr_i128 before = static_cast<kr_i128>(integer);
        before = before * 10000000000 * 10000000000 + static_cast<kr_i128>(d);
        kr_i128 after = static_cast<kr_i128>(ai);
        after = after * 10000000000 * 10000000000 + static_cast<kr_i128>(ah) * 10000000000 + al;
        ASSERT_GE(after - before, -3) << text << " -> " << again;
        ASSERT_LE(after - before, 2) << text << " -> " << again;
    }
}

// --- Powers, times, angles, ratios ---

struct PowRow {
    const char *text;
    int result;
    float dBm;
};

class PowParse : public ConvertTest, public testing::WithParamInterface<PowRow> {};

TEST_P(PowParse, InDbm) {
    KrPow p = 1234.0f;
    EXPECT_EQ(scpi_str2kr_pow(GetParam().text, &p, 0), GetParam().result) << GetParam().text;
    if (GetParam().result == 0)
        EXPECT_NEAR(p, GetParam().dBm, 1e-4) << GetParam().text;
    else
        EXPECT_EQ(p, 1234.0f);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, PowParse,
    testing::Values(
        PowRow{"10", 0, 10.0f}, PowRow{"10 dBm", 0, 10.0f}, PowRow{"10DM", 0, 10.0f},
        PowRow{"-3 dB", 0, 27.0f}, PowRow{"1 W", 0, 30.0f}, PowRow{"1 mW", 0, 0.0f},
        PowRow{"1uW", 0, -30.0f}, PowRow{"1 V", 0, 13.0103f}, PowRow{"0 dBuV", 0, -106.9897f},
        PowRow{"100 mA", 0, 26.9897f}, PowRow{"0 W", KR_E_DATA_OUT_OF_RANGE, 0},
        PowRow{"-1 W", KR_E_DATA_OUT_OF_RANGE, 0}, PowRow{"3.5e38 dBm", KR_E_DATA_OUT_OF_RANGE, 0},
        PowRow{"1e40", KR_E_DATA_OUT_OF_RANGE, 0}, PowRow{"NAN", KR_E_INVALID_SUFFIX, 0},
        PowRow{"INF", KR_E_INVALID_SUFFIX, 0}, PowRow{"10 dBx", KR_E_INVALID_SUFFIX, 0},
        PowRow{"", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
        PowRow{"1 0 dBm", KR_E_ILLEGAL_PARAMETER_VALUE, 0}),
    [](const testing::TestParamInfo<PowRow> &info) { return paramText(info.param.text); });

TEST_F(ConvertTest, BarePowerFollowsSelectedUnit) {
    KrPow p = 0;
    ASSERT_EQ(scpi_unit_setPowerUnit("W"), 0);
    ASSERT_EQ(scpi_str2kr_pow("10", &p, 0), 0);
    EXPECT_NEAR(p, 40.0f, 1e-5);
    ASSERT_EQ(scpi_str2kr_pow("10", &p, SCPI_SUFFIX_BASE_UNIT), 0);
    EXPECT_NEAR(p, 10.0f, 1e-5);
    ASSERT_EQ(scpi_str2kr_pow("10 dBm", &p, 0), 0);
    EXPECT_NEAR(p, 10.0f, 1e-5);
}

TEST_F(ConvertTest, PowerAnswersInSelectedUnit) {
    KrPow p = 0.0f;
    char out[32];
    ASSERT_EQ(scpi_kr_pow2str(&p, out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "0.000000");
    ASSERT_EQ(scpi_unit_setPowerUnit("dBuV"), 0);
    ASSERT_EQ(scpi_kr_pow2str(&p, out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "106.989700");
    ASSERT_EQ(scpi_unit_setPowerUnit("W"), 0);
    ASSERT_EQ(scpi_kr_pow2str(&p, out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "0.001000");
    p = -3.456f;
    ASSERT_EQ(scpi_kr_pow2strf(&p, SCPI_FORMAT_DEVICE_UNITS | SCPI_FORMAT_TWO_DECIMALS, out,
                               sizeof out, nullptr),
              0);
    EXPECT_STREQ(out, "-3.46");
    ASSERT_EQ(scpi_kr_pow2strf(&p, SCPI_FORMAT_DEVICE_UNITS, out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "-3.456000");
    ASSERT_EQ(scpi_kr_pow2str(nullptr, out, sizeof out, nullptr), 0);
    EXPECT_STREQ(out, "0");
}

struct DoubleRow {
    std::function<int(const char *, double *)> parse;
    const char *text;
    int result;
    double value;
};

class DoubleParse : public ConvertTest, public testing::WithParamInterface<DoubleRow> {};

TEST_P(DoubleParse, ValueOrError) {
    double v = -777.0;
    EXPECT_EQ(GetParam().parse(GetParam().text, &v), GetParam().result) << GetParam().text;
    if (GetParam().result == 0)
        EXPECT_DOUBLE_EQ(v, GetParam().value) << GetParam().text;
    else
        EXPECT_EQ(v, -777.0);
}

const auto asTime = [](const char *t, double *v) { return scpi_str2kr_time(t, v); };
const auto asAngle = [](const char *t, double *v) { return scpi_str2kr_angle(t, v); };
const auto asRatio = [](const char *t, double *v) { return scpi_str2ratio(t, v); };
const auto asDouble = [](const char *t, double *v) { return scpi_str2double(t, v); };
const auto asFloat = [](const char *t, double *v) {
    float f = 0;
    int r = scpi_str2float(t, &f);
    if (r == 0) *v = f;
    return r;
};
const auto asDbV = [](const char *t, double *v) { return scpi_str2double_unit(t, v, &unitPower); };

INSTANTIATE_TEST_SUITE_P(
    Texts, DoubleParse,
    testing::Values(DoubleRow{asTime, "1ms", 0, 0.001}, DoubleRow{asTime, "1 us", 0, 1e-6},
                    DoubleRow{asTime, "5 fs", 0, 5e-15}, DoubleRow{asTime, "2", 0, 2.0},
                    DoubleRow{asTime, "1e-3 s", 0, 0.001},
                    DoubleRow{asTime, "1 min", KR_E_INVALID_SUFFIX, 0},
                    DoubleRow{asAngle, "180 deg", 0, M_PI}, DoubleRow{asAngle, "1 rad", 0, 1.0},
                    DoubleRow{asAngle, "90", 0, 90.0},
                    DoubleRow{asAngle, "1 grad", KR_E_INVALID_SUFFIX, 0},
                    DoubleRow{asRatio, "5 PCT", 0, 0.05}, DoubleRow{asRatio, "5PPM", 0, 5e-6},
                    DoubleRow{asRatio, "0.5", 0, 0.5},
                    DoubleRow{asRatio, "5%", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                    DoubleRow{asDbV, "1 mW", 0, 0.001}, DoubleRow{asDbV, "0 dBuV", 0, -120.0},
                    DoubleRow{asDbV, "3 dBm", 0, -27.0}, DoubleRow{asDouble, "1.5", 0, 1.5},
                    DoubleRow{asDouble, "0.1", 0, 0.1}, DoubleRow{asDouble, "-2.5e2", 0, -250.0},
                    DoubleRow{asDouble, "1e38", 0, 1e38}, DoubleRow{asDouble, "1e-50", 0, 1e-50},
                    DoubleRow{asDouble, "3.5e38", 0, 3.5e38},
                    DoubleRow{asDouble, "1e39", KR_E_DATA_OUT_OF_RANGE, 0},
                    DoubleRow{asDouble, "1e999", KR_E_DATA_OUT_OF_RANGE, 0},
                    DoubleRow{asDouble, "NAN", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                    DoubleRow{asDouble, "INF", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                    DoubleRow{asDouble, "-inf", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                    DoubleRow{asDouble, "1 Hz", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                    DoubleRow{asDouble, "", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                    DoubleRow{asFloat, "1.5", 0, 1.5}, DoubleRow{asFloat, "3e38", 0, 3e38f},
                    DoubleRow{asFloat, "3.5e38", KR_E_DATA_OUT_OF_RANGE, 0},
                    DoubleRow{asFloat, "-3.5e38", KR_E_DATA_OUT_OF_RANGE, 0}),
    [](const testing::TestParamInfo<DoubleRow> &info) {
        // The same text goes to more than one parser: the row number keeps them apart.
        return paramText(info.param.text) + "_Row" + std::to_string(info.index);
    });

// Doubles are correctly rounded: the same result as strtod on texts of every shape.
TEST(DoubleParse, AgreesWithStrtod) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> exponent(-30.0, 30.0);
    for (int i = 0; i < 5000; i++) {
        double x = std::pow(10.0, exponent(rng)) * (i % 2 ? -1 : 1);
        char text[64];
        snprintf(text, sizeof text, i % 3 ? "%.17g" : "%.25f", x);
        double v = 0;
        ASSERT_EQ(scpi_str2double(text, &v), 0) << text;
        ASSERT_EQ(v, strtod(text, nullptr)) << text;
    }
}

// --- Integers and booleans ---

struct IntRow {
    const char *text;
    int result;
    long long value;
};

class Int32Parse : public testing::TestWithParam<IntRow> {};
class Uint32Parse : public testing::TestWithParam<IntRow> {};

TEST_P(Int32Parse, ValueOrError) {
    int32_t v = 77;
    EXPECT_EQ(scpi_str2int(GetParam().text, &v), GetParam().result) << GetParam().text;
    EXPECT_EQ(v, GetParam().result == 0 ? GetParam().value : 77) << GetParam().text;
}

TEST_P(Uint32Parse, ValueOrError) {
    uint32_t v = 77;
    EXPECT_EQ(scpi_str2uint(GetParam().text, &v), GetParam().result) << GetParam().text;
    EXPECT_EQ(v, GetParam().result == 0 ? GetParam().value : 77) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Int32Parse,
    testing::Values(
        IntRow{"42", 0, 42}, IntRow{" -17 ", 0, -17}, IntRow{"2147483647", 0, INT32_MAX},
        IntRow{"-2147483648", 0, INT32_MIN}, IntRow{"2147483648", KR_E_DATA_OUT_OF_RANGE, 0},
        IntRow{"-2147483649", KR_E_DATA_OUT_OF_RANGE, 0}, IntRow{"1e3", 0, 1000},
        IntRow{"1.0", 0, 1}, IntRow{"1.50e1", 0, 15}, IntRow{"0.000", 0, 0},
        IntRow{"1.5", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
        IntRow{"15e-1", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
        IntRow{"abc", KR_E_ILLEGAL_PARAMETER_VALUE, 0}, IntRow{"", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
        IntRow{"1 2", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
        IntRow{"NAN", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
        IntRow{"INF", KR_E_ILLEGAL_PARAMETER_VALUE, 0}, IntRow{"1e999", KR_E_DATA_OUT_OF_RANGE, 0},
        IntRow{"99999999999999999999999", KR_E_DATA_OUT_OF_RANGE, 0}),
    [](const testing::TestParamInfo<IntRow> &info) { return paramText(info.param.text); });

INSTANTIATE_TEST_SUITE_P(Texts, Uint32Parse,
                         testing::Values(IntRow{"4294967295", 0, UINT32_MAX}, IntRow{"-0", 0, 0},
                                         IntRow{"65535", 0, 65535},
                                         IntRow{"4294967296", KR_E_DATA_OUT_OF_RANGE, 0},
                                         IntRow{"-1", KR_E_DATA_OUT_OF_RANGE, 0},
                                         IntRow{"1.5", KR_E_ILLEGAL_PARAMETER_VALUE, 0}),
                         [](const testing::TestParamInfo<IntRow> &info) {
                             return paramText(info.param.text);
                         });

TEST(Int64Parse, FullRangeAndBeyond) {
    int64_t s = 0;
    uint64_t u = 0;
    EXPECT_EQ(scpi_str2lint("-9223372036854775808", &s), 0);
    EXPECT_EQ(s, INT64_MIN);
    EXPECT_EQ(scpi_str2lint("9223372036854775807", &s), 0);
    EXPECT_EQ(s, INT64_MAX);
    EXPECT_EQ(scpi_str2lint("9223372036854775808", &s), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(scpi_str2lint("-9223372036854775809", &s), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(scpi_str2ulint("18446744073709551615", &u), 0);
    EXPECT_EQ(u, UINT64_MAX);
    EXPECT_EQ(scpi_str2ulint("18446744073709551616", &u), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(scpi_str2ulint("99999999999999999999", &u), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(scpi_str2ulint("-1", &u), KR_E_DATA_OUT_OF_RANGE);
    EXPECT_EQ(scpi_str2ulint("1e19", &u), 0);
    EXPECT_EQ(u, 10000000000000000000ull);
}

class BoolParse : public testing::TestWithParam<IntRow> {};

TEST_P(BoolParse, KeywordOrInteger) {
    int flag = 7;
    EXPECT_EQ(scpi_str2bool(GetParam().text, &flag), GetParam().result) << GetParam().text;
    EXPECT_EQ(flag, GetParam().result == 0 ? GetParam().value : 7) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, BoolParse,
                         testing::Values(IntRow{"ON", 0, 1}, IntRow{"on", 0, 1},
                                         IntRow{"OFF", 0, 0}, IntRow{"Off", 0, 0},
                                         IntRow{" ON ", 0, 1}, IntRow{"1", 0, 1}, IntRow{"0", 0, 0},
                                         IntRow{"5", 0, 1}, IntRow{"-1", 0, 1},
                                         IntRow{"ONN", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                                         IntRow{"OF", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                                         IntRow{"TRUE", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                                         IntRow{"", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                                         IntRow{"0.5", KR_E_ILLEGAL_PARAMETER_VALUE, 0},
                                         IntRow{"1e10", KR_E_DATA_OUT_OF_RANGE, 0}),
                         [](const testing::TestParamInfo<IntRow> &info) {
                             return paramText(info.param.text);
                         });

TEST(CharArray, CopiesWhatFitsAndRefusesTheRest) {
    char buf[6];
    EXPECT_EQ(scpi_str2chararray("hello", buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "hello");
    EXPECT_EQ(scpi_str2chararray("hello!", buf, sizeof buf), KR_E_TOO_MUCH_DATA);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(scpi_str2chararray("", buf, 0), KR_E_TOO_MUCH_DATA);
}

// --- Formatters ---

using Formatter = std::function<int(char *, int, int *)>;

struct FormatRow {
    const char *name;
    Formatter format;
    const char *text;
};

const KrFreq kFreq = {2, HALF};
const KrPow kPow = -3.5f;
const KrTime kTime = 1e-3;
const KrAngle kAngle = M_PI;
const double kValues[] = {1.0, 2.5};
const char kField[4] = {'A', 'B', 'C', 'D'};  // a full field without terminating zero

const FormatRow kFormats[] = {
    {"freq", [](char *o, int s, int *l) { return scpi_kr_freq2str(&kFreq, o, s, l); },
     "2.50000000000000000000"},
    {"pow", [](char *o, int s, int *l) { return scpi_kr_pow2str(&kPow, o, s, l); }, "-3.500000"},
    {"time", [](char *o, int s, int *l) { return scpi_kr_time2str(&kTime, o, s, l); },
     "1.000000E-03"},
    {"timeFixed",
     [](char *o, int s, int *l) { return scpi_kr_time2strf(&kTime, SCPI_FORMAT_FIXED, o, s, l); },
     "0.001000000"},
    {"timeNull", [](char *o, int s, int *l) { return scpi_kr_time2str(nullptr, o, s, l); }, "0.0"},
    {"angle", [](char *o, int s, int *l) { return scpi_kr_angle2str(&kAngle, o, s, l); },
     "3.141592654"},
    {"angleExp", [](char *o, int s, int *l) { return scpi_kr_angle2strf(&kAngle, 0, o, s, l); },
     "3.141593E+00"},
    {"double", [](char *o, int s, int *l) { return scpi_double2str(1.5, o, s, l); }, "1.500000000"},
    {"doubleExp", [](char *o, int s, int *l) { return scpi_double2strf(1.5, 0, o, s, l); },
     "1.500000E+00"},
    {"float", [](char *o, int s, int *l) { return scpi_float2str(0.25f, o, s, l); }, "0.250000000"},
    {"array",
     [](char *o, int s, int *l) {
         return scpi_doubleArray2strf(kValues, 2, SCPI_FORMAT_FIXED, o, s, l);
     },
     "1.000000000, 2.500000000"},
    {"arrayExp",
     [](char *o, int s, int *l) { return scpi_doubleArray2strf(kValues, 2, 0, o, s, l); },
     "1.000000E+00, 2.500000E+00"},
    {"int", [](char *o, int s, int *l) { return scpi_int2str(INT32_MIN, o, s, l); }, "-2147483648"},
    {"uint", [](char *o, int s, int *l) { return scpi_uint2str(UINT32_MAX, o, s, l); },
     "4294967295"},
    {"ulint", [](char *o, int s, int *l) { return scpi_ulint2str(UINT64_MAX, o, s, l); },
     "18446744073709551615"},
    {"bool", [](char *o, int s, int *l) { return scpi_bool2str(5, o, s, l); }, "1"},
    {"chararray", [](char *o, int s, int *l) { return scpi_chararray2str("abc", o, s, l); }, "abc"},
    {"buffer",
     [](char *o, int s, int *l) { return scpi_buffer2str(kField, sizeof kField, o, s, l); },
     "ABCD"},
};

class Formatters : public ConvertTest, public testing::WithParamInterface<FormatRow> {};

TEST_P(Formatters, ExactTextAndQueryErrorWhenTight) {
    const FormatRow &row = GetParam();
    const int need = static_cast<int>(strlen(row.text));
    char out[64];
    int length = -1;
    ASSERT_EQ(row.format(out, need + 1, &length), 0) << row.name;
    EXPECT_STREQ(out, row.text) << row.name;
    EXPECT_EQ(length, need) << row.name;
    EXPECT_EQ(row.format(out, need + 1, nullptr), 0) << "length is optional";
    for (int size = 0; size <= need; size++) {
        memset(out, 'x', sizeof out);
        length = -1;
        EXPECT_EQ(row.format(out, size, &length), KR_E_QUERY_ERROR) << row.name << " " << size;
        EXPECT_EQ(length, 0) << row.name;
        if (size > 0) {
            EXPECT_EQ(out[0], '\0') << row.name;
        }
        EXPECT_EQ(out[size], 'x') << row.name << " wrote past " << size;
    }
}

INSTANTIATE_TEST_SUITE_P(All, Formatters, testing::ValuesIn(kFormats),
                         [](const testing::TestParamInfo<FormatRow> &info) {
                             return std::string(info.param.name);
                         });

TEST(Formatters, EmptyArrayIsEmptyText) {
    char out[8] = "x";
    int length = -1;
    EXPECT_EQ(scpi_doubleArray2strf(kValues, 0, 0, out, sizeof out, &length), 0);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(length, 0);
}

}  // namespace
