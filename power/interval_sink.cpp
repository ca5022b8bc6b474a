// SPDX-License-Identifier: GPL-3.0-or-later
#include "interval_sink.h"

namespace kv::power {

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
