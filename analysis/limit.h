// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "setting_values.h"

namespace kv {

// A corner of a mask: the limit at one frequency.
struct LimitCorner {
    double mhz = 0;
    double db = 0;
    bool operator==(const LimitCorner&) const = default;
};

// The level no point should exceed: one level across the band, or a mask of corners in rising
// frequency joined by straight lines and held as drawn beyond its ends. At a frequency two
// corners share (a step) the later one holds.
class Limit {
  public:
    static Limit level(double db) { return Limit({{0.0, db}}); }
    // `corners` sorted by frequency, at least one; parseMask gives them so.
    static Limit mask(std::vector<LimitCorner> corners) { return Limit(std::move(corners)); }

    double at(double mhz) const;
    const std::vector<LimitCorner>& corners() const { return corners_; }
    bool operator==(const Limit&) const = default;

  private:
    explicit Limit(std::vector<LimitCorner> corners) : corners_(std::move(corners)) {}
    std::vector<LimitCorner> corners_;
};

// A mask file: one "MHz, dB" corner a line in rising frequency; blank lines and lines that
// begin with '#' are skipped. Refused whole, with the line and the reason, when a line is not
// two numbers, a frequency falls, or it has no corner or too many.
struct MaskLoad {
    std::vector<LimitCorner> corners;  // empty when refused
    std::string error;                 // "line 3: the frequency falls (902 after 915 MHz)"
};
inline constexpr std::size_t kMaxMaskCorners = 1024;
inline constexpr std::size_t kMaxMaskBytes = 64 * 1024;
MaskLoad parseMask(std::string_view text);
// The text parseMask reads back to `corners`.
std::string formatMask(std::span<const LimitCorner> corners);

// One sweep against the limit. NaN levels (failed points) count neither way.
struct LimitCheck {
    std::vector<int> above;  // the points above the limit
    // The point highest relative to the limit, and by how much (dB; negative when below).
    int worstPoint = -1;
    double worstExcessDb = 0;
    double worstLevelDb = 0;
    bool fails() const { return !above.empty(); }
};
LimitCheck checkSweep(const Limit& limit, const SettingValues& band,
                      std::span<const double> levelsDb);

// "PASS" or "FAIL 3 points, worst +12.0 dB at 915.000 MHz", numbers in one form everywhere.
std::string checkText(const LimitCheck& check, const SettingValues& band);

}  // namespace kv
