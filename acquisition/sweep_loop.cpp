// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_loop.h"

#include <limits>
#include <utility>

#include "spectrum_model.h"

namespace kv {

SweepLoop::SweepLoop(SharedState& state, RadioSession& radio, const Clock& clock, SweepSink& sinks)
    : state_(state), radio_(radio), clock_(clock), sinks_(sinks) {}

SweepLoop::Pass SweepLoop::measure(const Hooks& hooks) {
    const int points = usablePointCount(state_);
    const auto began = std::chrono::system_clock::now();
    const std::int64_t beganMs = clock_.steadyMs();
    levels_.assign(static_cast<std::size_t>(points), std::numeric_limits<double>::quiet_NaN());
    for (int i = 0; i < points; ++i) {
        if (const auto level = radio_.measure(i)) {
            levels_[static_cast<std::size_t>(i)] = *level;
            if (hooks.measured) hooks.measured(i, *level);
        }
        if (hooks.betweenPoints) hooks.betweenPoints();
        const bool last = i + 1 == points;
        if (hooks.stopDue && hooks.stopDue() &&
            (!last || std::isnan(levels_[static_cast<std::size_t>(i)]))) {
            paused();
            return Pass::Stopped;
        }
        if (hooks.settingsWaiting && hooks.settingsWaiting()) {
            paused();
            return Pass::SettingsRequested;
        }
    }
    ended(beganMs);
    sinks_.sweepEnded({began, beganMs, state_.lastSweepEnd, state_.settings, 1, levels_});
    return Pass::Complete;
}

void SweepLoop::deliver(const Sweep& sweep) {
    ended(clock_.steadyMs());
    Sweep timed = sweep;
    timed.beganMs = timed.endedMs = state_.lastSweepEnd;
    sinks_.sweepEnded(timed);
}

void SweepLoop::ended(std::int64_t beganMs) {
    // After a pause the time is this sweep's own, not the pause's.
    state_.previousSweepEnd =
        std::exchange(paused_, false) && state_.lastSweepEnd != 0 ? beganMs : state_.lastSweepEnd;
    state_.lastSweepEnd = clock_.steadyMs();
}

std::int64_t SweepLoop::periodMs() const {
    return state_.previousSweepEnd == 0 ? 0 : state_.lastSweepEnd - state_.previousSweepEnd;
}

}  // namespace kv
