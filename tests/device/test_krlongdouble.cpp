#include "device/krlongdouble.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "core/krdebug.h"
#include "platform/sim/int128.h"
#include "tests/support/param_name.h"

namespace {

using i128 = kr_i128;
using u128 = kr_u128;

// Random finite binary128 numbers: exponents in a window, fractions sometimes short so that
// exact results and total cancellation occur.
class Numbers {
  public:
    explicit Numbers(uint64_t seed) : rng_(seed) {}

    KrLongDouble next(int minExp, int maxExp) {
        uint32_t f[4] = {(uint32_t)rng_(), (uint32_t)rng_(), (uint32_t)rng_(), (uint32_t)rng_()};
        switch (rng_() % 4) {
            case 0:
                f[0] = f[1] = 0;
                break;  // short fraction
            case 1:
                f[0] = 0xFFFFFFFFu;
                break;  // long run of ones at the bottom
            default:
                break;
        }
        int e = minExp + (int)(rng_() % (uint64_t)(maxExp - minExp + 1));
        uint32_t biased = (uint32_t)(e + 16383);
        KrLongDouble x;
        x.w[0] = f[0];
        x.w[1] = f[1];
        x.w[2] = f[2];
        x.w[3] = (f[3] & 0xFFFFu) | (biased << 16) | ((uint32_t)(rng_() & 1) << 31);
        return x;
    }

    uint64_t word() { return rng_() >> (rng_() % 64); }

  private:
    std::mt19937_64 rng_;
};

std::string captured(void (*action)(void *), void *arg) {
    int saved = debugEnabled;
    debugEnabled = 1;
    ::testing::internal::CaptureStdout();
    action(arg);
    fflush(stdout);
    std::string out = ::testing::internal::GetCapturedStdout();
    debugEnabled = saved;
    return out;
}

// Where the compiler has a binary128 type (same layout on little-endian hosts), it is the
// reference, with the rounding mode set toward zero, which is what the software type does.
#if defined(__SIZEOF_FLOAT128__)

typedef __float128 f128;

f128 toF(const KrLongDouble &x) {
    f128 q;
    memcpy(&q, x.w, sizeof(q));
    return q;
}

KrLongDouble fromF(f128 q) {
    KrLongDouble x;
    memcpy(x.w, &q, sizeof(q));
    return x;
}

u128 bitsOf(f128 q) {
    u128 b;
    memcpy(&b, &q, sizeof(b));
    return b;
}

::testing::AssertionResult SameBits(const KrLongDouble &got, f128 want) {
    if (bitsOf(toF(got)) == bitsOf(want)) return ::testing::AssertionSuccess();
    char g[64], w[64];
    snprintf(g, sizeof(g), "%08x %08x %08x %08x", got.w[3], got.w[2], got.w[1], got.w[0]);
    KrLongDouble wx = fromF(want);
    snprintf(w, sizeof(w), "%08x %08x %08x %08x", wx.w[3], wx.w[2], wx.w[1], wx.w[0]);
    return ::testing::AssertionFailure() << "got " << g << ", want " << w;
}

// Runs the reference arithmetic truncating. The operands and the result pass through
// volatile storage so that the compiler cannot move the library arithmetic across the
// rounding-mode switches.
template <typename R, typename Op>
__attribute__((noinline)) R towardZero(f128 a, f128 b, Op op) {
    volatile f128 va = a, vb = b;
    int saved = fegetround();
    fesetround(FE_TOWARDZERO);
    volatile R r = op(va, vb);
    fesetround(saved);
    return r;
}

f128 refAdd(f128 a, f128 b) {
    return towardZero<f128>(a, b, [](f128 x, f128 y) { return x + y; });
}
f128 refSub(f128 a, f128 b) {
    return towardZero<f128>(a, b, [](f128 x, f128 y) { return x - y; });
}
f128 refMul(f128 a, f128 b) {
    return towardZero<f128>(a, b, [](f128 x, f128 y) { return x * y; });
}
f128 refDiv(f128 a, f128 b) {
    return towardZero<f128>(a, b, [](f128 x, f128 y) { return x / y; });
}
double refToDouble(f128 a) {
    return towardZero<double>(a, 0, [](f128 x, f128) { return (double)x; });
}
__attribute__((noinline)) f128 refFromI128(i128 v) {
    volatile i128 vv = v;
    int saved = fegetround();
    fesetround(FE_TOWARDZERO);
    volatile f128 r = (f128)vv;
    fesetround(saved);
    return r;
}

// ---------------------------------------------------------------------------------------
// Constructor and field access.

struct BuildRow {
    int32_t sign, exponent;
    uint32_t fraction[4];
    f128 value;
};

class LdBuildRows : public ::testing::TestWithParam<BuildRow> {};

TEST_P(LdBuildRows, NormalisesAnyLeadingBitPosition) {
    KrLongDouble x;
    ld_fromSignExponentFraction(GetParam().sign, GetParam().exponent, GetParam().fraction, &x);
    EXPECT_TRUE(SameBits(x, GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LdBuildRows,
    ::testing::Values(
        BuildRow{0, 0, {0, 0, 0, 0x80000000u}, 1.0Q}, BuildRow{0, 0, {0, 0, 0, 0xC0000000u}, 1.5Q},
        BuildRow{1, 10, {0, 0, 0, 0xA0000000u}, -1280.0Q}, BuildRow{0, 127, {1, 0, 0, 0}, 1.0Q},
        BuildRow{0, 127, {3, 0, 0, 0}, 3.0Q}, BuildRow{0, 0, {1, 0, 0, 0}, 0x1p-127Q},
        // 128 significant bits: the lowest 15 are truncated.
        BuildRow{0, 0, {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}, 2.0Q - 0x1p-112Q},
        BuildRow{1, 5, {0, 0, 0, 0}, -0.0Q}, BuildRow{0, 5, {0, 0, 0, 0}, 0.0Q}),
    [](const ::testing::TestParamInfo<BuildRow> &info) {
        return paramNumber((double)info.param.value) + "_Exp" + paramNumber(info.param.exponent);
    });

TEST(LdFields, GettersRebuildTheNumber) {
    Numbers n(21);
    for (int i = 0; i < 20000; ++i) {
        KrLongDouble x = n.next(-16000, 16000), y;
        uint32_t f[4];
        ld_getFraction128(&x, f);
        ASSERT_EQ(f[3] >> 31, 1u);
        ASSERT_EQ(f[0] & 0x7FFFu, 0u);
        ASSERT_EQ(ld_getFraction64(&x), ((uint64_t)f[3] << 32) | f[2]);
        ld_fromSignExponentFraction(ld_getSign32(&x), ld_getExponent32(&x), f, &y);
        ASSERT_TRUE(SameBits(y, toF(x)));
    }
}

TEST(LdFields, KnownValues) {
    KrLongDouble x;
    ld_fromDouble(-1.5, &x);
    EXPECT_EQ(ld_getSign32(&x), 1);
    EXPECT_EQ(ld_getExponent32(&x), 0);
    EXPECT_EQ(ld_getFraction64(&x), 0xC000000000000000ull);
    ld_fromDouble(0x1p-300, &x);
    EXPECT_EQ(ld_getExponent32(&x), -300);
    EXPECT_EQ(ld_getFraction64(&x), 0x8000000000000000ull);
    ld_positiveZero(&x);
    EXPECT_EQ(ld_getFraction64(&x), 0u);
    EXPECT_TRUE(ld_isPositiveZero(&x) && !ld_isNegativeZero(&x));
    ld_negativeZero(&x);
    EXPECT_TRUE(ld_isNegativeZero(&x) && !ld_isPositiveZero(&x));
    EXPECT_TRUE(SameBits(x, -0.0Q));
    ld_fromUint64(1, &x);
    EXPECT_FALSE(ld_isPositiveZero(&x) || ld_isNegativeZero(&x));
}

void buildHuge(void *out) {
    uint32_t f[4] = {0, 0, 0, 0x80000000u};
    ld_fromSignExponentFraction(0, 16384, f, (KrLongDouble *)out);
}
void buildTiny(void *out) {
    uint32_t f[4] = {0, 0, 0, 0x80000000u};
    ld_fromSignExponentFraction(1, -16383, f, (KrLongDouble *)out);
}

TEST(LdFields, ExponentRangeFaultsAreReportedAndClamped) {
    KrLongDouble x;
    EXPECT_EQ(captured(buildHuge, &x), "ld_fromS...(): NaN, exponent too large\n");
    EXPECT_EQ((x.w[3] >> 16) & 0x7FFF, 0x7FFFu);
    EXPECT_EQ(captured(buildTiny, &x), "ld_fromS...(): NaN, exponent too small\n");
    EXPECT_EQ((x.w[3] >> 16) & 0x7FFF, 0u);
    EXPECT_EQ(ld_getSign32(&x), 1);
    // The extremes just inside the range pass silently.
    auto edge = [](void *p) {
        uint32_t g[4] = {0, 0, 0, 0x80000000u};
        ld_fromSignExponentFraction(0, 16383, g, (KrLongDouble *)p);
        ld_fromSignExponentFraction(0, -16382, g, (KrLongDouble *)p + 1);
    };
    KrLongDouble pair[2];
    EXPECT_EQ(captured(edge, pair), "");
    EXPECT_TRUE(SameBits(pair[0], 0x1p16383Q));
    EXPECT_TRUE(SameBits(pair[1], 0x1p-16382Q));
}

// ---------------------------------------------------------------------------------------
// Conversions.

TEST(LdConvert, FromDoubleWidensExactly) {
    std::mt19937_64 rng(22);
    for (int i = 0; i < 100000; ++i) {
        uint64_t bits = rng();
        if (i % 7 == 0) bits &= 0x800FFFFFFFFFFFFFull;  // subnormal doubles and zeros
        if (i % 11 == 0) bits &= 0x8000000000000000ull;
        double d;
        memcpy(&d, &bits, sizeof(d));
        if (!std::isfinite(d)) continue;
        KrLongDouble x;
        ld_fromDouble(d, &x);
        ASSERT_TRUE(SameBits(x, (f128)d)) << d;
        ASSERT_EQ(ld_toDouble(&x), d);
        ASSERT_EQ(std::signbit(ld_toDouble(&x)), std::signbit(d));
    }
}

TEST(LdConvert, ToDoubleTruncates) {
    Numbers n(23);
    for (int i = 0; i < 100000; ++i) {
        KrLongDouble x = n.next(-1100, 1100);
        double got = ld_toDouble(&x), want = refToDouble(toF(x));
        ASSERT_TRUE(got == want || (std::isnan(got) && std::isnan(want))) << got << " " << want;
        ASSERT_EQ(std::signbit(got), std::signbit(want));
    }
    KrLongDouble x = fromF(-0x1p2000Q);
    EXPECT_EQ(ld_toDouble(&x), -1.7976931348623157e308);
    x = fromF(0x1p-2000Q);
    EXPECT_EQ(ld_toDouble(&x), 0.0);
}

TEST(LdConvert, Uint64AndUint128) {
    Numbers n(24);
    for (int i = 0; i < 100000; ++i) {
        uint64_t v = n.word();
        KrLongDouble x;
        ld_fromUint64(v, &x);
        ASSERT_TRUE(SameBits(x, (f128)v)) << v;
        ASSERT_EQ(ld_toUint64(&x), v);
        // Non-integral values truncate.
        KrLongDouble y = n.next(-3, 127);
        ld_getSign32(&y) ? ld_invert(&y, &y) : void();
        f128 q = toF(y);
        uint32_t w[4];
        ld_toUint128(&y, w);
        u128 got = (u128)w[0] | (u128)w[1] << 32 | (u128)w[2] << 64 | (u128)w[3] << 96;
        ASSERT_TRUE(got == (u128)q);
        if (q < 0x1p64Q) {
            ASSERT_EQ(ld_toUint64(&y), (uint64_t)q);
        }
    }
}

void toUint64Large(void *r) {
    KrLongDouble x = fromF(0x1p64Q);
    *(uint64_t *)r = ld_toUint64(&x);
}
void toUint64Negative(void *r) {
    KrLongDouble x = fromF(-0x1p70Q);
    *(uint64_t *)r = ld_toUint64(&x);
}
void toUint128Large(void *r) {
    KrLongDouble x = fromF(0x1p128Q);
    ld_toUint128(&x, (uint32_t *)r);
}

TEST(LdConvert, IntegerRangeFaults) {
    uint64_t r = 5;
    EXPECT_EQ(captured(toUint64Large, &r),
              "ld_toUint64() error: number does not fit into uint64_t\n");
    EXPECT_EQ(r, UINT64_MAX);
    EXPECT_EQ(captured(toUint64Negative, &r), "ld_toUint64() error: number is negative\n");
    EXPECT_EQ(r, 0u);
    uint32_t w[4] = {0, 0, 0, 0};
    EXPECT_NE(captured(toUint128Large, w), "");
    EXPECT_EQ(w[0] & w[1] & w[2] & w[3], UINT32_MAX);
    KrLongDouble z;
    ld_negativeZero(&z);
    EXPECT_EQ(ld_toUint64(&z), 0u);
    KrLongDouble half = fromF(0.5Q);
    EXPECT_EQ(ld_toUint64(&half), 0u);
}

KrFreq freqOf(i128 v) {
    return KrFreq{(int64_t)(uint64_t)((u128)v >> 64), (uint64_t)v};
}
i128 i128Of(const KrFreq &f) {
    return (i128)(((u128)(uint64_t)f.integer << 64) | f.fraction);
}

TEST(LdConvert, FrequencyBothWays) {
    std::mt19937_64 rng(25);
    for (int i = 0; i < 100000; ++i) {
        int bits = (int)(rng() % 128);
        i128 v = (i128)(((u128)rng() << 64 | rng()) >> (127 - bits));
        if (rng() & 1) v = -v;
        KrFreq f = freqOf(v), back;
        KrLongDouble x;
        ld_fromKrfreq(&f, &x);
        ASSERT_TRUE(SameBits(x, refFromI128(v) * 0x1p-64Q)) << bits;
        ld_toKrfreq(&x, &back);
        // Exact up to 113 significant bits, otherwise truncated toward zero.
        ASSERT_TRUE(i128Of(back) == (i128)(toF(x) * 0x1p64Q));
        if (bits <= 112) {
            ASSERT_TRUE(i128Of(back) == v) << bits;
        }
    }
    KrFreq f{-1, 1ull << 63}, back;  // -0.5 Hz
    KrLongDouble x;
    ld_fromKrfreq(&f, &x);
    EXPECT_EQ(ld_toDouble(&x), -0.5);
    KrFreq minimum{INT64_MIN, 0};
    ld_fromKrfreq(&minimum, &x);
    EXPECT_TRUE(SameBits(x, -0x1p63Q));
    ld_toKrfreq(&x, &back);
    EXPECT_EQ(back.integer, INT64_MIN);
    EXPECT_EQ(back.fraction, 0u);
    x = fromF(0x1p63Q);  // one past the largest frequency saturates
    ld_toKrfreq(&x, &back);
    EXPECT_EQ(back.integer, INT64_MAX);
    EXPECT_EQ(back.fraction, UINT64_MAX);
}

// ---------------------------------------------------------------------------------------
// Arithmetic.

TEST(LdArithmetic, AddAndSubtractAreExactlyTruncated) {
    Numbers n(26);
    for (int i = 0; i < 200000; ++i) {
        int base = (int)(n.word() % 200) - 100;
        int spread = (i % 3 == 0) ? 2 : 130;
        KrLongDouble a = n.next(base, base + spread), b = n.next(base, base + spread), out;
        if (i % 17 == 0) b = a;  // x - x and x + x
        ld_add(&out, &a, &b);
        ASSERT_TRUE(SameBits(out, refAdd(toF(a), toF(b)))) << "add " << i;
        ld_subtract(&out, &a, &b);
        ASSERT_TRUE(SameBits(out, refSub(toF(a), toF(b)))) << "subtract " << i;
    }
}

TEST(LdArithmetic, DivideIsExactlyTruncated) {
    Numbers n(27);
    for (int i = 0; i < 100000; ++i) {
        KrLongDouble a = n.next(-200, 200), b = n.next(-200, 200), out;
        ld_divide(&out, &a, &b);
        ASSERT_TRUE(SameBits(out, refDiv(toF(a), toF(b)))) << i;
    }
    // Exact frequency ratio: 10 GHz / 3 back to a frequency is 3333333333.333... Hz truncated.
    KrFreq f{10000000000, 0}, r;
    KrLongDouble x, three, q;
    ld_fromKrfreq(&f, &x);
    ld_fromUint64(3, &three);
    ld_divide(&q, &x, &three);
    ld_toKrfreq(&q, &r);
    EXPECT_EQ(r.integer, 3333333333);
    EXPECT_GE(r.fraction, 6148914691236517205ull - (1ull << 32));
    EXPECT_LE(r.fraction, 6148914691236517205ull);
}

TEST(LdArithmetic, MultiplyUsesSixtyFourSignificandBits) {
    Numbers n(28);
    for (int i = 0; i < 100000; ++i) {
        KrLongDouble a = n.next(-300, 300), b = n.next(-300, 300), out;
        if (i % 2) {  // significands of at most 64 bits
            a.w[0] = a.w[1] = b.w[0] = b.w[1] = 0;
            a.w[2] &= ~0x1FFFFu;
            b.w[2] &= ~0x1FFFFu;
        }
        f128 want = refMul(toF(a), toF(b));
        ld_multiply(&out, &a, &b);
        f128 got = toF(out);
        if (i % 2) {
            ASSERT_TRUE(SameBits(out, want)) << i;  // both fit into 64 bits: exact
        } else {
            // Truncated operands: never above the true product, at most 2^-61 below it.
            ASSERT_EQ(got < 0, want < 0);
            f128 ag = got < 0 ? -got : got, aw = want < 0 ? -want : want;
            ASSERT_TRUE(ag <= aw) << i;
            ASSERT_TRUE(aw - ag <= aw * 0x1p-61Q) << i;
        }
    }
}

struct ZeroRow {
    f128 a, b, sum, product, quotient;
};

class LdZeroRows : public ::testing::TestWithParam<ZeroRow> {};

TEST_P(LdZeroRows, SignedZeros) {
    KrLongDouble a = fromF(GetParam().a), b = fromF(GetParam().b), out;
    ld_add(&out, &a, &b);
    EXPECT_TRUE(SameBits(out, GetParam().sum));
    ld_multiply(&out, &a, &b);
    EXPECT_TRUE(SameBits(out, GetParam().product));
    if (!ld_isPositiveZero(&b) && !ld_isNegativeZero(&b)) {
        ld_divide(&out, &a, &b);
        EXPECT_TRUE(SameBits(out, GetParam().quotient));
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, LdZeroRows,
                         ::testing::Values(ZeroRow{0.0Q, 0.0Q, 0.0Q, 0.0Q, 0},
                                           ZeroRow{-0.0Q, 0.0Q, 0.0Q, -0.0Q, 0},
                                           ZeroRow{-0.0Q, -0.0Q, -0.0Q, 0.0Q, 0},
                                           ZeroRow{-0.0Q, 2.5Q, 2.5Q, -0.0Q, -0.0Q},
                                           ZeroRow{0.0Q, -2.5Q, -2.5Q, -0.0Q, -0.0Q},
                                           ZeroRow{-3.0Q, 3.0Q, 0.0Q, -9.0Q, -1.0Q},
                                           ZeroRow{3.0Q, 3.0Q, 6.0Q, 9.0Q, 1.0Q}),
                         [](const ::testing::TestParamInfo<ZeroRow> &info) {
                             return paramNumber((double)info.param.a) + "_And_" +
                                    paramNumber((double)info.param.b);
                         });

void divideByZero(void *out) {
    KrLongDouble a = fromF(-5.0Q), z;
    ld_positiveZero(&z);
    ld_divide((KrLongDouble *)out, &a, &z);
}

TEST(LdArithmetic, DivisionByZeroGivesLargestMagnitude) {
    KrLongDouble out;
    EXPECT_EQ(captured(divideByZero, &out), "ld_divide(): division by zero\n");
    EXPECT_TRUE(SameBits(out, -0x1.ffffffffffffffffffffffffffffp16383Q));
}

TEST(LdArithmetic, PowerOfTwoScalingAndInvert) {
    KrLongDouble x = fromF(1.5Q), out;
    ld_multiplyByPow2(&out, &x, 10);
    EXPECT_TRUE(SameBits(out, 1536.0Q));
    ld_divideByPow2(&out, &x, 10);
    EXPECT_TRUE(SameBits(out, 1.5Q / 1024));
    ld_divideByPow2(&out, &x, -3);
    EXPECT_TRUE(SameBits(out, 12.0Q));
    ld_invert(&out, &x);
    EXPECT_TRUE(SameBits(out, -1.5Q));
    KrLongDouble z;
    ld_negativeZero(&z);
    ld_multiplyByPow2(&out, &z, 100);
    EXPECT_TRUE(ld_isNegativeZero(&out));
    ld_invert(&out, &z);
    EXPECT_TRUE(ld_isPositiveZero(&out));
    auto overflow = [](void *p) {
        KrLongDouble one = fromF(1.0Q);
        ld_multiplyByPow2((KrLongDouble *)p, &one, INT32_MAX);
        ld_divideByPow2((KrLongDouble *)p + 1, &one, INT32_MIN);
    };
    KrLongDouble pair[2];
    EXPECT_EQ(captured(overflow, pair),
              "ld_fromS...(): NaN, exponent too large\nld_fromS...(): NaN, exponent too large\n");
}

#endif  // __SIZEOF_FLOAT128__

// Elsewhere (the 32-bit controller) the library must give, bit for bit, what the reference
// approved on the host: a digest over a fixed stream of operations.
uint64_t digestOfOperations() {
    Numbers n(77);
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](uint64_t v) {
        for (int i = 0; i < 8; i++)
            h = (h ^ ((v >> (8 * i)) & 0xFF)) * 1099511628211ull;
    };
    auto mixLd = [&mix](const KrLongDouble &x) {
        mix(((uint64_t)x.w[1] << 32) | x.w[0]);
        mix(((uint64_t)x.w[3] << 32) | x.w[2]);
    };
    for (int i = 0; i < 20000; i++) {
        KrLongDouble a = n.next(-200, 200), b = n.next(-200, 200), out;
        ld_add(&out, &a, &b);
        mixLd(out);
        ld_subtract(&out, &a, &b);
        mixLd(out);
        ld_multiply(&out, &a, &b);
        mixLd(out);
        ld_divide(&out, &a, &b);
        mixLd(out);
        double d = ld_toDouble(&a);
        uint64_t bits;
        memcpy(&bits, &d, sizeof(bits));
        mix(bits);
        ld_fromUint64(n.word(), &out);
        mixLd(out);
        KrLongDouble c = n.next(0, 62);
        mix(ld_toUint64(&c));
        KrFreq f;
        ld_toKrfreq(&c, &f);
        mix((uint64_t)f.integer);
        mix(f.fraction);
    }
    return h;
}

TEST(LdPortable, SameResultsAsOnTheReferenceHost) {
    EXPECT_EQ(digestOfOperations(), 8420821791900823672ull);
}

void printOneAndHalf(void *) {
    KrLongDouble x;
    ld_fromDouble(-1.5, &x);
    ld_printd(&x);
}

TEST(LdDiagnostics, PrintdShowsFractionExponentSign) {
    EXPECT_EQ(captured(printOneAndHalf, nullptr),
              "ld_printd(): f 13835058055282163712, e 0, s 1\n");
}

}  // namespace
