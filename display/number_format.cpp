// SPDX-License-Identifier: GPL-3.0-or-later
#include "number_format.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace kv {

namespace {

// The decimal point is always a point, whatever the user's locale: std::to_chars and the
// integer arithmetic below never consult it.
std::string oneDecimalText(double value) {
    const double tenths = std::nearbyint(value * 10);
    // Beyond 1e15 tenths a double no longer holds the decimal; print the whole number.
    if (!std::isfinite(tenths) || std::fabs(tenths) >= 1e15) {
        std::array<char, 400> buf{};
        const auto r = std::to_chars(buf.data(), buf.data() + buf.size(), tenths / 10,
                                     std::chars_format::fixed, 0);
        return std::string(buf.data(), r.ptr);
    }
    auto q = static_cast<std::int64_t>(tenths);
    std::string out;
    if (q < 0) {
        out += '-';
        q = -q;
    }
    out += std::to_string(q / 10);
    if (q % 10 != 0) {
        out += '.';
        out += static_cast<char>('0' + q % 10);
    }
    return out;
}

}  // namespace

std::string labelText(double value) {
    return oneDecimalText(value);
}

std::string markerValueText(double value) {
    return oneDecimalText(value);
}

}  // namespace kv
