// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>

#include "clock.h"
#include "event_loop.h"
#include "radio_session.h"
#include "shared_state.h"
#include "surface.h"
#include "sweep_interfaces.h"
#include "sweep_loop.h"
#include "sweep_sink.h"
#include "sweep_source.h"
#include "timer.h"

namespace kv {

// A change of the settings that shape the sweep: band, reference level, point count, grid.
using SettingsChange = std::function<void(SettingValues&)>;

// The level a trace point shows for a level as measured: the average, where one is on.
using TraceLevel = std::function<double(int point, double measuredDb)>;

// The Run command and the sweep loop: command mode, one measurement per point, the sweep
// time, the redraw, one yield per pass. Also the automatic first start on Timer3. Every sweep,
// measured or from a source, goes to the sinks.
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

    // What follows the sweeps; the program registers its sinks here.
    SweepSinks& sinks() { return sinks_; }
    // The step a measured level passes through on its way into the trace (the average).
    void setTraceLevel(TraceLevel traceLevel) { traceLevel_ = std::move(traceLevel); }
    // Sweeps from `source` instead of the radio, which leaves command mode at the next pass
    // and is taken back into it once the source is gone (nullptr). Nothing is sent to a radio
    // that a sweep run has not put into command mode.
    void setSource(SweepSource* source);
    // A whole sweep from the source: into the trace (max hold, average and markers as for a
    // measured one), timed, and to the sinks; a sweep of another band moves the trace to it.
    void takeSweep(const Sweep& sweep);

    static constexpr int kTimer3IntervalMs = 100;

  private:
    // Measures every point once, unless a stop or a change of the settings comes first.
    SweepLoop::Pass measureSweep();
    // A level as measured into its trace point, through the trace's step and the graph's limit.
    void storePoint(int point, double measuredDb, bool throughTraceLevel = true);
    // The sweep time text, from the steady clock: a step of the time of day does not show in it.
    void showSweepTime();
    // In view only or with a source: yields, sleeping, until something the loop draws from
    // has changed.
    void idleUntilChanged();
    // The radio's command mode as the source wants it; false on a stop.
    bool followSource();

    SharedState& state_;
    RadioSession& radio_;
    DisplayCalls& display_;
    const Surface& surface_;
    EventLoop& loop_;
    const Clock& clock_;
    Timer& timer3_;
    SweepSinks sinks_;
    SweepLoop sweepLoop_;
    TraceLevel traceLevel_;
    SettingsChange requested_;
    SweepSource* source_ = nullptr;
    bool inCommandMode_ = false;
};

}  // namespace kv
