// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
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

// The last time label, hanging from its row over the older rows below it.
struct TimeLabel {
    std::int64_t row = 0;      // rows counted upwards, the newest the highest
    std::int64_t seconds = 0;  // lineSeconds of the row's time
};
// Whether a row, newer than the last label's, takes a label: when its time is later than that
// label's, so no time shows twice, and it stands at least `spacing` rows above it, so labels
// keep apart. A row that takes one becomes `last`.
bool takesTimeLabel(std::optional<TimeLabel>& last, std::int64_t row, std::int64_t seconds,
                    int spacing);
// The rows, oldest first, that take a label, given each row's seconds.
std::vector<std::size_t> timeLabelledRows(std::span<const std::int64_t> seconds, int spacing);
// A label's text: HH:MM:SS.
std::string rowTimeText(const LineTime& begun);

// The colour scale below the rows: every shade from the graph's bottom (left) to its top
// (right) under the plot's width, with the amplitude axis' labels under it; for a saved picture
// the frequency axis' labels (MHz) above it, under the rows. Its height (twips) for a label text
// of the given height.
double waterfallScaleHeight(double textHeight, bool withFrequencies = false);
void drawWaterfallScale(const SettingValues& s, Surface& band, bool withFrequencies = false);

}  // namespace kv
