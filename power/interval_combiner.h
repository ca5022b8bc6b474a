// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <vector>

namespace kv::power {

// Combines the complete sweeps of one interval point by point: the mean of their power,
// written in dB (-50 and -90 dB give -53 dB), or their maximum.
class IntervalCombiner {
  public:
    enum class Mode { Mean, Max };
    IntervalCombiner(std::size_t points, Mode mode);

    void add(std::span<const double> levelsDb);
    int samples() const { return samples_; }
    // The combined levels; empty before the first sweep.
    std::vector<double> levels() const;
    void clear();

  private:
    Mode mode_;
    std::vector<double> accumulated_;
    int samples_ = 0;
};

}  // namespace kv::power
