// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace kv::sim {

// The range of levels the radio can report; the converter saturates outside it.
inline constexpr int kMinLevelDb = -97;
inline constexpr int kMaxLevelDb = -42;
inline constexpr int kConverterMax = 1023;

// The radio's received-signal indicator: 1.2 V at -97 dB, falling 22 mV per dB, read by a
// 10-bit converter with a 3.3 V reference. Levels outside the range clamp to it.
std::uint16_t levelToRaw(double levelDb);

}  // namespace kv::sim
