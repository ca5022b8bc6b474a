#pragma once

#include "shared_state.h"
#include "surface.h"

namespace kv {

// The frequency (MHz) that the display assigns to trace point i.
double pointFrequency(const SettingValues& s, int i);

// Level (dB) to y on the graph for a surface of the given inner height.
std::int32_t levelToY(const SettingValues& s, double level, float scaleHeight);

// Recomputes the columns of every trace point from the surface's current width.
void layoutTracePoints(SharedState& state, const Surface& surface);

// Creates both trace arrays with numberOfPoints zeroed points.
void createTraceArrays(SharedState& state);

}  // namespace kv
