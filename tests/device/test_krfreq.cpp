#include "device/krfreq.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "platform/sim/int128.h"
#include "tests/support/param_name.h"

// The references below use the compiler's 128-bit integers; the firmware code does not.
namespace {

using i128 = kr_i128;
using u128 = kr_u128;

constexpr uint64_t kHalf = (uint64_t)1 << 63;

i128 toI128(const KrFreq &f) {
    return (i128)(((u128)(uint64_t)f.integer << 64) | f.fraction);
}

KrFreq fromI128(i128 v) {
    return KrFreq{(int64_t)(uint64_t)((u128)v >> 64), (uint64_t)v};
}

// A row's frequency in a test name: "Minus2Hz", "5HzFrac8000000000000000".
std::string freqName(const KrFreq &f) {
    char fraction[24] = "";
    if (f.fraction)
        snprintf(fraction, sizeof(fraction), "Frac%llx", (unsigned long long)f.fraction);
    return (f.integer < 0 ? "Minus" + std::to_string(0 - (uint64_t)f.integer)
                          : std::to_string(f.integer)) +
           "Hz" + fraction;
}

bool sameFreq(const KrFreq &a, const KrFreq &b) {
    return a.integer == b.integer && a.fraction == b.fraction;
}

::testing::AssertionResult Equal128(const KrFreq &got, i128 want) {
    KrFreq w = fromI128(want);
    if (sameFreq(got, w)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "got " << got.integer << " + " << got.fraction << "/2^64, want " << w.integer << " + "
           << w.fraction << "/2^64";
}

// Fixed-seed values that dwell on the carry and borrow boundaries of both words.
class Values {
  public:
    explicit Values(uint64_t seed) : rng_(seed) {}

    uint64_t fraction() {
        uint64_t small = rng_() % 4;
        switch (rng_() % 6) {
            case 0:
                return small;
            case 1:
                return UINT64_MAX - small;
            case 2:
                return kHalf + small - 2;
            default:
                return rng_();
        }
    }

    int64_t integer() {
        int64_t small = (int64_t)(rng_() % 4);
        switch (rng_() % 8) {
            case 0:
                return INT64_MIN + small;
            case 1:
                return INT64_MAX - small;
            case 2:
                return small - 2;
            case 3:
                return (int64_t)(rng_() % 40000000000ull) - 20000000000ll;
            default:
                return (int64_t)rng_();
        }
    }

    KrFreq freq() { return KrFreq{integer(), fraction()}; }

    int32_t factor() {
        switch (rng_() % 5) {
            case 0:
                return INT32_MAX - (int32_t)(rng_() % 3);
            case 1:
                return (int32_t)(rng_() % 5);
            case 2:
                return INT32_MIN + (int32_t)(rng_() % 3);
            default:
                return (int32_t)rng_();
        }
    }

    uint32_t word() {
        return rng_() % 3 == 0 ? UINT32_MAX - (uint32_t)(rng_() % 3) : (uint32_t)rng_();
    }

  private:
    std::mt19937_64 rng_;
};

constexpr int kRounds = 200000;

// ---------------------------------------------------------------------------------------
// Behaviour at the documented corner cases.

TEST(KrFreqCorners, NegativeHalfHertz) {
    KrFreq f{-1, kHalf};
    EXPECT_EQ(krfreqNegative(&f), 1);
    KrFreq inv;
    krfreqInvert(&inv, &f);
    EXPECT_TRUE(sameFreq(inv, KrFreq{0, kHalf}));
    EXPECT_EQ(krfreqNegative(&inv), 0);
}

TEST(KrFreqCorners, InvertOfIntegralValueKeepsZeroFraction) {
    for (int64_t v : {(int64_t)1, (int64_t)-7, (int64_t)10000000000, INT64_MAX}) {
        KrFreq f{v, 0}, inv;
        krfreqInvert(&inv, &f);
        EXPECT_TRUE(sameFreq(inv, KrFreq{-v, 0})) << v;
    }
    KrFreq zero{0, 0}, inv;
    krfreqInvert(&inv, &zero);
    EXPECT_TRUE(sameFreq(inv, zero));
}

struct BinaryRow {
    KrFreq a, b, sum, difference;
    int compare;
};

class KrFreqBinaryRows : public ::testing::TestWithParam<BinaryRow> {};

TEST_P(KrFreqBinaryRows, AddSubtractCompare) {
    const BinaryRow &r = GetParam();
    KrFreq out;
    krfreqAdd(&out, &r.a, &r.b);
    EXPECT_TRUE(sameFreq(out, r.sum));
    krfreqSubtract(&out, &r.a, &r.b);
    EXPECT_TRUE(sameFreq(out, r.difference));
    EXPECT_EQ(krfreqCompare(&r.a, &r.b), r.compare);
    EXPECT_EQ(krfreqCompare(&r.b, &r.a), -r.compare);
}

INSTANTIATE_TEST_SUITE_P(
    Corners, KrFreqBinaryRows,
    ::testing::Values(
        // Fractions 2^63 + 2^63 carry one hertz; 0 - 1 borrows one.
        BinaryRow{{5, kHalf}, {7, kHalf}, {13, 0}, {-2, 0}, -1},
        BinaryRow{{3, 0}, {0, 1}, {3, 1}, {2, UINT64_MAX}, 1},
        BinaryRow{{1, 1}, {1, 0}, {2, 1}, {0, 1}, 1},
        BinaryRow{{-1, 0}, {0, kHalf}, {-1, kHalf}, {-2, kHalf}, -1},
        BinaryRow{{-1, kHalf}, {0, kHalf}, {0, 0}, {-1, 0}, -1},
        BinaryRow{{INT64_MAX, UINT64_MAX}, {0, 1}, {INT64_MIN, 0}, {INT64_MAX, UINT64_MAX - 1}, 1},
        BinaryRow{{42, 99}, {42, 99}, {84, 198}, {0, 0}, 0}),
    [](const ::testing::TestParamInfo<BinaryRow> &info) {
        return freqName(info.param.a) + "_" + freqName(info.param.b);
    });

struct MultiplyRow {
    KrFreq f;
    int32_t m;
    KrFreq product;
};

class KrFreqMultiplyRows : public ::testing::TestWithParam<MultiplyRow> {};

TEST_P(KrFreqMultiplyRows, MultiplyByInt32) {
    KrFreq out;
    krfreqMultiplyByInt32(&out, &GetParam().f, GetParam().m);
    EXPECT_TRUE(sameFreq(out, GetParam().product))
        << out.integer << " + " << out.fraction << "/2^64";
}

INSTANTIATE_TEST_SUITE_P(Corners, KrFreqMultiplyRows,
                         ::testing::Values(
                             // 10 GHz + 0.75 Hz times 4: the fraction carries exactly 3 Hz.
                             MultiplyRow{{10000000000, 3 * (kHalf / 2)}, 4, {40000000003, 0}},
                             MultiplyRow{{0, UINT64_MAX}, 2, {1, UINT64_MAX - 1}},
                             MultiplyRow{{-1, kHalf}, 3, {-2, kHalf}},
                             MultiplyRow{{123, 456}, 0, {0, 0}},
                             MultiplyRow{{2, kHalf}, -2, {-5, 0}}),
                         [](const ::testing::TestParamInfo<MultiplyRow> &info) {
                             return freqName(info.param.f) + "_Times" + paramNumber(info.param.m);
                         });

struct DivideRow {
    KrFreq f;
    int32_t d;
    KrFreq quotient;
};

class KrFreqDivideRows : public ::testing::TestWithParam<DivideRow> {};

TEST_P(KrFreqDivideRows, DivideByInt32TruncatesTowardZero) {
    KrFreq out;
    krfreqDivideByInt32(&out, &GetParam().f, GetParam().d);
    EXPECT_TRUE(sameFreq(out, GetParam().quotient))
        << out.integer << " + " << out.fraction << "/2^64";
}

INSTANTIATE_TEST_SUITE_P(
    Corners, KrFreqDivideRows,
    ::testing::Values(DivideRow{{-3, 0}, 2, {-2, kHalf}},
                      DivideRow{{1, 0}, 3, {0, 6148914691236517205ull}},
                      // -1 Hz / 3 truncates toward zero: the negation of 1 Hz / 3.
                      DivideRow{{-1, 0}, 3, {-1, UINT64_MAX - 6148914691236517205ull + 1}},
                      DivideRow{{INT64_MIN, 0}, 1, {INT64_MIN, 0}},
                      DivideRow{{INT64_MIN, 0}, INT32_MIN, {(int64_t)1 << 32, 0}},
                      DivideRow{{7, 0}, -2, {-4, kHalf}},
                      // No trap on a zero divisor: the result is 0 Hz.
                      DivideRow{{7, 5}, 0, {0, 0}}),
    [](const ::testing::TestParamInfo<DivideRow> &info) {
        return freqName(info.param.f) + "_By" + paramNumber(info.param.d);
    });

// ---------------------------------------------------------------------------------------
// Properties against 128-bit integer references over boundary-biased random values.

TEST(KrFreqProperties, AddSubtractInvertMatchReference) {
    Values v(0x5eed0001);
    for (int i = 0; i < kRounds; ++i) {
        KrFreq a = v.freq(), b = v.freq(), out;
        u128 ua = (u128)toI128(a), ub = (u128)toI128(b);
        krfreqAdd(&out, &a, &b);
        ASSERT_TRUE(Equal128(out, (i128)(ua + ub)));
        krfreqSubtract(&out, &a, &b);
        ASSERT_TRUE(Equal128(out, (i128)(ua - ub)));
        krfreqInvert(&out, &a);
        ASSERT_TRUE(Equal128(out, (i128)(0 - ua)));
        ASSERT_EQ(krfreqNegative(&a), toI128(a) < 0 ? 1 : 0);
    }
}

TEST(KrFreqProperties, ResultMayAliasOperand) {
    Values v(0x5eed0002);
    for (int i = 0; i < 1000; ++i) {
        KrFreq a = v.freq(), b = v.freq();
        u128 ua = (u128)toI128(a), ub = (u128)toI128(b);
        krfreqAdd(&a, &a, &b);
        ASSERT_TRUE(Equal128(a, (i128)(ua + ub)));
        krfreqSubtract(&b, &a, &b);
        ASSERT_TRUE(Equal128(b, (i128)ua));
        krfreqInvert(&b, &b);
        ASSERT_TRUE(Equal128(b, (i128)(0 - ua)));
    }
}

TEST(KrFreqProperties, CompareMatchesReference) {
    Values v(0x5eed0003);
    for (int i = 0; i < kRounds; ++i) {
        KrFreq a = v.freq(), b = (i % 3 == 0) ? KrFreq{a.integer, v.fraction()} : v.freq();
        i128 x = toI128(a), y = toI128(b);
        ASSERT_EQ(krfreqCompare(&a, &b), x > y ? 1 : (x < y ? -1 : 0));
    }
}

TEST(KrFreqProperties, MultiplyByInt32MatchesReference) {
    Values v(0x5eed0004);
    for (int i = 0; i < kRounds; ++i) {
        KrFreq f = v.freq(), out;
        int32_t m = v.factor();
        krfreqMultiplyByInt32(&out, &f, m);
        ASSERT_TRUE(Equal128(out, (i128)((u128)toI128(f) * (u128)(i128)m))) << "m " << m;
    }
}

TEST(KrFreqProperties, MultiplyByUint32KeepsAllHundredSixtyBits) {
    Values v(0x5eed0005);
    for (int i = 0; i < kRounds; ++i) {
        KrFreq f = v.freq(), out;
        uint32_t m = v.word();
        uint32_t overflow = 0xdeadbeef;
        // Signed 160-bit reference: f = integer * 2^64 + fraction.
        i128 high = (i128)f.integer * m;        // weight 2^64, at most 96 bits
        u128 low = (u128)f.fraction * m;        // weight 1, at most 96 bits
        i128 upper = high + (i128)(low >> 64);  // bits 64 to 159 of the product
        krfreqMultiplyByUint32_ov(&out, &f, m, &overflow);
        ASSERT_EQ(out.fraction, (uint64_t)low);
        ASSERT_EQ(out.integer, (int64_t)(uint64_t)upper);
        ASSERT_EQ(overflow, (uint32_t)(uint64_t)(upper >> 64)) << f.integer << " x " << m;
        krfreqMultiplyByUint32_ov(&out, &f, m, nullptr);  // overflow is optional
        ASSERT_EQ(out.fraction, (uint64_t)low);
    }
}

TEST(KrFreqProperties, MultiplyByFixedPointMatchesReference) {
    Values v(0x5eed0006);
    for (int i = 0; i < kRounds; ++i) {
        KrFreq f = v.freq(), out;
        KrFixedPointU32U32 q{v.word() >> (i % 32), v.word()};
        i128 x = toI128(f);
        u128 want = (u128)x * q.integer + (u128)(x >> 32) * q.fraction;
        krfreqMultiplyByFixedPointU32U32(&out, &f, &q);
        ASSERT_TRUE(Equal128(out, (i128)want));
    }
}

TEST(KrFreqProperties, DivideByInt32MatchesReference) {
    Values v(0x5eed0007);
    for (int i = 0; i < kRounds; ++i) {
        KrFreq f = v.freq(), out;
        int32_t d = v.factor();
        if (d == 0 || d == -1) d = 3;  // -1 would overflow the reference at -2^127
        krfreqDivideByInt32(&out, &f, d);
        ASSERT_TRUE(Equal128(out, toI128(f) / d)) << f.integer << "+" << f.fraction << " / " << d;
    }
}

TEST(KrFreqProperties, DivideThenMultiplyLeavesOnlyTheRemainder) {
    Values v(0x5eed0008);
    for (int i = 0; i < 20000; ++i) {
        KrFreq f = v.freq(), q, back;
        int32_t d = (int32_t)(v.word() >> 1) | 1;
        krfreqDivideByInt32(&q, &f, d);
        krfreqMultiplyByInt32(&back, &q, d);
        i128 rest = toI128(f) - toI128(back);
        ASSERT_TRUE(rest > -d && rest < d);
        ASSERT_TRUE(rest == 0 || (rest < 0) == (toI128(f) < 0));
    }
}

TEST(KrFreqProperties, ShiftsMatchReference) {
    Values v(0x5eed0009);
    for (int i = 0; i < 50000; ++i) {
        KrFreq f = v.freq();
        int n = i % 131;
        KrFreq r = f, l = f;
        krfreqShiftRight(&r, n);
        krfreqShiftLeft(&l, n);
        i128 x = toI128(f);
        i128 wantRight = n < 128 ? x >> n : (x < 0 ? -1 : 0);
        u128 wantLeft = n < 128 ? (u128)x << n : 0;
        ASSERT_TRUE(Equal128(r, wantRight)) << "n " << n;
        ASSERT_TRUE(Equal128(l, (i128)wantLeft)) << "n " << n;
    }
    KrFreq f{5, 7};
    krfreqShiftRight(&f, -3);
    krfreqShiftLeft(&f, 0);
    EXPECT_TRUE(sameFreq(f, KrFreq{5, 7}));
}

// ---------------------------------------------------------------------------------------
// Conversions at the edges.

struct DoubleRow {
    double d;
    KrFreq f;
};

class KrFreqDoubleRows : public ::testing::TestWithParam<DoubleRow> {};

TEST_P(KrFreqDoubleRows, DoubleToFrequency) {
    KrFreq out{99, 99};
    double2krfreq(GetParam().d, &out);
    EXPECT_TRUE(sameFreq(out, GetParam().f)) << out.integer << " + " << out.fraction;
}

INSTANTIATE_TEST_SUITE_P(
    Values, KrFreqDoubleRows,
    ::testing::Values(DoubleRow{0.0, {0, 0}}, DoubleRow{1.5, {1, kHalf}},
                      DoubleRow{10e9 + 0.25, {10000000000, kHalf / 2}}, DoubleRow{0x1p-64, {0, 1}},
                      DoubleRow{-3.0, {-3, 0}}, DoubleRow{-1.5, {-2, kHalf}},
                      DoubleRow{1e19, {INT64_MAX, UINT64_MAX}}, DoubleRow{-1e19, {INT64_MIN, 0}},
                      DoubleRow{NAN, {0, 0}}),
    [](const ::testing::TestParamInfo<DoubleRow> &info) { return paramNumber(info.param.d); });

TEST(KrFreqConversions, FrequencyToDoubleAndFloat) {
    KrFreq f{-2, kHalf};
    double d = 0;
    EXPECT_EQ(krfreq2double(&f, &d), -1.5);
    EXPECT_EQ(d, -1.5);
    EXPECT_EQ(krfreq2double(&f, nullptr), -1.5);
    float x = 0;
    EXPECT_EQ(krfreq2float(&f, &x), -1.5f);
    EXPECT_EQ(x, -1.5f);
    KrFreq g;
    float2krfreq(2.25f, &g);
    EXPECT_TRUE(sameFreq(g, KrFreq{2, kHalf / 2}));
    KrFreq big{12345678901, 0x123456789abcdef0ull};
    EXPECT_NEAR(krfreq2double(&big, nullptr), 12345678901.0711, 1e-4);
}

TEST(KrFreqConversions, MultiplyByDoubleUsesTruncated32Dot32Factor) {
    KrFreq f{1000, 0}, out;
    krfreqMultiplyByDouble(&out, &f, 2.5);
    EXPECT_TRUE(sameFreq(out, KrFreq{2500, 0}));
    krfreqMultiplyByDouble(&out, &f, -1.0);  // below the range: factor 0
    EXPECT_TRUE(sameFreq(out, KrFreq{0, 0}));
    KrFreq one{1LL << 32, 0};
    krfreqMultiplyByDouble(&out, &one, 1.0 / 3.0);
    EXPECT_TRUE(sameFreq(out, KrFreq{1431655765, 0}));  // floor(2^32 / 3)
}

// ---------------------------------------------------------------------------------------
// Arrays of band edges.

TEST(KrFreqArrays, SortAscendingMatchesReferenceOrder) {
    Values v(0x5eed000a);
    for (int n : {0, 1, 2, 3, 17, 64}) {
        std::vector<KrFreq> a;
        for (int i = 0; i < n; ++i)
            a.push_back(i % 4 == 0 && i ? a[i / 2] : v.freq());
        std::vector<i128> want;
        for (const KrFreq &f : a)
            want.push_back(toI128(f));
        std::sort(want.begin(), want.end());
        krfreqSortArrayAscending(a.data(), n);
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(toI128(a[i]) == want[i], true) << "n " << n;
    }
}

struct SkipRow {
    std::vector<int64_t> in;
    std::vector<int64_t> out;
};

class KrFreqSkipRows : public ::testing::TestWithParam<SkipRow> {};

TEST_P(KrFreqSkipRows, EachEdgeOnce) {
    std::vector<KrFreq> a;
    for (int64_t v : GetParam().in)
        a.push_back(KrFreq{v, 0});
    a.push_back(KrFreq{-99, 0});  // guard entry beyond n must stay untouched
    int count = -1;
    krfreqSkipArrayMultiples(a.data(), (int)GetParam().in.size(), &count);
    ASSERT_EQ(count, (int)GetParam().out.size());
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(a[i].integer, GetParam().out[i]) << i;
    EXPECT_EQ(a.back().integer, -99);
}

INSTANTIATE_TEST_SUITE_P(Runs, KrFreqSkipRows,
                         ::testing::Values(SkipRow{{}, {}}, SkipRow{{5}, {5}}, SkipRow{{5, 5}, {5}},
                                           SkipRow{{1, 1, 1, 2, 3, 3, 3, 3}, {1, 2, 3}},
                                           SkipRow{{1, 2, 2, 3, 4, 4}, {1, 2, 3, 4}},
                                           SkipRow{{1, 2, 1}, {1, 2, 1}}),
                         [](const ::testing::TestParamInfo<SkipRow> &info) {
                             std::string name;
                             for (int64_t hz : info.param.in)
                                 name += "_" + std::to_string(hz);
                             return "Hz" + (name.empty() ? "_None" : name);
                         });

TEST(KrFreqArrays, SkipDistinguishesFractions) {
    KrFreq a[3] = {{1, 0}, {1, 1}, {1, 1}};
    int count = 0;
    krfreqSkipArrayMultiples(a, 3, &count);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(a[1].fraction, 1u);
}

}  // namespace
