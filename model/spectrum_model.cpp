// SPDX-License-Identifier: GPL-3.0-or-later
#include "spectrum_model.h"

#include <algorithm>
#include <cmath>

#include "rounding.h"

namespace kv {

int usablePointCount(const SharedState& state) {
    const auto held = std::min(state.trace.size(), state.previousTrace.size());
    return std::clamp<int>(state.settings.numberOfPoints, 0, static_cast<int>(held));
}

double pointFrequency(const SettingValues& s, int i) {
    const double center = s.centerFrequency;
    const double span = s.span;
    return center - span / 2 + (i + 1) * span / (s.numberOfPoints + 1);
}

double levelOnGraph(const SettingValues& s, double level) {
    const auto amplitude = static_cast<double>(s.amplitude);
    return amplitude - 1 <= level ? roundHalfEven(amplitude - 2) : level;
}

std::int32_t levelToY(const SettingValues& s, double level, float scaleHeight) {
    const double amplitude = s.amplitude;
    const double plotHeight = static_cast<double>(scaleHeight) - (s.graphTop + s.graphBottom);
    return toInt32(std::fabs(amplitude - level) * plotHeight / kLevelSpanDb + s.graphTop);
}

void layoutTracePoints(SharedState& state, float scaleWidth) {
    const int n = state.settings.numberOfPoints;
    const int usable = usablePointCount(state);
    const auto& s = state.settings;
    const int margins = s.graphLeft + s.graphRight;
    for (int i = 0; i < usable; ++i) {
        auto& p = state.trace[static_cast<std::size_t>(i)];
        const double plotWidth = static_cast<double>(scaleWidth) - margins;
        p.xLeft = toInt32(plotWidth / n * i + s.graphLeft);
        p.xRight = toInt32(plotWidth / n + p.xLeft);
        p.xCenter = toInt32((static_cast<double>(p.xLeft) + p.xRight) / 2);
    }
}

void fitTraceToSize(SharedState& state, float scaleWidth, float scaleHeight) {
    layoutTracePoints(state, scaleWidth);
    const float height = scaleHeight;
    // A height of 0 means "no value" (yOut) or "never measured" (yIn) and stays so.
    const auto refit = [&](std::vector<TracePoint>& points) {
        for (auto& p : points) {
            const std::int32_t y = levelToY(state.settings, p.amplitudeDb, height);
            if (p.yOut != 0) p.yOut = y;
            if (p.yIn != 0) p.yIn = y;
        }
    };
    refit(state.trace);
    refit(state.previousTrace);
    // The marker symbols as last drawn move too: erasing them at their old places would paint
    // over the new picture, outside the plot when the window has shrunk.
    auto& m = state.markers;
    for (std::size_t k = 0; k < m.marker.size(); ++k) {
        const int index = m.marker[k];
        if (index < 0 || index >= static_cast<int>(state.trace.size())) continue;
        m.glyphX[k] = state.trace[static_cast<std::size_t>(index)].xCenter;
        m.glyphY[k] = state.trace[static_cast<std::size_t>(index)].yOut;
    }
}

void createTraceArrays(SharedState& state) {
    const auto n = static_cast<std::size_t>(std::max<int>(state.settings.numberOfPoints, 0));
    state.trace.assign(n, TracePoint{});
    state.previousTrace.assign(n, TracePoint{});
}

void clampMarkers(SharedState& state) {
    const int last = std::max(usablePointCount(state) - 1, 0);
    for (auto& index : state.markers.marker)
        index = static_cast<std::int16_t>(std::clamp<int>(index, 0, last));
}

void storeMeasurement(SharedState& state, int point, double level, std::int32_t y) {
    if (point < 0 || point >= static_cast<int>(state.trace.size()) ||
        point >= static_cast<int>(state.previousTrace.size()))
        return;
    const auto i = static_cast<std::size_t>(point);
    auto& current = state.trace[i];
    auto& previous = state.previousTrace[i];
    previous.yOut = current.yOut;
    previous.yIn = current.yIn;
    // The level too, so that the heights can be recomputed for a new window size.
    previous.amplitudeDb = current.amplitudeDb;
    // Max hold keeps a stronger level (smaller y). A point cleared at the start of the run
    // has no level to hold yet and takes its first reading.
    const bool held = state.flags.maxHold && current.yOut != 0 && y >= current.yOut;
    if (!held) {
        current.yOut = y;
        current.yIn = y;
        current.amplitudeDb = level;
    }
}

}  // namespace kv
