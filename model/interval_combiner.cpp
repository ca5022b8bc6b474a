// SPDX-License-Identifier: GPL-3.0-or-later
#include "interval_combiner.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv {

IntervalCombiner::IntervalCombiner(std::size_t points, Mode mode)
    : mode_(mode), accumulated_(points, 0.0), counts_(points, 0) {}

void IntervalCombiner::add(std::span<const double> levelsDb) {
    const std::size_t n = std::min(levelsDb.size(), accumulated_.size());
    for (std::size_t i = 0; i < n; ++i) {
        const double level = levelsDb[i];
        if (std::isnan(level)) continue;
        if (mode_ == Mode::Mean) {
            // Powers add, decibels do not: the mean is of the power each level stands for.
            accumulated_[i] += std::pow(10.0, level / 10);
        } else {
            accumulated_[i] = counts_[i] == 0 ? level : std::max(accumulated_[i], level);
        }
        ++counts_[i];
    }
    ++samples_;
}

std::vector<double> IntervalCombiner::levels() const {
    if (samples_ == 0) return {};
    std::vector<double> result = accumulated_;
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (counts_[i] == 0)
            result[i] = std::numeric_limits<double>::quiet_NaN();
        else if (mode_ == Mode::Mean)
            result[i] = 10 * std::log10(result[i] / counts_[i]);
    }
    return result;
}

void IntervalCombiner::clear() {
    std::fill(accumulated_.begin(), accumulated_.end(), 0.0);
    std::fill(counts_.begin(), counts_.end(), 0);
    samples_ = 0;
}

}  // namespace kv
