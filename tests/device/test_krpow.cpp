#include "device/krpow.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/support/param_name.h"

namespace {

struct CompareRow {
    KrPow a, b;
    int result;
};

class KrPowCompareRows : public ::testing::TestWithParam<CompareRow> {};

TEST_P(KrPowCompareRows, OrderAndNotANumber) {
    EXPECT_EQ(krpowCompare(&GetParam().a, &GetParam().b), GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Rows, KrPowCompareRows,
                         ::testing::Values(CompareRow{1.0f, 0.5f, 1}, CompareRow{-20.0f, 10.0f, -1},
                                           CompareRow{3.25f, 3.25f, 0}, CompareRow{0.0f, -0.0f, 0},
                                           CompareRow{NAN, 1.0f, 0}, CompareRow{1.0f, NAN, 0},
                                           CompareRow{-INFINITY, -1e30f, -1}),
                         [](const ::testing::TestParamInfo<CompareRow> &info) {
                             return paramNumber(info.param.a) + "_Vs_" + paramNumber(info.param.b);
                         });

TEST(KrPow, StepArithmeticInSinglePrecision) {
    KrPow a = -10.5f, b = 2.25f, out = 0;
    krpowAdd(&out, &a, &b);
    EXPECT_EQ(out, -8.25f);
    krpowSubtract(&out, &a, &b);
    EXPECT_EQ(out, -12.75f);
    krpowMultiplyByInt32(&out, &b, -4);
    EXPECT_EQ(out, -9.0f);
    krpowMultiplyByUint32(&out, &b, 4000000000u);
    EXPECT_EQ(out, 9e9f);
    krpowDivideByInt32(&out, &a, -3);
    EXPECT_EQ(out, 3.5f);
    krpowAdd(&a, &a, &a);  // result in place
    EXPECT_EQ(a, -21.0f);
    // Division by zero follows IEEE rules rather than trapping.
    krpowDivideByInt32(&out, &b, 0);
    EXPECT_TRUE(std::isinf(out));
}

}  // namespace
