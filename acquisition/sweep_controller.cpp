// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_controller.h"

#include <algorithm>
#include <string>

#include "spectrum_model.h"

namespace kv {

namespace {
constexpr std::int32_t kMsPerDay = 24 * 3600000;
}

bool enterCommandModeWithRetries(RadioLink& radio, const RunFlags& flags) {
    if (radio.enterCommandMode()) return true;
    // A second attempt follows at once; only when that one fails too is the message shown
    // and the radio taken out of command mode, in case an earlier run left it there.
    for (;;) {
        if (flags.stopRequested) return false;
        if (radio.enterCommandMode()) {
            radio.reportCommFailure(true);
            return true;
        }
        radio.reportCommFailure(false);
        // Whether the radio confirmed does not matter: the next attempt enters again.
        static_cast<void>(radio.exitCommandMode());
    }
}

SweepController::SweepController(SharedState& state, RadioLink& radio, DisplayCalls& display,
                                 const Surface& surface, EventLoop& loop, const LocalClock& clock,
                                 Timer& timer3)
    : state_(state),
      radio_(radio),
      display_(display),
      surface_(surface),
      loop_(loop),
      clock_(clock),
      timer3_(timer3) {
    timer3_.setInterval(kTimer3IntervalMs);
    timer3_.setOnTick([this] { onTimer3Tick(); });
}

SweepController::~SweepController() {
    timer3_.setOnTick(nullptr);
}

void SweepController::onTimer3Tick() {
    timer3_.setEnabled(false);
    if (state_.flags.autoStarted) {
        redoLayout();
    } else {
        display_.layoutLegend();
        state_.flags.autoStarted = true;
        run();
    }
}

void SweepController::run() {
    auto& flags = state_.flags;
    if (!flags.stopRequested) return;  // a sweep run is in progress
    flags.stopRequested = false;
    state_.texts.sweepTimeText.clear();
    state_.texts.markerLine1.clear();
    state_.texts.markerLine2.clear();
    display_.drawScreen(false);

    if (!enterCommandModeWithRetries(radio_, flags)) return;
    if (flags.stopRequested) return;

    fitTraceToSize(state_, surface_.scaleWidth(), surface_.scaleHeight());
    for (auto& p : state_.trace) p.yOut = 0;
    display_.drawScreen(true);

    for (;;) {
        if (flags.stopRequested) return;
        if (!flags.viewOnly) {
            if (!measureSweep()) return;
            recordSweepEnd();
        }
        if (flags.layoutChanged) {
            redoLayout();
            flags.layoutChanged = false;
        }
        display_.drawTrace();
        display_.drawReadouts();
        display_.drawMarkers();
        loop_.yield();
    }
}

void SweepController::redoLayout() {
    display_.layoutLegend();
    // The trace follows the new size too, or it would be drawn against the old axes.
    fitTraceToSize(state_, surface_.scaleWidth(), surface_.scaleHeight());
    display_.drawScreen(true);
}

bool SweepController::measureSweep() {
    const auto& flags = state_.flags;
    const int points = usablePointCount(state_);
    for (int i = 0; i < points; ++i) {
        if (!measureAndStore(i) && !flags.stopRequested) measureAndStore(i);
        if (flags.stopRequested) return false;
    }
    return true;
}

bool SweepController::measureAndStore(int point) {
    const auto level = radio_.measurePoint(point);
    if (!level) return false;
    storeMeasurement(state_, point, *level,
                     levelToY(state_.settings, *level, surface_.scaleHeight()));
    return true;
}

void SweepController::recordSweepEnd() {
    state_.previousSweepEnd = state_.lastSweepEnd;
    state_.lastSweepEnd = readClock().total();
    if (state_.previousSweepEnd == 0) return;  // no earlier sweep to measure from
    std::int32_t elapsed = state_.lastSweepEnd - state_.previousSweepEnd;
    // The clock restarts at local midnight.
    if (elapsed < 0) elapsed += kMsPerDay;
    state_.texts.previousSweepTimeText = state_.texts.sweepTimeText;
    state_.texts.sweepTimeText = "Sweep Time (mS): " + std::to_string(elapsed);
}

}  // namespace kv
