// SPDX-License-Identifier: GPL-3.0-or-later
#include "number_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

#include "parse_number.h"

namespace kv {

std::string singleText(float value) {
    if (value == 0 || !std::isfinite(value)) return "0";
    // The fewest significant digits, seven at most, that read back as the same value: a value
    // read from a text of up to seven digits is written back as that text, not with the float's
    // rounding error showing in the seventh digit.
    constexpr int kMaxDigits = 7;
    // Through to_chars and from_chars rather than printf and strtof: the locale may use a
    // decimal comma, and this text is stored and read back whatever the locale.
    std::array<char, 32> digits{};
    std::string_view text;
    for (int precision = 1; precision <= kMaxDigits; ++precision) {
        const auto r =
            std::to_chars(digits.data(), digits.data() + digits.size(), static_cast<double>(value),
                          std::chars_format::scientific, precision - 1);
        text = {digits.data(), r.ptr};
        if (parseNumber<float>(text) == value) break;
    }
    const bool negative = text.front() == '-';
    if (negative) text.remove_prefix(1);
    const std::size_t e = text.find('e');
    std::string mantissa;
    for (char c : text.substr(0, e))
        if (c != '.') mantissa += c;
    const int exponent = parseNumber<int>(text.substr(e + 1)).value_or(0);
    while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();
    std::string out;
    const int pointAt = exponent + 1;  // digits before the decimal point
    if (pointAt <= 0) {
        out = "0." + std::string(static_cast<std::size_t>(-pointAt), '0') + mantissa;
    } else if (pointAt >= static_cast<int>(mantissa.size())) {
        out = mantissa + std::string(static_cast<std::size_t>(pointAt) - mantissa.size(), '0');
    } else {
        out = mantissa.substr(0, static_cast<std::size_t>(pointAt)) + "." +
              mantissa.substr(static_cast<std::size_t>(pointAt));
    }
    return negative ? "-" + out : out;
}

std::string fixedText(double value, int decimals) {
    // Through to_chars rather than printf: the locale may use a decimal comma.
    std::array<char, 48> text{};
    const auto [end, ec] = std::to_chars(text.data(), text.data() + text.size(), value,
                                         std::chars_format::fixed, decimals);
    return {text.data(), ec == std::errc{} ? end : text.data()};
}

}  // namespace kv
