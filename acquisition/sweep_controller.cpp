// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_controller.h"

#include <algorithm>
#include <limits>
#include <string>
#include <tuple>
#include <utility>

#include "spectrum_model.h"

namespace kv {

SweepController::SweepController(SharedState& state, RadioSession& radio, DisplayCalls& display,
                                 const Surface& surface, EventLoop& loop, const Clock& clock,
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

    if (!radio_.enterCommandMode()) return;
    if (flags.stopRequested) return;

    fitTraceToSize(state_, surface_.scaleWidth(), surface_.scaleHeight());
    for (auto& p : state_.trace) p.yOut = 0;
    display_.drawScreen(true);

    for (;;) {
        if (flags.stopRequested) return;
        applyRequestedSettings();
        if (flags.viewOnly) {
            paused_ = true;
        } else {
            const Pass pass = measureSweep();
            if (pass == Pass::Stopped) return;
            if (pass == Pass::SettingsRequested) continue;
            recordSweepEnd();
            if (observer_) observer_->sweepEnded(begun_, measured_);
        }
        if (flags.layoutChanged) {
            redoLayout();
            flags.layoutChanged = false;
        }
        display_.drawTrace();
        display_.drawReadouts();
        display_.drawMarkers();
        if (flags.viewOnly)
            idleUntilChanged();
        else
            loop_.yield();
    }
}

namespace {

// What the view-only passes draw from, apart from the settings (whose change comes as a request).
struct DrawnFrom {
    std::vector<TracePoint> trace;
    MarkerState markers;
    RunFlags flags;
    TraceAverage average;
    std::string commMessage;
    bool operator==(const DrawnFrom&) const = default;
};

DrawnFrom drawnFrom(const SharedState& state) {
    return {state.trace, state.markers, state.flags, state.average, state.texts.commMessage};
}

}  // namespace

void SweepController::idleUntilChanged() {
    // A stored trace does not change by itself: the loop sleeps through events (its own
    // repaints among them) until one changes what it draws, asks for a layout or settings, or
    // stops it.
    const DrawnFrom drawn = drawnFrom(state_);
    do loop_.yieldWaiting();
    while (!requested_ && drawnFrom(state_) == drawn);
}

void SweepController::redoLayout() {
    display_.layoutLegend();
    // The trace follows the new size too, or it would be drawn against the old axes.
    fitTraceToSize(state_, surface_.scaleWidth(), surface_.scaleHeight());
    display_.drawScreen(true);
}

void SweepController::requestSettings(SettingsChange change) {
    requested_ = std::move(change);
    if (state_.flags.stopRequested) applyRequestedSettings();  // no exchange to wait for
}

void SweepController::applyRequestedSettings() {
    if (!requested_) return;
    const SettingsChange change = std::exchange(requested_, nullptr);
    const auto band = [](const SettingValues& s) {
        return std::tuple{s.centerFrequency, s.span, s.numberOfPoints};
    };
    const auto before = band(state_.settings);
    change(state_.settings);
    paused_ = true;  // the sweep in progress was left unfinished
    createTraceArrays(state_);
    clampMarkers(state_);
    redoLayout();
    state_.flags.layoutChanged = false;  // a resize meanwhile is laid out too
    if (observer_) observer_->settingsApplied(band(state_.settings) != before);
}

SweepController::Pass SweepController::measureSweep() {
    const auto& flags = state_.flags;
    const int points = usablePointCount(state_);
    sweepBegan_ = clock_.steadyMs();
    if (observer_) {
        begun_ = localLineTime();
        measured_.assign(static_cast<std::size_t>(points),
                         std::numeric_limits<double>::quiet_NaN());
    }
    for (int i = 0; i < points; ++i) {
        if (const auto measured = radio_.measure(i)) {
            double level = *measured;
            if (observer_) {
                measured_[static_cast<std::size_t>(i)] = level;
                level = observer_->traceLevel(i, level);
            }
            level = levelOnGraph(state_.settings, level);
            storeMeasurement(state_, i, level,
                             levelToY(state_.settings, level, surface_.scaleHeight()));
        }
        if (flags.stopRequested) return Pass::Stopped;
        if (requested_) return Pass::SettingsRequested;
    }
    return Pass::Complete;
}

void SweepController::recordSweepEnd() {
    // After a pause (view only, new settings) the time is this sweep's own, not the pause's.
    state_.previousSweepEnd = std::exchange(paused_, false) && state_.lastSweepEnd != 0
                                  ? sweepBegan_
                                  : state_.lastSweepEnd;
    state_.lastSweepEnd = clock_.steadyMs();
    if (state_.previousSweepEnd == 0) return;  // no earlier sweep to measure from
    state_.texts.sweepTimeText =
        "Sweep Time (mS): " + std::to_string(state_.lastSweepEnd - state_.previousSweepEnd);
}

}  // namespace kv
