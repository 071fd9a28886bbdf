// Sums as Jet gives them. Whole numbers add exactly; values of at most four decimal places (the
// scale of Currency, and every amount of money) add exactly on that scale, so that ten times
// 0.1 is 1; anything else adds as doubles, with the rounding error carried along.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>

namespace qx::jet {

struct SumState {
    std::int64_t count;  // the values added
    __int128 whole;      // the sum while every value is a whole number
    __int128 scaled;     // the sum in ten-thousandths while every value has four decimals at most
    double sum, carry;
    bool fractional, inexact, failed;
};

inline constexpr double kSumScale = 10000.0;
inline constexpr double kSumExactLimit = 9007199254740992.0;  // 2^53

inline void addDouble(SumState& s, double d) {
    // Neumaier's compensated summation.
    double t = s.sum + d;
    s.carry += std::fabs(s.sum) >= std::fabs(d) ? (s.sum - t) + d : (d - t) + s.sum;
    s.sum = t;
}

inline void addInteger(SumState& s, std::int64_t i) {
    s.whole += i;
    s.scaled += static_cast<__int128>(i) * 10000;
    addDouble(s, static_cast<double>(i));
}

inline void addFraction(SumState& s, double d) {
    s.fractional = true;
    if (!s.inexact) {
        double r = std::nearbyint(d * kSumScale);
        if (std::fabs(r) < kSumExactLimit && r / kSumScale == d)
            s.scaled += static_cast<__int128>(static_cast<std::int64_t>(r));
        else
            s.inexact = true;
    }
    addDouble(s, d);
}

// The total, or nullopt when no value was added; `whole` tells a whole-number total.
inline std::optional<double> total(const SumState& s, bool& whole, std::int64_t& wholeValue) {
    whole = false;
    if (s.count == 0) return std::nullopt;
    if (!s.fractional && s.whole >= INT64_MIN && s.whole <= INT64_MAX) {
        whole = true;
        wholeValue = static_cast<std::int64_t>(s.whole);
        return static_cast<double>(wholeValue);
    }
    if (!s.inexact && s.scaled > -static_cast<__int128>(kSumExactLimit) &&
        s.scaled < static_cast<__int128>(kSumExactLimit))
        return static_cast<double>(static_cast<std::int64_t>(s.scaled)) / kSumScale;
    return s.sum + s.carry;
}

}  // namespace qx::jet
