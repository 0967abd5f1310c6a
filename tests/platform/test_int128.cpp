// The two-word 128-bit integers of 32-bit targets against the compiler's own on this host.
#define KR_INT128_CLASS
#include "platform/sim/int128.h"

#include <gtest/gtest.h>

#include <random>

namespace {

#if defined(__SIZEOF_INT128__)
using U = unsigned __int128;
using I = __int128;

U native(kr_u128 v) {
    return ((U)v.high() << 64) | v.low();
}
I native(kr_i128 v) {
    return (I)(((U)v.high() << 64) | v.low());
}
kr_u128 wide(U v) {
    return kr_u128::fromWords((uint64_t)(v >> 64), (uint64_t)v);
}
kr_i128 wide(I v) {
    return kr_i128::fromWords((uint64_t)((U)v >> 64), (uint64_t)v);
}

TEST(Int128Class, AgreesWithTheCompilersIntegers) {
    std::mt19937_64 rng(128);
    for (int i = 0; i < 20000; i++) {
        // Operands of every width, so carries, short divisors and signs all occur.
        int wa = (int)(rng() % 128) + 1, wb = (int)(rng() % 128) + 1;
        U a = (((U)rng() << 64) | rng()) >> (128 - wa),
          b = (((U)rng() << 64) | rng()) >> (128 - wb);
        int n = (int)(rng() % 128);
        EXPECT_EQ(native(wide(a) + wide(b)), a + b);
        EXPECT_EQ(native(wide(a) - wide(b)), a - b);
        EXPECT_EQ(native(wide(a) * wide(b)), a * b);
        EXPECT_EQ(native(wide(a) << n), a << n);
        EXPECT_EQ(native(wide(a) >> n), a >> n);
        EXPECT_EQ(wide(a) < wide(b), a < b);
        if (b) {
            EXPECT_EQ(native(wide(a) / wide(b)), a / b);
            EXPECT_EQ(native(wide(a) % wide(b)), a % b);
        }
        I sa = (I)a * (rng() & 1 ? 1 : -1), sb = (I)b * (rng() & 1 ? 1 : -1);
        if (sb && sa != ((I)1 << 127)) {
            EXPECT_EQ(native(wide(sa) / wide(sb)), sa / sb);
            EXPECT_EQ(native(wide(sa) % wide(sb)), sa % sb);
        }
        EXPECT_EQ(native(wide(sa) >> n), sa >> n);
        EXPECT_EQ(wide(sa) < wide(sb), sa < sb);
        EXPECT_EQ((double)wide(sa), (double)sa);
    }
    EXPECT_EQ(native(kr_i128(-5)), (I)-5);
    EXPECT_EQ(native(kr_u128(1e30)), (U)1e30);
}
#endif

}  // namespace
