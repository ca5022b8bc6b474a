// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

#include "interval_combiner.h"
#include "sweep_history.h"
#include "sweep_log.h"

namespace kv {

// The time one waterfall row stands for: one sweep, or the sweeps begun in `seconds` (which
// divide a minute) combined by their maximum or their mean power. The name is the View menu's
// item and the settings file's text.
struct RowTime {
    int seconds = 0;
    IntervalCombiner::Mode mode = IntervalCombiner::Mode::Max;
    std::string_view name;
};
inline constexpr std::array<RowTime, 5> kRowTimes{{
    {0, IntervalCombiner::Mode::Max, "Every Sweep"},
    {1, IntervalCombiner::Mode::Max, "1 s max"},
    {1, IntervalCombiner::Mode::Mean, "1 s mean"},
    {10, IntervalCombiner::Mode::Max, "10 s max"},
    {10, IntervalCombiner::Mode::Mean, "10 s mean"},
}};
// The row time of that name, or nothing.
const RowTime* rowTimeNamed(std::string_view name);

// The waterfall's rows, newest first, each row's time the start of its seconds: made from the
// sweeps as they end, and anew from the sweeps held when the row time changes.
class WaterfallRows {
  public:
    explicit WaterfallRows(const SweepHistory& sweeps);

    const RowTime& rowTime() const { return rowTime_; }
    void setRowTime(const RowTime& rowTime);
    // True when the sweep began a row, false when it went into the newest row.
    bool add(const LineTime& begun, std::span<const double> levelsDb);
    void clear();
    const SweepHistory& rows() const { return rows_; }

  private:
    const SweepHistory& sweeps_;
    RowTime rowTime_ = kRowTimes[0];
    SweepHistory rows_;
    IntervalCombiner combiner_{0, IntervalCombiner::Mode::Max};
    std::int64_t newestStart_ = 0;  // lineSeconds of the newest row's start
};

}  // namespace kv
