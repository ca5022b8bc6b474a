// SPDX-License-Identifier: GPL-3.0-or-later
#include "line_settings.h"

#include <array>
#include <cctype>
#include <charconv>
#include <vector>

namespace kv {

namespace {

std::optional<int> positiveNumber(std::string_view field) {
    int value = 0;
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value);
    if (field.empty() || field.front() == '-' || field.front() == '+' || ec != std::errc() ||
        ptr != end || value <= 0)
        return std::nullopt;
    return value;
}

// Indexed by Parity.
constexpr std::string_view kParityLetters = "neoms";

std::optional<Parity> parityFromLetter(std::string_view field) {
    if (field.size() != 1) return std::nullopt;
    const auto at = kParityLetters.find(
        static_cast<char>(std::tolower(static_cast<unsigned char>(field.front()))));
    if (at == std::string_view::npos) return std::nullopt;
    return static_cast<Parity>(at);
}

std::optional<StopBits> stopBitsFromText(std::string_view field) {
    if (field == "1") return StopBits::One;
    if (field == "1.5") return StopBits::OneAndHalf;
    if (field == "2") return StopBits::Two;
    return std::nullopt;
}

}  // namespace

std::optional<LineSettings> parseLineSettings(std::string_view text) {
    std::vector<std::string_view> fields;
    for (std::size_t start = 0;;) {
        const std::size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    if (fields.size() != 4) return std::nullopt;
    const auto rate = positiveNumber(fields[0]);
    const auto parity = parityFromLetter(fields[1]);
    const auto dataBits = positiveNumber(fields[2]);
    const auto stopBits = stopBitsFromText(fields[3]);
    if (!rate || !parity || !dataBits || *dataBits < 5 || *dataBits > 8 || !stopBits)
        return std::nullopt;
    return LineSettings{*rate, *parity, *dataBits, *stopBits};
}

std::string formatLineSettings(const LineSettings& s) {
    constexpr std::array<const char*, 3> kStopTexts{"1", "1.5", "2"};
    return std::to_string(s.rate) + ',' + kParityLetters[static_cast<std::size_t>(s.parity)] + ',' +
           std::to_string(s.dataBits) + ',' + kStopTexts[static_cast<std::size_t>(s.stopBits)];
}

}  // namespace kv
