// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace kv {

// Every float-to-integer conversion rounds to nearest, ties to even.
inline double roundHalfEven(double v) {
    return std::nearbyint(v);
}

// A value beyond the integer's range (only settings far out of range give one) saturates at
// the limit rather than being undefined; NaN gives 0.
template <typename Int>
Int roundToInteger(double v) {
    if (std::isnan(v)) return 0;
    const double r = std::nearbyint(v);
    if (r <= static_cast<double>(std::numeric_limits<Int>::min()))
        return std::numeric_limits<Int>::min();
    if (r >= static_cast<double>(std::numeric_limits<Int>::max()))
        return std::numeric_limits<Int>::max();
    return static_cast<Int>(r);
}

inline std::int32_t toInt32(double v) {
    return roundToInteger<std::int32_t>(v);
}
inline std::int16_t toInt16(double v) {
    return roundToInteger<std::int16_t>(v);
}

}  // namespace kv
