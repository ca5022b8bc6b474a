// SPDX-License-Identifier: GPL-3.0-or-later
#include "key_commands.h"

#include <algorithm>
#include <cstdint>

#include "display.h"
#include "pointer_target.h"
#include "screen_geometry.h"
#include "spectrum_model.h"
#include "virtual_keys.h"

namespace kv {

namespace {
constexpr float kReferenceLevelStepDb = 10;
}  // namespace

KeyCommands::KeyCommands(SharedState& state, const Surface& surface, DisplayCalls& display,
                         MarkerSymbolPainter drawMarkerSymbol)
    : state_(state),
      surface_(surface),
      display_(display),
      drawMarkerSymbol_(std::move(drawMarkerSymbol)) {}

KeyCommands::KeyCommands(SharedState& state, const Surface& surface, Display& display)
    : KeyCommands(state, surface, display, [target = &display](double x, double y, Colour colour) {
          target->drawMarkerSymbol(x, y, colour);
      }) {}

std::int16_t& KeyCommands::activeMarker() {
    return state_.markers.marker[static_cast<std::size_t>(state_.markers.active())];
}

void KeyCommands::keyDown(int virtualKeyCode) {
    if (state_.flags.stopRequested) return;
    switch (virtualKeyCode) {
        case vk::kF1:
            peakSearch();
            display_.drawReadouts();
            display_.drawMarkers();
            break;
        case vk::kF2:
            state_.flags.maxHold = !state_.flags.maxHold;
            break;
        case vk::kF3:
            toggleMarkerDelta();
            break;
        case vk::kF4:
            nextPeak(SearchDirection::Lower);
            display_.drawMarkers();
            display_.drawReadouts();
            break;
        case vk::kF5:
            nextPeak(SearchDirection::Higher);
            display_.drawMarkers();
            display_.drawReadouts();
            break;
        case vk::kF6:
            state_.flags.viewOnly = !state_.flags.viewOnly;
            break;
        case vk::kF7:
            display_.drawScreen(true);
            if (strip_.redraw) strip_.redraw();
            break;
        case vk::kLeft:
            stepMarkerLeft();
            display_.drawReadouts();
            display_.drawMarkers();
            break;
        case vk::kRight:
            stepMarkerRight();
            display_.drawReadouts();
            display_.drawMarkers();
            break;
        case vk::kW:
            if (strip_.toggle) strip_.toggle();
            break;
        case vk::kL:
            if (limitToggle_) limitToggle_();
            break;
        case vk::kA:
        case vk::kAdd:
        case vk::kSubtract:
            averageKey(virtualKeyCode);
            break;
        case vk::kPageUp:
            shiftReferenceLevel(kReferenceLevelStepDb);
            break;
        case vk::kPageDown:
            shiftReferenceLevel(-kReferenceLevelStepDb);
            break;
        default:
            break;
    }
}

void KeyCommands::averageKey(int virtualKeyCode) {
    auto& average = state_.average;
    if (virtualKeyCode == vk::kA) {
        average.on = !average.on;
    } else if (average.on) {
        const int step = virtualKeyCode == vk::kAdd ? 1 : -1;
        average.sweeps = std::clamp(average.sweeps + step, TraceAverage::kFewestSweeps,
                                    TraceAverage::kMostSweeps);
    } else {
        return;
    }
    display_.drawReadouts();
}

std::span<const TracePoint> KeyCommands::usablePoints() const {
    return {state_.trace.data(), static_cast<std::size_t>(usablePointCount(state_))};
}

std::optional<int> KeyCommands::pointUnder(double x, double y) const {
    return kv::pointUnder(usablePoints(), state_.settings, surface_.scaleWidth(),
                          surface_.scaleHeight(), x, y);
}

void KeyCommands::click(double x, double y) {
    if (state_.flags.stopRequested) return;
    const auto target = pointUnder(x, y);
    if (!target) return;
    auto& k = activeMarker();
    while (k != *target) {
        const std::int16_t before = k;
        if (*target > k)
            stepMarkerRight();
        else
            stepMarkerLeft();
        if (k == before) break;  // as far as the arrow keys go
    }
    display_.drawReadouts();
    display_.drawMarkers();
}

void KeyCommands::doubleClick(double x, double y) {
    if (state_.flags.stopRequested) return;
    const auto target = pointUnder(x, y);
    if (!target) return;
    if (const auto found = highestPointNear(usablePoints(), *target, kDoubleClickReach))
        activeMarker() = static_cast<std::int16_t>(*found);
    display_.drawReadouts();
    display_.drawMarkers();
}

void KeyCommands::shiftReferenceLevel(float db) {
    state_.settings.amplitude += db;
    // The heights follow at once, as the rest of the pass is plotted against the new level and
    // max hold compares heights; the layout change clears and redraws at the end of the pass.
    fitTraceToSize(state_, surface_.scaleWidth(), surface_.scaleHeight());
    state_.flags.layoutChanged = true;
    // The strip's colours span the graph's levels too.
    if (strip_.redraw) strip_.redraw();
}

void KeyCommands::peakSearch() {
    if (const auto found = highestPoint(usablePoints()))
        activeMarker() = static_cast<std::int16_t>(*found);
}

void KeyCommands::nextPeak(SearchDirection direction) {
    if (const auto found = nextPeakFrom(usablePoints(), activeMarker(), direction))
        activeMarker() = static_cast<std::int16_t>(*found);
}

void KeyCommands::stepMarkerLeft() {
    auto& k = activeMarker();
    if (k < 1 || k > usablePointCount(state_)) return;
    const std::int64_t symbolLeft =
        std::int64_t{state_.trace[static_cast<std::size_t>(k - 1)].xCenter} -
        static_cast<std::int64_t>(kMarkerHalfWidth);
    if (symbolLeft > state_.settings.graphLeft) k = static_cast<std::int16_t>(k - 1);
}

void KeyCommands::stepMarkerRight() {
    auto& k = activeMarker();
    if (k < 0 || k + 1 >= usablePointCount(state_)) return;
    const double plotRight =
        static_cast<double>(surface_.scaleWidth()) - state_.settings.graphRight;
    const double symbolRight =
        static_cast<double>(state_.trace[static_cast<std::size_t>(k + 1)].xCenter) +
        kMarkerHalfWidth;
    if (plotRight > symbolRight) k = static_cast<std::int16_t>(k + 1);
}

void KeyCommands::toggleMarkerDelta() {
    auto& m = state_.markers;
    if (m.markerDelta) {
        eraseMarkers();  // while the mode is still on, so both symbols go
        m.markerDelta = false;
        m.marker[0] = m.marker[1];
    } else {
        m.markerDelta = true;
        m.marker[1] = m.marker[0];
    }
}

void KeyCommands::eraseMarkers() {
    const auto& m = state_.markers;
    const Colour background = state_.settings.backgroundColor;
    drawMarkerSymbol_(m.glyphX[0], m.glyphY[0], background);
    if (m.markerDelta) drawMarkerSymbol_(m.glyphX[1], m.glyphY[1], background);
}

}  // namespace kv
