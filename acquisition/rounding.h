#pragma once

#include <cmath>
#include <cstdint>

namespace kv {

// Every float-to-integer conversion rounds to nearest, ties to even.
inline double roundHalfEven(double v) {
    return std::nearbyint(v);
}

inline std::int32_t toInt32(double v) {
    return static_cast<std::int32_t>(std::nearbyint(v));
}
inline std::int16_t toInt16(double v) {
    return static_cast<std::int16_t>(std::nearbyint(v));
}

}  // namespace kv
