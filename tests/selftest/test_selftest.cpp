#include "selftest/selftest.h"

#include <gtest/gtest.h>

#include <vector>

#include "level/calibration.h"

namespace {

// Three zones: -90..-55, -55..-25, -25..30 (a repeated power starts the next zone).
Calibration &threeZones() {
    static Calibration cal;
    Calibration_reset(&cal);
    const float powers[] = {-90, -55, -55, -25, -25, 30};
    cal.powerCount = 6;
    cal.frequencyCount = 2;
    for (int i = 0; i < 6; i++)
        cal.power[i] = powers[i];
    cal.frequency[0] = 0;
    cal.frequency[1] = 20000000000LL;
    EXPECT_EQ(Calibration_validate(&cal), 0);
    return cal;
}

std::vector<float> points(const Calibration *cal, int indexMax, bool drop, bool lower) {
    SelftestParam p{};
    p.powerIndexMax = indexMax;
    p.dropLastPower = drop;
    p.lowerLastPower = lower;
    int n = getPowerForSelftest(cal, &p);
    EXPECT_EQ((uint32_t)n, p.powerCount);
    return std::vector<float>(p.powers, p.powers + n);
}

TEST(SelftestPowers, ZoneEndsFirstAndLastWithTheParameterRules) {
    const Calibration &cal = threeZones();
    using V = std::vector<float>;
    EXPECT_EQ(points(&cal, 5, false, false), (V{-90, -55, -25, 30}));
    EXPECT_EQ(points(&cal, 5, true, false), (V{-90, -55, -25}));
    EXPECT_EQ(points(&cal, 5, true, true), (V{-90, -55, -29}));
    // Only the indexes up to the maximum are walked.
    EXPECT_EQ(points(&cal, 2, false, false), (V{-90, -55, -55}));
    EXPECT_EQ(points(&cal, 99, false, false), (V{-90, -55, -25, 30}));
    // Without a table the test still has one point to set.
    EXPECT_EQ(points(nullptr, 5, true, false), (V{0}));
}

}  // namespace
