// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include "event_loop.h"
#include "local_clock.h"
#include "shared_state.h"
#include "surface.h"
#include "sweep_interfaces.h"
#include "timer.h"

namespace kv {

// Run's entry into command mode: a failed attempt is followed at once by a second; while that
// fails too the message is shown and the radio taken out of command mode before the next.
// false when a stop was requested first.
[[nodiscard]] bool enterCommandModeWithRetries(RadioLink& radio, const RunFlags& flags);

// The Run command and the sweep loop: command mode, one measurement per point, the sweep
// time, the redraw, one yield per pass. Also the automatic first start on Timer3.
class SweepController {
  public:
    // Installs its handler for Timer3's tick.
    SweepController(SharedState& state, RadioLink& radio, DisplayCalls& display,
                    const Surface& surface, EventLoop& loop, const LocalClock& clock,
                    Timer& timer3);
    ~SweepController();
    SweepController(const SweepController&) = delete;
    SweepController& operator=(const SweepController&) = delete;

    // Starts a sweep run and returns when it ends; does nothing while one is in progress.
    void run();
    // Lays out the legend; the first tick starts sweeping, later ones redraw.
    void onTimer3Tick();
    // The legend and the trace laid out for the window's current size, then the full redraw.
    void redoLayout();
    LocalTime readClock() const { return clock_.now(); }

    static constexpr int kTimer3IntervalMs = 100;

  private:
    // Measures every point once; false when a stop was requested.
    bool measureSweep();
    // One measurement of the point into the trace; false when it failed.
    bool measureAndStore(int point);
    void recordSweepEnd();

    SharedState& state_;
    RadioLink& radio_;
    DisplayCalls& display_;
    const Surface& surface_;
    EventLoop& loop_;
    const LocalClock& clock_;
    Timer& timer3_;
};

}  // namespace kv
