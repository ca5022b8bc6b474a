// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace kv {

// Axis labels: the value rounded to one decimal (ties to even), as plain decimal text with no
// exponent, no trailing zeros and no point for whole numbers: 902, 904.6, -63.3, 0.2.
std::string labelText(double value);

// Marker readouts: the same one-decimal form (902.5, -67, 0.2, 0).
std::string markerValueText(double value);

}  // namespace kv
