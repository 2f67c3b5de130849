// The drawings' numbers. Every operation is integer arithmetic whose result
// the language defines to the bit, so a drawing comes out the same with any
// compiler and C library, and the committed files can be checked exactly.
#pragma once

#include <compare>
#include <cstdint>

class Fixed {
public:
    static constexpr int kFractionBits = 16;
    static constexpr std::int64_t kOne = std::int64_t{1} << kFractionBits;

    constexpr Fixed() = default;
    // Implicit, so that the drawings read `r * 2` and `Colour{40, 230, 70}`.
    constexpr Fixed(int whole) : raw_(whole * kOne) {}

    // numerator / denominator to the nearest step, halves up (both positive).
    static constexpr Fixed Ratio(std::int64_t numerator, std::int64_t denominator) {
        return FromRaw((2 * numerator * kOne + denominator) / (2 * denominator));
    }
    static constexpr Fixed FromRaw(std::int64_t raw) {
        Fixed f;
        f.raw_ = raw;
        return f;
    }
    constexpr std::int64_t Raw() const { return raw_; }

    friend constexpr Fixed operator+(Fixed a, Fixed b) { return FromRaw(a.raw_ + b.raw_); }
    friend constexpr Fixed operator-(Fixed a, Fixed b) { return FromRaw(a.raw_ - b.raw_); }
    friend constexpr Fixed operator-(Fixed a) { return FromRaw(-a.raw_); }
    // Products round down and quotients towards zero, as C++20 defines both.
    // The raw product fits in 64 bits while the product stays below 2^31; the
    // drawings' stay below 2^20.
    friend constexpr Fixed operator*(Fixed a, Fixed b) { return FromRaw((a.raw_ * b.raw_) >> kFractionBits); }
    friend constexpr Fixed operator/(Fixed a, Fixed b) { return FromRaw(a.raw_ * kOne / b.raw_); }
    friend constexpr auto operator<=>(const Fixed&, const Fixed&) = default;

private:
    std::int64_t raw_ = 0;
};

// 0.35_fx: a decimal constant of the source, rounded to a step by the
// compiler from its digits, never through a double.
consteval Fixed operator""_fx(const char* digits) {
    std::int64_t numerator = 0, denominator = 1;
    bool fraction = false;
    for (; *digits != '\0'; ++digits) {
        if (*digits == '.') {
            fraction = true;
            continue;
        }
        numerator = numerator * 10 + (*digits - '0');
        if (fraction) denominator *= 10;
    }
    return Fixed::Ratio(numerator, denominator);
}

// Rounded down to a step; digit by digit, as integers (v must not be negative).
constexpr Fixed SquareRoot(Fixed v) {
    std::uint64_t rest = static_cast<std::uint64_t>(v.Raw()) << Fixed::kFractionBits;
    std::uint64_t root = 0;
    std::uint64_t bit = std::uint64_t{1} << 62;
    while (bit > rest) bit >>= 2;
    for (; bit != 0; bit >>= 2) {
        if (rest >= root + bit) {
            rest -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
    }
    return Fixed::FromRaw(static_cast<std::int64_t>(root));
}
