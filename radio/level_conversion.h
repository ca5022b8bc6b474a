// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kv {

// The level in whole dB for a converter reading of the radio (1023 counts for 3.3 V),
// limited to one dB short of the top of the graph whose reference level is `amplitude`.
double levelFromReading(std::uint16_t raw, float amplitude);

}  // namespace kv
