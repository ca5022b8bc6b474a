// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "clock.h"
#include "event_loop.h"
#include "radio_session.h"
#include "shared_state.h"
#include "surface.h"
#include "sweep_interfaces.h"
#include "timer.h"

namespace kv {

// A change of the settings that shape the sweep: band, reference level, point count, grid.
using SettingsChange = std::function<void(SettingValues&)>;

// The Run command and the sweep loop: command mode, one measurement per point, the sweep
// time, the redraw, one yield per pass. Also the automatic first start on Timer3.
class SweepController {
  public:
    // Installs its handler for Timer3's tick.
    SweepController(SharedState& state, RadioSession& radio, DisplayCalls& display,
                    const Surface& surface, EventLoop& loop, const Clock& clock, Timer& timer3);
    ~SweepController();
    SweepController(const SweepController&) = delete;
    SweepController& operator=(const SweepController&) = delete;

    // Starts a sweep run and returns when it ends; does nothing while one is in progress.
    void run();
    // Lays out the legend; the first tick starts sweeping, later ones redraw.
    void onTimer3Tick();
    // The legend and the trace laid out for the window's current size, then the full redraw.
    void redoLayout();
    // Makes the change between two exchanges with the radio: at once when no sweep run is in
    // progress, else after the exchange in progress, the radio staying in command mode. The
    // trace then starts again, as a fresh start at the new settings would: empty arrays of the
    // new size (so max hold starts over), the markers on points of it, the full redraw.
    void requestSettings(SettingsChange change);
    // Makes a requested change now, if one is waiting (at exit, before the settings are saved).
    void applyRequestedSettings();

    // Follows every sweep measured from now on; nullptr for none.
    void setObserver(SweepObserver* observer) { observer_ = observer; }

    static constexpr int kTimer3IntervalMs = 100;

  private:
    enum class Pass { Complete, Stopped, SettingsRequested };
    // Measures every point once, unless a stop or a change of the settings comes first.
    Pass measureSweep();
    // The sweep time, on the steady clock: a step of the time of day does not show in it.
    void recordSweepEnd();
    // In view only: yields, sleeping, until something the loop draws from has changed.
    void idleUntilChanged();

    SharedState& state_;
    RadioSession& radio_;
    DisplayCalls& display_;
    const Surface& surface_;
    EventLoop& loop_;
    const Clock& clock_;
    Timer& timer3_;
    SweepObserver* observer_ = nullptr;
    // For the observer: when the sweep began and its levels as measured.
    LineTime begun_;
    std::vector<double> measured_;
    SettingsChange requested_;
    // Since the last measured sweep the loop paused; and when the sweep in progress began.
    bool paused_ = false;
    std::int64_t sweepBegan_ = 0;
};

}  // namespace kv
