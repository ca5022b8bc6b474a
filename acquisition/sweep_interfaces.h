// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>

#include "sweep_log.h"

namespace kv {

// The drawing procedures the sweep calls; the display fills them in.
class DisplayCalls {
  public:
    virtual ~DisplayCalls() = default;
    virtual void drawScreen(bool clearFirst) = 0;
    virtual void layoutLegend() = 0;
    virtual void drawTrace() = 0;
    virtual void drawReadouts() = 0;
    virtual void drawMarkers() = 0;
};

// What follows the sweep besides the drawing: the history, the average and the recording.
// Never called in view-only mode.
class SweepObserver {
  public:
    virtual ~SweepObserver() = default;
    // The level the trace is to hold for a point just measured at `measuredDb`.
    virtual double traceLevel(int point, double measuredDb) = 0;
    // A sweep has ended: every point's level as measured (NaN where a point failed).
    virtual void sweepEnded(const LineTime& begun, std::span<const double> measuredDb) = 0;
    // New settings took effect; with `newBand` (another centre, span or point count) the
    // sweeps before are of another trace.
    virtual void settingsApplied(bool newBand) { static_cast<void>(newBand); }
};

}  // namespace kv
