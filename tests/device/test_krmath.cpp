#include "device/krmath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "platform/sim/int128.h"
#include "tests/support/param_name.h"

namespace {

using u128 = kr_u128;

constexpr double kPi = M_PI;

// ---------------------------------------------------------------------------------------
// Angles.

struct AngleRow {
    double in;
    double into2pi;
    double intoPlusMinusPi;
};

class KrMathAngleRows : public ::testing::TestWithParam<AngleRow> {};

TEST_P(KrMathAngleRows, Fit) {
    EXPECT_NEAR(krmath_fitAngleInto2rad(GetParam().in), GetParam().into2pi, 1e-12);
    EXPECT_NEAR(krmath_fitAngleIntoPlusMinusPiRad(GetParam().in), GetParam().intoPlusMinusPi,
                1e-12);
}

INSTANTIATE_TEST_SUITE_P(Angles, KrMathAngleRows,
                         ::testing::Values(AngleRow{-kPi / 2, 3 * kPi / 2, -kPi / 2},
                                           AngleRow{0, 0, 0}, AngleRow{kPi / 2, kPi / 2, kPi / 2},
                                           AngleRow{3 * kPi / 2, 3 * kPi / 2, -kPi / 2},
                                           AngleRow{2 * kPi, 0, 0}, AngleRow{-2 * kPi, 0, 0},
                                           AngleRow{7 * kPi + 0.25, kPi + 0.25, -kPi + 0.25},
                                           AngleRow{-7 * kPi + 0.25, kPi + 0.25, -kPi + 0.25},
                                           AngleRow{kPi, kPi, -kPi}),
                         [](const ::testing::TestParamInfo<AngleRow> &info) {
                             return paramNumber(info.param.in / kPi) + "Pi";
                         });

TEST(KrMathAngles, ResultAlwaysInsideHalfOpenRange) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> any(-1e4, 1e4);
    for (int i = 0; i < 100000; ++i) {
        // Exact multiples of 2 pi and their neighbours are where rounding escapes the range.
        double a =
            (i % 2) ? any(rng) : std::nextafter((i % 1000 - 500) * 2 * kPi, (double)(i % 3) - 1);
        double r = krmath_fitAngleInto2rad(a);
        ASSERT_GE(r, 0.0) << a;
        ASSERT_LT(r, 2 * kPi) << a;
        double turns = (a - r) / (2 * kPi);
        ASSERT_NEAR(turns, std::round(turns), 1e-9) << a;
        double p = krmath_fitAngleIntoPlusMinusPiRad(a);
        ASSERT_GE(p, -kPi) << a;
        ASSERT_LT(p, kPi) << a;
    }
}

// ---------------------------------------------------------------------------------------
// 32.32 factor.

struct FixedRow {
    double d;
    uint32_t integer, fraction;
};

class KrMathFixedRows : public ::testing::TestWithParam<FixedRow> {};

TEST_P(KrMathFixedRows, DoubleToU32U32Truncates) {
    KrFixedPointU32U32 q{7, 7};
    krmath_double2FixedPointU32U32(&q, GetParam().d);
    EXPECT_EQ(q.integer, GetParam().integer);
    EXPECT_EQ(q.fraction, GetParam().fraction);
}

INSTANTIATE_TEST_SUITE_P(Factors, KrMathFixedRows,
                         ::testing::Values(FixedRow{0.0, 0, 0}, FixedRow{-3.5, 0, 0},
                                           FixedRow{NAN, 0, 0}, FixedRow{2.5, 2, 0x80000000u},
                                           FixedRow{1.0 / 3.0, 0, 1431655765u},
                                           FixedRow{4294967295.75, 4294967295u, 0xC0000000u},
                                           FixedRow{4294967296.0, UINT32_MAX, UINT32_MAX},
                                           FixedRow{1e300, UINT32_MAX, UINT32_MAX}),
                         [](const ::testing::TestParamInfo<FixedRow> &info) {
                             return paramNumber(info.param.d);
                         });

// ---------------------------------------------------------------------------------------
// Rational approximation.

struct RationalRow {
    double x;
    uint32_t limit;
    int64_t num, den;
    int negative;
};

class KrMathRationalRows : public ::testing::TestWithParam<RationalRow> {};

TEST_P(KrMathRationalRows, BestFraction) {
    int64_t num = 99, den = 99;
    EXPECT_EQ(krmath_rationalApproximation(GetParam().x, GetParam().limit, &num, &den),
              GetParam().negative);
    EXPECT_EQ(num, GetParam().num);
    EXPECT_EQ(den, GetParam().den);
}

INSTANTIATE_TEST_SUITE_P(
    Fractions, KrMathRationalRows,
    ::testing::Values(RationalRow{0.5, 1000, 1, 2, 0}, RationalRow{-0.25, 1000, -1, 4, 1},
                      RationalRow{kPi, 1000, 355, 113, 0}, RationalRow{kPi, 100, 22, 7, 0},
                      RationalRow{0.0, 1000, 0, 1, 0}, RationalRow{3.0, 1000, 3, 1, 0},
                      RationalRow{0.7, 1, 0, 1, 0}, RationalRow{5000.4, 1000, 999, 1, 0},
                      RationalRow{1e-9, 1000, 0, 1, 0}, RationalRow{-2.0 / 3.0, 50, -2, 3, 1}),
    [](const ::testing::TestParamInfo<RationalRow> &info) {
        return paramNumber(info.param.x) + "_Limit" + std::to_string(info.param.limit);
    });

// The plain mediant search without the early stops, as the reference for them.
void stepwise(double x, int64_t limit, int64_t *num, int64_t *den) {
    double ax = std::fabs(x);
    int64_t ln = 0, ld = 1, un = 1, ud = 0, mn = 1, md = 1;
    while (mn < limit && md < limit) {
        if (ax * md > mn) {
            ln = mn, ld = md;
        } else {
            un = mn, ud = md;
        }
        mn = ln + un, md = ld + ud;
    }
    *num = ln, *den = ld;
    if (ud != 0 && ax - (double)ln / ld > (double)un / ud - ax) *num = un, *den = ud;
    if (x < 0) *num = -*num;
}

TEST(KrMathRational, MatchesStepwiseSearchAndIsBestWithinLimit) {
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> any(-20.0, 20.0);
    for (int i = 0; i < 20000; ++i) {
        double x =
            (i % 4 == 0) ? (double)(int)(rng() % 40 - 20) / (double)(rng() % 30 + 1) : any(rng);
        uint32_t limit = 2 + rng() % 300;
        int64_t num, den, rn, rd;
        krmath_rationalApproximation(x, limit, &num, &den);
        stepwise(x, limit, &rn, &rd);
        ASSERT_EQ(num, rn) << x << " limit " << limit;
        ASSERT_EQ(den, rd) << x << " limit " << limit;
        ASSERT_LT(std::llabs(num), (int64_t)limit);
        ASSERT_LT(den, (int64_t)limit);
        // No fraction with both parts below the limit comes closer.
        double err = std::fabs(std::fabs(x) - (double)std::llabs(num) / den);
        for (int64_t q = 1; q < limit; ++q) {
            double p = std::floor(std::fabs(x) * q);
            for (double c : {p, p + 1}) {
                if (c >= limit) continue;
                ASSERT_GE(std::fabs(std::fabs(x) - c / q), err - 1e-12)
                    << x << " " << c << "/" << q;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Two-stage distribution.

struct DistributeRow {
    int v, lo, hi, a, b;
};

class KrMathDistributeRows : public ::testing::TestWithParam<DistributeRow> {};

TEST_P(KrMathDistributeRows, Split) {
    int a = -1, b = -1;
    krmath_distributeValue2(GetParam().v, GetParam().lo, GetParam().hi, &a, &b);
    EXPECT_EQ(a, GetParam().a);
    EXPECT_EQ(b, GetParam().b);
}

INSTANTIATE_TEST_SUITE_P(
    Splits, KrMathDistributeRows,
    ::testing::Values(DistributeRow{10, 2, 8, 6, 4}, DistributeRow{17, 2, 8, 8, 8},
                      DistributeRow{1, 2, 8, 1, 0}, DistributeRow{2, 2, 8, 2, 0},
                      DistributeRow{3, 2, 8, 2, 1}, DistributeRow{13, 2, 8, 7, 6},
                      DistributeRow{14, 2, 8, 8, 6}, DistributeRow{16, 2, 8, 8, 8},
                      DistributeRow{0, 0, 30, 0, 0}, DistributeRow{31, 0, 30, 15, 16}),
    [](const ::testing::TestParamInfo<DistributeRow> &info) {
        return std::to_string(info.param.v) + "_In" + std::to_string(info.param.lo) + "To" +
               std::to_string(info.param.hi);
    });

TEST(KrMathDistribute, StagesSumUpAndStayWithinLimits) {
    for (int lo = 0; lo <= 6; ++lo) {
        for (int hi = lo; hi <= 20; ++hi) {
            for (int v = 0; v <= 2 * hi + 3; ++v) {
                int a, b;
                krmath_distributeValue2(v, lo, hi, &a, &b);
                ASSERT_EQ(a + b, std::min(v, 2 * hi)) << v << " " << lo << " " << hi;
                ASSERT_LE(a, hi);
                ASSERT_LE(b, hi);
                ASSERT_GE(b, 0);
                if (v >= lo && v < 2 * hi - lo) {
                    ASSERT_TRUE(a - b == lo || a - b == lo - 1);
                }
            }
        }
    }
}

// ---------------------------------------------------------------------------------------
// Fast sine and small helpers.

TEST(KrMathFastSin, WithinTwoTenThousandthsOfSine) {
    EXPECT_EQ(krmath_fastSin4(0.0f), 0.0f);
    float worst = 0;
    for (int i = -400000; i <= 400000; ++i) {
        float x = (float)i * 1e-4f;
        float err = std::fabs(krmath_fastSin4(x) - (float)std::sin((double)x));
        worst = std::max(worst, err);
        ASSERT_LT(err, 2e-4f) << x;
        ASSERT_EQ(krmath_fastSin4(-x), -krmath_fastSin4(x)) << x;
    }
    EXPECT_GT(worst, 1e-5f);  // the polynomial's own error is expected, not a bit-exact sine
    // The 28-bit phase scale is truncated (42722828 for 42722829.7), so the error grows
    // with the argument; a few hundred radians stay well inside the tolerance.
    for (float x : {100.0f, -1000.5f}) {
        EXPECT_NEAR(krmath_fastSin4(x), std::sin((double)x), 3e-4) << x;
    }
    // Beyond the 64-bit phase range the argument is reduced first: bounded, no overflow.
    for (float x : {3e12f, -7e20f, 3e38f}) {
        EXPECT_LE(std::fabs(krmath_fastSin4(x)), 1.0f) << x;
    }
    EXPECT_TRUE(std::isnan(krmath_fastSin4(INFINITY)));
    EXPECT_TRUE(std::isnan(krmath_fastSin4(NAN)));
}

TEST(KrMathSmall, Log2MinMax) {
    EXPECT_NEAR(krmath_log2(8.0), 3.0, 1e-14);
    EXPECT_EQ(krmath_log2(1.0), 0.0);
    EXPECT_NEAR(krmath_log2(0.125), -3.0, 1e-14);
    EXPECT_EQ(krmath_min(-3, 2), -3);
    EXPECT_EQ(krmath_max(-3, 2), 2);
    EXPECT_EQ(krmath_min(INT32_MIN, INT32_MAX), INT32_MIN);
}

// ---------------------------------------------------------------------------------------
// Multi-word integers against the compiler's 128-bit type.

u128 get128(const uint32_t *w) {
    return (u128)w[0] | (u128)w[1] << 32 | (u128)w[2] << 64 | (u128)w[3] << 96;
}

void put128(uint32_t *w, u128 v) {
    for (int i = 0; i < 4; ++i)
        w[i] = (uint32_t)(v >> (32 * i));
}

class Words {
  public:
    explicit Words(uint64_t seed) : rng_(seed) {}
    u128 next() {
        u128 v = (u128)rng_() << 64 | rng_();
        switch (rng_() % 6) {
            case 0:
                return ~(u128)0 - (rng_() % 3);
            case 1:
                return rng_() % 3;
            case 2:
                return v >> (rng_() % 128);
            default:
                return v;
        }
    }

  private:
    std::mt19937_64 rng_;
};

TEST(KrMathWords, Mul64MatchesReference) {
    Words w(13);
    for (int i = 0; i < 100000; ++i) {
        uint64_t a = (uint64_t)w.next(), b = (uint64_t)(w.next() >> 64);
        uint32_t out[4];
        krmath_mul_uint64(out, a, b);
        ASSERT_TRUE(get128(out) == (u128)a * b);
    }
}

TEST(KrMathWords, AddSubNegateCompareMatchReference) {
    Words w(14);
    for (int i = 0; i < 100000; ++i) {
        u128 x = w.next(), y = (i % 5 == 0) ? x : w.next();
        uint32_t a[4], b[4], out[4];
        put128(a, x);
        put128(b, y);
        ASSERT_EQ(krmath_add_uint128(out, a, b), (x + y < x) ? 1u : 0u);
        ASSERT_TRUE(get128(out) == x + y);
        ASSERT_EQ(krmath_sub_uint128(out, a, b), x < y ? 1u : 0u);
        ASSERT_TRUE(get128(out) == x - y);
        krmath_negate_uint128(out, a);
        ASSERT_TRUE(get128(out) == 0 - x);
        ASSERT_EQ(krmath_compare_uint128(a, b), x > y ? 1 : (x < y ? -1 : 0));
        krmath_add_uint128(a, a, b);  // result in place of an operand
        ASSERT_TRUE(get128(a) == x + y);
    }
}

TEST(KrMathWords, ShiftsMatchReferenceAndMayWorkInPlace) {
    Words w(15);
    for (int i = 0; i < 20000; ++i) {
        u128 x = w.next();
        int n = i % 133;
        uint32_t a[4], out[4];
        put128(a, x);
        krmath_shiftRight_uint128(out, a, n);
        ASSERT_TRUE(get128(out) == (n < 128 ? x >> n : 0)) << n;
        krmath_shiftLeft_uint128(out, a, n);
        ASSERT_TRUE(get128(out) == (n < 128 ? x << n : 0)) << n;
        krmath_shiftRight_uint128(a, a, n);
        ASSERT_TRUE(get128(a) == (n < 128 ? x >> n : 0)) << n;
        put128(a, x);
        krmath_shiftLeft_uint128(a, a, n);
        ASSERT_TRUE(get128(a) == (n < 128 ? x << n : 0)) << n;
    }
}

TEST(KrMathWords, Mul128AndTwoHundredFiftySixBitHelpers) {
    Words w(16);
    for (int i = 0; i < 50000; ++i) {
        u128 x = w.next(), y = w.next();
        uint32_t a[4], b[4], p[8];
        put128(a, x);
        put128(b, y);
        krmath_mul_uint128(p, a, b);
        // Reference from four 64 x 64 products.
        u128 xl = (uint64_t)x, xh = x >> 64, yl = (uint64_t)y, yh = y >> 64;
        u128 ll = xl * yl, lh = xl * yh, hl = xh * yl, hh = xh * yh;
        u128 mid = (ll >> 64) + (uint64_t)lh + (uint64_t)hl;
        u128 low = (u128)(uint64_t)ll | mid << 64;
        u128 high = hh + (lh >> 64) + (hl >> 64) + (mid >> 64);
        ASSERT_TRUE(get128(p) == low);
        ASSERT_TRUE(get128(p + 4) == high);

        // p + (-p) is zero with a carry out of the top word unless p is zero.
        uint32_t neg[8], sum[8];
        krmath_negate_uint256(neg, p);
        uint32_t carry = krmath_add_uint256(sum, p, neg);
        ASSERT_TRUE(get128(sum) == 0 && get128(sum + 4) == 0);
        ASSERT_EQ(carry, (low == 0 && high == 0) ? 0u : 1u);
        // A carry crossing the middle of the 256-bit number.
        uint32_t one[8] = {1, 0, 0, 0, 0, 0, 0, 0}, full[8];
        put128(full, ~(u128)0);
        put128(full + 4, y);
        carry = krmath_add_uint256(sum, full, one);
        ASSERT_TRUE(get128(sum) == 0 && get128(sum + 4) == y + 1);
        ASSERT_EQ(carry, y == ~(u128)0 ? 1u : 0u);
    }
}

}  // namespace
