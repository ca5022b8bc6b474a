// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "shared_state.h"
#include "sweep_log.h"
#include "sweep_sink.h"

namespace kv {

// The newest sweeps as measured, in a ring of fixed size: what the waterfall strip is drawn
// from at any size, and what the average is taken over. A level is NaN where a point failed.
// As a sink it keeps every sweep, and starts afresh on a new band.
class SweepHistory : public SweepSink {
  public:
    static constexpr std::size_t kDefaultCapacity = 2048;

    explicit SweepHistory(std::size_t capacity = kDefaultCapacity);

    // The first sweep sets the point count; a sweep of another count starts the ring afresh.
    void add(const LineTime& begun, std::span<const double> levelsDb);
    // The newest sweep's levels replaced, as a row still taking sweeps changes.
    void replaceNewest(std::span<const double> levelsDb);
    // Forgets every sweep.
    void clear();

    std::size_t size() const { return size_; }
    std::size_t points() const { return points_; }
    // Sweeps ever added; sweep `back` from the newest is number added() - 1 - back.
    std::uint64_t added() const { return added_; }
    // Sweep `back` from the newest (0 is the newest), back < size().
    std::span<const float> levels(std::size_t back) const;
    const LineTime& begun(std::size_t back) const;

    // The mean of `newest` and the levels of `point` in the newest sweeps - 1 sweeps held
    // (fewer while fewer are held); NaN levels do not count, and nothing else gives NaN.
    double meanWith(double newest, std::size_t point, int sweeps) const;
    // The level the trace shows for a point measured at `measuredDb`: as measured, or while
    // the average is on, its mean with the sweeps before.
    double traceLevel(const TraceAverage& average, int point, double measuredDb) const;

    void sweepEnded(const Sweep& sweep) override;
    void settingsApplied(const SettingValues& settings, bool newBand) override;

  private:
    std::size_t slot(std::size_t back) const;

    std::size_t capacity_;
    std::size_t points_ = 0;
    std::size_t size_ = 0;
    std::size_t newest_ = 0;
    std::uint64_t added_ = 0;
    std::vector<float> levels_;  // capacity_ rows of points_
    std::vector<LineTime> begun_;
};

}  // namespace kv
