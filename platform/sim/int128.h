// 128-bit integers for the simulation and the tests' exact reference arithmetic: the
// compiler's own where it has them (64-bit hosts), a two-word class on 32-bit targets such
// as the instrument's ARM controller. The class offers what the references use: the
// arithmetic, bit and comparison operators with wrap-around, division truncating toward
// zero, and conversions to and from the built-in integers and double. KR_INT128_CLASS
// selects the class on any host (its own test compares it with the compiler's).
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>

#if defined(__SIZEOF_INT128__) && !defined(KR_INT128_CLASS)

using kr_u128 = unsigned __int128;
using kr_i128 = __int128;

#else

template <bool Signed>
class KrWide {
  public:
    constexpr KrWide() = default;
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> > >
    constexpr KrWide(T v) {
        if constexpr (std::is_signed_v<T>) {
            lo_ = (uint64_t)(int64_t)v;
            hi_ = v < 0 ? ~0ull : 0;
        } else {
            lo_ = (uint64_t)v;
        }
    }
    template <bool S>
    constexpr explicit KrWide(KrWide<S> v) : hi_(v.high()), lo_(v.low()) {}
    explicit KrWide(double d) {
        bool negative = d < 0;
        if (negative) d = -d;
        hi_ = (uint64_t)(d / 18446744073709551616.0);
        lo_ = (uint64_t)(d - (double)hi_ * 18446744073709551616.0);
        if (negative) *this = -*this;
    }
    static constexpr KrWide fromWords(uint64_t hi, uint64_t lo) {
        KrWide w;
        w.hi_ = hi;
        w.lo_ = lo;
        return w;
    }

    constexpr uint64_t high() const { return hi_; }
    constexpr uint64_t low() const { return lo_; }
    constexpr bool negative() const { return Signed && (int64_t)hi_ < 0; }

    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> > >
    constexpr explicit operator T() const {
        return (T)lo_;
    }
    constexpr explicit operator bool() const { return hi_ || lo_; }
    // Rounded once, to nearest: the top 64 bits with the rest as a sticky bit.
    explicit operator double() const {
        if (negative()) return -(double)(-*this);
        if (hi_ == 0) return (double)lo_;
        int shift = __builtin_clzll(hi_);
        KrWide<false> top = KrWide<false>(*this) << shift;
        uint64_t m = top.high() | (top.low() != 0);
        return std::ldexp((double)m, 64 - shift);
    }

    friend constexpr KrWide operator+(KrWide a, KrWide b) {
        uint64_t lo = a.lo_ + b.lo_;
        return fromWords(a.hi_ + b.hi_ + (lo < a.lo_), lo);
    }
    friend constexpr KrWide operator-(KrWide a, KrWide b) {
        return fromWords(a.hi_ - b.hi_ - (a.lo_ < b.lo_), a.lo_ - b.lo_);
    }
    constexpr KrWide operator-() const { return KrWide() - *this; }
    constexpr KrWide operator~() const { return fromWords(~hi_, ~lo_); }
    friend constexpr KrWide operator*(KrWide a, KrWide b) {
        uint64_t a0 = a.lo_ & 0xFFFFFFFFu, a1 = a.lo_ >> 32, b0 = b.lo_ & 0xFFFFFFFFu,
                 b1 = b.lo_ >> 32;
        uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
        uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
        uint64_t lo = (middle << 32) | (p00 & 0xFFFFFFFFu);
        uint64_t hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
        return fromWords(hi + a.hi_ * b.lo_ + a.lo_ * b.hi_, lo);
    }
    friend constexpr KrWide operator/(KrWide a, KrWide b) { return divide(a, b, false); }
    friend constexpr KrWide operator%(KrWide a, KrWide b) { return divide(a, b, true); }
    friend constexpr KrWide operator&(KrWide a, KrWide b) {
        return fromWords(a.hi_ & b.hi_, a.lo_ & b.lo_);
    }
    friend constexpr KrWide operator|(KrWide a, KrWide b) {
        return fromWords(a.hi_ | b.hi_, a.lo_ | b.lo_);
    }
    friend constexpr KrWide operator^(KrWide a, KrWide b) {
        return fromWords(a.hi_ ^ b.hi_, a.lo_ ^ b.lo_);
    }
    friend constexpr KrWide operator<<(KrWide a, int n) {
        if (n <= 0) return a;
        if (n >= 128) return KrWide();
        if (n >= 64) return fromWords(a.lo_ << (n - 64), 0);
        return fromWords((a.hi_ << n) | (a.lo_ >> (64 - n)), a.lo_ << n);
    }
    friend constexpr KrWide operator>>(KrWide a, int n) {
        uint64_t fill = a.negative() ? ~0ull : 0;
        if (n <= 0) return a;
        if (n >= 128) return fromWords(fill, fill);
        if (n >= 64)
            return fromWords(fill, n == 64 ? a.hi_ : (a.hi_ >> (n - 64)) | (fill << (128 - n)));
        return fromWords((a.hi_ >> n) | (fill << (64 - n)), (a.lo_ >> n) | (a.hi_ << (64 - n)));
    }
    friend constexpr bool operator==(KrWide a, KrWide b) {
        return a.hi_ == b.hi_ && a.lo_ == b.lo_;
    }
    friend constexpr bool operator<(KrWide a, KrWide b) {
        if (a.hi_ != b.hi_) return Signed ? (int64_t)a.hi_ < (int64_t)b.hi_ : a.hi_ < b.hi_;
        return a.lo_ < b.lo_;
    }
    friend constexpr bool operator!=(KrWide a, KrWide b) { return !(a == b); }
    friend constexpr bool operator>(KrWide a, KrWide b) { return b < a; }
    friend constexpr bool operator<=(KrWide a, KrWide b) { return !(b < a); }
    friend constexpr bool operator>=(KrWide a, KrWide b) { return !(a < b); }

    constexpr KrWide &operator+=(KrWide b) { return *this = *this + b; }
    constexpr KrWide &operator-=(KrWide b) { return *this = *this - b; }
    constexpr KrWide &operator*=(KrWide b) { return *this = *this * b; }
    constexpr KrWide &operator/=(KrWide b) { return *this = *this / b; }
    constexpr KrWide &operator%=(KrWide b) { return *this = *this % b; }
    constexpr KrWide &operator&=(KrWide b) { return *this = *this & b; }
    constexpr KrWide &operator|=(KrWide b) { return *this = *this | b; }
    constexpr KrWide &operator^=(KrWide b) { return *this = *this ^ b; }
    constexpr KrWide &operator<<=(int n) { return *this = *this << n; }
    constexpr KrWide &operator>>=(int n) { return *this = *this >> n; }
    constexpr KrWide &operator++() { return *this += 1; }
    constexpr KrWide &operator--() { return *this -= 1; }

  private:
    // Bitwise long division of the magnitudes; the quotient truncates toward zero and the
    // remainder takes the dividend's sign.
    static constexpr KrWide divide(KrWide a, KrWide b, bool remainder) {
        bool qNegative = a.negative() != b.negative(), rNegative = a.negative();
        KrWide<false> n(a.negative() ? -a : a), d(b.negative() ? -b : b), q, r;
        for (int i = 127; i >= 0; i--) {
            r = (r << 1) | ((n >> i) & 1u);
            if (r >= d) {
                r -= d;
                q |= KrWide<false>(1u) << i;
            }
        }
        KrWide out(remainder ? r : q);
        return (remainder ? rNegative : qNegative) ? -out : out;
    }

    uint64_t hi_ = 0, lo_ = 0;
};

using kr_u128 = KrWide<false>;
using kr_i128 = KrWide<true>;

#endif
