#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace kv {

// Rounds to nearest, ties to even, and saturates at the limits of T instead of overflowing:
// a window or a setting far out of range must give a wrong picture, never undefined
// behaviour. NaN becomes 0.
template <typename T>
T roundSaturating(double v) {
    if (std::isnan(v)) return 0;
    const double r = std::nearbyint(v);
    if (r <= static_cast<double>(std::numeric_limits<T>::min()))
        return std::numeric_limits<T>::min();
    if (r >= static_cast<double>(std::numeric_limits<T>::max()))
        return std::numeric_limits<T>::max();
    return static_cast<T>(r);
}

inline std::int32_t toInt32Saturating(double v) {
    return roundSaturating<std::int32_t>(v);
}
inline std::int16_t toInt16Saturating(double v) {
    return roundSaturating<std::int16_t>(v);
}

}  // namespace kv
