// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kv {

// The level in whole dB for a converter reading of the radio (1023 counts for 3.3 V), as
// measured: the graph's limit belongs to the trace alone (levelOnGraph).
double levelFromReading(std::uint16_t raw);

}  // namespace kv
