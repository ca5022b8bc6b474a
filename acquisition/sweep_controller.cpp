// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_controller.h"

#include <algorithm>
#include <cmath>
#include <string>
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
      timer3_(timer3),
      sweepLoop_(state, radio, clock, sinks_) {
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
    inCommandMode_ = false;  // whatever an earlier run left, the radio is asked again
    state_.texts.sweepTimeText.clear();
    state_.texts.markerLine1.clear();
    state_.texts.markerLine2.clear();
    display_.drawScreen(false);

    if (!followSource()) return;
    if (flags.stopRequested) return;

    fitTraceToSize(state_, surface_.scaleWidth(), surface_.scaleHeight());
    for (auto& p : state_.trace) p.yOut = 0;
    display_.drawScreen(true);

    for (;;) {
        if (flags.stopRequested) return;
        applyRequestedSettings();
        if (!followSource()) return;
        if (flags.viewOnly || source_) {
            sweepLoop_.paused();
        } else {
            const SweepLoop::Pass pass = measureSweep();
            if (pass == SweepLoop::Pass::Stopped) return;
            if (pass == SweepLoop::Pass::SettingsRequested) continue;
            showSweepTime();
        }
        if (flags.layoutChanged) {
            redoLayout();
            flags.layoutChanged = false;
        }
        display_.drawTrace();
        display_.drawReadouts();
        display_.drawMarkers();
        // The radio left for a source, or taken back, at the next pass without a wait.
        const bool radioDue = (source_ != nullptr) == inCommandMode_;
        if ((flags.viewOnly || source_) && !radioDue)
            idleUntilChanged();
        else
            loop_.yield();
    }
}

bool SweepController::followSource() {
    if (source_ && inCommandMode_) {
        // The radio is left as at the window's close, and answers again once back in it.
        static_cast<void>(radio_.radio().exitCommandMode());
        inCommandMode_ = false;
    } else if (!source_ && !inCommandMode_) {
        inCommandMode_ = radio_.enterCommandMode();
        if (!inCommandMode_) return false;
    }
    return !state_.flags.stopRequested;
}

void SweepController::setSource(SweepSource* source) {
    if (source_) source_->stop();
    source_ = source;
    if (source_) source_->start([this](const Sweep& sweep) { takeSweep(sweep); });
}

void SweepController::takeSweep(const Sweep& sweep) {
    if (state_.flags.viewOnly) return;
    if (!sameBand(sweep.band, state_.settings)) {
        requestSettings([band = sweep.band](SettingValues& to) { restoreBand(to, band); });
        applyRequestedSettings();
    }
    const int points = std::min(usablePointCount(state_), static_cast<int>(sweep.levelsDb.size()));
    for (int i = 0; i < points; ++i) {
        const double level = sweep.levelsDb[static_cast<std::size_t>(i)];
        if (!std::isnan(level)) storePoint(i, level);
    }
    sweepLoop_.deliver(sweep);
    showSweepTime();
}

namespace {

// What the idle passes draw from, apart from the settings (whose change comes as a request).
struct DrawnFrom {
    std::vector<TracePoint> trace;
    MarkerState markers;
    RunFlags flags;
    TraceAverage average;
    std::string commMessage;
    std::string sweepTimeText;
    bool operator==(const DrawnFrom&) const = default;
};

DrawnFrom drawnFrom(const SharedState& state) {
    return {state.trace,   state.markers,           state.flags,
            state.average, state.texts.commMessage, state.texts.sweepTimeText};
}

}  // namespace

void SweepController::idleUntilChanged() {
    // A stored trace does not change by itself: the loop sleeps through events (its own
    // repaints among them) until one changes what it draws (a key, a source's sweep), asks for
    // a layout, settings or another source, or stops it.
    const DrawnFrom drawn = drawnFrom(state_);
    const SweepSource* const source = source_;
    do loop_.yieldWaiting();
    while (!requested_ && source_ == source && drawnFrom(state_) == drawn);
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
    const SettingValues before = state_.settings;
    change(state_.settings);
    sweepLoop_.paused();  // the sweep in progress was left unfinished
    createTraceArrays(state_);
    clampMarkers(state_);
    redoLayout();
    state_.flags.layoutChanged = false;  // a resize meanwhile is laid out too
    sinks_.settingsApplied(state_.settings, !sameBand(state_.settings, before));
}

SweepLoop::Pass SweepController::measureSweep() {
    return sweepLoop_.measure({.measured = [this](int i, double level) { storePoint(i, level); },
                               .betweenPoints = nullptr,
                               .stopDue = [this] { return state_.flags.stopRequested; },
                               .settingsWaiting = [this] { return requested_ != nullptr; }});
}

void SweepController::storePoint(int point, double measuredDb) {
    const double shown =
        levelOnGraph(state_.settings, traceLevel_ ? traceLevel_(point, measuredDb) : measuredDb);
    storeMeasurement(state_, point, shown,
                     levelToY(state_.settings, shown, surface_.scaleHeight()));
}

void SweepController::showSweepTime() {
    if (state_.previousSweepEnd == 0) return;  // no earlier sweep to measure from
    state_.texts.sweepTimeText = "Sweep Time (mS): " + std::to_string(sweepLoop_.periodMs());
}

}  // namespace kv
