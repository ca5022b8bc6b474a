// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace kv {

// Combines sweeps point by point: the mean of their power, written in dB (-50 and -90 dB give
// -53 dB), or their maximum. The logger's intervals and the waterfall's rows of several
// seconds both combine so. A NaN level (a failed point) is left out of its point; a point
// without any level combines to NaN.
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
    std::vector<int> counts_;  // the levels each point holds
    int samples_ = 0;
};

}  // namespace kv
