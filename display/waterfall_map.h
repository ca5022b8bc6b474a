// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "colour.h"
#include "shared_state.h"
#include "surface.h"
#include "sweep_log.h"

namespace kv {

// The waterfall's colour map: viridis, which reads evenly from dark to light, over the
// graph's own level range (Amplitude down to Amplitude - 70 dB), in this many shades.
inline constexpr int kWaterfallShades = 256;
// A time label on every this many rows of the strip (sweeps), beside its row.
inline constexpr std::uint64_t kRowsPerTimeLabel = 64;

// The shade of a level: 0 at or below the graph's bottom, the last at or above its top.
int waterfallShade(double levelDb, float amplitude);
Colour waterfallShadeColour(int shade);
// Every shade as an image pixel (0xFFRRGGBB).
std::array<std::uint32_t, kWaterfallShades> waterfallPalette();

// Device pixels [first, end).
struct PixelRun {
    int first = 0;
    int end = 0;
};
// The pixel columns of each point, under the trace's columns: from the left edge of its
// column to the left edge of the next one, the last one to its right edge, where the trace's
// last vertex is. `toDevice` maps twips to device pixels as the drawing surface does.
std::vector<PixelRun> pointPixelRuns(std::span<const TracePoint> points,
                                     const std::function<int(double)>& toDevice);

// One row of the strip: each point's run in the shade of its level (a failed point in
// `noLevel`), the rest of the row in `margin`.
void paintWaterfallRow(std::span<const float> levelsDb, std::span<const PixelRun> runs,
                       float amplitude, const std::array<std::uint32_t, kWaterfallShades>& palette,
                       std::uint32_t noLevel, std::uint32_t margin, std::span<std::uint32_t> row);

// Whether the sweep of this number carries a time label, and its text (HH:MM:SS).
bool timeLabelled(std::uint64_t sweepNumber);
std::string rowTimeText(const LineTime& begun);

// The colour scale below the rows: every shade from the graph's bottom (left) to its top
// (right) under the plot's width, with the amplitude axis' labels under it. Its height (twips)
// for a label text of the given height.
double waterfallScaleHeight(double textHeight);
void drawWaterfallScale(const SettingValues& s, Surface& band);

}  // namespace kv
