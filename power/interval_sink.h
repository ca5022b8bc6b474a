// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "interval_combiner.h"
#include "sweep_sink.h"

namespace kv::power {

// -i: the complete sweeps of each interval combined into one sweep for the outputs (its
// samples the sweeps it holds); without an interval every complete sweep goes on as it is.
// Intervals follow each other on the steady clock without drifting, unless the logger fell
// behind; a sweep with a failed point is left out of its interval.
class IntervalSink : public SweepSink {
  public:
    IntervalSink(std::optional<std::chrono::duration<double>> interval,
                 IntervalCombiner::Mode mode);
    // Where the intervals go.
    SweepSinks& outputs() { return outputs_; }
    // Intervals handed on so far.
    long long handedOn() const { return handedOn_; }

    void sweepEnded(const Sweep& sweep) override;
    // The unfinished interval still holds complete sweeps worth a line.
    void finished() override;

  private:
    void handOn();

    std::optional<std::int64_t> intervalMs_;
    IntervalCombiner::Mode mode_;
    IntervalCombiner combiner_;
    SweepSinks outputs_;
    std::optional<Sweep> first_;  // of the interval in progress: when it began, its band
    std::int64_t endMs_ = 0;
    long long handedOn_ = 0;
};

}  // namespace kv::power
