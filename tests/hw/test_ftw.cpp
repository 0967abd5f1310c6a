// Tuning words: the fast word against exact 128-bit arithmetic, real output and input
// frequencies, rounding.
#include "hw/ftw.h"

#include <gtest/gtest.h>
#include "platform/sim/int128.h"

namespace {

using u128 = kr_u128;

KrFreq hz(int64_t h, uint64_t fraction = 0) {
    return {h, fraction};
}

u128 q64(const KrFreq &f) {
    return ((u128)(uint64_t)f.integer << 64) | f.fraction;
}

// floor(out / in x 2^w) with exact wide arithmetic (frequencies below 2^40 Hz).
uint64_t exactWord(const KrFreq &in, const KrFreq &out, uint32_t w) {
    u128 o = q64(out), i = q64(in);
    u128 q = 0, r = o;
    for (uint32_t b = 0; b < w; b++) {
        r <<= 1;
        q <<= 1;
        if (r >= i) {
            r -= i;
            q |= 1;
        }
    }
    return (uint64_t)q;
}

class HalfClockTest : public ::testing::TestWithParam<uint32_t> {};

TEST_P(HalfClockTest, HalfTheClockIsTheTopBitAndZeroIsZero) {
    uint32_t w = GetParam();
    KrFreq in = hz(1000000000), half = hz(500000000), zero = hz(0);
    EXPECT_EQ(FTW_calcFtwFast(&in, &half, w), 1ull << (w - 1));
    EXPECT_EQ(FTW_calcFTW(&in, &half, w), 1ull << (w - 1));
    EXPECT_EQ(FTW_calcFtwFast(&in, &zero, w), 0u);
    EXPECT_EQ(FTW_calcFTW(&in, &zero, w), 0u);
}

INSTANTIATE_TEST_SUITE_P(Widths, HalfClockTest, ::testing::Values(24u, 32u, 48u, 64u),
                         [](const ::testing::TestParamInfo<unsigned> &info) {
                             return "Bits" + std::to_string(info.param);
                         });

struct WordRow {
    KrFreq in;
    KrFreq out;
};

class WordTest : public ::testing::TestWithParam<WordRow> {};

TEST_P(WordTest, FastWordIsTheExactTruncatedQuotient) {
    const WordRow &r = GetParam();
    for (uint32_t w : {24u, 32u, 48u}) {
        uint64_t exact = exactWord(r.in, r.out, w);
        EXPECT_EQ(FTW_calcFTW(&r.in, &r.out, w), exact) << w;
        EXPECT_EQ(FTW_calcFtwFast(&r.in, &r.out, w), exact) << w;
    }
    // At 64 bits the fast word's 64-bit mantissas drop the lowest fraction bits of the
    // frequencies: it may come out one below, never above.
    uint64_t exact = exactWord(r.in, r.out, 64);
    EXPECT_EQ(FTW_calcFTW(&r.in, &r.out, 64), exact);
    uint64_t fast = FTW_calcFtwFast(&r.in, &r.out, 64);
    EXPECT_TRUE(fast == exact || fast + 1 == exact) << fast << " " << exact;
}

// An output that a word produces exactly gives that word back (the mantissa path alone may
// land one below).
TEST(FtwExactWordTest, OutputOfAWordGivesThatWord) {
    const uint64_t clocks[] = {1000000000ull, 10000000000ull, 3000000000ull, 50000000ull};
    const uint64_t words[] = {1,
                              0x123456789ABull,
                              0xFFFFFFFFFFFull,
                              0x800000000001ull,
                              0x7FFFFFFFFFFFull,
                              0x555555555555ull};
    for (uint64_t clock : clocks) {
        for (uint32_t w : {32u, 48u}) {
            for (uint64_t word : words) {
                FTW r;
                FTW_init(&r, w);
                KrFreq in = hz(clock);
                FTW_setIn(&r, &in);
                r.ftw = word & ((w == 64) ? ~0ull : ((1ull << w) - 1));
                if (r.ftw == 0) continue;
                KrFreq out;
                FTW_calcRealFout(&r, &out);
                EXPECT_EQ(FTW_calcFtwFast(&in, &out, w), r.ftw) << clock << " " << w << " " << word;
                EXPECT_EQ(FTW_calcFTW(&in, &out, w), r.ftw) << clock << " " << w << " " << word;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies, WordTest,
    ::testing::Values(WordRow{hz(1000000000), hz(123456789)}, WordRow{hz(1000000000), hz(1)},
                      WordRow{hz(1000000000), hz(999999999)},
                      WordRow{hz(1000000000), hz(333333333, 0x5555555555555555ull)},
                      WordRow{hz(500000000), hz(77777777)}, WordRow{hz(3), hz(1)},
                      WordRow{hz(6000000000), hz(2999999999)}, WordRow{hz(50000000), hz(400)},
                      WordRow{hz(1000000000, 0x8000000000000000ull), hz(250000000)}),
    [](const ::testing::TestParamInfo<WordRow> &info) {
        return "Clock" + std::to_string(info.param.in.integer) + "Hz_Out" +
               std::to_string(info.param.out.integer) + "Hz";
    });

TEST(Ftw, OutOfRangeOutputsSaturateOrGiveZero) {
    KrFreq in = hz(1000000000), above = hz(1000000000), neg = hz(-5), zero = hz(0);
    EXPECT_EQ(FTW_calcFtwFast(&in, &above, 32), 0xFFFFFFFFull);
    EXPECT_EQ(FTW_calcFtwFast(&in, &neg, 32), 0u);
    EXPECT_EQ(FTW_calcFtwFast(&zero, &in, 32), 0u);
}

TEST(Ftw, RecordSetRecomputesPresetDoesNot) {
    FTW f;
    FTW_init(&f, 32);
    KrFreq in = hz(1000000000), out = hz(250000000);
    FTW_presetIn(&f, &in);
    FTW_presetOut(&f, &out);
    EXPECT_EQ(f.ftw, 0u);
    EXPECT_EQ(FTW_calcPreset(&f), 1ull << 30);
    KrFreq out2 = hz(125000000);
    FTW_setOut(&f, &out2);
    EXPECT_EQ(f.ftw, 1ull << 29);
    EXPECT_EQ(FTW_getOut(&f)->integer, 125000000);
}

TEST(Ftw, RealOutputIsWhatTheWordGivesAndRealInputMakesItExact) {
    FTW f;
    FTW_init(&f, 32);
    KrFreq in = hz(1000000000), out = hz(123456789);
    FTW_presetIn(&f, &in);
    FTW_setOut(&f, &out);
    KrFreq real;
    FTW_calcRealFout(&f, &real);
    u128 exact = (q64(in) * f.ftw) >> 32;
    EXPECT_EQ(q64(real), exact);
    EXPECT_LE(q64(real), q64(out));
    EXPECT_LT(q64(out) - q64(real), q64(hz(1)) / 4);  // within a quarter hertz (one step)

    KrFreq fin;
    FTW_calcRealFin(&f, &fin);
    // fin x word / 2^32 is the wanted output again, to the binary128 precision.
    u128 back = (q64(fin) >> 32) * f.ftw;
    u128 diff = back > q64(out) ? back - q64(out) : q64(out) - back;
    EXPECT_LT(diff, (u128)1 << 40);
    f.ftw = 0;
    FTW_calcRealFin(&f, &fin);
    EXPECT_EQ(fin.integer, 0);
}

struct RoundRow {
    uint64_t value;
    int n;
    uint64_t rounded;
};

class RoundTest : public ::testing::TestWithParam<RoundRow> {};

TEST_P(RoundTest, RoundsToNearestWithHalfDown) {
    EXPECT_EQ(FTW_round(GetParam().value, GetParam().n), GetParam().rounded);
}

INSTANTIATE_TEST_SUITE_P(Rows, RoundTest,
                         ::testing::Values(RoundRow{0x17, 4, 0x10}, RoundRow{0x18, 4, 0x10},
                                           RoundRow{0x19, 4, 0x20}, RoundRow{0x1F, 4, 0x20},
                                           RoundRow{5, 0, 5}, RoundRow{~0ull, 4, ~0ull - 15},
                                           RoundRow{123, 64, 0}),
                         [](const ::testing::TestParamInfo<RoundRow> &info) {
                             char name[48];
                             snprintf(name, sizeof(name), "0x%llx_N%d",
                                      (unsigned long long)info.param.value, info.param.n);
                             return std::string(name);
                         });

TEST(Ftw, RoundToPatternKeepsTheLowBits) {
    EXPECT_EQ(FTW_roundToPattern(0x1234, 0x5, 4), 0x1235u);
    EXPECT_EQ(FTW_roundToPattern(0x123F, 0x5, 4), 0x1245u);
    EXPECT_EQ(FTW_roundToPattern(0x123D, 0x5, 4), 0x1235u);  // exact half: down
    EXPECT_EQ(FTW_roundToPattern(0x2, 0xE, 4), 0xEu);        // nothing below zero
}

TEST(Ftw, TableRowsGiveTheirWordsOthersAreComputed) {
    FtwLutRow rows[2] = {{hz(100000000), 12345, 7}, {hz(200000000), 999, 3}};
    FTW f;
    FTW_init(&f, 32);
    KrFreq in = hz(1000000000), out = hz(200000000);
    FTW_presetIn(&f, &in);
    FTW_presetOut(&f, &out);
    uint64_t fine = 0;
    EXPECT_EQ(FTW_calcFtwLut_highres(&f, rows, 2, &fine), 0);
    EXPECT_EQ(f.ftw, 999u);
    EXPECT_EQ(fine, 3u);
    KrFreq other = hz(300000000);
    FTW_presetOut(&f, &other);
    EXPECT_EQ(FTW_calcFtwLut(&f, rows, 2), -1);
    EXPECT_EQ(f.ftw, exactWord(in, other, 32));
}

}  // namespace
