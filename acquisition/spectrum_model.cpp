#include "spectrum_model.h"

#include <cmath>

#include "rounding.h"

namespace kv {

double pointFrequency(const SettingValues& s, int i) {
    const double center = s.centerFrequency;
    const double span = s.span;
    return center - span / 2 + (i + 1) * span / (s.numberOfPoints + 1);
}

std::int32_t levelToY(const SettingValues& s, double level, float scaleHeight) {
    const double amplitude = s.amplitude;
    const double plotHeight = static_cast<double>(scaleHeight) - (s.graphTop + s.graphBottom);
    return toInt32(std::fabs(amplitude - level) * plotHeight / 70 + s.graphTop);
}

void layoutTracePoints(SharedState& state, const Surface& surface) {
    const int n = state.settings.numberOfPoints;
    if (n < 1) return;
    const auto& s = state.settings;
    const int margins = s.graphLeft + s.graphRight;
    for (int i = 0; i < n && i < static_cast<int>(state.trace.size()); ++i) {
        auto& p = state.trace[static_cast<std::size_t>(i)];
        double plotWidth = static_cast<double>(surface.scaleWidth()) - margins;
        p.xLeft = toInt32(plotWidth / n * i + s.graphLeft);
        plotWidth = static_cast<double>(surface.scaleWidth()) - margins;
        p.xRight = toInt32(plotWidth / n + p.xLeft);
        p.xCenter = toInt32((static_cast<double>(p.xLeft) + p.xRight) / 2);
    }
}

void createTraceArrays(SharedState& state) {
    const auto n = static_cast<std::size_t>(
        state.settings.numberOfPoints > 0 ? state.settings.numberOfPoints : 0);
    state.trace.assign(n, TracePoint{});
    state.previousTrace.assign(n, TracePoint{});
}

}  // namespace kv
