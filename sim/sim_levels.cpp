// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_levels.h"

#include <algorithm>
#include <cmath>

namespace kv::sim {

namespace {
// The radio's converter as the simulated radio has it: written out here on purpose, apart from
// the analyzer's conversion in radio/, so that each checks the other.
constexpr double kVoltsAtMinLevel = 1.2;
constexpr double kVoltsPerDb = 0.022;
constexpr double kReferenceVolts = 3.3;
}  // namespace

std::uint16_t levelToRaw(double levelDb) {
    const double level = std::clamp(levelDb, double{kMinLevelDb}, double{kMaxLevelDb});
    const double volts = kVoltsAtMinLevel - (level - kMinLevelDb) * kVoltsPerDb;
    const double raw = std::nearbyint(volts / kReferenceVolts * kConverterMax);
    return static_cast<std::uint16_t>(std::clamp(raw, 0.0, double{kConverterMax}));
}

}  // namespace kv::sim
