// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "clock.h"
#include "radio_session.h"
#include "shared_state.h"
#include "sweep_sink.h"

namespace kv {

// The point loop the window and the logger share: every point measured in turn (a failed
// one once more), a stop or new settings honoured between two exchanges, the sweep timed on
// the steady clock and handed, levels as measured, to the sinks.
class SweepLoop {
  public:
    enum class Pass { Complete, Stopped, SettingsRequested };
    // What the program adds around each point.
    struct Hooks {
        // A level as measured, as it comes: the window stores its trace point here.
        std::function<void(int point, double levelDb)> measured;
        // After each point: the logger yields here now and then (the window's waits yield).
        std::function<void()> betweenPoints;
        // After each point: the sweep ends unfinished. A sweep measured in full up to its
        // last point still counts.
        std::function<bool()> stopDue;
        // After each point: new settings wait for the sweep to end.
        std::function<bool()> settingsWaiting;
    };

    SweepLoop(SharedState& state, RadioSession& radio, const Clock& clock, SweepSink& sinks);

    // One sweep over the settings' points.
    Pass measure(const Hooks& hooks);
    // A sweep from elsewhere, timed and handed on as a measured one is.
    void deliver(const Sweep& sweep);
    // The loop paused (view only, new settings, a sweep left unfinished): the next sweep is
    // timed from its own start, not from the end of the last.
    void paused() { paused_ = true; }
    // The period between the ends of the last two sweeps; 0 before there were two.
    std::int64_t periodMs() const;

  private:
    void ended(std::int64_t beganMs);

    SharedState& state_;
    RadioSession& radio_;
    const Clock& clock_;
    SweepSink& sinks_;
    std::vector<double> levels_;
    bool paused_ = false;
};

}  // namespace kv
