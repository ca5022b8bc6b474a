// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "setting_values.h"

namespace kv {

// The version of the message's form; a reader takes the versions it knows and a message
// without one (as the first loggers wrote them) as the first.
inline constexpr int kSweepMessageSchema = 1;
// The longest message a reader takes: 256 points of the longest level with room to spare.
inline constexpr std::size_t kLongestSweepMessage = 16384;

// The MQTT message of one interval, with the numbers of its sweep-log line:
// {"time":"2024-05-01T12:34:56.789Z","seq":0,"hz_low":904000000,"hz_high":928000000,
//  "hz_step":2000000.00,"samples":1,"db":[-95.00,...],"schema":1}. `begun` is when the
// interval began.
std::string formatSweepMessage(const SettingValues& band,
                               std::chrono::system_clock::time_point begun, std::uint64_t seq,
                               int samples, std::span<const double> levelsDb);

// A message read back: the band as the analyzer's settings place its points (centre, span,
// point count), the rest as written.
struct SweepMessage {
    std::chrono::system_clock::time_point began;
    std::uint64_t seq = 0;
    SettingValues band;
    int samples = 1;
    std::vector<double> levelsDb;
};

// Nothing for what the logger does not write: no JSON object, a key missing or of another
// type, a schema it does not know, a level that is no finite number, 0 or more than 256
// levels, a band whose Hz low, Hz high and step do not fit the number of levels, or more
// than kLongestSweepMessage bytes.
std::optional<SweepMessage> parseSweepMessage(std::string_view payload);

}  // namespace kv
