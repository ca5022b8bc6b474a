// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace kv {

// A single-precision value as the settings store writes it and the readouts show it: plain
// decimal, the fewest significant digits (7 at most) that read back as the same value, no
// trailing zeros, no exponent: 915, -40, 2441.5. Zero, infinities and NaN give "0".
std::string singleText(float value);

// The value in plain decimal with that many decimals and a point whatever the locale: -57.00;
// empty for a value too large for 48 characters.
std::string fixedText(double value, int decimals);

}  // namespace kv
