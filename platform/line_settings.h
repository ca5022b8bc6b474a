// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv {

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

// The serial line settings as the text "rate,parity,data,stop" gives them.
struct LineSettings {
    int rate = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    bool operator==(const LineSettings&) const = default;
};

// "115200,n,8,1": a positive decimal rate, one parity letter of n e o m s (either case),
// 5 to 8 data bits and 1, 1.5 or 2 stop bits, no blanks. Anything else is rejected.
std::optional<LineSettings> parseLineSettings(std::string_view text);
// The same text with a lower-case parity letter.
std::string formatLineSettings(const LineSettings& settings);

}  // namespace kv
