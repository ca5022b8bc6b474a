// SPDX-License-Identifier: GPL-3.0-or-later
#include "interval_combiner.h"

#include <algorithm>
#include <cmath>

namespace kv::power {

IntervalCombiner::IntervalCombiner(std::size_t points, Mode mode)
    : mode_(mode), accumulated_(points, 0.0) {}

void IntervalCombiner::add(std::span<const double> levelsDb) {
    const std::size_t n = std::min(levelsDb.size(), accumulated_.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (mode_ == Mode::Mean) {
            // Powers add, decibels do not: the mean is of the power each level stands for.
            accumulated_[i] += std::pow(10.0, levelsDb[i] / 10);
        } else {
            accumulated_[i] = samples_ == 0 ? levelsDb[i] : std::max(accumulated_[i], levelsDb[i]);
        }
    }
    ++samples_;
}

std::vector<double> IntervalCombiner::levels() const {
    if (samples_ == 0) return {};
    std::vector<double> result = accumulated_;
    if (mode_ == Mode::Mean) {
        for (double& level : result) level = 10 * std::log10(level / samples_);
    }
    return result;
}

void IntervalCombiner::clear() {
    std::fill(accumulated_.begin(), accumulated_.end(), 0.0);
    samples_ = 0;
}

}  // namespace kv::power
