// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>

#include "shared_state.h"

namespace kv {

// Fixed layout of the main window, in twips.
inline constexpr double kTickLength = 100;
inline constexpr double kAmplitudeLabelGap = 20;
inline constexpr double kLegendColumnWidth = 2100;
inline constexpr double kLegendRowPitch = 200;
inline constexpr int kLegendEntries = 9;
inline constexpr double kMarkerHalfWidth = 50;
inline constexpr double kMarkerHeight = 200;

inline constexpr std::array<std::string_view, kLegendEntries + 1> kLegendTexts = {
    "",
    "F1: Peak Search",
    "F2: Max Hold",
    "F3: Marker Delta",
    "F4: Next Peak Left",
    "F5: Next Peak Right",
    "F6: View",
    "F7: Refresh",
    "Left Arrow: Marker Left",
    "Right Arrow: Marker Right",
};

// All margin arithmetic is done in int: the 16-bit settings can never overflow it.
inline double plotWidth(double scaleWidth, int graphLeft, int graphRight) {
    return scaleWidth - (graphLeft + graphRight);
}
inline double plotHeight(double scaleHeight, int graphTop, int graphBottom) {
    return scaleHeight - (graphTop + graphBottom);
}

// ---- Legend ----

// Whole 2100-wide columns that fit the plot width, at least one (also for a negative width,
// so that filling the legend always ends).
int legendColumns(double plotWidth);
// Rows needed for the nine entries: 9 / columns rounded up.
int legendRows(int columns);

struct LegendLayout {
    int columns = 0;
    int rows = 0;
    // Entry 0: only y, the separator; entries 1..9: top-left of the legend texts.
    std::array<LegendPoint, kLegendEntries + 1> positions{};
    // The plot's bottom margin that makes room for the legend.
    std::int16_t graphBottom = 0;
};

// The legend for a window whose size is read through the two functions at every step that
// needs it (the live surface) ...
LegendLayout layoutLegendFor(const std::function<double()>& scaleWidth,
                             const std::function<double()>& scaleHeight, int graphLeft,
                             int graphRight);
// ... or for a fixed size.
LegendLayout layoutLegendFor(double scaleWidth, double scaleHeight, int graphLeft, int graphRight);

// ---- Graticule ----

// Grid divisions actually drawn: a count below one is drawn as one division (the plot's
// edges, with labels at both ends of each axis) rather than dividing by zero.
int gridDivisions(int numberOfGradiants);

// x of vertical grid line i and y of horizontal grid line i, of `divisions` divisions.
double gridLineX(double scaleWidth, int graphLeft, int graphRight, int divisions, int i);
double gridLineY(double scaleHeight, int graphTop, int graphBottom, int divisions, int i);

// Frequency label value i, in single precision as the axis is labelled.
float frequencyLabelValue(float centerFrequency, float span, int divisions, int i);
// Amplitude label value i, in double precision.
double amplitudeLabelValue(float amplitude, int divisions, int i);

struct TextPosition {
    double x = 0;
    double y = 0;
};
// The frequency label hangs centred under the lower end of its tick.
TextPosition frequencyLabelPosition(double gridX, double scaleHeight, int graphBottom,
                                    double textWidth);
// The amplitude label ends 20 left of its tick and is centred on its grid line.
TextPosition amplitudeLabelPosition(double gridY, int graphLeft, double textWidth,
                                    double textHeight);

// ---- Window ----

struct ClientSize {
    double width = 0;
    double height = 0;
};
// The smallest client area at which neighbouring frequency labels and neighbouring amplitude
// labels do not run into each other, every legend text lies inside the window and the plot
// holds `readoutHeight` of readout rows, for the given text extents.
ClientSize minimumClientSize(const SettingValues& s, double widestFrequencyLabel,
                             double widestLegendText, double textHeight, double readoutHeight);

// ---- Marker symbol ----

struct Segment {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};
// The diamond standing on (x, y), in drawing order.
std::array<Segment, 4> markerSymbolSegments(double x, double y);

}  // namespace kv
