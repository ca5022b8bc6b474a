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

IntervalSink::IntervalSink(std::optional<std::chrono::duration<double>> interval,
                           IntervalCombiner::Mode mode)
    : mode_(mode), combiner_(0, mode) {
    if (interval)
        intervalMs_ = std::chrono::duration_cast<std::chrono::milliseconds>(*interval).count();
}

void IntervalSink::sweepEnded(const Sweep& sweep) {
    if (!intervalMs_) {
        if (sweep.complete()) {
            ++handedOn_;
            outputs_.sweepEnded(sweep);
        }
        return;
    }
    if (!first_) {
        endMs_ = endMs_ != 0 && endMs_ + *intervalMs_ > sweep.beganMs
                     ? endMs_ + *intervalMs_
                     : sweep.beganMs + *intervalMs_;
        first_ = sweep;
        first_->levelsDb = {};
    }
    if (sweep.complete()) {
        if (combiner_.samples() == 0) combiner_ = IntervalCombiner(sweep.levelsDb.size(), mode_);
        combiner_.add(sweep.levelsDb);
    }
    if (sweep.endedMs >= endMs_) handOn();
}

void IntervalSink::finished() {
    if (intervalMs_) handOn();
}

void IntervalSink::handOn() {
    if (first_ && combiner_.samples() > 0) {
        const std::vector<double> levels = combiner_.levels();
        Sweep combined = *first_;
        combined.samples = combiner_.samples();
        combined.levelsDb = levels;
        ++handedOn_;
        outputs_.sweepEnded(combined);
    }
    combiner_.clear();
    first_.reset();
}

}  // namespace kv::power
